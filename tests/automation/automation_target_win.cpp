// A program for the automation helper's own tests to drive from another process:
//   automation_target msgbox STYLE CAPTION TEXT   shows a message box, exits with the answer
//   automation_target window CAPTION              a window with a list box, an edit and a button
//   automation_target version                     exits with the Windows version it is told
// "\n" in TEXT stands for a line break. Every mode ends by itself within a minute.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int kListId = 100;
constexpr int kEditId = 101;
constexpr int kCloseId = 1;
constexpr UINT kLifetimeMs = 60000;

std::string Unescape(const char* s) {
    std::string out;
    for (; *s != '\0'; ++s) {
        if (s[0] == '\\' && s[1] == 'n') {
            out += '\n';
            ++s;
        } else {
            out += *s;
        }
    }
    return out;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == kCloseId) {
                // The exit code tells the test what the window held when it was closed.
                char text[64] = {};
                GetDlgItemTextA(hwnd, kEditId, text, sizeof(text));
                PostQuitMessage(std::atoi(text));
            }
            return 0;
        case WM_TIMER:
            PostQuitMessage(99);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

int RunWindow(const char* caption) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "QuorAutomationTarget";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, caption, WS_OVERLAPPEDWINDOW, 40, 40, 320, 240,
                                nullptr, nullptr, wc.hInstance, nullptr);
    HMENU listId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId));
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 8, 8, 200, 100,
                                hwnd, listId, wc.hInstance, nullptr);
    const char* items[] = {"first", "Zweite Zeile \xE4\xF6\xFC\xDF", "third"};
    for (const char* item : items) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    CreateWindowExA(0, "EDIT", "0", WS_CHILD | WS_VISIBLE | WS_BORDER, 8, 120, 200, 24, hwnd,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), wc.hInstance, nullptr);
    CreateWindowExA(0, "BUTTON", "Close", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 8, 150, 80, 24,
                    hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseId)), wc.hInstance,
                    nullptr);
    ShowWindow(hwnd, SW_SHOW);
    SetTimer(hwnd, 1, kLifetimeMs, nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    DestroyWindow(hwnd);
    return static_cast<int>(m.wParam);
}

int RunVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return static_cast<int>((info.dwPlatformId << 16) | (info.dwMajorVersion << 8) |
                            info.dwMinorVersion);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = __argc;
    char** argv = __argv;
    if (argc >= 5 && std::string(argv[1]) == "msgbox") {
        UINT style = static_cast<UINT>(std::strtoul(argv[2], nullptr, 0));
        std::string text = Unescape(argv[4]);
        return MessageBoxA(nullptr, text.c_str(), argv[3], style);
    }
    if (argc >= 3 && std::string(argv[1]) == "window") {
        return RunWindow(argv[2]);
    }
    if (argc >= 2 && std::string(argv[1]) == "version") {
        return RunVersion();
    }
    return 2;
}
