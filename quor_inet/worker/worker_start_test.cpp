#include "quor_inet/worker/worker_start.h"

#include <gtest/gtest.h>

#include <atomic>

#include "afx/thread.h"
#include "quor_inet/state/search_state.h"

namespace {

std::atomic<CWinThread*> g_seen{nullptr};
std::atomic<const char*> g_param{nullptr};

// Ends at once, as a worker whose start page fails does, clearing the marker as the worker does.
unsigned EndAtOnce(void* param) {
    g_seen = g_pSearchThread.load();
    g_param = static_cast<const char*>(param);
    g_pSearchThread = nullptr;
    return 1;
}

TEST(StartCrawlWorker, MarksTheThreadBeforeItRuns) {
    static const char kUrl[] = "http://host/";
    CWinThread* worker = StartCrawlWorker(EndAtOnce, kUrl);
    ASSERT_NE(worker, nullptr);
    worker->Join();
    EXPECT_EQ(g_seen.load(), worker);
    EXPECT_EQ(g_param.load(), kUrl);
    EXPECT_EQ(g_pSearchThread.load(), nullptr);
    delete worker;
}

TEST(StartCrawlWorker, NoThreadNotesNothing) {
    EXPECT_EQ(StartCrawlWorker(nullptr, "http://host/"), nullptr);
    EXPECT_EQ(g_pSearchThread.load(), nullptr);
}

}  // namespace
