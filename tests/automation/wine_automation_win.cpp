#include <cstdio>
#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>

#include "tests/automation/wine_automation.h"

namespace automation {

namespace {

constexpr uint32_t kPollMs = 20;

HWND H(Window w) {
    return static_cast<HWND>(w);
}

struct FindState {
    const WindowFilter* filter;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    const WindowFilter& f = *state->filter;
    if (!IsWindowVisible(hwnd)) {
        return TRUE;
    }
    if (f.processId != 0 && WindowProcessId(hwnd) != f.processId) {
        return TRUE;
    }
    if (!f.className.empty() && WindowClass(hwnd) != f.className) {
        return TRUE;
    }
    if (!f.caption.empty() && WindowText(hwnd) != f.caption) {
        return TRUE;
    }
    state->found = hwnd;
    return FALSE;
}

struct ChildList {
    HWND parent;
    std::vector<HWND> children;
};

BOOL CALLBACK ChildProc(HWND hwnd, LPARAM param) {
    auto* list = reinterpret_cast<ChildList*>(param);
    // Direct children only: a dialog's controls, not what they contain.
    if (GetParent(hwnd) == list->parent) {
        list->children.push_back(hwnd);
    }
    return TRUE;
}

bool SendBounded(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, uint32_t timeoutMs,
                 DWORD_PTR* result = nullptr, bool wide = false) {
    DWORD_PTR r = 0;
    LRESULT ok = wide ? SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, timeoutMs, &r)
                      : SendMessageTimeoutA(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, timeoutMs, &r);
    if (result != nullptr) {
        *result = r;
    }
    return ok != 0;
}

// Pixels of a screen rectangle as 32-bit BGRX rows, top row first.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
};

Pixels CaptureFromDc(HDC source, int x, int y, int width, int height) {
    Pixels out;
    if (width <= 0 || height <= 0) {
        return out;
    }
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY)) {
            GdiFlush();
            out.width = width;
            out.height = height;
            auto* p = static_cast<uint32_t*>(bits);
            out.data.assign(p, p + static_cast<size_t>(width) * height);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return out;
}

Pixels CaptureScreen(const RECT& r) {
    HDC screen = GetDC(nullptr);
    Pixels p = CaptureFromDc(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
    ReleaseDC(nullptr, screen);
    return p;
}

// Draws a system icon on a plain background the size of the captured control, the way a
// static control shows it (at its natural size in the top left corner).
Pixels RenderIcon(LPCSTR id, int width, int height, uint32_t background) {
    Pixels out;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(
        RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    HICON icon = LoadIconA(nullptr, id);
    if (icon != nullptr) {
        DrawIcon(memory, 0, 0, icon);
        out = CaptureFromDc(memory, 0, 0, width, height);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
}

double MeanDifference(const Pixels& a, const Pixels& b) {
    if (a.data.empty() || a.data.size() != b.data.size()) {
        return 1e9;
    }
    uint64_t sum = 0;
    for (size_t i = 0; i < a.data.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            int x = static_cast<int>((a.data[i] >> shift) & 0xFF);
            int y = static_cast<int>((b.data[i] >> shift) & 0xFF);
            sum += static_cast<uint64_t>(x > y ? x - y : y - x);
        }
    }
    return static_cast<double>(sum) / static_cast<double>(a.data.size() * 3);
}

// The icon of a message box: its visible icon static, compared with the system icons.
BoxIcon DetectIcon(HWND box) {
    HWND iconStatic = nullptr;
    ChildList list{box, {}};
    EnumChildWindows(box, ChildProc, reinterpret_cast<LPARAM>(&list));
    for (HWND child : list.children) {
        if (WindowClass(child) == "Static" || WindowClass(child) == "STATIC" ||
            WindowClass(child) == "static") {
            LONG style = GetWindowLongA(child, GWL_STYLE);
            if ((style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
                iconStatic = child;
                break;
            }
        }
    }
    if (iconStatic == nullptr) {
        return BoxIcon::None;
    }
    RECT r;
    if (!GetWindowRect(iconStatic, &r)) {
        return BoxIcon::Unknown;
    }
    // A box without an icon leaves the icon static in place but puts its text over it.
    RECT text;
    RECT overlap;
    HWND textStatic = GetDlgItem(box, kMessageBoxTextId);
    if (textStatic != nullptr && GetWindowRect(textStatic, &text) &&
        IntersectRect(&overlap, &r, &text)) {
        return BoxIcon::None;
    }
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    if (width <= 0 || height <= 0 || width > 256 || height > 256) {
        return BoxIcon::Unknown;
    }
    // The box may still be painting when it turns visible: settle on two equal captures.
    Pixels shown = CaptureScreen(r);
    for (int i = 0; i < 25; ++i) {
        SleepMs(kPollMs);
        Pixels again = CaptureScreen(r);
        bool same = again.data == shown.data;
        shown = std::move(again);
        if (same) {
            break;
        }
    }
    if (shown.data.empty()) {
        return BoxIcon::Unknown;
    }
    bool blank = true;
    for (uint32_t px : shown.data) {
        blank = blank && (px & 0xFFFFFF) == (shown.data[0] & 0xFFFFFF);
    }
    if (blank) {
        return BoxIcon::None;
    }

    // Icon corners are transparent, so the top left pixel is the dialog's background.
    uint32_t background = shown.data[0] & 0xFFFFFF;
    struct Candidate {
        LPCSTR id;
        BoxIcon icon;
    };
    const Candidate candidates[] = {
        {IDI_WARNING, BoxIcon::Warning},
        {IDI_QUESTION, BoxIcon::Question},
        {IDI_ERROR, BoxIcon::Error},
        {IDI_INFORMATION, BoxIcon::Information},
    };
    BoxIcon best = BoxIcon::Unknown;
    double bestDiff = 1e9;
    for (const Candidate& c : candidates) {
        double d = MeanDifference(shown, RenderIcon(c.id, width, height, background));
        if (d < bestDiff) {
            bestDiff = d;
            best = c.icon;
        }
    }
    // An icon that resembles none of them is reported as such rather than guessed.
    return bestDiff < 12.0 ? best : BoxIcon::Unknown;
}

std::wstring Widen(const std::string& s) {
    if (s.empty()) {
        return {};
    }
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Narrow(const wchar_t* w, int length) {
    if (length <= 0) {
        return {};
    }
    int n = WideCharToMultiByte(CP_ACP, 0, w, length, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w, length, s.data(), n, nullptr, nullptr);
    return s;
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool WriteBmp(const std::string& path, const Pixels& p) {
    if (p.data.empty()) {
        return false;
    }
    // 24-bit rows, bottom up, each padded to four bytes.
    size_t rowSize = (static_cast<size_t>(p.width) * 3 + 3) & ~static_cast<size_t>(3);
    size_t imageSize = rowSize * static_cast<size_t>(p.height);
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = static_cast<DWORD>(fh.bfOffBits + imageSize);
    ih.biSize = sizeof(ih);
    ih.biWidth = p.width;
    ih.biHeight = p.height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    ih.biSizeImage = static_cast<DWORD>(imageSize);
    std::vector<uint8_t> rows(imageSize, 0);
    for (int y = 0; y < p.height; ++y) {
        uint8_t* dst = rows.data() + rowSize * static_cast<size_t>(p.height - 1 - y);
        for (int x = 0; x < p.width; ++x) {
            uint32_t px = p.data[static_cast<size_t>(y) * p.width + x];
            dst[x * 3 + 0] = static_cast<uint8_t>(px & 0xFF);
            dst[x * 3 + 1] = static_cast<uint8_t>((px >> 8) & 0xFF);
            dst[x * 3 + 2] = static_cast<uint8_t>((px >> 16) & 0xFF);
        }
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = WriteAll(file, &fh, sizeof(fh)) && WriteAll(file, &ih, sizeof(ih)) &&
              WriteAll(file, rows.data(), rows.size());
    CloseHandle(file);
    return ok;
}

void MakeDirs(const std::string& path) {
    // Creates each level in turn; existing levels are fine.
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
        }
    }
}

}  // namespace

uint64_t NowMs() {
    return GetTickCount64();
}

void SleepMs(uint32_t ms) {
    Sleep(ms);
}

Window FindTopLevelWindow(const WindowFilter& filter) {
    FindState state{&filter, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

Window WaitForWindow(const WindowFilter& filter, uint32_t timeoutMs) {
    uint64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        if (Window w = FindTopLevelWindow(filter)) {
            return w;
        }
        if (NowMs() >= deadline) {
            return nullptr;
        }
        SleepMs(kPollMs);
    }
}

bool IsWindowAlive(Window window) {
    return window != nullptr && IsWindow(H(window));
}

bool WaitForWindowGone(Window window, uint32_t timeoutMs) {
    uint64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        if (!IsWindow(H(window)) || !IsWindowVisible(H(window))) {
            return true;
        }
        if (NowMs() >= deadline) {
            return false;
        }
        SleepMs(kPollMs);
    }
}

uint32_t WindowProcessId(Window window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(H(window), &pid);
    return pid;
}

std::string WindowText(Window window) {
    // Across processes only WM_GETTEXT reaches what a control keeps itself (an edit's text).
    if (WindowProcessId(window) != GetCurrentProcessId()) {
        wchar_t buffer[4096];
        DWORD_PTR got = 0;
        if (SendBounded(H(window), WM_GETTEXT, sizeof(buffer) / sizeof(buffer[0]),
                        reinterpret_cast<LPARAM>(buffer), 2000, &got, true)) {
            size_t n = got < sizeof(buffer) / sizeof(buffer[0]) ? got : 0;
            return Narrow(buffer, static_cast<int>(n));
        }
    }
    int length = GetWindowTextLengthA(H(window));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int n = GetWindowTextA(H(window), text.data(), length + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::string WindowClass(Window window) {
    char name[256] = {};
    int n = GetClassNameA(H(window), name, sizeof(name));
    return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

Window Control(Window parent, int id) {
    return GetDlgItem(H(parent), id);
}

std::string ControlText(Window parent, int id) {
    HWND control = GetDlgItem(H(parent), id);
    return control != nullptr ? WindowText(control) : std::string();
}

std::vector<ControlInfo> Controls(Window parent) {
    ChildList list{H(parent), {}};
    EnumChildWindows(H(parent), ChildProc, reinterpret_cast<LPARAM>(&list));
    std::vector<ControlInfo> out;
    for (HWND child : list.children) {
        ControlInfo info;
        info.id = GetDlgCtrlID(child);
        info.className = WindowClass(child);
        info.text = WindowText(child);
        info.visible = IsWindowVisible(child) != FALSE;
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<std::string> ListBoxItems(Window parent, int id) {
    std::vector<std::string> items;
    HWND list = GetDlgItem(H(parent), id);
    if (list == nullptr) {
        return items;
    }
    DWORD_PTR count = 0;
    if (!SendBounded(list, LB_GETCOUNT, 0, 0, 5000, &count) || static_cast<LRESULT>(count) < 0) {
        return items;
    }
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!SendBounded(list, LB_GETTEXTLEN, i, 0, 5000, &length, true) ||
            static_cast<LRESULT>(length) < 0) {
            break;
        }
        // Across processes the ANSI form comes back as UTF-16 under Wine: ask for wide text.
        std::vector<wchar_t> buffer(length + 1, L'\0');
        DWORD_PTR got = 0;
        if (!SendBounded(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()), 5000, &got,
                         true) ||
            static_cast<LRESULT>(got) < 0) {
            break;
        }
        items.push_back(Narrow(buffer.data(), static_cast<int>(wcsnlen(buffer.data(), length))));
    }
    return items;
}

bool ClickButton(Window parent, int id, uint32_t timeoutMs) {
    HWND button = GetDlgItem(H(parent), id);
    if (button == nullptr) {
        return false;
    }
    // Posted, not sent: a sent BM_CLICK returns only seconds after the click under Wine.
    // The time-out bounds the wait until the button's program has taken the message.
    if (!PostMessageA(button, BM_CLICK, 0, 0)) {
        return false;
    }
    DWORD_PTR ignored = 0;
    return SendBounded(button, WM_NULL, 0, 0, timeoutMs, &ignored) || !IsWindow(button);
}

bool SetControlText(Window parent, int id, const std::string& text, uint32_t timeoutMs) {
    HWND control = GetDlgItem(H(parent), id);
    if (control == nullptr) {
        return false;
    }
    std::wstring wide = Widen(text);
    return SendBounded(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), timeoutMs,
                       nullptr, true);
}

const char* BoxIconName(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::None:
            return "none";
        case BoxIcon::Warning:
            return "warning";
        case BoxIcon::Question:
            return "question";
        case BoxIcon::Error:
            return "error";
        case BoxIcon::Information:
            return "information";
        case BoxIcon::Unknown:
            break;
    }
    return "unknown";
}

const char* ButtonName(int id) {
    switch (id) {
        case kIdOk:
            return "OK";
        case kIdCancel:
            return "Cancel";
        case kIdYes:
            return "Yes";
        case kIdNo:
            return "No";
        default:
            return "?";
    }
}

int GiveUpButton(const MessageBoxInfo& box) {
    if (box.no) {
        return kIdNo;
    }
    if (box.cancel) {
        return kIdCancel;
    }
    return kIdOk;
}

std::string MessageBoxInfo::Buttons() const {
    std::string out;
    auto add = [&out](bool present, int id) {
        if (present) {
            out += out.empty() ? "" : ", ";
            out += ButtonName(id);
        }
    };
    add(ok, kIdOk);
    add(yes, kIdYes);
    add(no, kIdNo);
    add(cancel, kIdCancel);
    return out;
}

MessageBoxInfo ReadMessageBox(Window box) {
    MessageBoxInfo info;
    info.window = box;
    info.processId = WindowProcessId(box);
    info.caption = WindowText(box);
    info.text = ControlText(box, kMessageBoxTextId);
    auto present = [box](int id) {
        HWND b = GetDlgItem(H(box), id);
        return b != nullptr && IsWindowVisible(b);
    };
    info.ok = present(kIdOk);
    info.cancel = present(kIdCancel);
    info.yes = present(kIdYes);
    info.no = present(kIdNo);
    info.icon = DetectIcon(H(box));
    return info;
}

std::optional<MessageBoxInfo> WaitForMessageBox(WindowFilter filter, uint32_t timeoutMs) {
    filter.className = kDialogClass;
    Window box = WaitForWindow(filter, timeoutMs);
    if (box == nullptr) {
        return std::nullopt;
    }
    return ReadMessageBox(box);
}

std::optional<MessageBoxInfo> AnswerMessageBox(const WindowFilter& filter, int button,
                                               uint32_t timeoutMs) {
    std::optional<MessageBoxInfo> info = WaitForMessageBox(filter, timeoutMs);
    if (!info) {
        return std::nullopt;
    }
    bool clicked = ClickButton(info->window, button);
    if (!clicked || !WaitForWindowGone(info->window, 5000)) {
        return std::nullopt;
    }
    return info;
}

Process::~Process() {
    Reset();
}

void Process::Reset() {
    if (handle_ != nullptr) {
        if (Running()) {
            Kill();
        }
        CloseHandle(handle_);
    }
    handle_ = nullptr;
    id_ = 0;
}

Process::Process(Process&& other) noexcept : handle_(other.handle_), id_(other.id_) {
    other.handle_ = nullptr;
    other.id_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Reset();
        handle_ = other.handle_;
        id_ = other.id_;
        other.handle_ = nullptr;
        other.id_ = 0;
    }
    return *this;
}

Process Process::Start(const std::string& commandLine, const std::string& directory) {
    Process p;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        p.handle_ = info.hProcess;
        p.id_ = info.dwProcessId;
    } else {
        std::fprintf(stderr, "Process::Start: CreateProcess failed with %lu: %s\n",
                     static_cast<unsigned long>(GetLastError()), commandLine.c_str());
    }
    return p;
}

bool Process::Wait(uint32_t timeoutMs) {
    if (handle_ == nullptr) {
        return false;
    }
    DWORD result = WaitForSingleObject(handle_, timeoutMs);
    if (result == WAIT_FAILED) {
        std::fprintf(stderr, "Process::Wait failed with %lu\n",
                     static_cast<unsigned long>(GetLastError()));
    }
    return result == WAIT_OBJECT_0;
}

bool Process::Running() {
    return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

uint32_t Process::ExitCode() {
    DWORD code = STILL_ACTIVE;
    if (handle_ != nullptr) {
        GetExitCodeProcess(handle_, &code);
    }
    return code;
}

void Process::Kill() {
    if (handle_ != nullptr) {
        TerminateProcess(handle_, 9);
        WaitForSingleObject(handle_, 5000);
    }
}

bool WaitForProcessExit(uint32_t processId, uint32_t timeoutMs) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (h == nullptr) {
        return true;  // no such process (any more)
    }
    bool ended = WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

bool ProcessRunning(uint32_t processId) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (h == nullptr) {
        return false;
    }
    bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

bool KillProcess(uint32_t processId) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (h == nullptr) {
        return false;
    }
    bool ok = TerminateProcess(h, 9) != FALSE;
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
    return ok;
}

int KillProcessesIn(const std::string& folder) {
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '\\') {
        prefix += '\\';
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    std::vector<DWORD> ids;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID != GetCurrentProcessId()) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    int killed = 0;
    for (DWORD id : ids) {
        HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                               FALSE, id);
        if (h == nullptr) {
            continue;
        }
        char path[MAX_PATH] = {};
        DWORD size = sizeof(path);
        if (QueryFullProcessImageNameA(h, 0, path, &size) && size >= prefix.size() &&
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, static_cast<int>(prefix.size()),
                           prefix.data(), static_cast<int>(prefix.size())) == CSTR_EQUAL) {
            if (TerminateProcess(h, 9)) {
                WaitForSingleObject(h, 5000);
                ++killed;
            }
        }
        CloseHandle(h);
    }
    return killed;
}

std::string WindowsPathOf(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string out = "Z:" + path;
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        }
    }
    return out;
}

std::string ProgramDir() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string dir(path, n < sizeof(path) ? n : 0);
    size_t slash = dir.find_last_of('\\');
    return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

std::string GetEnv(const std::string& name) {
    char small[512];
    DWORD n = GetEnvironmentVariableA(name.c_str(), small, sizeof(small));
    if (n == 0) {
        return {};
    }
    if (n < sizeof(small)) {
        return std::string(small, n);
    }
    std::string big(n, '\0');
    DWORD m = GetEnvironmentVariableA(name.c_str(), big.data(), n);
    big.resize(m < n ? m : 0);
    return big;
}

void SetEnv(const std::string& name, const std::string& value) {
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
    SetEnvironmentVariableA(name.c_str(), nullptr);
}

std::string ArtifactsDir() {
    std::string dir = WindowsPathOf(GetEnv("QUOR_ARTIFACTS"));
    if (dir.empty()) {
        dir = ProgramDir() + "artifacts";
    }
    while (!dir.empty() && dir.back() == '\\') {
        dir.pop_back();
    }
    MakeDirs(dir);
    return dir;
}

std::string SaveScreenshot(const std::string& name, Window only) {
    RECT r;
    if (only != nullptr) {
        if (!GetWindowRect(H(only), &r)) {
            return {};
        }
    } else {
        r.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        r.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        r.right = r.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        r.bottom = r.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    }
    std::string path = ArtifactsDir() + "\\" + name + ".bmp";
    return WriteBmp(path, CaptureScreen(r)) ? path : std::string();
}

bool SetWineAppVersion(const std::string& exeName, const std::string& version) {
    std::string keyPath = "Software\\Wine\\AppDefaults\\" + exeName;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG rc;
    if (version.empty()) {
        rc = RegDeleteValueA(key, "Version");
        if (rc == ERROR_FILE_NOT_FOUND) {
            rc = ERROR_SUCCESS;
        }
    } else {
        rc = RegSetValueExA(key, "Version", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(version.c_str()),
                            static_cast<DWORD>(version.size() + 1));
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool SetWineAppUnmanaged(const std::string& exeName) {
    std::string keyPath = "Software\\Wine\\AppDefaults\\" + exeName + "\\X11 Driver";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG rc = RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace automation
