// INet_Download as a host calls it, under Wine with a display: the progress window with its
// texts in the host's language, its figures per chunk, the Cancel question, the host's main
// window disabled meanwhile, callback mode, and the failures the user does not see. Downloads
// come from the shared test server on loopback; a watcher thread reads and presses what is on
// screen, and every one of its waits is bounded.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "afx/thread.h"
#include "maker/sndcore/sndcore.h"
#include "quor_inet/include/quor_inet.h"
#include "quor_inet/resources/resource.h"
#include "tests/automation/wine_automation.h"
#include "tests/frame/progress_window_texts.h"
#include "tests/server/test_http_server.h"
#include "tests/server/test_server_client.h"

namespace fs = std::filesystem;

namespace {

constexpr char kHostCaption[] = "download_window_test";  // the program's name, no extension
constexpr uint32_t kWaitMs = 15000;

// Without a window manager on the test display, Wine waits for one whenever a window closes
// unless the program's windows are its own to manage. Wine reads the setting when the program
// starts, so the first run in a prefix (the Setup case) only writes it for the later ones.
const bool kUnmanaged = [] {
    return automation::SetWineAppUnmanaged(std::string(kHostCaption) + ".exe");
}();

TEST(Setup, ProgramManagesItsOwnWindows) {
    EXPECT_TRUE(kUnmanaged);
}

// ---- what the host's language shows

// UTF-8 text in the ANSI code page (1252) the window's texts reach the program in.
std::string Ansi(const char* utf8) {
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring w(size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), wide);
    const int n = WideCharToMultiByte(1252, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(size_t(n), '\0');
    WideCharToMultiByte(1252, 0, w.c_str(), -1, ansi.data(), n, nullptr, nullptr);
    ansi.resize(size_t(n > 0 ? n - 1 : 0));
    return ansi;
}

struct LanguageTexts {
    LANGID language;
    std::string caption, from, to, remaining, speed, progress, button;
    std::string confirm;  // string 1
};

std::optional<LanguageTexts> TextsOfThisRun() {
    const quor::test::ProgressWindowTexts* t =
        quor::test::ProgressWindowTextsFor(GetUserDefaultUILanguage());
    if (t == nullptr) {
        return std::nullopt;
    }
    return LanguageTexts{t->language,       Ansi(t->caption),   Ansi(t->from),
                         Ansi(t->to),       Ansi(t->remaining), Ansi(t->speed),
                         Ansi(t->progress), Ansi(t->button),    Ansi(t->confirm)};
}

// ---- what happened on the host's thread, recorded as it was sent

struct Event {
    enum Kind { Init, Text, SetPos, SetRange } kind;
    int id = 0;
    std::string text;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

std::vector<Event>* g_pEvents = nullptr;

bool IsProgressWindow(HWND window) {
    return GetDlgItem(window, IDC_SOURCE_URL) != nullptr &&
           GetDlgItem(window, IDC_DOWNLOAD_PROGRESS) != nullptr;
}

LRESULT CALLBACK RecordSent(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_pEvents != nullptr) {
        HWND parent = GetParent(sent->hwnd);
        switch (sent->message) {
            case WM_INITDIALOG:
                if (IsProgressWindow(sent->hwnd)) {
                    g_pEvents->push_back({Event::Init, 0, {}, 0, 0});
                }
                break;
            case WM_SETTEXT:
                if (parent != nullptr && IsProgressWindow(parent)) {
                    const char* text = reinterpret_cast<const char*>(sent->lParam);
                    g_pEvents->push_back(
                        {Event::Text, GetDlgCtrlID(sent->hwnd), text != nullptr ? text : "", 0, 0});
                }
                break;
            case PBM_SETPOS:
            case PBM_SETRANGE:
                if (parent != nullptr && IsProgressWindow(parent)) {
                    g_pEvents->push_back(
                        {sent->message == PBM_SETPOS ? Event::SetPos : Event::SetRange,
                         GetDlgCtrlID(sent->hwnd),
                         {},
                         sent->wParam,
                         sent->lParam});
                }
                break;
            default:
                break;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Records the progress window's messages on this thread while it lives.
class Recorder {
  public:
    Recorder() {
        g_pEvents = &events;
        m_hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordSent, nullptr, GetCurrentThreadId());
    }
    ~Recorder() {
        UnhookWindowsHookEx(m_hook);
        g_pEvents = nullptr;
    }
    bool Installed() const { return m_hook != nullptr; }

    int Count(Event::Kind kind) const {
        int n = 0;
        for (const Event& e : events) {
            n += e.kind == kind ? 1 : 0;
        }
        return n;
    }
    std::vector<std::string> Texts(int id) const {
        std::vector<std::string> out;
        for (const Event& e : events) {
            if (e.kind == Event::Text && e.id == id) {
                out.push_back(e.text);
            }
        }
        return out;
    }
    std::vector<WPARAM> Positions() const {
        std::vector<WPARAM> out;
        for (const Event& e : events) {
            if (e.kind == Event::SetPos) {
                out.push_back(e.wParam);
            }
        }
        return out;
    }

    std::vector<Event> events;

  private:
    HHOOK m_hook = nullptr;
};

// ---- the host

constexpr UINT kRunPosted = WM_APP + 1;
std::function<void()> g_posted;  // what the main window does when it gets kRunPosted

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunPosted && g_posted) {
        std::function<void()> run = std::move(g_posted);
        g_posted = nullptr;
        run();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A bounded read of a control's text on another thread's window: never waits on a busy
// thread for longer than the time-out.
std::string ReadText(HWND window, int id = 0) {
    HWND target = id != 0 ? GetDlgItem(window, id) : window;
    char buffer[1024] = {};
    DWORD_PTR got = 0;
    if (target == nullptr ||
        !SendMessageTimeoutA(target, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 2000, &got)) {
        return "<unreadable>";
    }
    return std::string(buffer, got < sizeof(buffer) ? got : 0);
}

struct FindState {
    HWND found = nullptr;
};

BOOL CALLBACK FindProgress(HWND window, LPARAM param) {
    if (IsWindowVisible(window) && IsProgressWindow(window)) {
        reinterpret_cast<FindState*>(param)->found = window;
        return FALSE;
    }
    return TRUE;
}

// The progress window of the given thread, if one is on screen.
HWND ProgressWindowOf(DWORD threadId) {
    FindState state;
    EnumThreadWindows(threadId, FindProgress, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND WaitForProgressWindow(DWORD threadId, uint32_t timeoutMs) {
    const uint64_t deadline = automation::NowMs() + timeoutMs;
    for (;;) {
        if (HWND w = ProgressWindowOf(threadId)) {
            return w;
        }
        if (automation::NowMs() >= deadline) {
            return nullptr;
        }
        Sleep(10);
    }
}

// Runs a script on a thread of its own while the host's thread downloads; Finish waits for
// it while the host's thread still answers what the script sends to its windows.
class Watcher {
  public:
    explicit Watcher(std::function<void()> script) : m_script(std::move(script)) {
        m_thread = AfxBeginThread(&Watcher::Run, this);
    }
    ~Watcher() { Finish(); }
    void Finish() {
        if (m_thread != nullptr) {
            m_thread->JoinServingMessages();
            delete m_thread;
            m_thread = nullptr;
        }
    }
    bool Started() const { return m_thread != nullptr; }

  private:
    static unsigned Run(void* self) {
        static_cast<Watcher*>(self)->m_script();
        return 0;
    }
    std::function<void()> m_script;
    CWinThread* m_thread = nullptr;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsPatternPrefix(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (static_cast<uint8_t>(bytes[i]) != quor::test::PatternByte(i)) {
            return false;
        }
    }
    return true;
}

class Download : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "DownloadTestHost";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        RegisterClassA(&wc);
    }

    void SetUp() override {
        ASSERT_TRUE(kUnmanaged);
        m_base = quor::test::SharedTestServerBaseUrl();
        ASSERT_FALSE(m_base.empty()) << "the shared test server is not running";
        m_main =
            CreateWindowExA(0, "DownloadTestHost", "host main window", WS_OVERLAPPEDWINDOW, 20, 20,
                            500, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_main, nullptr);
        ShowWindow(m_main, SW_SHOW);
        UpdateWindow(m_main);
        m_dir = fs::temp_directory_path() / "download_window_test" /
                testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_uiThread = GetCurrentThreadId();
    }
    void TearDown() override {
        AL_TestSetFreeBytes(-1);
        AL_TestSetWriteLimit(-1);
        g_posted = nullptr;
        DestroyWindow(m_main);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // A URL of the shared server on a path of this test's own.
    std::string Url(const std::string& route, const std::string& query) const {
        return m_base + "/" + route + "/download-window-" +
               testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin?" + query;
    }
    std::string Target(const std::string& name) const { return (m_dir / name).string(); }

    std::string m_base;
    HWND m_main = nullptr;
    fs::path m_dir;
    DWORD m_uiThread = 0;
};

// ---- in each language

class Language : public Download {
  protected:
    void SetUp() override {
        Download::SetUp();
        const std::string expected = automation::GetEnv("QUOR_EXPECT_LANG");
        if (!expected.empty()) {
            ASSERT_EQ(GetUserDefaultUILanguage(), std::stoul(expected, nullptr, 16))
                << "the run's language did not reach the program";
        }
        m_texts = TextsOfThisRun();
        ASSERT_TRUE(m_texts.has_value()) << "no texts for language " << GetUserDefaultUILanguage();
        char name[LOCALE_NAME_MAX_LENGTH] = {};
        GetLocaleInfoA(MAKELCID(m_texts->language, SORT_DEFAULT), LOCALE_SISO639LANGNAME, name,
                       sizeof(name));
        m_languageName = name;
    }

    std::optional<LanguageTexts> m_texts;
    std::string m_languageName;
};

TEST_F(Language, WindowShowsItsTextsAndFiguresPerChunk) {
    // Every chunk (at most 16 KiB) is less than 1 % of the total, so each whole percentage
    // shows exactly once.
    constexpr int kSize = 2000000;
    const std::string url = Url("slow", "size=2000000&chunk=16384&delay_ms=8");
    const std::string target = Target("window.bin");

    struct Seen {
        bool found = false;
        std::string caption;
        std::vector<std::string> controls;  // "id class text" in window order
        BOOL mainEnabled = TRUE;
        DWORD range = 0;
        std::vector<std::string> remainingTexts;  // distinct, as read while the window showed
        std::string screenshot;
        bool gone = false;
    } seen;
    const DWORD ui = m_uiThread;
    HWND main = m_main;
    const std::string shotName = "download_window_" + m_languageName;
    Recorder recorder;
    ASSERT_TRUE(recorder.Installed());
    int result = -1;
    {
        Watcher watcher([&] {
            HWND w = WaitForProgressWindow(ui, kWaitMs);
            if (w == nullptr) {
                return;
            }
            seen.found = true;
            seen.caption = ReadText(w);
            seen.mainEnabled = IsWindowEnabled(main);
            DWORD_PTR range = 0;
            SendMessageTimeoutA(GetDlgItem(w, IDC_DOWNLOAD_PROGRESS), PBM_GETRANGE, FALSE, 0,
                                SMTO_ABORTIFHUNG, 2000, &range);
            seen.range = static_cast<DWORD>(range);
            for (HWND c = GetWindow(w, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
                char cls[64] = {};
                GetClassNameA(c, cls, sizeof(cls));
                seen.controls.push_back(std::to_string(GetDlgCtrlID(c)) + " " + cls + " " +
                                        ReadText(c));
            }
            // A few distinct figures while the copy runs, bounded by the window's life.
            for (int i = 0; i < 400 && seen.remainingTexts.size() < 3 && IsWindow(w); ++i) {
                std::string text = ReadText(w, IDC_REMAINING);
                if (seen.remainingTexts.empty() || seen.remainingTexts.back() != text) {
                    seen.remainingTexts.push_back(text);
                }
                Sleep(20);
            }
            seen.screenshot = automation::SaveScreenshot(shotName, w);
            seen.gone = automation::WaitForWindowGone(w, kWaitMs);
        });
        ASSERT_TRUE(watcher.Started());
        result = INet_Download(url.c_str(), target.c_str(), nullptr, 0);
        watcher.Finish();
    }
    EXPECT_EQ(result, 1);
    const std::string bytes = ReadFile(target);
    EXPECT_EQ(bytes.size(), size_t(kSize));
    EXPECT_TRUE(IsPatternPrefix(bytes));

    ASSERT_TRUE(seen.found) << "no progress window came";
    EXPECT_TRUE(seen.gone);
    EXPECT_EQ(ProgressWindowOf(m_uiThread), nullptr);
    EXPECT_EQ(seen.caption, m_texts->caption);
    EXPECT_FALSE(seen.mainEnabled) << "the main window is disabled while the window shows";
    EXPECT_TRUE(IsWindowEnabled(m_main)) << "...and enabled again afterwards";
    EXPECT_EQ(seen.range, 100u) << "range 0..100";
    EXPECT_FALSE(seen.screenshot.empty()) << "screenshot not saved";

    // The template's labels in this language, the source and destination filled in.
    ASSERT_EQ(seen.controls.size(), 12u);
    const std::string kStatic = "65535 Static ";
    EXPECT_EQ(seen.controls[0], kStatic + m_texts->from);
    EXPECT_EQ(seen.controls[1], "25138 Static " + url);
    EXPECT_EQ(seen.controls[2], kStatic + m_texts->to);
    EXPECT_EQ(seen.controls[3], "25139 Static " + target);
    EXPECT_EQ(seen.controls[4], kStatic + m_texts->remaining);
    EXPECT_EQ(seen.controls[6], kStatic + m_texts->speed);
    EXPECT_EQ(seen.controls[8], kStatic + m_texts->progress);
    EXPECT_EQ(seen.controls[10].substr(0, 23), "1004 msctls_progress32 ");
    EXPECT_EQ(seen.controls[11], "2 Button " + m_texts->button);
    EXPECT_GE(seen.remainingTexts.size(), 2u) << "the figures change while the copy runs";

    // What the window was told, in order.
    ASSERT_GE(recorder.events.size(), 6u);
    EXPECT_EQ(recorder.Count(Event::Init), 1);
    EXPECT_EQ(recorder.events[1].kind, Event::SetPos);
    EXPECT_EQ(recorder.events[1].wParam, 0u);
    EXPECT_EQ(recorder.events[2].kind, Event::SetRange);
    EXPECT_EQ(recorder.events[2].lParam, MAKELPARAM(0, 100));
    EXPECT_EQ(recorder.events[3].id, IDC_PERCENT);
    EXPECT_EQ(recorder.events[3].text, "0 %");
    EXPECT_EQ(recorder.events[4].id, IDC_SOURCE_URL);
    EXPECT_EQ(recorder.events[4].text, url);
    EXPECT_EQ(recorder.events[5].id, IDC_DESTINATION);
    EXPECT_EQ(recorder.events[5].text, target);

    // Speed and remaining time: once per update, the first before any byte was read.
    const std::vector<std::string> speeds = recorder.Texts(IDC_SPEED);
    const std::vector<std::string> remaining = recorder.Texts(IDC_REMAINING);
    ASSERT_EQ(speeds.size(), remaining.size());
    ASSERT_GE(remaining.size(), size_t(kSize / 16384 + 1));
    EXPECT_EQ(speeds.front(), "0.0 KB/s");
    EXPECT_EQ(remaining.front(), "0 Min. 00 Sek. ( 0.0 KB von 1953.2 KB kopiert)");
    EXPECT_EQ(remaining.back(), "0 Min. 00 Sek. ( 1953.2 KB von 1953.2 KB kopiert)");
    const std::regex speedFormat(R"(\d+\.\d KB/s)");
    const std::regex remainingFormat(
        R"((\d+) Min\. (\d\d) Sek\. \( (\d+)\.(\d) KB von 1953\.2 KB kopiert\))");
    int lastTenths = -1;
    for (size_t i = 0; i < remaining.size(); ++i) {
        SCOPED_TRACE("update " + std::to_string(i) + ": " + remaining[i] + " / " + speeds[i]);
        EXPECT_TRUE(std::regex_match(speeds[i], speedFormat));
        std::smatch m;
        ASSERT_TRUE(std::regex_match(remaining[i], m, remainingFormat));
        EXPECT_LT(std::stoi(m[2]), 60);
        const int tenths = std::stoi(m[3]) * 10 + std::stoi(m[4]);
        EXPECT_GE(tenths, lastTenths) << "bytes done never shrink";
        lastTenths = tenths;
    }
    EXPECT_GT(std::set<std::string>(speeds.begin(), speeds.end()).size(), 2u);

    // The percentage: "0 %" on opening, then each whole percentage once, never repeated, with
    // the bar at the same position.
    const std::vector<std::string> percents = recorder.Texts(IDC_PERCENT);
    const std::vector<WPARAM> positions = recorder.Positions();
    std::vector<std::string> expectedPercents = {"0 %"};
    std::vector<WPARAM> expectedPositions = {0};
    for (int p = 0; p <= 100; ++p) {
        expectedPercents.push_back(std::to_string(p) + " %");
        expectedPositions.push_back(WPARAM(p));
    }
    if (percents.size() == expectedPercents.size() - 1) {
        // The percentage of a download before this one in the run was already 0.
        expectedPercents.erase(expectedPercents.begin() + 1);
        expectedPositions.erase(expectedPositions.begin() + 1);
    }
    EXPECT_EQ(percents, expectedPercents);
    EXPECT_EQ(positions, expectedPositions);
    EXPECT_LT(percents.size(), remaining.size()) << "the percentage is not set every chunk";
}

TEST_F(Language, CancelAsksNoGoesOnYesEndsKeepingThePart) {
    struct Answer {
        bool windowFound = false;
        std::optional<automation::MessageBoxInfo> box;
        BOOL windowEnabledDuringBox = TRUE;
        BOOL mainEnabledDuringBox = TRUE;
        BOOL windowEnabledAfter = FALSE;
        bool gone = false;
    };
    const DWORD ui = m_uiThread;
    HWND main = m_main;
    const std::string shotName = "download_cancel_" + m_languageName;
    auto answerCancel = [&](Answer& a, int button) {
        HWND w = WaitForProgressWindow(ui, kWaitMs);
        if (w == nullptr) {
            return;
        }
        a.windowFound = true;
        if (!automation::ClickButton(w, IDCANCEL, kWaitMs)) {
            return;
        }
        automation::WindowFilter filter;
        filter.caption = kHostCaption;
        filter.processId = GetCurrentProcessId();
        std::optional<automation::MessageBoxInfo> box =
            automation::WaitForMessageBox(filter, kWaitMs);
        if (!box) {
            return;
        }
        a.windowEnabledDuringBox = IsWindowEnabled(w);
        a.mainEnabledDuringBox = IsWindowEnabled(main);
        if (button == automation::kIdYes) {
            automation::SaveScreenshot(shotName, nullptr);
        }
        a.box = automation::AnswerMessageBox(filter, button, kWaitMs);
        // The copy goes on after No: the window is there and usable again.
        for (int i = 0; i < 100 && IsWindow(w) && !IsWindowEnabled(w); ++i) {
            Sleep(10);
        }
        a.windowEnabledAfter = IsWindow(w) && IsWindowEnabled(w);
        a.gone = automation::WaitForWindowGone(w, kWaitMs);
    };

    struct Case {
        const char* name;
        int button;
        int size;
        int result;
    };
    const Case cases[] = {
        {"No goes on", automation::kIdNo, 1000000, 1},
        {"Yes ends after the chunk", automation::kIdYes, 4000000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string url =
            Url("slow", "size=" + std::to_string(c.size) + "&chunk=16384&delay_ms=10");
        const std::string target = Target(std::string(c.name) + ".bin");
        Answer answer;
        int result = -1;
        {
            Watcher watcher([&] { answerCancel(answer, c.button); });
            ASSERT_TRUE(watcher.Started());
            result = INet_Download(url.c_str(), target.c_str(), nullptr, 0);
            watcher.Finish();
        }
        ASSERT_TRUE(answer.windowFound);
        ASSERT_TRUE(answer.box.has_value()) << "no confirmation came";
        EXPECT_EQ(answer.box->caption, kHostCaption);
        EXPECT_EQ(answer.box->text, m_texts->confirm);
        EXPECT_EQ(answer.box->Buttons(), "Yes, No");
        EXPECT_EQ(answer.box->icon, automation::BoxIcon::Question);
        EXPECT_FALSE(answer.windowEnabledDuringBox) << "the question is the only thing to answer";
        EXPECT_FALSE(answer.mainEnabledDuringBox);
        EXPECT_TRUE(answer.gone);
        EXPECT_TRUE(IsWindowEnabled(m_main));
        EXPECT_EQ(result, c.result);

        const std::string bytes = ReadFile(target);
        EXPECT_TRUE(IsPatternPrefix(bytes));
        if (c.result == 1) {
            EXPECT_TRUE(answer.windowEnabledAfter) << "after No the window is usable again";
            EXPECT_EQ(bytes.size(), size_t(c.size));
        } else {
            EXPECT_TRUE(fs::exists(target)) << "a cancelled download keeps its part";
            EXPECT_GT(bytes.size(), 0u);
            EXPECT_LT(bytes.size(), size_t(c.size));
        }
    }
}

// ---- the same in every language

TEST_F(Download, CallbackModeShowsNoWindowAndLeavesTheMainWindowEnabled) {
    struct Call {
        int done, total, user;
        bool windowShown;
        BOOL mainEnabled;
    };
    static std::vector<Call> calls;
    static DWORD uiThread;
    static HWND mainWindow;
    static int cancelAt;
    calls.clear();
    uiThread = m_uiThread;
    mainWindow = m_main;
    auto progress = [](int done, int total, int user) -> int {
        calls.push_back({done, total, user, ProgressWindowOf(uiThread) != nullptr,
                         IsWindowEnabled(mainWindow)});
        return int(calls.size()) == cancelAt ? 0 : 1;
    };

    struct Case {
        const char* name;
        bool mainDisabledBefore;
        int cancelAt;  // 0: never
        int result;
    };
    const Case cases[] = {
        {"whole file", false, 0, 1},
        {"callback cancels", false, 2, 0},
        {"host had disabled its main window", true, 0, 1},
    };
    constexpr int kSize = 100000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        cancelAt = c.cancelAt;
        EnableWindow(m_main, c.mainDisabledBefore ? FALSE : TRUE);
        const std::string target = Target(std::string(c.name) + ".bin");
        Recorder recorder;
        const int result =
            INet_Download(Url("exact", "size=100000").c_str(), target.c_str(), progress, 77);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(recorder.Count(Event::Init), 0) << "no window with a callback";
        EXPECT_TRUE(IsWindowEnabled(m_main)) << "enabled after the call, as with the window";
        ASSERT_FALSE(calls.empty());
        int last = 0;
        for (const Call& call : calls) {
            EXPECT_GT(call.done, last) << "strictly growing, never 0";
            last = call.done;
            EXPECT_EQ(call.total, kSize);
            EXPECT_EQ(call.user, 77);
            EXPECT_FALSE(call.windowShown);
            EXPECT_EQ(call.mainEnabled, c.mainDisabledBefore ? FALSE : TRUE)
                << "the library leaves the main window alone meanwhile";
        }
        const std::string bytes = ReadFile(target);
        EXPECT_TRUE(IsPatternPrefix(bytes));
        if (c.cancelAt != 0) {
            EXPECT_EQ(int(calls.size()), c.cancelAt);
            EXPECT_EQ(int(bytes.size()), calls.back().done) << "the part written is kept";
        } else {
            EXPECT_EQ(int(bytes.size()), kSize);
            EXPECT_EQ(calls.back().done, kSize);
        }
    }
}

TEST_F(Download, FailuresTheUserDoesNotSee) {
    const std::string untouched = "the host's own file";
    struct Case {
        const char* name;
        std::string url;
        int64_t freeBytes;   // -1: the drive's own
        int64_t writeLimit;  // -1: none
        bool window;         // the window opened (and closed again)
    };
    // The host's file at the destination survives them all: a copy goes in its place only
    // when complete.
    const Case cases[] = {
        {"https is refused at once", "https://127.0.0.1:9/song.mp3", -1, -1, false},
        {"too little free space", Url("exact", "size=300000"), 300000 + 1048575, -1, true},
        {"a write fails", Url("exact", "size=300000"), -1, 100000, true},
        {"the first write fails", Url("exact", "size=300000"), -1, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = Target("failure.bin");
        { std::ofstream(target, std::ios::binary) << untouched; }
        AL_TestSetFreeBytes(c.freeBytes);
        AL_TestSetWriteLimit(c.writeLimit);
        Recorder recorder;
        const int result = INet_Download(c.url.c_str(), target.c_str(), nullptr, 0);
        AL_TestSetFreeBytes(-1);
        AL_TestSetWriteLimit(-1);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(recorder.Count(Event::Init), c.window ? 1 : 0);
        EXPECT_EQ(ProgressWindowOf(m_uiThread), nullptr);
        EXPECT_TRUE(IsWindowEnabled(m_main));
        EXPECT_EQ(ReadFile(target), untouched) << "the file is not touched";
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(target).parent_path()),
                                fs::directory_iterator()),
                  1)
            << "no copy left beside it";
    }

    // The first write failed after the window had shown 0 %: the next download's window
    // shows its "0 %" once, on opening, since the percentage carries over.
    Recorder recorder;
    EXPECT_EQ(
        INet_Download(Url("exact", "size=300000").c_str(), Target("next.bin").c_str(), nullptr, 0),
        1);
    const std::vector<std::string> percents = recorder.Texts(IDC_PERCENT);
    ASSERT_GE(percents.size(), 2u);
    EXPECT_EQ(percents[0], "0 %");
    EXPECT_NE(percents[1], "0 %");
    EXPECT_EQ(percents.back(), "100 %");
}

TEST_F(Download, HostReenteredDuringADownload) {
    // The host's main window gets a message while the window's download pumps: it starts a
    // second download with the window (refused: there is one window) and one with a callback
    // (allowed, and it leaves the running download's window and disabled main window alone).
    struct Nested {
        bool ran = false;
        int withWindow = -1;
        int withCallback = -1;
        bool windowStillThere = false;
        BOOL mainEnabled = TRUE;
    } nested;
    const std::string nestedTarget = Target("nested.bin");
    const std::string nestedUrl = Url("exact", "size=50000");
    const DWORD ui = m_uiThread;
    HWND main = m_main;
    g_posted = [&] {
        nested.ran = true;
        nested.withWindow = INet_Download(nestedUrl.c_str(), nestedTarget.c_str(), nullptr, 0);
        nested.withCallback = INet_Download(
            nestedUrl.c_str(), nestedTarget.c_str(), [](int, int, int) { return 1; }, 0);
        nested.windowStillThere = ProgressWindowOf(ui) != nullptr;
        nested.mainEnabled = IsWindowEnabled(main);
    };
    ASSERT_TRUE(PostMessageA(m_main, kRunPosted, 0, 0));
    const std::string target = Target("outer.bin");
    const int result =
        INet_Download(Url("exact", "size=300000").c_str(), target.c_str(), nullptr, 0);
    EXPECT_EQ(result, 1);
    ASSERT_TRUE(nested.ran) << "the window's download did not let the host's message through";
    EXPECT_EQ(nested.withWindow, 0);
    EXPECT_EQ(nested.withCallback, 1);
    EXPECT_TRUE(nested.windowStillThere);
    EXPECT_FALSE(nested.mainEnabled);
    EXPECT_EQ(ReadFile(nestedTarget).size(), 50000u);
    EXPECT_EQ(ReadFile(target).size(), 300000u);
    EXPECT_TRUE(IsWindowEnabled(m_main));
    EXPECT_EQ(ProgressWindowOf(m_uiThread), nullptr);
}

TEST_F(Download, QuitRequestOutlivesTheDownload) {
    PostQuitMessage(7);
    const int result =
        INet_Download(Url("exact", "size=200000").c_str(), Target("quit.bin").c_str(), nullptr, 0);
    EXPECT_EQ(result, 1);
    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the host's message loop must still see its quit request";
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(Download, WithoutAMainWindow) {
    ShowWindow(m_main, SW_HIDE);
    const int result = INet_Download(Url("exact", "size=100000").c_str(),
                                     Target("hidden.bin").c_str(), nullptr, 0);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(IsWindowEnabled(m_main)) << "a window that was not the main one stays as it was";
}

}  // namespace
