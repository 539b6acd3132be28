// quor_host.exe: a small host of quor_inet.dll that behaves as the audio application does. Its
// main window offers the library's two operations in its File menu and shows what they gave.
//
//   quor_host [--url URL] [--download-dir DIR] [--help]
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/download_name.h"
#include "host/host_commands.h"
#include "quor_inet/include/quor_inet.h"

namespace {

using namespace quor_host;

constexpr char kWindowClass[] = "QuorAudioHost";
constexpr char kUsage[] =
    "Usage: quor_host [--url URL] [--download-dir DIR] [--help]\r\n"
    "\r\n"
    "  --url URL           the start address the Internet search shows (default: the one it\r\n"
    "                      showed last, else the library's own)\r\n"
    "  --download-dir DIR  where Download... puts the files (default: Downloads beside\r\n"
    "                      quor_host.exe)\r\n"
    "  --help              this text\r\n"
    "\r\n"
    "File > Internet search... finds sound files on the web and lets you choose some;\r\n"
    "File > Download... copies the chosen files into the download folder, one after the\r\n"
    "other. File > Search the current web: searches and downloads follow today's web (https,\r\n"
    "redirections, robots.txt...) instead of the library's classic rules.\r\n";
// Room kept in a path for the " (n)" that tells a file from one already there.
constexpr size_t kNumberRoom = 6;
constexpr int kMaxNumber = 999;

struct Options {
    std::string url;
    std::string downloadDir;
    bool help = false;
    std::string error;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc && options.error.empty(); ++i) {
        const std::string arg = argv[i];
        std::string* value = nullptr;
        std::string name = arg.substr(0, arg.find('='));
        if (name == "--url") {
            value = &options.url;
        } else if (name == "--download-dir") {
            value = &options.downloadDir;
        } else if (arg == "--help" || arg == "-h" || arg == "/?") {
            options.help = true;
            continue;
        } else {
            options.error = "unknown argument: " + arg;
            break;
        }
        if (arg.size() > name.size()) {
            *value = arg.substr(name.size() + 1);
        } else if (i + 1 < argc) {
            *value = argv[++i];
        } else {
            options.error = name + " needs a value";
        }
    }
    return options;
}

// A program started from a shell prints there; one started from the desktop has no output
// to print to and shows a box instead.
void ShowUsage(const std::string& error) {
    const std::string text = (error.empty() ? "" : "quor_host: " + error + "\r\n\r\n") + kUsage;
    HANDLE out = GetStdHandle(error.empty() ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN &&
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        return;
    }
    MessageBoxA(nullptr, text.c_str(), kMainWindowCaption,
                MB_OK | (error.empty() ? MB_ICONINFORMATION : MB_ICONERROR));
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH];
    char* filePart = nullptr;
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof(buffer), buffer, &filePart);
    std::string full = n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : path;
    // "C:\" keeps its backslash; every other folder loses its trailing one.
    while (full.size() > 3 && (full.back() == '\\' || full.back() == '/')) {
        full.pop_back();
    }
    return full;
}

std::string DefaultDownloadDir() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string dir(path, n < sizeof(path) ? n : 0);
    const size_t slash = dir.find_last_of('\\');
    return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + "Downloads";
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes the folder and the ones above it that are missing.
bool MakeFolder(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            const std::string level = path.substr(0, i);
            if (!IsFolder(level)) {
                CreateDirectoryA(level.c_str(), nullptr);
            }
        }
    }
    return IsFolder(path);
}

// The library's settings live under this key, one value per setting; "CurrentWeb" (a DWORD,
// 0 or 1) chooses the rules its searches and downloads follow.
constexpr char kSettingsKey[] = "Software\\Quor\\Internet";
constexpr char kCurrentWebValue[] = "CurrentWeb";

bool ReadCurrentWeb() {
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, kCurrentWebValue, RRF_RT_REG_DWORD,
                        nullptr, &value, &size) == ERROR_SUCCESS &&
           value != 0;
}

bool WriteCurrentWeb(bool on) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD value = on ? 1 : 0;
    const LONG written = RegSetValueExA(key, kCurrentWebValue, 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return written == ERROR_SUCCESS;
}

std::vector<std::string> SplitResult(const char* result) {
    std::vector<std::string> urls;
    const std::string text = result;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t star = std::min(text.find('*', from), text.size());
        if (star > from) {
            urls.push_back(text.substr(from, star - from));
        }
        from = star + 1;
    }
    return urls;
}

class HostWindow {
  public:
    HostWindow(std::string startUrl, std::string downloadDir)
        : m_startUrl(std::move(startUrl)), m_downloadDir(std::move(downloadDir)) {}

    bool Create(HINSTANCE instance, int show) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &HostWindow::Proc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kWindowClass;
        if (RegisterClassA(&wc) == 0) {
            return false;
        }
        HMENU file = CreatePopupMenu();
        AppendMenuA(file, MF_STRING, kCmdInternetSearch, "&Internet search...");
        AppendMenuA(file, MF_STRING, kCmdDownload, "&Download...");
        AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(file, MF_STRING | (ReadCurrentWeb() ? MF_CHECKED : MF_UNCHECKED),
                    kCmdCurrentWeb, "Search the &current web");
        AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(file, MF_STRING, kCmdExit, "E&xit");
        HMENU bar = CreateMenu();
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
        m_window =
            CreateWindowExA(0, kWindowClass, kMainWindowCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 720, 420, nullptr, bar, instance, this);
        if (m_window == nullptr) {
            DestroyMenu(bar);
            return false;
        }
        ShowText();
        // The library takes the thread's first visible window without an owner as the host's
        // main window: this one, shown before anything is called.
        ShowWindow(m_window, show);
        UpdateWindow(m_window);
        return true;
    }

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        return self != nullptr ? self->Handle(window, message, wParam, lParam)
                               : DefWindowProcA(window, message, wParam, lParam);
    }

    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_CREATE:
                m_text =
                    CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                        ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY,
                                    0, 0, 0, 0, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kResultTextId)),
                                    reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance, nullptr);
                if (m_text == nullptr) {
                    return -1;
                }
                SendMessageA(m_text, WM_SETFONT,
                             reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
                SendMessageA(m_text, EM_SETLIMITTEXT, 0, 0);
                return 0;
            case WM_SIZE:
                MoveWindow(m_text, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
                return 0;
            case WM_COMMAND:
                // The library pumps this thread's messages while it works: a command that
                // arrives meanwhile is dropped, never run inside the running one.
                if (HIWORD(wParam) <= 1 && !m_busy) {
                    switch (LOWORD(wParam)) {
                        case kCmdInternetSearch:
                            OnInternetSearch();
                            return 0;
                        case kCmdDownload:
                            OnDownload();
                            return 0;
                        case kCmdExit:
                            DestroyWindow(window);
                            return 0;
                        case kCmdCurrentWeb:
                            OnCurrentWeb(window);
                            return 0;
                        default:
                            break;
                    }
                }
                break;
            case WM_CLOSE:
                if (!m_busy) {
                    DestroyWindow(window);
                }
                return 0;
            case WM_DESTROY:
                PostQuitMessage(0);
                return 0;
            default:
                break;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    // The check mark follows what was stored, so that it never shows a setting the library
    // will not see.
    void OnCurrentWeb(HWND window) {
        const bool on = !ReadCurrentWeb();
        WriteCurrentWeb(on);
        CheckMenuItem(GetMenu(window), kCmdCurrentWeb,
                      MF_BYCOMMAND | (ReadCurrentWeb() ? MF_CHECKED : MF_UNCHECKED));
    }

    void OnInternetSearch() {
        m_busy = true;
        CString result;
        const int chosen = INet_DoInternetDlg(m_startUrl.c_str(), 0, &result);
        m_busy = false;
        // Cancel leaves the files chosen before.
        if (chosen == 1) {
            m_urls = SplitResult(result);
            m_searched = true;
            m_downloadLines.clear();
            ShowText();
        }
    }

    void OnDownload() {
        m_downloadLines.clear();
        if (m_urls.empty()) {
            m_downloadLines.push_back(
                "Nothing to download: choose files with File > Internet search... first.");
            ShowText();
            return;
        }
        if (!MakeFolder(m_downloadDir)) {
            m_downloadLines.push_back("Cannot make the download folder " + m_downloadDir);
            ShowText();
            return;
        }
        m_busy = true;
        for (const std::string& url : m_urls) {
            const std::string path = FreePathFor(url);
            const bool ok =
                !path.empty() && INet_Download(url.c_str(), path.c_str(), nullptr, 0) == 1;
            m_downloadLines.push_back(url + " -> " + (path.empty() ? "(no file name)" : path) +
                                      (ok ? ": ok" : ": failed"));
            ShowText();
        }
        m_busy = false;
    }

    // A path in the download folder that no file has yet; empty when the folder's own path
    // leaves no room for a name.
    std::string FreePathFor(const std::string& url) const {
        std::string prefix = m_downloadDir;
        if (prefix.back() != '\\') {
            prefix += '\\';
        }
        if (prefix.size() + kNumberRoom + 16 >= MAX_PATH) {
            return {};
        }
        const std::string name = DownloadFileName(url, MAX_PATH - 1 - prefix.size() - kNumberRoom);
        for (int n = 1; n <= kMaxNumber; ++n) {
            const std::string path = prefix + NumberedFileName(name, n);
            if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
                GetLastError() == ERROR_FILE_NOT_FOUND) {
                return path;
            }
        }
        return {};
    }

    void ShowText() {
        std::string text;
        if (!m_searched) {
            text =
                "File > Internet search... finds sound files on the web and lets you choose "
                "some.\r\nFile > Download... copies the chosen files into " +
                m_downloadDir + ".\r\n";
        } else if (m_urls.empty()) {
            text = "No files chosen.\r\n";
        }
        for (const std::string& url : m_urls) {
            text += url + "\r\n";
        }
        if (!m_downloadLines.empty()) {
            text += "\r\n";
        }
        for (const std::string& line : m_downloadLines) {
            text += line + "\r\n";
        }
        SetWindowTextA(m_text, text.c_str());
        // The latest line in sight.
        const int end = GetWindowTextLengthA(m_text);
        SendMessageA(m_text, EM_SETSEL, end, end);
        SendMessageA(m_text, EM_SCROLLCARET, 0, 0);
        EnableMenuItem(GetMenu(m_window), kCmdDownload,
                       MF_BYCOMMAND | (m_urls.empty() ? MF_GRAYED : MF_ENABLED));
    }

    std::string m_startUrl;
    std::string m_downloadDir;
    HWND m_window = nullptr;
    HWND m_text = nullptr;
    bool m_busy = false;
    bool m_searched = false;
    std::vector<std::string> m_urls;
    std::vector<std::string> m_downloadLines;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const Options options = ParseOptions(__argc, __argv);
    if (!options.error.empty() || options.help) {
        ShowUsage(options.error);
        return options.error.empty() ? 0 : 2;
    }
    // The audio application has OLE on its user-interface thread, for drag and drop.
    const HRESULT ole = OleInitialize(nullptr);
    int exitCode = 1;
    {
        HostWindow host(options.url, FullPath(options.downloadDir.empty() ? DefaultDownloadDir()
                                                                          : options.downloadDir));
        if (host.Create(instance, show)) {
            MSG msg;
            BOOL got;
            while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            exitCode = got == 0 ? static_cast<int>(msg.wParam) : 1;
        }
    }
    if (SUCCEEDED(ole)) {
        OleUninitialize();
    }
    return exitCode;
}
