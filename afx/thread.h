#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// A thread of the class library's kind, always joinable: whoever starts it joins it (Join)
// and then deletes the object, so a worker never outlives the code that waits for it.
class CWinThread {
  public:
    static constexpr unsigned kFailedExitCode = ~0u;

    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    // Joins a thread that was not joined yet (detaches when called on the thread itself).
    ~CWinThread();

    // Lets a thread started suspended run its procedure; later calls do nothing.
    void ResumeThread();

    // Waits until the procedure has returned (resuming a suspended thread first); later calls
    // return at once.
    void Join();
    // Join for a thread that owns windows: while it waits it still answers the messages other
    // threads send to its windows (a worker's message box owned by one of them sends some),
    // so the wait cannot deadlock. The same as Join natively.
    void JoinServingMessages();
    bool IsJoined() const noexcept { return !m_thread.joinable(); }
    // The procedure's return value, valid after Join; kFailedExitCode when it threw.
    unsigned GetExitCode() const noexcept { return m_nExitCode; }

  private:
    friend CWinThread* AfxBeginThread(unsigned (*proc)(void*), void* param, bool suspended);
    CWinThread() = default;
    void WaitUntilResumed();

    std::thread m_thread;
    unsigned m_nExitCode = 0;
    std::mutex m_gateMutex;
    std::condition_variable m_gate;
    bool m_bResumed = true;
};

// Starts proc(param) on a new thread with normal priority and the default stack: at once, or
// when suspended only once ResumeThread is called, so that the caller can note the thread
// object where the procedure may look for it before the procedure runs.
// An exception thrown out of proc is caught (and deleted) so that it cannot end the process.
// Message boxes of the new thread are owned by the main window of the thread that started it.
// Returns null when no thread could be started.
CWinThread* AfxBeginThread(unsigned (*proc)(void*), void* param, bool suspended = false);
