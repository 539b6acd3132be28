#include <windows.h>

#include <cstdio>

#include "tests/launcher/probe_log.h"

namespace probe {

namespace {

std::string Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[64];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

}  // namespace

const char* ArgumentsOf(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            ++p;
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (static_cast<unsigned char>(*p) > ' ') {
            ++p;
        }
    }
    while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') {
        ++p;
    }
    return p;
}

void AppendRecord(const std::string& event, const std::string& fields) {
    char path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("QUOR_PROBE_LOG", path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) {
        return;
    }
    std::string record = "event=" + event + "\r\npid=" + std::to_string(GetCurrentProcessId()) +
                         "\r\ntime=" + Now() + "\r\n" + fields + "\r\n";
    // Another probe may hold the file for a moment: retry a bounded number of times.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(10);
    }
}

std::string StartFields() {
    const char* commandLine = GetCommandLineA();
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(cwd), cwd);
    return std::string("cmdline=") + commandLine + "\r\nargs=" + ArgumentsOf(commandLine) +
           "\r\ncwd=" + cwd + "\r\n";
}

}  // namespace probe
