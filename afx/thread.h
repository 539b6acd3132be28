#pragma once

#include <cstdint>
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

    // Waits until the procedure has returned; later calls return at once.
    void Join();
    // Join for a thread that owns windows: while it waits it still answers the messages other
    // threads send to its windows (a worker's message box owned by one of them sends some),
    // so the wait cannot deadlock. The same as Join natively.
    void JoinServingMessages();
    bool IsJoined() const noexcept { return !m_thread.joinable(); }
    // The procedure's return value, valid after Join; kFailedExitCode when it threw.
    unsigned GetExitCode() const noexcept { return m_nExitCode; }

  private:
    friend CWinThread* AfxBeginThread(unsigned (*proc)(void*), void* param);
    CWinThread() = default;

    std::thread m_thread;
    unsigned m_nExitCode = 0;
};

// Starts proc(param) at once on a new thread with normal priority and the default stack.
// An exception thrown out of proc is caught (and deleted) so that it cannot end the process.
// Message boxes of the new thread are owned by the main window of the thread that started it.
// Returns null when no thread could be started.
CWinThread* AfxBeginThread(unsigned (*proc)(void*), void* param);
