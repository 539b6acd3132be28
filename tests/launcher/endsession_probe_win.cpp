// A witness for the restart request: a visible top-level window that records the end-of-session
// messages it gets (see probe_log.h): "ready" once its window is up, "queryendsession" and
// "endsession" with their parameters, "end" when it ends by itself. It agrees to end the
// session. It ends by itself after --run=N seconds (default 120, at most 300) or on WM_CLOSE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/launcher/probe_log.h"

namespace {

constexpr const char* kCaption = "Endsession probe";
constexpr UINT kDefaultRunSeconds = 120;
constexpr UINT kLongestRunSeconds = 300;

std::string Hex(uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_QUERYENDSESSION:
            probe::AppendRecord("queryendsession",
                                "lparam=" + Hex(static_cast<uintptr_t>(lp)) + "\r\n");
            return TRUE;
        case WM_ENDSESSION:
            probe::AppendRecord("endsession", "wparam=" + Hex(wp) + "\r\nlparam=" +
                                                  Hex(static_cast<uintptr_t>(lp)) + "\r\n");
            return 0;
        case WM_TIMER:
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    probe::AppendRecord("start", probe::StartFields());
    const char* args = probe::ArgumentsOf(GetCommandLineA());
    UINT seconds = kDefaultRunSeconds;
    if (const char* run = std::strstr(args, "--run=")) {
        seconds = static_cast<UINT>(std::strtoul(run + 6, nullptr, 10));
    }
    if (seconds == 0) {
        seconds = kDefaultRunSeconds;
    }
    if (seconds > kLongestRunSeconds) {
        seconds = kLongestRunSeconds;
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "QuorEndsessionProbe";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, kCaption, WS_OVERLAPPEDWINDOW, 20, 20, 240, 80,
                                nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        probe::AppendRecord("failed", "error=" + std::to_string(GetLastError()) + "\r\n");
        return 1;
    }
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    SetTimer(hwnd, 1, seconds * 1000, nullptr);
    probe::AppendRecord("ready");
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    probe::AppendRecord("end");
    return 0;
}
