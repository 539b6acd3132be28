#pragma once
// Character tests and case folding of the ASCII range only: protocol words, schemes, host
// names and file extensions compare the same whatever the code page or locale.

#include <cstddef>
#include <cstring>
#include <string_view>

namespace afx {

constexpr char AsciiLower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool IsAsciiLetter(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Blank, tab, line feed, vertical tab, form feed, carriage return: isspace of the "C" locale.
constexpr bool IsAsciiSpace(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// A text shorter than the prefix never matches.
constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) noexcept {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

constexpr bool EndsWithNoCase(std::string_view text, std::string_view suffix) noexcept {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Copies text into a fixed buffer of capacity bytes, cut to fit and always terminated when
// there is room for anything; gives the number of characters copied.
inline size_t CopyBounded(char* buffer, size_t capacity, std::string_view text) noexcept {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    if (n > 0) {
        std::memcpy(buffer, text.data(), n);
    }
    buffer[n] = '\0';
    return n;
}

}  // namespace afx
