#include "quor_inet/transfer/progress_figures.h"

#include <cstdio>

namespace {

constexpr uint64_t kUint32Max = 0xFFFFFFFFu;
constexpr uint64_t kInt32Max = 0x7FFFFFFF;

uint64_t AsCount(int32_t bytes) {
    return static_cast<uint32_t>(bytes);
}

uint32_t Clamp32(uint64_t value) {
    return static_cast<uint32_t>(value > kUint32Max ? kUint32Max : value);
}

// snprintf that never leaves the buffer unterminated and accepts a null or empty buffer.
template <typename... Args>
void FormatInto(char* buffer, size_t size, const char* format, Args... args) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    if (std::snprintf(buffer, size, format, args...) < 0) {
        buffer[0] = '\0';
    }
}

}  // namespace

int32_t ProgressPercent(int32_t done, int32_t total) {
    if (total == 0) {
        return 0;
    }
    uint64_t percent = AsCount(done) * 100 / AsCount(total);
    return static_cast<int32_t>(percent > kInt32Max ? kInt32Max : percent);
}

uint32_t ProgressSpeedTenths(int32_t done, uint32_t elapsedMs) {
    if (elapsedMs == 0) {
        return 0;
    }
    return Clamp32(AsCount(done) * 625 / 64 / elapsedMs);
}

uint32_t ProgressRemainingSeconds(int32_t done, int32_t total, uint32_t elapsedMs) {
    const uint64_t d = AsCount(done);
    const uint64_t t = AsCount(total);
    if (d == 0 || d >= t) {
        return 0;
    }
    // Both factors are below 2^32, so the product and the rounding stay below 2^64.
    const uint64_t remainingMs = uint64_t{elapsedMs} * (t - d) / d;
    return Clamp32((remainingMs + 999) / 1000);
}

uint32_t KbTenths(int32_t bytes) {
    return static_cast<uint32_t>((AsCount(bytes) * 10 + 1023) / 1024);
}

ProgressFigures ComputeProgressFigures(int32_t done, int32_t total, uint32_t elapsedMs) {
    ProgressFigures f;
    f.percent = ProgressPercent(done, total);
    f.speedTenths = ProgressSpeedTenths(done, elapsedMs);
    f.remainingSeconds = ProgressRemainingSeconds(done, total, elapsedMs);
    f.doneTenths = KbTenths(done);
    f.totalTenths = KbTenths(total);
    return f;
}

void FormatPercentText(int32_t percent, char* buffer, size_t size) {
    FormatInto(buffer, size, "%u %%", static_cast<unsigned>(percent < 0 ? 0 : percent));
}

void FormatSpeedText(uint32_t speedTenths, char* buffer, size_t size) {
    FormatInto(buffer, size, "%u.%u KB/s", static_cast<unsigned>(speedTenths / 10),
               static_cast<unsigned>(speedTenths % 10));
}

void FormatRemainingText(const ProgressFigures& f, char* buffer, size_t size) {
    FormatInto(buffer, size, "%u Min. %02u Sek. ( %u.%u KB von %u.%u KB kopiert)",
               static_cast<unsigned>(f.remainingSeconds / 60),
               static_cast<unsigned>(f.remainingSeconds % 60),
               static_cast<unsigned>(f.doneTenths / 10), static_cast<unsigned>(f.doneTenths % 10),
               static_cast<unsigned>(f.totalTenths / 10),
               static_cast<unsigned>(f.totalTenths % 10));
}

ProgressTexts MakeProgressTexts(const ProgressFigures& figures) {
    ProgressTexts texts{};
    FormatPercentText(figures.percent, texts.percent, sizeof texts.percent);
    FormatSpeedText(figures.speedTenths, texts.speed, sizeof texts.speed);
    FormatRemainingText(figures, texts.remaining, sizeof texts.remaining);
    return texts;
}
