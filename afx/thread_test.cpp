#include "afx/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <string>

#include "afx/exceptions.h"
#include "afx/message_box.h"
#include "afx/recording_message_box.h"

namespace {

unsigned AddOne(void* param) {
    auto* value = static_cast<std::atomic<int>*>(param);
    return unsigned(++*value);
}

TEST(AfxBeginThread, RunsTheProcedureAndJoins) {
    std::atomic<int> value{41};
    CWinThread* thread = AfxBeginThread(AddOne, &value);
    ASSERT_NE(thread, nullptr);
    thread->Join();
    EXPECT_TRUE(thread->IsJoined());
    EXPECT_EQ(value.load(), 42);
    EXPECT_EQ(thread->GetExitCode(), 42u);
    thread->Join();  // a second join returns at once
    thread->JoinServingMessages();
    delete thread;

    CWinThread* other = AfxBeginThread(AddOne, &value);
    ASSERT_NE(other, nullptr);
    other->JoinServingMessages();
    EXPECT_TRUE(other->IsJoined());
    EXPECT_EQ(value.load(), 43);
    delete other;
}

// Suspended, the procedure waits for ResumeThread; a join or a delete resumes it, so it ends.
TEST(AfxBeginThread, SuspendedRunsOnlyOnceResumed) {
    std::atomic<int> value{0};
    CWinThread* thread = AfxBeginThread(AddOne, &value, true);
    ASSERT_NE(thread, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(value.load(), 0);
    thread->ResumeThread();
    thread->Join();
    EXPECT_EQ(value.load(), 1);
    delete thread;
    delete AfxBeginThread(AddOne, &value, true);
    EXPECT_EQ(value.load(), 2);
}

TEST(AfxBeginThread, DeletingWithoutJoinWaitsForTheProcedure) {
    std::atomic<int> value{0};
    delete AfxBeginThread(AddOne, &value);
    EXPECT_EQ(value.load(), 1);
}

unsigned Throws(void* kind) {
    if (kind != nullptr) {
        throw new CFileException();
    }
    throw 42;
}

TEST(AfxBeginThread, ExceptionsStayInsideTheThread) {
    for (void* kind : {static_cast<void*>(nullptr), reinterpret_cast<void*>(1)}) {
        CWinThread* thread = AfxBeginThread(Throws, kind);
        ASSERT_NE(thread, nullptr);
        thread->Join();
        EXPECT_EQ(thread->GetExitCode(), CWinThread::kFailedExitCode);
        delete thread;
    }
}

TEST(AfxBeginThread, NullProcedureStartsNothing) {
    EXPECT_EQ(AfxBeginThread(nullptr, nullptr), nullptr);
}

unsigned ShowFromWorker(void* text) {
    return unsigned(AfxMessageBox(static_cast<const char*>(text), MB_OK | MB_ICONINFORMATION));
}

TEST(AfxBeginThread, WorkerMessageBoxesUseTheInstalledService) {
    RecordingMessageBox boxes(IDOK);
    char text[] = "from the worker";
    CWinThread* thread = AfxBeginThread(ShowFromWorker, text);
    ASSERT_NE(thread, nullptr);
    thread->Join();
    EXPECT_EQ(thread->GetExitCode(), unsigned(IDOK));
    delete thread;
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "from the worker");
}

}  // namespace
