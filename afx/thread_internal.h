#pragma once

#include <cstdint>
#include <thread>

// The thread whose windows count as the calling thread's main window: the thread itself,
// or for one started with AfxBeginThread the thread that started it (transitively).
uint32_t AfxWindowThreadId() noexcept;

// The platform's id of the calling thread (thread_win.cpp); 0 natively.
uint32_t AfxCurrentThreadId() noexcept;

// Returns once thread has ended, answering messages sent to the calling thread's windows
// meanwhile (thread_win.cpp); natively it returns at once and the caller's join waits.
void AfxWaitServingMessages(std::thread& thread) noexcept;
