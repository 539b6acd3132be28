#include "quor_inet/worker/ahead_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

// Holds the pool's one thread until released, so that what is queued behind it stays queued.
struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> open{false};
    void Pass() {
        entered = true;
        for (int i = 0; i < 2000 && !open; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void WaitEntered() const {
        for (int i = 0; i < 2000 && !entered; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

TEST(AheadPool, TakesResultsInTheCallersOrder) {
    AheadPool pool(1);
    Gate gate;
    std::vector<int> ran;
    ASSERT_TRUE(pool.Queue(5, "held", [&] { gate.Pass(); }));
    gate.WaitEntered();
    ASSERT_TRUE(pool.Queue(30, "late", [&] { ran.push_back(30); }));
    ASSERT_TRUE(pool.Queue(20, "early", [&] { ran.push_back(20); }));
    ASSERT_TRUE(pool.Queue(40, "failing", [] { throw std::runtime_error("no"); }));
    EXPECT_FALSE(pool.Queue(50, "early", [] {}));  // queued already
    EXPECT_EQ(pool.Held(), 4u);

    // Not started yet: handed back to the caller, and never run.
    EXPECT_FALSE(pool.Take("late"));
    int waits = 0;
    gate.open = true;
    EXPECT_TRUE(pool.Take("held", [&] { ++waits; }));
    EXPECT_TRUE(pool.Take("early"));
    EXPECT_FALSE(pool.Take("failing"));
    EXPECT_FALSE(pool.Take("never queued"));
    EXPECT_EQ(ran, std::vector<int>{20});
    EXPECT_EQ(pool.Held(), 0u);
}

}  // namespace
