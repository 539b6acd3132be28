#include "afx/thread.h"

#include <new>
#include <system_error>

#include "afx/exceptions.h"
#include "afx/thread_internal.h"

namespace {

// Set only in threads started by AfxBeginThread.
thread_local uint32_t t_windowThreadId = 0;

}  // namespace

uint32_t AfxWindowThreadId() noexcept {
    return t_windowThreadId != 0 ? t_windowThreadId : AfxCurrentThreadId();
}

CWinThread::~CWinThread() {
    if (!m_thread.joinable()) {
        return;
    }
    ResumeThread();
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

void CWinThread::ResumeThread() {
    {
        std::lock_guard lock(m_gateMutex);
        m_bResumed = true;
    }
    m_gate.notify_all();
}

void CWinThread::WaitUntilResumed() {
    std::unique_lock lock(m_gateMutex);
    m_gate.wait(lock, [this] { return m_bResumed; });
}

void CWinThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        ResumeThread();
        m_thread.join();
    }
}

void CWinThread::JoinServingMessages() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        ResumeThread();
        AfxWaitServingMessages(m_thread);
        m_thread.join();
    }
}

CWinThread* AfxBeginThread(unsigned (*proc)(void*), void* param, bool suspended) {
    if (proc == nullptr) {
        return nullptr;
    }
    CWinThread* thread = new (std::nothrow) CWinThread();
    if (thread == nullptr) {
        return nullptr;
    }
    uint32_t windowThread = AfxWindowThreadId();
    thread->m_bResumed = !suspended;
    try {
        // The exit code is written before the thread ends and read only after Join.
        thread->m_thread = std::thread([thread, proc, param, windowThread] {
            t_windowThreadId = windowThread;
            thread->WaitUntilResumed();
            // An exception leaving the procedure would end the host's whole process.
            try {
                thread->m_nExitCode = proc(param);
            } catch (CException* e) {
                e->Delete();
                thread->m_nExitCode = CWinThread::kFailedExitCode;
            } catch (...) {
                thread->m_nExitCode = CWinThread::kFailedExitCode;
            }
        });
    } catch (const std::system_error&) {
        delete thread;
        return nullptr;
    }
    return thread;
}
