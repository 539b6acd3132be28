#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "cli/terminal.h"

namespace cli {

namespace {

void (*g_onInterrupt)() = nullptr;

void OnSignal(int) {
    if (g_onInterrupt != nullptr) {
        g_onInterrupt();
    }
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void CatchInterrupt(void (*onInterrupt)()) {
    g_onInterrupt = onInterrupt;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

std::string ForTerminal(const char* text) {
    // Windows-1252 to UTF-8; its 0x80-0x9F block has letters and signs of its own.
    static const char16_t kHigh[32] = {
        0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021, 0x2C6,  0x2030, 0x160,
        0x2039, 0x152,  0x8D,   0x17D,  0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    std::string out;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        const char16_t unit = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | (unit >> 6));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

bool ReadAnswer(std::string& answerOut) {
    if (!isatty(STDIN_FILENO)) {
        return false;
    }
    return static_cast<bool>(std::getline(std::cin, answerOut));
}

bool UseLanguage(const std::string& language) {
    static const char* const kLocales[][2] = {{"de", "de_DE.UTF-8"},
                                              {"en", "en_US.UTF-8"},
                                              {"fr", "fr_FR.UTF-8"},
                                              {"it", "it_IT.UTF-8"},
                                              {"es", "es_MX.UTF-8"}};
    for (const auto& entry : kLocales) {
        if (language == entry[0]) {
            // The library's native string table follows LC_ALL at each lookup.
            setenv("LC_ALL", entry[1], 1);
            return true;
        }
    }
    return false;
}

}  // namespace cli
