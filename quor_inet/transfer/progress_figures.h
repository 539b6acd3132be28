#pragma once
// The figures of the download progress window, as pure functions of the bytes done, the total
// and the milliseconds since the transfer started, and their texts.
//
// Byte counts arrive as the signed 32-bit values the download passes around. A count past
// 2 GiB shows up there as a negative number; the figures read every count as the unsigned
// 32-bit number it holds, so files up to 4 GiB show their true sizes. Nothing here divides by
// zero, overflows or writes past the buffer it is given.

#include <cstddef>
#include <cstdint>

// Bytes the longest text needs, terminator included; every Format* call writes at most this
// many bytes (and never more than the size it is given).
inline constexpr size_t kProgressTextSize = 96;

// The text of the percentage control when the window opens.
inline constexpr char kInitialPercentText[] = "0 %";

// done * 100 / total, truncated; not capped at 100 (the total may be only what was available
// at once). 0 when total is 0; at most INT32_MAX.
int32_t ProgressPercent(int32_t done, int32_t total);

// Tenths of a KiB per second: (done * 625 / 64) / elapsedMs, both truncated; 0 when elapsedMs
// is 0. At most UINT32_MAX.
uint32_t ProgressSpeedTenths(int32_t done, uint32_t elapsedMs);

// Seconds still to go, rounded up: elapsedMs * (total - done) / done milliseconds. 0 when done
// is 0, and 0 when done has reached or passed the total. At most UINT32_MAX.
uint32_t ProgressRemainingSeconds(int32_t done, int32_t total, uint32_t elapsedMs);

// A size in tenths of a KiB, rounded up: (bytes * 10 + 1023) / 1024. Up to 214,748,262 bytes
// this is exactly the 32-bit signed result; larger counts (and negative ones, read as unsigned)
// give the true figure instead of an overflow.
uint32_t KbTenths(int32_t bytes);

struct ProgressFigures {
    int32_t percent = 0;
    uint32_t speedTenths = 0;       // tenths of a KiB per second
    uint32_t remainingSeconds = 0;  // rounded up
    uint32_t doneTenths = 0;        // KbTenths(done)
    uint32_t totalTenths = 0;       // KbTenths(total)
};

ProgressFigures ComputeProgressFigures(int32_t done, int32_t total, uint32_t elapsedMs);

// "%u %%" with the percentage: "15 %".
void FormatPercentText(int32_t percent, char* buffer, size_t size);
// "%u.%u KB/s" with speed / 10 and speed mod 10: "3.0 KB/s".
void FormatSpeedText(uint32_t speedTenths, char* buffer, size_t size);
// "%u Min. %02u Sek. ( %u.%u KB von %u.%u KB kopiert)":
// "0 Min. 03 Sek. ( 1.5 KB von 10.0 KB kopiert)".
void FormatRemainingText(const ProgressFigures& figures, char* buffer, size_t size);

// The three texts of one update.
struct ProgressTexts {
    char percent[kProgressTextSize];
    char speed[kProgressTextSize];
    char remaining[kProgressTextSize];
};
ProgressTexts MakeProgressTexts(const ProgressFigures& figures);
