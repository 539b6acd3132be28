// Bounded text fields: the launcher keeps all its text in fixed-size char arrays, and every
// write into one goes through these helpers so that nothing lands past the field.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace launcher {

// Field sizes in bytes, the terminating zero included.
constexpr std::size_t kPathSize = 260;
constexpr std::size_t kShortSize = 128;
constexpr std::size_t kMessageSize = 1024;
constexpr std::size_t kSystemTextSize = 256;
constexpr std::size_t kErrorSectionSize = 40;
constexpr std::size_t kErrorKeySize = 20;
constexpr std::size_t kCodeTextSize = 20;
constexpr std::size_t kCaptionSize = 80;
constexpr std::size_t kCommandSize = 512;
constexpr std::size_t kWaitSectionSize = 20;

// Copies src into dst (size bytes), cutting it to size - 1 characters. Returns the length written.
inline std::size_t CopyField(char* dst, std::size_t size, const char* src) {
    if (size == 0) {
        return 0;
    }
    std::size_t n = std::strlen(src);
    if (n >= size) {
        n = size - 1;
    }
    std::memmove(dst, src, n);
    dst[n] = '\0';
    return n;
}

// Case-blind comparison of the first n characters, ASCII letters only (no locale involved).
inline bool EqualNoCase(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
        if (x == '\0') {
            return true;
        }
    }
    return true;
}

template <std::size_t N>
std::size_t CopyField(char (&dst)[N], const char* src) {
    return CopyField(dst, N, src);
}

// printf into a field, cut to fit.
inline void FormatField(char* dst, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
inline void FormatField(char* dst, std::size_t size, const char* format, ...) {
    if (size == 0) {
        return;
    }
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(dst, size, format, args);
    va_end(args);
    if (n < 0) {
        dst[0] = '\0';
    }
}

}  // namespace launcher
