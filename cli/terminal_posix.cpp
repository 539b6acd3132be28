#include <iconv.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "afx/ascii.h"
#include "cli/terminal.h"

namespace cli {

namespace {

void (*g_onInterrupt)() = nullptr;

void OnSignal(int) {
    if (g_onInterrupt != nullptr) {
        g_onInterrupt();
    }
}

// The locale the environment names for a category, as the C library would take it.
std::string LocaleName(const char* category) {
    for (const char* name : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "";
}

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), afx::AsciiLower);
    return text;
}

// The character set after the locale's '.', when it names one.
std::string Codeset() {
    const std::string name = LocaleName("LC_CTYPE");
    const size_t dot = name.find('.');
    if (dot == std::string::npos) {
        return "";
    }
    return name.substr(dot + 1, name.find('@', dot) - dot - 1);
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

int TerminalColumns(std::FILE* stream) {
    struct winsize size {};
    if (!IsTerminal(stream) || ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

bool EnableEscapes(std::FILE* stream) {
    return IsTerminal(stream);
}

void CatchInterrupt(void (*onInterrupt)()) {
    g_onInterrupt = onInterrupt;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

TextCoding OutputCoding() {
    // Without a character set (the C locale, or a language alone) UTF-8, as terminals are.
    static const TextCoding coding = [] {
        const std::string codeset = Lowered(Codeset());
        return codeset.empty() || codeset == "utf-8" || codeset == "utf8" ? TextCoding::kUtf8
                                                                          : TextCoding::kEightBit;
    }();
    return coding;
}

std::string ForTerminal(std::string_view text, bool keepLineBreaks) {
    if (OutputCoding() == TextCoding::kUtf8) {
        return CleanControls(Cp1252ToUtf8(text), TextCoding::kUtf8, keepLineBreaks);
    }
    // Another 8-bit set: converted by the C library, what it lacks as near as it can.
    std::string out;
    const std::string target = Codeset() + "//TRANSLIT";
    iconv_t convert = iconv_open(target.c_str(), "CP1252");
    if (convert == reinterpret_cast<iconv_t>(-1)) {
        out.assign(text);
    } else {
        std::string in(text);
        char* from = in.data();
        size_t left = in.size();
        while (left > 0) {
            char buffer[256];
            char* to = buffer;
            size_t room = sizeof buffer;
            const size_t n = iconv(convert, &from, &left, &to, &room);
            out.append(buffer, static_cast<size_t>(to - buffer));
            if (n == static_cast<size_t>(-1) && errno != E2BIG) {
                out += '?';  // a byte the set has no way to show
                ++from;
                --left;
            }
        }
        iconv_close(convert);
    }
    return CleanControls(out, TextCoding::kEightBit, keepLineBreaks);
}

std::string BytesForTerminal(std::string_view bytes) {
    return CleanControls(bytes, OutputCoding());
}

void UseBinaryOutput() {}

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
    if (language.empty()) {
        return true;
    }
    for (const auto& entry : kLocales) {
        if (language == entry[0]) {
            // The library's native string table follows LC_ALL at each lookup.
            setenv("LC_ALL", entry[1], 1);
            return true;
        }
    }
    return false;
}

std::string ChosenLanguage() {
    const std::string name = Lowered(LocaleName("LC_MESSAGES")).substr(0, 2);
    for (const char* language : {"de", "fr", "it", "es"}) {
        if (name == language) {
            return language;
        }
    }
    return "en";
}

}  // namespace cli
