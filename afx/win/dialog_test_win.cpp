// The dialog layer on real Win32 (under Wine): windows from templates, modeless and modal, with
// the messages routed to the object from the window's creation on.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "afx/win/dialog.h"
#include "afx/win/test_data/dialog_test_ids.h"

namespace {

// Without a window manager on the test display, Wine waits for one whenever a window closes
// unless the program's windows are its own to manage.
const bool kUnmanaged = [] {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER,
                        "Software\\Wine\\AppDefaults\\afx_dialog_test.exe\\X11 Driver", 0, nullptr,
                        0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(key);
    return true;
}();

// Modal dialogs end themselves after this long, so no test can hang on one.
constexpr UINT kWatchdogTimer = 77;
constexpr UINT kWatchdogMs = 10000;
constexpr int kWatchdogResult = -77;
constexpr UINT kThrowCommand = 4242;

class TestDialog : public CDialog {
  public:
    using CDialog::CDialog;

    std::vector<UINT> seen;  // the messages WindowProc saw, in order, before WM_INITDIALOG
    int initCount = 0;
    HWND windowInInit = nullptr;
    HWND ownerInInit = nullptr;
    BOOL ownerEnabledInInit = TRUE;
    std::vector<std::pair<int, int>> commands;  // id, notification
    int okCount = 0;
    int cancelCount = 0;
    int postNcDestroyCount = 0;
    int dataExchanges = 0;
    BOOL lastExchangeSaves = -1;
    UINT postAfterInit = 0;  // a button to press once the dialog shows
    int endWith = 0;         // ends the dialog from OnInitDialog's posted command when not 0

  protected:
    BOOL OnInitDialog() override {
        ++initCount;
        windowInInit = m_hWnd;
        ownerInInit = GetWindow(m_hWnd, GW_OWNER);
        ownerEnabledInInit = ownerInInit != nullptr ? ::IsWindowEnabled(ownerInInit) : TRUE;
        SetTimer(m_hWnd, kWatchdogTimer, kWatchdogMs, nullptr);
        if (postAfterInit != 0) {
            ::PostMessageA(::GetDlgItem(m_hWnd, int(postAfterInit)), BM_CLICK, 0, 0);
        }
        return CDialog::OnInitDialog();
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (initCount == 0) {
            seen.push_back(message);
        }
        if (message == WM_TIMER && wParam == kWatchdogTimer) {
            EndDialog(kWatchdogResult);
            return 0;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        if (LOWORD(wParam) != IDC_TEST_EDIT) {  // the edit reports focus changes
            commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        }
        if (LOWORD(wParam) == kThrowCommand) {
            throw 1;
        }
        if (LOWORD(wParam) == IDC_TEST_BUTTON && endWith != 0) {
            EndDialog(endWith);
            return TRUE;
        }
        return CDialog::OnCommand(wParam, lParam);
    }
    void OnOK() override {
        ++okCount;
        CDialog::OnOK();
    }
    void OnCancel() override {
        ++cancelCount;
        CDialog::OnCancel();
    }
    void DoDataExchange(CDataExchange* dx) override {
        ++dataExchanges;
        lastExchangeSaves = dx->m_bSaveAndValidate;
        EXPECT_EQ(dx->m_pDlgWnd, this);
    }
    void PostNcDestroy() override { ++postNcDestroyCount; }
};

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// A visible top-level window without owner: the thread's main window, as a host has one.
class WithMainWindow : public testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = MainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "AfxDialogTestMain";
        RegisterClassA(&wc);
        m_main = CreateWindowExA(0, wc.lpszClassName, "dialog test main", WS_OVERLAPPEDWINDOW, 10,
                                 10, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(m_main, nullptr);
        ShowWindow(m_main, SW_SHOW);
    }
    void TearDown() override { DestroyWindow(m_main); }

    static void Pump() {
        MSG msg;
        for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    HWND m_main = nullptr;
};

TEST_F(WithMainWindow, ModelessWindowIsTakenFromItsCreationAndOwnedByTheMainWindow) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST));
    ASSERT_NE(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.GetTemplateId(), UINT(IDD_TEST));
    EXPECT_EQ(dlg.initCount, 1);
    EXPECT_EQ(dlg.windowInInit, dlg.m_hWnd) << "the object knows its window in OnInitDialog";
    EXPECT_EQ(dlg.ownerInInit, m_main) << "no parent given: the thread's main window owns it";
    EXPECT_TRUE(dlg.ownerEnabledInInit) << "a modeless dialog leaves its owner alone";
    EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
    ASSERT_FALSE(dlg.seen.empty());
    EXPECT_EQ(dlg.seen.front(), UINT(WM_NCCREATE));
    EXPECT_NE(std::find(dlg.seen.begin(), dlg.seen.end(), UINT(WM_CREATE)), dlg.seen.end());
    EXPECT_EQ(dlg.dataExchanges, 1);
    EXPECT_EQ(dlg.lastExchangeSaves, FALSE) << "OnInitDialog puts the members into controls";

    EXPECT_FALSE(dlg.Create(IDD_TEST)) << "one window per object";

    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.postNcDestroyCount, 1);
    EXPECT_FALSE(dlg.DestroyWindow()) << "no window, nothing happens";

    ASSERT_TRUE(dlg.Create(IDD_TEST)) << "the object can show its window again";
    EXPECT_EQ(dlg.initCount, 2);
    HWND window = dlg.m_hWnd;
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WithMainWindow, ExplicitParentOwnsTheWindow) {
    CWnd other;
    HWND otherWindow = CreateWindowExA(0, "AfxDialogTestMain", "other", WS_OVERLAPPEDWINDOW, 0, 0,
                                       100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(other.Attach(otherWindow));
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST, &other));
    EXPECT_EQ(GetWindow(dlg.m_hWnd, GW_OWNER), otherWindow);
    dlg.DestroyWindow();
    EXPECT_TRUE(other.DestroyWindow());
    EXPECT_EQ(other.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(otherWindow));
}

TEST_F(WithMainWindow, MissingTemplateGivesNoWindow) {
    TestDialog modeless;
    EXPECT_FALSE(modeless.Create(IDD_MISSING));
    EXPECT_EQ(modeless.m_hWnd, nullptr);
    EXPECT_EQ(modeless.initCount, 0);

    TestDialog modal(IDD_MISSING);
    EXPECT_EQ(modal.DoModal(), -1);
    EXPECT_EQ(modal.initCount, 0);
    EXPECT_TRUE(IsWindowEnabled(m_main));
}

TEST_F(WithMainWindow, ControlsTextsAndStates) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST));

    CWnd* edit = dlg.GetDlgItem(IDC_TEST_EDIT);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->m_hWnd, GetDlgItem(dlg.m_hWnd, IDC_TEST_EDIT));
    EXPECT_EQ(dlg.GetDlgItem(IDC_TEST_EDIT), edit) << "one object per control";
    EXPECT_EQ(dlg.GetDlgItem(12345), nullptr);

    CString text = "stale";
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_STATIC, text), 13);
    EXPECT_STREQ(text, "template text");
    EXPECT_EQ(dlg.GetDlgItemText(12345, text), 0);
    EXPECT_STREQ(text, "") << "no control, no text";

    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"short", "http://127.0.0.1/a.mp3"},
        {"ansi letters", "Gesch\xE4tzte Restzeit"},
        {"longer than any first guess", std::string(5000, 'x') + "end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg.SetDlgItemText(IDC_TEST_STATIC, c.text.c_str());
        EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_STATIC, text), int(c.text.size()));
        EXPECT_EQ(std::string(text), c.text);
    }
    dlg.SetDlgItemText(IDC_TEST_STATIC, nullptr);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_STATIC, text), 0);

    EXPECT_FALSE(edit->EnableWindow(FALSE)) << "was enabled before";
    EXPECT_FALSE(IsWindowEnabled(edit->m_hWnd));
    EXPECT_TRUE(edit->EnableWindow(TRUE)) << "was disabled before";
    EXPECT_TRUE(IsWindowEnabled(edit->m_hWnd));

    edit->SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("sent"));
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_EDIT, text), 4);
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_EDIT, WM_GETTEXTLENGTH), 4);

    RECT window = {};
    dlg.GetWindowRect(&window);
    EXPECT_GT(window.right - window.left, 0);
    POINT origin = {0, 0};
    dlg.ClientToScreen(&origin);
    EXPECT_GE(origin.x, window.left);

    dlg.DestroyWindow();
    EXPECT_EQ(dlg.GetDlgItem(IDC_TEST_EDIT), nullptr) << "controls go with the window";
    dlg.SetDlgItemText(IDC_TEST_STATIC, "no window: nothing happens");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_STATIC, text), 0);
}

TEST_F(WithMainWindow, CommandsReachOnCommandAndOkCancelTheirHandlers) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST));
    SendMessageA(GetDlgItem(dlg.m_hWnd, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
    ASSERT_EQ(dlg.commands.size(), 1u);
    EXPECT_EQ(dlg.commands[0], std::make_pair(IDC_TEST_BUTTON, int(BN_CLICKED)));
    EXPECT_EQ(dlg.okCount + dlg.cancelCount, 0);

    // A command that throws: the exception stays inside the window's procedure.
    SendMessageA(dlg.m_hWnd, WM_COMMAND, kThrowCommand, 0);
    EXPECT_EQ(dlg.commands.size(), 2u);
    EXPECT_TRUE(IsWindow(dlg.m_hWnd));

    SendMessageA(GetDlgItem(dlg.m_hWnd, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(dlg.cancelCount, 1);
    EXPECT_FALSE(IsWindowVisible(dlg.m_hWnd)) << "ending a modeless dialog hides it";
    EXPECT_NE(dlg.m_hWnd, nullptr) << "...without destroying it";
    dlg.DestroyWindow();
}

TEST_F(WithMainWindow, ModalDialogsEndWithWhatTheirHandlersGive) {
    struct Case {
        const char* name;
        UINT press;
        int endWith;
        INT_PTR result;
        int ok, cancel;
    };
    const Case cases[] = {
        {"OK", IDOK, 0, IDOK, 1, 0},
        {"Cancel", IDCANCEL, 0, IDCANCEL, 0, 1},
        {"own result", IDC_TEST_BUTTON, 42, 42, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDialog dlg(IDD_TEST);
        dlg.postAfterInit = c.press;
        dlg.endWith = c.endWith;
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_EQ(dlg.initCount, 1);
        EXPECT_EQ(dlg.ownerInInit, m_main);
        EXPECT_FALSE(dlg.ownerEnabledInInit) << "the owner is disabled while a modal one shows";
        EXPECT_TRUE(IsWindowEnabled(m_main)) << "...and enabled again afterwards";
        EXPECT_EQ(dlg.okCount, c.ok);
        EXPECT_EQ(dlg.cancelCount, c.cancel);
        EXPECT_EQ(dlg.m_hWnd, nullptr);
        EXPECT_EQ(dlg.postNcDestroyCount, 1);
        if (c.ok == 1) {
            EXPECT_EQ(dlg.lastExchangeSaves, TRUE) << "OK takes the controls into members";
        }
    }
}

TEST(WithoutMainWindow, ModelessDialogHasNoOwner) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST));
    EXPECT_EQ(dlg.ownerInInit, nullptr);
    dlg.DestroyWindow();
}

TEST(Destruction, ObjectDestroysItsOpenWindow) {
    HWND window = nullptr;
    {
        TestDialog dlg;
        ASSERT_TRUE(dlg.Create(IDD_TEST));
        window = dlg.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
