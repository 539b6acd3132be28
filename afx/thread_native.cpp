#include "afx/thread_internal.h"

// Without windows there is no main window to find, so no thread needs naming.
uint32_t AfxCurrentThreadId() noexcept {
    return 0;
}

// Nothing is ever sent to a thread here: the caller's join is the whole wait.
void AfxWaitServingMessages(std::thread&) noexcept {}
