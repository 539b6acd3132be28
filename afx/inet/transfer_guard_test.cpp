#include "afx/inet/transfer_guard.h"

#include <gtest/gtest.h>

#include <vector>

#include "afx/inet/inet_constants.h"

namespace afx::inet {
namespace {

using Clock = TransferGuard::Clock;

// One step of a transfer: at `ms` after the limits were set, `bytes` arrive (or, with
// stop, the flag is raised), then the verdict is asked for.
struct Step {
    int ms;
    uint64_t bytes;
    bool stop;
    uint32_t verdict;
};

TEST(TransferGuard, VerdictsOverTime) {
    const struct {
        const char* name;
        uint32_t totalMs;
        uint32_t lowSpeedMs;
        std::vector<Step> steps;
    } kCases[] = {
        {"no limits", 0, 0, {{0, 0, false, 0}, {3600000, 0, false, 0}}},
        {"stop ends at once and stays",
         0,
         0,
         {{10, 0, false, 0},
          {20, 0, true, ERROR_INTERNET_OPERATION_CANCELLED},
          {30, 0, false, ERROR_INTERNET_OPERATION_CANCELLED}}},
        {"time in all, whatever arrives",
         60000,
         0,
         {{59999, 100000, false, 0}, {60000, 100000, false, ERROR_INTERNET_TIMEOUT}}},
        // Less than a byte a second over the window: 59 bytes in 60 s.
        {"too slow",
         0,
         60000,
         {{30000, 30, false, 0}, {59000, 29, false, 0}, {60000, 0, false, ERROR_INTERNET_TIMEOUT}}},
        // 60 bytes by 50 s start a new window: the next verdict is due 60 s after that.
        {"just fast enough",
         0,
         60000,
         {{50000, 60, false, 0},
          {109000, 59, false, 0},
          {110000, 0, false, ERROR_INTERNET_TIMEOUT}}},
        {"nothing at all",
         0,
         60000,
         {{59999, 0, false, 0}, {60000, 0, false, ERROR_INTERNET_TIMEOUT}}},
        {"stop wins over a limit", 1000, 0, {{2000, 0, true, ERROR_INTERNET_OPERATION_CANCELLED}}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::atomic<int32_t> stop{0};
        const Clock::time_point start = Clock::now();
        TransferGuard guard({&stop, c.totalMs, c.lowSpeedMs}, start);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.ms);
            const Clock::time_point at = start + std::chrono::milliseconds(step.ms);
            if (step.bytes > 0) {
                guard.Arrived(step.bytes, at);
            }
            if (step.stop) {
                stop = 1;
            }
            EXPECT_EQ(guard.Verdict(at), step.verdict);
        }
    }
}

}  // namespace
}  // namespace afx::inet
