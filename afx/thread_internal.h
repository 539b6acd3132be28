#pragma once

#include <cstdint>

// The thread whose windows count as the calling thread's main window: the thread itself,
// or for one started with AfxBeginThread the thread that started it (transitively).
uint32_t AfxWindowThreadId() noexcept;

// The platform's id of the calling thread (thread_win.cpp); 0 natively.
uint32_t AfxCurrentThreadId() noexcept;
