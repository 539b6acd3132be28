#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>

#include "afx/cstring.h"
#include "afx/message_box.h"
#include "afx/resources.h"
#include "afx/thread.h"

namespace {

const char* Id(unsigned id) {
    return MAKEINTRESOURCEA(id);
}

class ResourceModule : public testing::Test {
  protected:
    void SetUp() override {
        m_module = LoadLibraryA("afx_test_module.dll");
        ASSERT_NE(m_module, nullptr) << GetLastError();
        AfxAddResourceModule(m_module);
    }
    void TearDown() override {
        AfxRemoveResourceModule(m_module);
        FreeLibrary(m_module);
    }
    HMODULE m_module = nullptr;
};

TEST_F(ResourceModule, ProgramFirstThenModules) {
    CString s;
    ASSERT_TRUE(s.LoadString(100));
    EXPECT_STREQ(s, "from the program") << "the host program is searched first";
    ASSERT_TRUE(s.LoadString(200));
    EXPECT_STREQ(s, "only in the module");
    s = "kept";
    EXPECT_FALSE(s.LoadString(999));
    EXPECT_STREQ(s, "kept");
    EXPECT_FALSE(s.LoadString(0));

    AfxRemoveResourceModule(m_module);
    EXPECT_FALSE(s.LoadString(200));
    AfxAddResourceModule(m_module);
    EXPECT_TRUE(s.LoadString(200));
}

TEST_F(ResourceModule, FindResourceHandleGivesTheFirstModuleWithIt) {
    EXPECT_EQ(AfxFindResourceHandle(Id(300), RT_RCDATA), m_module);
    EXPECT_EQ(AfxFindResourceHandle(Id(301), RT_RCDATA), GetModuleHandleA(nullptr));
    EXPECT_EQ(AfxFindResourceHandle(Id(302), RT_RCDATA), nullptr);
    EXPECT_EQ(AfxFindResourceHandle(Id(300), RT_DIALOG), nullptr);
}

TEST(ProgramStrings, ExactTextsLongTextsAndAnsiLetters) {
    CString s;
    ASSERT_TRUE(s.LoadString(101));
    EXPECT_STREQ(s, "Please connect to Internet and press OK !");
    ASSERT_TRUE(s.LoadString(102));
    EXPECT_EQ(s.GetLength(), 300) << "a text longer than the first buffer is not cut";
    EXPECT_EQ(s.Mid(297), "789");
    ASSERT_TRUE(s.LoadString(103));
    EXPECT_STREQ(s,
                 "Voulez-vous vraiment annuller? Con\xE9"
                 "ctese \xBF"
                 "Est\xE1?")
        << "texts reach the code in the ANSI code page";
}

// Strings cross between program and library in both directions; each side links its own
// copy of the string code, and the library may be unloaded before the program's strings die.
TEST(CrossModuleStrings, MadeOnOneSideDestroyedOnTheOther) {
    HMODULE module = LoadLibraryA("afx_test_module.dll");
    ASSERT_NE(module, nullptr);
    using Assign = void (*)(CString*, const char*);
    using Destroy = void (*)(CString*);
    auto assign = reinterpret_cast<Assign>(
        reinterpret_cast<void*>(GetProcAddress(module, "afx_test_module_assign")));
    auto destroy = reinterpret_cast<Destroy>(
        reinterpret_cast<void*>(GetProcAddress(module, "afx_test_module_destroy")));
    ASSERT_NE(assign, nullptr);
    ASSERT_NE(destroy, nullptr);

    CString madeThere("old"), emptiedThere("old");
    assign(&madeThere, "made in the module");
    assign(&emptiedThere, "");
    {
        CString madeHere("made in the program"), emptyHere;
        auto* slot = static_cast<CString*>(static_cast<void*>(new char[2 * sizeof(CString)]));
        new (slot) CString(madeHere);
        new (slot + 1) CString(emptyHere);
        destroy(slot);
        destroy(slot + 1);
        delete[] static_cast<char*>(static_cast<void*>(slot));
    }
    FreeLibrary(module);

    EXPECT_STREQ(madeThere, "made in the module");
    EXPECT_STREQ(emptiedThere, "");
    madeThere += " and grown here";
    emptiedThere += "grown here";
    EXPECT_STREQ(madeThere, "made in the module and grown here");
    EXPECT_STREQ(emptiedThere, "grown here");
}

// ---- main window and message boxes

class Window {
  public:
    Window(const char* caption, bool visible, HWND owner = nullptr) {
        m_hwnd = CreateWindowExA(0, "STATIC", caption, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, owner,
                                 nullptr, nullptr, nullptr);
        if (visible) {
            ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
        }
    }
    ~Window() { DestroyWindow(m_hwnd); }
    HWND get() const { return m_hwnd; }

  private:
    HWND m_hwnd;
};

unsigned MainWindowOfThread(void* out) {
    *static_cast<void**>(out) = AfxGetMainWnd();
    return 0;
}

unsigned MainWindowTwoThreadsDown(void* out) {
    CWinThread* inner = AfxBeginThread(MainWindowOfThread, out);
    inner->Join();
    delete inner;
    return 0;
}

TEST(MainWindow, FirstVisibleTopLevelWindowWithoutOwner) {
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    Window hidden("afx hidden", false);
    EXPECT_EQ(AfxGetMainWnd(), nullptr) << "a hidden window is no main window";
    Window main("afx main", true);
    Window owned("afx owned", true, main.get());
    EXPECT_EQ(AfxGetMainWnd(), main.get());

    // Threads started with AfxBeginThread use the starter's main window, also two levels down.
    void* seen = nullptr;
    CWinThread* thread = AfxBeginThread(MainWindowOfThread, &seen);
    thread->Join();
    delete thread;
    EXPECT_EQ(seen, main.get());
    seen = nullptr;
    thread = AfxBeginThread(MainWindowTwoThreadsDown, &seen);
    thread->Join();
    delete thread;
    EXPECT_EQ(seen, main.get());

    // Any other thread has windows of its own (none here).
    seen = main.get();
    std::thread plain([&] { seen = AfxGetMainWnd(); });
    plain.join();
    EXPECT_EQ(seen, nullptr);
}

struct SeenBox {
    std::atomic<bool> found{false};
    HWND owner = nullptr;
    std::string text;
};

// Waits (bounded) for the message box with the program's caption, notes its owner and text
// and presses its OK button, so the box can never hold the test.
void CloseBoxWhenItAppears(SeenBox* seen) {
    for (int i = 0; i < 400 && !seen->found; ++i) {
        HWND box = FindWindowA("#32770", "afx_win_test");
        if (box != nullptr && IsWindowVisible(box)) {
            char text[256] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            seen->text = text;
            seen->owner = GetWindow(box, GW_OWNER);
            seen->found = true;
            SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            return;
        }
        Sleep(50);
    }
}

TEST(DefaultMessageBox, ProgramCaptionAndMainWindowOwner) {
    AfxSetMessageBoxService(nullptr);
    Window main("afx owner", true);
    SeenBox seen;
    std::thread closer(CloseBoxWhenItAppears, &seen);
    int answer = AfxMessageBox("Do you really want to Cancel ?", MB_OK | MB_ICONINFORMATION);
    closer.join();
    ASSERT_TRUE(seen.found) << "no box captioned with the program's name";
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(seen.owner, main.get());
    EXPECT_EQ(seen.text, "Do you really want to Cancel ?");
}

unsigned BoxFromWorker(void* done) {
    AfxMessageBox("from the worker", MB_OK);
    static_cast<std::atomic<bool>*>(done)->store(true);
    return 0;
}

TEST(DefaultMessageBox, WorkerBoxIsOwnedByTheStartersWindow) {
    AfxSetMessageBoxService(nullptr);
    Window main("afx worker owner", true);
    SeenBox seen;
    std::thread closer(CloseBoxWhenItAppears, &seen);
    std::atomic<bool> done{false};
    CWinThread* worker = AfxBeginThread(BoxFromWorker, &done);
    // The box disables its owner, which needs the owner's thread: a plain join would hang.
    worker->JoinServingMessages();
    closer.join();
    EXPECT_TRUE(done);
    delete worker;
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.owner, main.get());
    EXPECT_EQ(seen.text, "from the worker");
}

}  // namespace
