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
                   " --depth " + std::to_string(search.depth) + " --same-server --select all",
               exitCode);
    EXPECT_EQ(exitCode, 0u);
    std::string expected;
    for (const std::string& line : search.lines) {
        expected += line + "\n";
    }
    expected += quor::test::ResultText(site, search.urls) + "\n";
    EXPECT_EQ(out, expected);
}

}  // namespace
