#include <windows.h>
#include <pthread.h>

#include "afx/thread_internal.h"

uint32_t AfxCurrentThreadId() noexcept {
    return GetCurrentThreadId();
}

void AfxWaitServingMessages(std::thread& thread) noexcept {
    HANDLE handle = static_cast<HANDLE>(pthread_gethandle(thread.native_handle()));
    if (handle == nullptr) {
        return;
    }
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1) {
            return;  // ended, or the wait failed: the caller's join takes over
        }
        // Peeking delivers the messages sent to this thread's windows; posted ones stay queued.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
