// Runs quor_host.exe and drives it through a whole search and download, as a person would:
// File > Internet search..., Search, All, OK, File > Download..., File > Exit. Prints the list
// of found files, the host's result text and what each download gave, and saves screenshots
// of the dialog after the search and of the host at the end (search_dialog.bmp,
// search_host.bmp) in the artifacts folder (QUOR_ARTIFACTS).
//
//   search_driver (--url=URL | --port-file=FILE) [--download-dir=DIR] [--host=PROGRAM]
//                 [--timeout=SECONDS] [--current-web] [--trust=PEM]
//
// --current-web switches File > Search the current web on before the search (checking the
// stored CurrentWeb) and off again before Exit. --trust makes the prefix trust the
// certificate authority in PEM while the driver runs, for a site served over https.
//
// --port-file names a file that holds the port of the sample site on 127.0.0.1; the start page
// is then its index.html. --host defaults to quor_host.exe beside this program; --timeout (default
// 120) bounds each wait. Message boxes that the host shows meanwhile are printed and answered
// (No, else Cancel, else OK). Exit code: 0 when every step worked and every download gave a
// file, 1 when a step failed (a screenshot search_failure.bmp shows the screen then), 2 for a
// usage error.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/host_commands.h"
#include "quor_inet/resources/resource.h"
#include "tests/automation/wine_automation.h"
#include "tests/inet/trusted_certificate.h"

namespace {

using automation::Window;

constexpr uint32_t kPollMs = 50;
constexpr uint32_t kStepMs = 15000;  // a window coming or going, a click taken

// The texts are in the ANSI code page of the host's language; the terminal wants UTF-8.
std::string Utf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string Utf8FromAnsi(const std::string& ansi) {
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
    return Utf8(wide);
}

void Print(const std::string& ansi) {
    const std::string text = Utf8FromAnsi(ansi);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// The whole text of another process's window (an edit's may be long), without the carriage
// returns.
std::string LongWindowText(Window window) {
    HWND hwnd = static_cast<HWND>(window);
    DWORD_PTR length = 0;
    if (hwnd == nullptr ||
        !SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 5000,
                             &got)) {
        return {};
    }
    std::wstring wide(buffer.data(), got < buffer.size() ? got : 0);
    std::string narrow;
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), n,
                        nullptr, nullptr);
    std::string out;
    for (char c : narrow) {
        if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool Enabled(Window parent, int id) {
    Window control = automation::Control(parent, id);
    return control != nullptr && IsWindowEnabled(static_cast<HWND>(control));
}

struct Find {
    uint32_t processId;
    std::function<bool(HWND)> match;
    HWND found = nullptr;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM param) {
    auto* find = reinterpret_cast<Find*>(param);
    if (IsWindowVisible(hwnd) && automation::WindowProcessId(hwnd) == find->processId &&
        automation::WindowClass(hwnd) == automation::kDialogClass && find->match(hwnd)) {
        find->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog-class window of the process that has all the controls `with` and none of
// the controls `without`.
Window FindDialog(uint32_t processId, std::vector<int> with, std::vector<int> without = {}) {
    Find find{processId, [&](HWND hwnd) {
                  for (int id : with) {
                      if (GetDlgItem(hwnd, id) == nullptr) {
                          return false;
                      }
                  }
                  for (int id : without) {
                      if (GetDlgItem(hwnd, id) != nullptr) {
                          return false;
                      }
                  }
                  return true;
              }};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// Prints a visible top-level window of the process (lParam: its id) with its controls.
BOOL CALLBACK PrintWindowOf(HWND hwnd, LPARAM processId) {
    if (!IsWindowVisible(hwnd) ||
        automation::WindowProcessId(hwnd) != *reinterpret_cast<const DWORD*>(processId)) {
        return TRUE;
    }
    Print("  window \"" + automation::WindowText(hwnd) + "\" (" + automation::WindowClass(hwnd) +
          ")" + (IsWindowEnabled(hwnd) ? "" : ", disabled") + "\n");
    for (const automation::ControlInfo& c : automation::Controls(hwnd)) {
        if (c.visible) {
            Print("    " + std::to_string(c.id) + " " + c.className + " \"" + c.text + "\"" +
                  (Enabled(hwnd, c.id) ? "" : " (disabled)") + "\n");
        }
    }
    return TRUE;
}

// The stored value that File > Search the current web writes; -1 when there is none.
long StoredCurrentWeb() {
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CURRENT_USER, "Software\\Quor\\Internet", "CurrentWeb",
                        RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS
               ? static_cast<long>(value)
               : -1;
}

class Driver {
  public:
    Driver(std::string hostCommand, uint32_t timeoutMs, bool currentWeb)
        : m_command(std::move(hostCommand)), m_timeoutMs(timeoutMs), m_currentWeb(currentWeb) {}

    int Run() {
        const bool ok = Drive();
        if (!ok) {
            ShowWhatIsOnScreen();
            // The destructor of the host's process ends it.
            return 1;
        }
        return 0;
    }

  private:
    bool Fail(const std::string& what) {
        Print("FAILED: " + what + "\n");
        return false;
    }

    // Polls until `done` holds; meanwhile answers the host's message boxes and notices its end.
    bool WaitUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
        const uint64_t deadline = automation::NowMs() + timeoutMs;
        for (;;) {
            AnswerMessageBoxes();
            if (done()) {
                return true;
            }
            if (!m_host.Running() || automation::NowMs() >= deadline) {
                return false;
            }
            automation::SleepMs(kPollMs);
        }
    }

    void AnswerMessageBoxes() {
        // The labels of the library's dialogs have the message text's id too.
        Window box = FindDialog(m_host.Id(), {automation::kMessageBoxTextId},
                                {IDC_FOUND_LIST, IDC_SOURCE_URL});
        if (box == nullptr) {
            return;
        }
        automation::MessageBoxInfo info = automation::ReadMessageBox(box);
        const int button = info.no       ? automation::kIdNo
                           : info.cancel ? automation::kIdCancel
                                         : automation::kIdOk;
        ++m_boxes;
        Print("Message box \"" + info.caption + "\": " + info.text + " [" + info.Buttons() +
              "] -> " + automation::ButtonName(button) + "\n");
        automation::ClickButton(box, button, kStepMs);
        automation::WaitForWindowGone(box, kStepMs);
    }

    bool Command(int id) {
        return PostMessageA(static_cast<HWND>(m_main), WM_COMMAND, static_cast<WPARAM>(id), 0) != 0;
    }

    std::string HostText() {
        return LongWindowText(automation::Control(m_main, quor_host::kResultTextId));
    }

    // One step after the other, as a person works the host; each says what went wrong.
    bool Drive() {
        return StartHost() && (!m_currentWeb || SwitchCurrentWeb(true)) && Search() &&
               ChooseAll() && Download() && (!m_currentWeb || SwitchCurrentWeb(false)) &&
               ExitHost();
    }

    // What the item stores. (Its check mark cannot be read from here: under Wine a menu lives in
    // its own process.)
    bool SwitchCurrentWeb(bool on) {
        Print(std::string("\n=== File > Search the current web (") + (on ? "on" : "off") + ")\n");
        const long want = on ? 1 : 0;
        if (StoredCurrentWeb() == want) {
            return Fail("CurrentWeb is stored as " + std::to_string(want) + " already");
        }
        if (!Command(quor_host::kCmdCurrentWeb) ||
            !WaitUntil([&] { return StoredCurrentWeb() == want; }, kStepMs)) {
            return Fail("CurrentWeb stayed " + std::to_string(StoredCurrentWeb()));
        }
        Print("CurrentWeb is stored as " + std::to_string(want) + "\n");
        return true;
    }

    bool StartHost() {
        // Without a window manager on the display, each closing window would wait for one.
        automation::SetWineAppUnmanaged("quor_host.exe");
        Print("Starting " + m_command + "\n");
        m_host = automation::Process::Start(m_command);
        if (!m_host.Started()) {
            return Fail("the host did not start");
        }
        m_main =
            automation::WaitForWindow({quor_host::kMainWindowCaption, "", m_host.Id()}, kStepMs);
        if (m_main == nullptr) {
            return Fail("no main window \"" + std::string(quor_host::kMainWindowCaption) + "\"");
        }
        return true;
    }

    bool Search() {
        Print("\n=== File > Internet search...\n");
        m_textBefore = HostText();
        if (!Command(quor_host::kCmdInternetSearch) ||
            !WaitUntil(
                [&] {
                    m_dialog = FindDialog(m_host.Id(), {IDC_FOUND_LIST, IDC_SEARCH});
                    return m_dialog != nullptr;
                },
                kStepMs)) {
            return Fail("the search dialog did not open");
        }
        Print("Dialog \"" + automation::WindowText(m_dialog) + "\", start address " +
              automation::ControlText(m_dialog, IDC_URL) + "\n");
        if (!automation::ClickButton(m_dialog, IDC_SEARCH, kStepMs)) {
            return Fail("Search could not be pressed");
        }
        // The click has been handled when ClickButton returns: a running search shows its Stop
        // label (in the host's language), with OK disabled.
        const std::string stopLabel = automation::ControlText(m_dialog, IDC_SEARCH);
        const bool started = !Enabled(m_dialog, IDOK);
        Print("Search pressed; the button reads \"" + stopLabel + "\"" +
              (started ? "" : " and OK stayed enabled") + "\n");
        const uint64_t searchStart = automation::NowMs();
        const bool ended = WaitUntil(
            [&] {
                return !started || (Enabled(m_dialog, IDOK) && Enabled(m_dialog, IDC_SEARCH) &&
                                    automation::ControlText(m_dialog, IDC_SEARCH) != stopLabel);
            },
            m_timeoutMs);
        m_items = automation::ListBoxItems(m_dialog, IDC_FOUND_LIST);
        if (!ended) {
            return Fail("the search did not end within " + std::to_string(m_timeoutMs / 1000) +
                        " s (" + std::to_string(m_items.size()) + " files listed so far)");
        }
        char seconds[32];
        std::snprintf(seconds, sizeof(seconds), "%.1f",
                      static_cast<double>(automation::NowMs() - searchStart) / 1000.0);
        Print("Search ended after " + std::string(seconds) + " s; the button reads \"" +
              automation::ControlText(m_dialog, IDC_SEARCH) + "\", the status line \"" +
              automation::ControlText(m_dialog, IDC_STATUS) + "\"\n");
        Print("Found files (" + std::to_string(m_items.size()) + "):\n");
        for (const std::string& item : m_items) {
            Print("  " + item + "\n");
        }
        Shot("search_dialog", m_dialog);
        return !m_items.empty() || Fail("the search found nothing");
    }

    bool ChooseAll() {
        if (!automation::ClickButton(m_dialog, IDC_ALL, kStepMs)) {
            return Fail("All could not be pressed");
        }
        DWORD_PTR selected = 0;
        SendMessageTimeoutA(static_cast<HWND>(automation::Control(m_dialog, IDC_FOUND_LIST)),
                            LB_GETSELCOUNT, 0, 0, SMTO_ABORTIFHUNG, kStepMs, &selected);
        Print("All pressed: " + std::to_string(static_cast<LRESULT>(selected)) + " of " +
              std::to_string(m_items.size()) + " selected\n");
        if (!automation::ClickButton(m_dialog, IDOK, kStepMs) ||
            !WaitUntil([&] { return automation::WaitForWindowGone(m_dialog, 0); }, kStepMs)) {
            return Fail("OK did not close the dialog");
        }
        // The host shows the result once the call has returned.
        std::string text;
        if (!WaitUntil([&] { return (text = HostText()) != m_textBefore; }, kStepMs)) {
            return Fail("the host's text did not change after OK");
        }
        for (const std::string& line : Lines(text)) {
            if (line.empty()) {
                break;
            }
            m_urls.push_back(line);
        }
        Print("OK pressed; the host's result text:\n");
        for (const std::string& url : m_urls) {
            Print("  " + url + "\n");
        }
        return m_urls.size() == m_items.size() ||
               Fail(std::to_string(m_items.size()) + " files were selected but the result holds " +
                    std::to_string(m_urls.size()) + " lines");
    }

    bool Download() {
        Print("\n=== File > Download...\n");
        if (!Command(quor_host::kCmdDownload)) {
            return Fail("Download... could not be chosen");
        }
        std::vector<std::string> results;
        const bool ended = WaitUntil(
            [&] {
                if (FindDialog(m_host.Id(), {IDC_SOURCE_URL, IDC_DOWNLOAD_PROGRESS}) != nullptr) {
                    return false;
                }
                results.clear();
                for (const std::string& line : Lines(HostText())) {
                    if (line.find(" -> ") != std::string::npos &&
                        (EndsWith(line, ": ok") || EndsWith(line, ": failed"))) {
                        results.push_back(line);
                    }
                }
                return results.size() == m_urls.size() &&
                       IsWindowEnabled(static_cast<HWND>(m_main));
            },
            m_timeoutMs);
        for (const std::string& line : results) {
            Print("  " + line + "\n");
        }
        Shot("search_host", m_main);
        if (!ended) {
            return Fail("the downloads did not end within the time-out (" +
                        std::to_string(results.size()) + " of " + std::to_string(m_urls.size()) +
                        " reported)");
        }
        // "<url> -> <path>: ok" with a file that holds something.
        m_downloaded = 0;
        for (const std::string& line : results) {
            const size_t arrow = line.find(" -> ");
            const std::string path = line.substr(arrow + 4, line.size() - arrow - 4 - 4);
            WIN32_FILE_ATTRIBUTE_DATA data = {};
            if (EndsWith(line, ": ok") &&
                GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
                (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0)) {
                ++m_downloaded;
            }
        }
        return true;
    }

    bool ExitHost() {
        Print("\n=== File > Exit\n");
        if (!Command(quor_host::kCmdExit) || !m_host.Wait(kStepMs)) {
            return Fail("the host did not end after Exit");
        }
        const uint32_t code = m_host.ExitCode();
        Print("The host ended with exit code " + std::to_string(code) + "\n");
        if (m_boxes != 0) {
            Print(std::to_string(m_boxes) + " message box(es) answered on the way\n");
        }
        if (m_downloaded != m_urls.size()) {
            return Fail(std::to_string(m_urls.size() - m_downloaded) + " of " +
                        std::to_string(m_urls.size()) + " downloads gave no file");
        }
        if (code != 0) {
            return Fail("the host's exit code is not 0");
        }
        Print("All " + std::to_string(m_downloaded) + " files downloaded.\n");
        return true;
    }

    bool Shot(const std::string& name, Window window) {
        const std::string path = automation::SaveScreenshot(name, window);
        if (!path.empty()) {
            Print("Screenshot: " + path + "\n");
        }
        return !path.empty();
    }

    // What the host had on screen when a step failed.
    void ShowWhatIsOnScreen() {
        Shot("search_failure", nullptr);
        if (!m_host.Running()) {
            Print("The host has ended, exit code " + std::to_string(m_host.ExitCode()) + "\n");
            return;
        }
        DWORD processId = m_host.Id();
        EnumWindows(PrintWindowOf, reinterpret_cast<LPARAM>(&processId));
    }

    std::string m_command;
    uint32_t m_timeoutMs;
    bool m_currentWeb;
    automation::Process m_host;
    Window m_main = nullptr;
    Window m_dialog = nullptr;
    std::string m_textBefore;
    std::vector<std::string> m_items;  // the dialog's list lines
    std::vector<std::string> m_urls;   // the host's result, one URL a line
    size_t m_downloaded = 0;           // downloads that gave a file
    int m_boxes = 0;
};

std::string Quoted(const std::string& arg) {
    return arg.find_first_of(" \t") == std::string::npos ? arg : "\"" + arg + "\"";
}

std::string ReadPort(const std::string& file) {
    std::ifstream in(automation::WindowsPathOf(file));
    std::string port;
    in >> port;
    return port.find_first_not_of("0123456789") == std::string::npos ? port : std::string();
}

int Usage() {
    std::fprintf(stderr,
                 "usage: search_driver (--url=URL | --port-file=FILE) [--download-dir=DIR] "
                 "[--host=PROGRAM] [--timeout=SECONDS] [--current-web] [--trust=PEM]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Lines end in "\n" alone, as the shell that reads them expects.
    _setmode(_fileno(stdout), _O_BINARY);
    std::string url;
    std::string portFile;
    std::string downloadDir;
    std::string host = automation::ProgramDir() + "quor_host.exe";
    unsigned long timeoutSeconds = 120;
    bool currentWeb = false;
    std::string trust;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&arg](const char* name) -> const char* {
            const size_t n = std::strlen(name);
            return arg.compare(0, n, name) == 0 ? arg.c_str() + n : nullptr;
        };
        if (const char* v = value("--url=")) {
            url = v;
        } else if (const char* v = value("--port-file=")) {
            portFile = v;
        } else if (const char* v = value("--download-dir=")) {
            downloadDir = automation::WindowsPathOf(v);
        } else if (const char* v = value("--host=")) {
            host = automation::WindowsPathOf(v);
        } else if (const char* v = value("--timeout=")) {
            timeoutSeconds = std::strtoul(v, nullptr, 10);
        } else if (arg == "--current-web") {
            currentWeb = true;
        } else if (const char* v = value("--trust=")) {
            trust = automation::WindowsPathOf(v);
        } else {
            return Usage();
        }
    }
    if (url.empty() == portFile.empty() || timeoutSeconds == 0) {
        return Usage();
    }
    if (!portFile.empty()) {
        const std::string port = ReadPort(portFile);
        if (port.empty()) {
            Print("FAILED: no port in " + portFile + "\n");
            return 1;
        }
        url = "http://127.0.0.1:" + port + "/index.html";
    }
    std::string command = Quoted(host) + " --url " + Quoted(url);
    if (!downloadDir.empty()) {
        command += " --download-dir " + Quoted(downloadDir);
    }
    std::optional<quor::test::TrustedCertificate> authority;
    if (!trust.empty() && !authority.emplace(trust).ok()) {
        Print("FAILED: the authority in " + trust + " could not be trusted\n");
        return 1;
    }
    Driver driver(command, static_cast<uint32_t>(timeoutSeconds * 1000), currentWeb);
    return driver.Run();
}
