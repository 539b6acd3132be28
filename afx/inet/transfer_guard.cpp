#include "afx/inet/transfer_guard.h"

#include "afx/inet/inet_constants.h"

namespace afx::inet {

namespace {

int64_t MsBetween(TransferGuard::Clock::time_point from, TransferGuard::Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

}  // namespace

TransferGuard::TransferGuard(const TransferLimits& limits, Clock::time_point now)
    : limits_(limits), start_(now), windowStart_(now) {}

void TransferGuard::Arrived(uint64_t bytes, Clock::time_point now) {
    if (limits_.lowSpeedMs == 0) {
        return;
    }
    std::lock_guard lock(mutex_);
    windowBytes_ += bytes;
    // Enough for the least speed: a new window starts.
    if (windowBytes_ >= limits_.lowSpeedMs / 1000) {
        windowStart_ = now;
        windowBytes_ = 0;
    }
}

uint32_t TransferGuard::Verdict(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (verdict_ != 0) {
        return verdict_;
    }
    if (limits_.stopFlag != nullptr && limits_.stopFlag->load() != 0) {
        verdict_ = ERROR_INTERNET_OPERATION_CANCELLED;
    } else if (limits_.totalMs != 0 && MsBetween(start_, now) >= int64_t{limits_.totalMs}) {
        verdict_ = ERROR_INTERNET_TIMEOUT;
    } else if (limits_.lowSpeedMs != 0 &&
               MsBetween(windowStart_, now) >= int64_t{limits_.lowSpeedMs}) {
        verdict_ = ERROR_INTERNET_TIMEOUT;
    }
    return verdict_;
}

}  // namespace afx::inet
