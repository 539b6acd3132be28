#pragma once
// What ends a session's transfers early: a stop flag that another thread may raise, a limit on
// the time the session's transfers may take in all, and a least speed. The backends ask the
// guard while they wait on the network (at least every kGuardPollMs) and before every read,
// and tell it each body byte that arrives, so that a blocked connect, wait for headers or read
// ends soon after the verdict, however the server behaves.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace afx::inet {

struct TransferLimits {
    // Non-zero ends every transfer of the session (ERROR_INTERNET_OPERATION_CANCELLED).
    const std::atomic<int32_t>* stopFlag = nullptr;
    // The session's transfers fail (ERROR_INTERNET_TIMEOUT) once this long has passed since the
    // limits were set; 0 for no limit.
    uint32_t totalMs = 0;
    // They fail (ERROR_INTERNET_TIMEOUT) when fewer than lowSpeedMs / 1000 bytes, that is less
    // than one byte a second, arrived in this long; 0 for no least speed.
    uint32_t lowSpeedMs = 0;
};

inline constexpr int kGuardPollMs = 100;

class TransferGuard {
  public:
    using Clock = std::chrono::steady_clock;

    explicit TransferGuard(const TransferLimits& limits, Clock::time_point now = Clock::now());

    // Body bytes that arrived at now.
    void Arrived(uint64_t bytes, Clock::time_point now = Clock::now());
    // 0 while the transfers may go on; else the error that ends them. A verdict once given
    // stays, whatever happens to the flag afterwards.
    uint32_t Verdict(Clock::time_point now = Clock::now());

  private:
    const TransferLimits limits_;
    const Clock::time_point start_;
    std::mutex mutex_;
    Clock::time_point windowStart_;  // since when the bytes of the least speed are counted
    uint64_t windowBytes_ = 0;
    uint32_t verdict_ = 0;
};

}  // namespace afx::inet
