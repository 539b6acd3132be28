#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <iostream>

#include "cli/terminal.h"

namespace cli {

namespace {

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

void (*g_onInterrupt)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && g_onInterrupt != nullptr) {
        g_onInterrupt();
        return TRUE;
    }
    return FALSE;
}

LANGID g_language = 0;

const struct {
    const char* name;
    LANGID id;
} kLanguages[] = {{"de", 0x407}, {"en", 0x409}, {"fr", 0x40C}, {"it", 0x410}, {"es", 0x80A}};

HANDLE ConsoleOf(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    DWORD mode = 0;
    return _isatty(_fileno(stream)) != 0 && GetConsoleMode(ConsoleOf(stream), &mode) != FALSE;
}

int TerminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!IsTerminal(stream) || !GetConsoleScreenBufferInfo(ConsoleOf(stream), &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool EnableEscapes(std::FILE* stream) {
    DWORD mode = 0;
    HANDLE console = ConsoleOf(stream);
    if (!IsTerminal(stream) || !GetConsoleMode(console, &mode)) {
        return false;
    }
    // Wine's console takes the mode but shows the sequences as text; older consoles refuse it.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           (SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE &&
            GetConsoleMode(console, &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0);
}

void CatchInterrupt(void (*onInterrupt)()) {
    g_onInterrupt = onInterrupt;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

TextCoding OutputCoding() {
    return TextCoding::kCp1252;
}

std::string ForTerminal(std::string_view text, bool keepLineBreaks) {
    return CleanControls(text, TextCoding::kCp1252, keepLineBreaks);
}

std::string BytesForTerminal(std::string_view bytes) {
    return CleanControls(bytes, TextCoding::kCp1252);
}

void UseBinaryOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
}

bool ReadAnswer(std::string& answerOut) {
    if (!_isatty(_fileno(stdin))) {
        return false;
    }
    return static_cast<bool>(std::getline(std::cin, answerOut));
}

bool UseLanguage(const std::string& language) {
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

std::string ChosenLanguage() {
    const LANGID id = g_language != 0 ? g_language : GetUserDefaultUILanguage();
    for (const auto& entry : kLanguages) {
        if (PRIMARYLANGID(id) == PRIMARYLANGID(entry.id)) {
            return entry.name;
        }
    }
    return "en";
}

}  // namespace cli
