// The Windows console build of quor-inet under Wine, on WinINet: one search of the sample site,
// whose lines and result text are the search dialog's.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/automation/wine_automation.h"
#include "tests/search/sample_site_expectations.h"

namespace {

// Runs the command line with standard output in a pipe; its text without the CRs of text mode.
std::string Output(std::string commandLine, DWORD& exitCode) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string out;
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(write);
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            out.append(buffer, n);
        }
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        CloseHandle(write);
    }
    CloseHandle(read);
    std::string text;
    for (char c : out) {
        if (c != '\r') {
            text += c;
        }
    }
    return text;
}

TEST(QuorInetConsole, SearchesTheSampleSite) {
    std::ifstream in(automation::GetEnv("QUOR_SAMPLE_SITE_PORT_FILE"));
    int port = 0;
    in >> port;
    ASSERT_GT(port, 0) << "the sample site is not served";
    const std::string site = "http://127.0.0.1:" + std::to_string(port) + "/";
    const quor::test::SiteSearch& search = quor::test::kFirstSiteSearch;
    DWORD exitCode = 99;
    const std::string out =
        Output(automation::ProgramDir() + "quor-inet.exe search " + site + search.start +
                   " --depth " + std::to_string(search.depth) + " --same-server --select all --classic",
               exitCode);
    EXPECT_EQ(exitCode, 0u);
    std::string expected;
    for (const std::string& line : search.lines) {
        expected += line + "\n";
    }
    expected += quor::test::ResultText(site, search.urls) + "\n";
    EXPECT_EQ(out, expected);
}

// On a console the progress is redrawn in place with carriage returns: no escape sequence
// shows as text, and the line never runs past the console's width.
TEST(QuorInetConsole, RedrawsTheProgressInPlace) {
    std::ifstream in(automation::GetEnv("QUOR_SAMPLE_SITE_PORT_FILE"));
    int port = 0;
    in >> port;
    ASSERT_GT(port, 0);
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    // A handle the program inherits.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE screen =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    const int width = info.dwSize.X;
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string saved = std::string(folder) + "quor-inet-console.mp3";
    std::string command = automation::ProgramDir() +
                          "quor-inet.exe download http://127.0.0.1:" + std::to_string(port) +
                          "/music/latin1.mp3 " + saved;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = screen;
    startup.hStdError = screen;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process));
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(exitCode, 0u);

    // The console's rows as they stand now.
    std::vector<std::string> rows;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::string row(static_cast<size_t>(width), ' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterA(screen, row.data(), static_cast<DWORD>(width), {0, y}, &read);
        row.resize(row.find_last_not_of(' ') == std::string::npos ? 0
                                                                  : row.find_last_not_of(' ') + 1);
        rows.push_back(row);
    }
    int progressRows = 0;
    for (const std::string& row : rows) {
        EXPECT_EQ(row.find("[K"), std::string::npos) << row;
        EXPECT_EQ(row.find('\x1B'), std::string::npos) << row;
        progressRows += row.rfind("Progress: ", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(progressRows, 1) << "one line, redrawn";
    CloseHandle(screen);
    FreeConsole();
    DeleteFileA(saved.c_str());
}

}  // namespace
