#include <windows.h>

#include <io.h>

#include <iostream>

#include "cli/terminal.h"

namespace cli {

namespace {

void (*g_onInterrupt)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && g_onInterrupt != nullptr) {
        g_onInterrupt();
        return TRUE;
    }
    return FALSE;
}

LANGID g_language = 0;

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

void CatchInterrupt(void (*onInterrupt)()) {
    g_onInterrupt = onInterrupt;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::string ForTerminal(const char* text) {
    return text != nullptr ? text : "";
}

bool ReadAnswer(std::string& answerOut) {
    if (!_isatty(_fileno(stdin))) {
        return false;
    }
    return static_cast<bool>(std::getline(std::cin, answerOut));
}

bool UseLanguage(const std::string& language) {
    static const struct {
        const char* name;
        LANGID id;
    } kLanguages[] = {{"de", 0x407}, {"en", 0x409}, {"fr", 0x40C}, {"it", 0x410}, {"es", 0x80A}};
    if (!language.empty()) {
        g_language = 0;
        for (const auto& entry : kLanguages) {
            if (language == entry.name) {
                g_language = entry.id;
            }
        }
        if (g_language == 0) {
            return false;
        }
    }
    // The resource loader picks the texts of the calling thread's interface language.
    if (g_language != 0) {
        SetThreadUILanguage(g_language);
    }
    return true;
}

}  // namespace cli
