#include <windows.h>

#include "afx/thread_internal.h"

uint32_t AfxCurrentThreadId() noexcept {
    return GetCurrentThreadId();
}
