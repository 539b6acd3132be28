// The search dialog as a host shows it, under Wine: this program is the host. It calls
// INet_DoInternetDlg on its main thread while a driver thread works the dialog through the
// automation helper, so every case ends the dialog itself and no case can hang.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "maker/quor_prof/quor_prof.h"
#include "quor_inet/include/quor_inet.h"
#include "tests/automation/wine_automation.h"
#include "tests/inet/trusted_certificate.h"
#include "tests/search/sample_site_expectations.h"
#include "tests/server/test_server_client.h"

namespace {

constexpr int kUrlField = 1000;
constexpr int kList = 1001;
constexpr int kSearch = 1002;
constexpr int kStatus = 1005;
constexpr int kSlider = 1007;
constexpr int kDepth = 1008;
constexpr int kSameServer = 1009;
constexpr int kReadId3 = 1010;
constexpr int kAll = 3;

std::string SitePrefix() {
    std::ifstream in(automation::GetEnv("QUOR_SAMPLE_SITE_PORT_FILE"));
    int port = 0;
    in >> port;
    return port > 0 ? "http://127.0.0.1:" + std::to_string(port) + "/" : "";
}

// The second sample site's ports, "HTTP HTTPS"; zeros when it is not served.
std::pair<int, int> CurrentSitePorts() {
    std::ifstream in(automation::GetEnv("QUOR_CURRENT_SITE_PORT_FILE"));
    int port = 0;
    int tlsPort = 0;
    in >> port >> tlsPort;
    return {port, tlsPort};
}

HWND H(automation::Window w) {
    return static_cast<HWND>(w);
}

// Waits (bounded) until cond holds.
bool WaitFor(const std::function<bool()>& cond, uint32_t timeoutMs = 20000) {
    for (uint64_t end = automation::NowMs() + timeoutMs; automation::NowMs() < end;) {
        if (cond()) {
            return true;
        }
        automation::SleepMs(20);
    }
    return cond();
}

bool Enabled(automation::Window dialog, int id) {
    return IsWindowEnabled(GetDlgItem(H(dialog), id)) != FALSE;
}

// The dialog is idle again: OK enabled and the button labelled `label`.
bool WaitIdle(automation::Window dialog, const std::string& label) {
    return WaitFor(
        [&] { return Enabled(dialog, IDOK) && automation::ControlText(dialog, kSearch) == label; });
}

void SetDepth(automation::Window dialog, int depth) {
    SendMessageA(GetDlgItem(H(dialog), kSlider), TBM_SETPOS, TRUE, depth);
    SendMessageA(H(dialog), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, depth),
                 reinterpret_cast<LPARAM>(GetDlgItem(H(dialog), kSlider)));
}

// A picture of the dialog once it has painted what it was just told.
void Screenshot(const std::string& name, automation::Window dialog) {
    SendMessageA(H(dialog), WM_NULL, 0, 0);
    automation::SleepMs(300);
    automation::SaveScreenshot(name, dialog);
}

bool Checked(automation::Window dialog, int id) {
    return IsDlgButtonChecked(H(dialog), id) == BST_CHECKED;
}

void WriteSettings(const char* url, uint32_t anyServer, uint32_t readId3, uint32_t maxLevel) {
    Quor_WriteRegistryString("Internet", "url", url, kQuorProfUser);
    Quor_WriteRegistryDWord("Internet", "AnyServer", anyServer, kQuorProfUser);
    Quor_WriteRegistryDWord("Internet", "ReadID3", readId3, kQuorProfUser);
    Quor_WriteRegistryDWord("Internet", "MaxLevel", maxLevel, kQuorProfUser);
}

struct Outcome {
    int result = -1;
    CString text = "untouched";
    uint64_t returnedMs = 0;  // automation::NowMs() when the call returned
};

using DialogCall = int (*)(const char*, uint32_t, CString*);

// Set once RunDialog's call has returned, for a driver that goes on past the dialog.
std::atomic<bool> g_dialogReturned{false};

// Shows the dialog for start while drive works it from another thread. Whatever drive leaves
// open is stopped and cancelled afterwards.
Outcome RunDialog(const char* start, const std::function<void(automation::Window)>& drive,
                  DialogCall call = &INet_DoInternetDlg) {
    Outcome outcome;
    g_dialogReturned = false;
    const DWORD host = GetCurrentThreadId();
    bool quitPosted = false;
    std::thread driver([&] {
        automation::WindowFilter filter;
        filter.className = automation::kDialogClass;
        filter.processId = GetCurrentProcessId();
        automation::Window dialog = automation::WaitForWindow(filter, 20000);
        ASSERT_NE(dialog, nullptr) << "no dialog came";
        drive(dialog);
        for (int i = 0; i < 50 && automation::IsWindowAlive(dialog); ++i) {
            if (!Enabled(dialog, IDCANCEL)) {
                automation::ClickButton(dialog, kSearch, 2000);
            }
            automation::ClickButton(dialog, IDCANCEL, 2000);
            automation::WaitForWindowGone(dialog, 200);
        }
        // A dialog stuck searching refuses to close; a quit of the host's loop still ends it,
        // so that the case fails instead of hanging.
        if (!automation::WaitForWindowGone(dialog, 2000)) {
            ADD_FAILURE() << "the dialog stayed open";
            quitPosted = PostThreadMessageA(host, WM_QUIT, 0, 0) != FALSE;
        }
    });
    outcome.result = call(start, 0, &outcome.text);
    outcome.returnedMs = automation::NowMs();
    g_dialogReturned = true;
    driver.join();
    if (MSG message; quitPosted) {
        PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    return outcome;
}

// A whole search of the sample site, then a second one in the same dialog: the numbering goes
// on, and OK hands back every URL of the list.
TEST(SearchDialog, SearchesTheSampleSiteTwice) {
    using quor::test::kFirstSiteSearch;
    using quor::test::kSecondSiteSearch;
    const std::string site = SitePrefix();
    ASSERT_FALSE(site.empty()) << "the sample site is not served";
    WriteSettings("", 1, 1, 2);
    std::vector<std::string> first;
    std::vector<std::string> both;
    const Outcome outcome = RunDialog(nullptr, [&](automation::Window dialog) {
        SetDepth(dialog, kFirstSiteSearch.depth);
        automation::ClickButton(dialog, kSameServer);
        automation::SetControlText(dialog, kUrlField, site + kFirstSiteSearch.start);
        automation::ClickButton(dialog, kSearch);
        ASSERT_TRUE(WaitIdle(dialog, "&Search"));
        first = automation::ListBoxItems(dialog, kList);
        EXPECT_EQ(automation::ControlText(dialog, kStatus), "");
        Screenshot("search_dialog_first", dialog);
        automation::SetControlText(dialog, kUrlField, site + kSecondSiteSearch.start);
        automation::ClickButton(dialog, kSearch);
        ASSERT_TRUE(WaitIdle(dialog, "&Search"));
        both = automation::ListBoxItems(dialog, kList);
        automation::ClickButton(dialog, kAll);
        Screenshot("search_dialog_all", dialog);
        automation::ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(first, kFirstSiteSearch.lines);
    std::vector<std::string> lines = kFirstSiteSearch.lines;
    lines.insert(lines.end(), kSecondSiteSearch.lines.begin(), kSecondSiteSearch.lines.end());
    EXPECT_EQ(both, lines);
    EXPECT_EQ(outcome.result, 1);
    std::vector<std::string> urls = kFirstSiteSearch.urls;
    urls.insert(urls.end(), kSecondSiteSearch.urls.begin(), kSecondSiteSearch.urls.end());
    EXPECT_EQ(std::string(outcome.text), quor::test::ResultText(site, urls));
}

// With CurrentWeb set, the dialog lists the second site as the current web has it: over
// WinINet, https among it, the same list as natively.
TEST(SearchDialog, SearchesTheCurrentWebWhenTheHostSetsIt) {
    const auto [port, tlsPort] = CurrentSitePorts();
    ASSERT_NE(tlsPort, 0) << "the second sample site is not served";
    // Before the process's first https request: Wine keeps its verdict on a server.
    const quor::test::TrustedCertificate authority(automation::GetEnv("QUOR_CURRENT_SITE_CA"));
    ASSERT_TRUE(authority.ok());
    WriteSettings("", 1, 1, 1);
    Quor_WriteRegistryDWord("Internet", "CurrentWeb", 1, kQuorProfUser);
    std::vector<std::string> lines;
    const Outcome outcome = RunDialog(nullptr, [&](automation::Window dialog) {
        automation::SetControlText(dialog, kUrlField,
                                   quor::test::WithPorts(quor::test::kCurrentSiteStart, port, tlsPort));
        automation::ClickButton(dialog, kSearch);
        ASSERT_TRUE(WaitIdle(dialog, "&Search"));
        lines = automation::ListBoxItems(dialog, kList);
        automation::ClickButton(dialog, kAll);
        Screenshot("search_dialog_current_web", dialog);
        automation::ClickButton(dialog, IDOK);
    });
    Quor_WriteRegistryDWord("Internet", "CurrentWeb", 0, kQuorProfUser);
    EXPECT_EQ(lines, quor::test::kCurrentSiteOnTheCurrentWeb.lines);
    std::string result;
    for (const std::string& url : quor::test::kCurrentSiteOnTheCurrentWeb.urls) {
        result += (result.empty() ? "" : "*") + quor::test::WithPorts(url, port, tlsPort);
    }
    EXPECT_EQ(std::string(outcome.text), result);
}

// The settings come from the store and go back to it whatever the answer; the start address
// comes from the call, else the store, else the library's own.
TEST(SearchDialog, SettingsRoundTrip) {
    WriteSettings("http://stored.example/", 0, 0, 12);
    Quor_WriteRegistryDWord("Internet", "CurrentWeb", 7, kQuorProfUser);
    const Outcome outcome = RunDialog(nullptr, [&](automation::Window dialog) {
        EXPECT_EQ(automation::ControlText(dialog, kUrlField), "http://stored.example/");
        EXPECT_EQ(automation::ControlText(dialog, kDepth), "12");
        EXPECT_EQ(SendMessageA(GetDlgItem(H(dialog), kSlider), TBM_GETPOS, 0, 0), 8);
        EXPECT_TRUE(Checked(dialog, kSameServer));
        EXPECT_FALSE(Checked(dialog, kReadId3));
        EXPECT_EQ(automation::ControlText(dialog, kStatus), "Static");
        automation::ClickButton(dialog, kReadId3);
        automation::SetControlText(dialog, kUrlField, "typed.example");
        automation::ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(outcome.result, 0);
    EXPECT_STREQ(outcome.text, "untouched");
    CString url;
    Quor_GetRegistryString("Internet", "url", url, "", kQuorProfUser);
    EXPECT_STREQ(url, "typed.example");
    EXPECT_EQ(Quor_GetRegistryDWord("Internet", "AnyServer", 9, kQuorProfUser), 0u);
    EXPECT_EQ(Quor_GetRegistryDWord("Internet", "ReadID3", 9, kQuorProfUser), 1u);
    EXPECT_EQ(Quor_GetRegistryDWord("Internet", "MaxLevel", 9, kQuorProfUser), 12u);
    EXPECT_EQ(Quor_GetRegistryDWord("Internet", "CurrentWeb", 9, kQuorProfUser), 7u);
    Quor_WriteRegistryDWord("Internet", "CurrentWeb", 0, kQuorProfUser);

    const struct {
        const char* call;
        const char* stored;
        const char* shown;
    } starts[] = {{"http://given.example/", "http://stored.example/", "http://given.example/"},
                  {"", "", "www.freesound.org"}};
    for (const auto& s : starts) {
        WriteSettings(s.stored, 1, 1, 2);
        std::string shown;
        RunDialog(s.call, [&](automation::Window dialog) {
            shown = automation::ControlText(dialog, kUrlField);
            automation::ClickButton(dialog, IDCANCEL);
        });
        EXPECT_EQ(shown, s.shown);
    }
}

// A box the worker shows belongs to the dialog, over the host's main window: answering it leaves
// the main window disabled while the dialog is open.
TEST(SearchDialog, WorkersBoxIsOwnedByTheDialog) {
    HWND main = CreateWindowA("STATIC", "Test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                              200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(main, nullptr);
    WriteSettings("", 1, 1, 2);
    HWND owner = nullptr;
    bool mainEnabledAfterBox = true;
    RunDialog("http://127.0.0.1:9/", [&](automation::Window dialog) {
        automation::ClickButton(dialog, kSearch);
        automation::WindowFilter boxes;
        boxes.processId = GetCurrentProcessId();
        boxes.caption = "search_dialog_test";  // the host's name: a box of the library
        const std::optional<automation::MessageBoxInfo> box =
            automation::WaitForMessageBox(boxes, 20000);
        ASSERT_TRUE(box.has_value());
        owner = GetWindow(H(box->window), GW_OWNER);
        automation::ClickButton(box->window, IDOK);
        EXPECT_TRUE(WaitIdle(dialog, "&Search"));
        mainEnabledAfterBox = IsWindowEnabled(main) != FALSE;
        automation::ClickButton(dialog, IDCANCEL);
    });
    DestroyWindow(main);
    EXPECT_NE(owner, nullptr);
    EXPECT_NE(owner, main);
    EXPECT_FALSE(mainEnabledAfterBox);
}

std::string SlowPage(const char* name) {
    return quor::test::SharedTestServerBaseUrl() + "/slow/" + name +
           ".html?size=400000&chunk=1000&delay_ms=50";
}

// While a search runs, OK, Cancel, Esc and the close box leave the dialog open.
TEST(SearchDialog, ClosingIsRefusedWhileSearching) {
    WriteSettings("", 1, 1, 2);
    bool aliveAfterAll = false;
    const Outcome outcome = RunDialog(SlowPage("refused").c_str(), [&](automation::Window dialog) {
        automation::ClickButton(dialog, kSearch);
        ASSERT_TRUE(WaitFor([&] { return automation::ControlText(dialog, kSearch) == "&Stop"; }));
        SendMessageA(H(dialog), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        SendMessageA(H(dialog), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        SendMessageA(H(dialog), WM_CLOSE, 0, 0);
        HWND field = GetDlgItem(H(dialog), kUrlField);
        PostMessageA(field, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(field, WM_KEYUP, VK_ESCAPE, 0);
        SendMessageA(H(dialog), WM_NULL, 0, 0);  // the posted keys have been handled
        aliveAfterAll = automation::IsWindowAlive(dialog);
        automation::ClickButton(dialog, kSearch);  // Stop
        EXPECT_TRUE(WaitIdle(dialog, "&Search"));
        automation::ClickButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(aliveAfterAll);
    EXPECT_EQ(outcome.result, 0);
}

// Waits (bounded) until the shared test server has seen a request for path.
bool WaitServerSaw(const std::string& path) {
    quor::test::ServerCounters counters;
    return WaitFor([&] {
        return quor::test::FetchServerCounters(quor::test::SharedTestServerPort(), path,
                                               counters) &&
               counters.requests > 0;
    });
}

// Stop while the start page has stalled after its first bytes: the fetch leaves the read that
// waits, and the dialog is idle again well within the 30 s receive time-out.
TEST(SearchDialog, StopEndsAStalledPage) {
    WriteSettings("", 1, 1, 2);
    const std::string path = "/stall/dialog-stop.html";
    const std::string page =
        quor::test::SharedTestServerBaseUrl() + path + "?size=100000&after=1000";
    uint64_t idleMs = 0;
    RunDialog(page.c_str(), [&](automation::Window dialog) {
        automation::ClickButton(dialog, kSearch);
        ASSERT_TRUE(WaitServerSaw(path));
        const uint64_t stop = automation::NowMs();
        automation::ClickButton(dialog, kSearch);
        EXPECT_TRUE(WaitIdle(dialog, "&Search"));
        idleMs = automation::NowMs() - stop;
        automation::ClickButton(dialog, IDCANCEL);
    });
    std::printf("idle %llu ms after Stop\n", static_cast<unsigned long long>(idleMs));
    EXPECT_LT(idleMs, 10000u);
}

// A WM_QUIT for the host ends the dialog while the start page never answers: the call returns
// at once instead of after the page's time-out, and the host's next dialog works.
TEST(SearchDialog, QuitDuringASearchReturnsPromptly) {
    WriteSettings("", 1, 1, 2);
    const std::string path = "/blackhole/dialog-quit.html";
    const std::string page = quor::test::SharedTestServerBaseUrl() + path;
    const DWORD host = GetCurrentThreadId();
    uint64_t postedMs = 0;
    const Outcome outcome = RunDialog(page.c_str(), [&](automation::Window dialog) {
        automation::ClickButton(dialog, kSearch);
        ASSERT_TRUE(WaitServerSaw(path));
        postedMs = automation::NowMs();
        PostThreadMessageA(host, WM_QUIT, 0, 0);
        // A search left running would time out on the page and say so in a box: answered, so
        // that it shows as a late return rather than a hang.
        automation::WindowFilter boxes{"search_dialog_test", automation::kDialogClass,
                                       GetCurrentProcessId()};
        WaitFor(
            [&] {
                if (automation::Window box = automation::FindTopLevelWindow(boxes)) {
                    automation::ClickButton(box, IDOK, 2000);
                }
                return g_dialogReturned.load();
            },
            60000);
    });
    ASSERT_NE(postedMs, 0u);
    const uint64_t returnMs = outcome.returnedMs - postedMs;
    std::printf("returned %llu ms after WM_QUIT\n", static_cast<unsigned long long>(returnMs));
    EXPECT_LT(returnMs, 10000u);
    EXPECT_EQ(outcome.result, 0);
    // The modal loop hands the quit on to the host. This host has no loop to end; it takes the
    // message away, or its next dialog would end at once.
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    bool idle = false;
    const Outcome next = RunDialog("", [&](automation::Window dialog) {
        idle = Enabled(dialog, IDOK) && automation::ControlText(dialog, kSearch) == "&Search";
        automation::ClickButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(idle);
    EXPECT_EQ(next.result, 0);
}

template <typename F>
F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A CString allocation inside the library fails during a search of the sample site, early,
// midway or late: the worker's end steps still run, so the dialog is idle again and closes with
// OK or Cancel. The tests' build of the library holds the allocation hook.
TEST(SearchDialog, FailedAllocationEndsTheSearch) {
    const std::string site = SitePrefix();
    ASSERT_FALSE(site.empty()) << "the sample site is not served";
    HMODULE probe = LoadLibraryA("quor_inet_probe.dll");
    ASSERT_NE(probe, nullptr);
    const auto dialogCall = Bind<DialogCall>(probe, "INet_DoInternetDlg");
    const auto failAllocation = Bind<void (*)(int)>(probe, "QuorProbe_FailAllocation");
    const auto countdown = Bind<int (*)()>(probe, "QuorProbe_AllocationCountdown");
    ASSERT_TRUE(dialogCall != nullptr && failAllocation != nullptr && countdown != nullptr);
    WriteSettings("", 0, 1, 1);
    const std::string start = site + "index.html";
    for (const int n : {1, 50, 200}) {
        SCOPED_TRACE(n);
        const int close = n == 50 ? IDCANCEL : IDOK;
        bool failed = false;
        const Outcome outcome = RunDialog(
            start.c_str(),
            [&](automation::Window dialog) {
                automation::ClickButton(dialog, kSearch);
                failAllocation(n);
                const bool idle = WaitIdle(dialog, "&Search");
                failed = countdown() == 0;
                failAllocation(0);
                ASSERT_TRUE(idle) << "n = " << n;
                automation::ClickButton(dialog, close);
            },
            dialogCall);
        EXPECT_TRUE(failed) << "no allocation failed during the search";
        EXPECT_EQ(outcome.result, close == IDOK ? 1 : 0);
    }
    FreeLibrary(probe);
}

// The dialog in the user's language, and the labels the search gives the button in it.
TEST(Language, CaptionAndSearchLabels) {
    const struct {
        LANGID language;
        const char* caption;
        const char* templateLabel;
        const char* stopLabel;
        const char* searchLabel;
    } kTexts[] = {
        {0x407, "Internet-Suche", "&Suchen", "&Stop", "&Suchen"},
        {0x409, "Internet search", "&Search", "&Stop", "&Search"},
        {0x40C, "Recherche sur Internet", "&Recherche", "&Arr\xEAter", "&Rechercher"},
        {0x410, "Ricerca su Internet", "&Cerca", "&Stop", "&Ricerca"},
        {0x80A, "Buscar en Internet", "&Buscar", "&Stop", "&Buscar"},
    };
    const LANGID language = GetUserDefaultUILanguage();
    ASSERT_EQ(language, std::stoul(automation::GetEnv("QUOR_EXPECT_LANG"), nullptr, 16));
    const auto* texts = std::find_if(std::begin(kTexts), std::end(kTexts),
                                     [&](const auto& t) { return t.language == language; });
    ASSERT_NE(texts, std::end(kTexts));
    WriteSettings("", 1, 1, 2);
    const std::string page = SlowPage(("language-" + std::to_string(language)).c_str());
    RunDialog(page.c_str(), [&](automation::Window dialog) {
        EXPECT_EQ(automation::WindowText(dialog), texts->caption);
        EXPECT_EQ(automation::ControlText(dialog, kSearch), texts->templateLabel);
        automation::ClickButton(dialog, kSearch);
        EXPECT_TRUE(
            WaitFor([&] { return automation::ControlText(dialog, kSearch) == texts->stopLabel; }));
        Screenshot("search_dialog_" + std::to_string(language), dialog);
        automation::ClickButton(dialog, kSearch);
        EXPECT_TRUE(WaitIdle(dialog, texts->searchLabel));
        automation::ClickButton(dialog, IDCANCEL);
    });
}

// ---------------------------------------------------------------------------------------------
// The drop target, fed data objects of our own on the dialog's thread

// Offers `text` as CF_TEXT in global memory, or nothing but a file list when there is no text.
class TextDataObject : public IDataObject {
  public:
    // Not terminated: the memory holds the text alone, without a zero after it.
    TextDataObject(const char* text, bool terminated)
        : m_text(text != nullptr ? text : ""), m_has(text), m_size(m_text.size() + terminated) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) {
            return DV_E_FORMATETC;
        }
        // Filled beyond the text and shrunk to its size: what follows the block is not a zero
        // by chance.
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, m_size + 64);
        char* bytes = static_cast<char*>(GlobalLock(memory));
        std::memset(bytes, 'x', m_size + 64);
        std::memcpy(bytes, m_text.c_str(), m_size);
        GlobalUnlock(memory);
        memory = GlobalReAlloc(memory, m_size, 0);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        const CLIPFORMAT offered = m_has ? CF_TEXT : CF_HDROP;
        return format->cfFormat == offered && (format->tymed & TYMED_HGLOBAL) ? S_OK
                                                                              : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  private:
    std::string m_text;
    bool m_has;
    size_t m_size;
};

struct DropRequest {
    HWND dialog;
    const char* text;  // null: no text at all
    bool inside;       // the point inside the dialog's window, else just right of it
    bool drop;         // drop after entering, else leave
    bool terminated = true;
    DWORD enterEffect = 0xFFFF;
    DWORD dropEffect = 0xFFFF;
};

constexpr UINT kDropMessage = WM_APP + 7;

// Runs on the dialog's thread, where OLE calls a drop target.
LRESULT CALLBACK DropperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kDropMessage) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto* r = reinterpret_cast<DropRequest*>(lParam);
    auto* target = static_cast<IDropTarget*>(GetPropW(r->dialog, L"OleDropTargetInterface"));
    if (target == nullptr) {
        return 0;
    }
    RECT rect;
    GetWindowRect(r->dialog, &rect);
    POINTL point{r->inside ? (rect.left + rect.right) / 2 : rect.right + 5,
                 (rect.top + rect.bottom) / 2};
    TextDataObject data(r->text, r->terminated);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    target->DragEnter(&data, MK_LBUTTON, point, &effect);
    r->enterEffect = effect;
    if (r->drop) {
        effect = DROPEFFECT_COPY;
        target->Drop(&data, 0, point, &effect);
        r->dropEffect = effect;
    } else {
        target->DragLeave();
    }
    return 1;
}

TEST(SearchDialog, DropTargetTakesWebAddresses) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DropperProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuorDropper";
    RegisterClassA(&wc);
    HWND dropper = CreateWindowA("QuorDropper", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
    ASSERT_NE(dropper, nullptr);
    WriteSettings("", 1, 1, 2);
    const std::string slow = SlowPage("dropped");
    const std::string other = SlowPage("dropped-second");
    const Outcome outcome = RunDialog("", [&](automation::Window dialog) {
        const struct {
            const char* text;
            bool inside;
            DWORD effect;
        } cases[] = {
            {"http://127.0.0.1/a.mp3", true, DROPEFFECT_COPY},
            {"HTTP://HOST/", true, DROPEFFECT_COPY},
            {"hTtP://x", true, DROPEFFECT_COPY},
            {"http://127.0.0.1/a.mp3", false, DROPEFFECT_NONE},
            {"ftp://host/a.mp3", true, DROPEFFECT_NONE},
            {"www.host.example", true, DROPEFFECT_NONE},
            {"http:/", true, DROPEFFECT_NONE},
            {"", true, DROPEFFECT_NONE},
            {nullptr, true, DROPEFFECT_NONE},
        };
        for (const auto& c : cases) {
            DropRequest r{H(dialog), c.text, c.inside, false};
            ASSERT_EQ(SendMessageA(dropper, kDropMessage, 0, reinterpret_cast<LPARAM>(&r)), 1);
            EXPECT_EQ(r.enterEffect, c.effect) << (c.text != nullptr ? c.text : "(no text)");
        }
        // Idle: a drop starts a search for the address (text without a terminating zero, read
        // no further than its memory); during it, a drop asks it to stop.
        DropRequest start{H(dialog), slow.c_str(), true, true, false};
        SendMessageA(dropper, kDropMessage, 0, reinterpret_cast<LPARAM>(&start));
        EXPECT_EQ(start.dropEffect, static_cast<DWORD>(DROPEFFECT_NONE));
        EXPECT_EQ(automation::ControlText(dialog, kUrlField), slow);
        EXPECT_EQ(automation::ControlText(dialog, kSearch), "&Stop");
        EXPECT_FALSE(Enabled(dialog, IDOK));
        DropRequest stop{H(dialog), other.c_str(), true, true};
        SendMessageA(dropper, kDropMessage, 0, reinterpret_cast<LPARAM>(&stop));
        EXPECT_EQ(automation::ControlText(dialog, kUrlField), other);
        EXPECT_TRUE(WaitIdle(dialog, "&Search"));
        automation::ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(outcome.result, 0);
    DestroyWindow(dropper);
    CString url;
    Quor_GetRegistryString("Internet", "url", url, "", kQuorProfUser);
    EXPECT_STREQ(url, other.c_str());
}

}  // namespace
