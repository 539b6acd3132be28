// The two operations as a host calls them: any time, in any order, answering exactly 0 or 1.
// A watcher answers every message box they put up (Cancel, No or OK) and cancels the search
// dialog, so no call can hang.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "quor_inet/include/quor_inet.h"
#include "tests/automation/wine_automation.h"
#include "tests/server/test_server_client.h"

namespace fs = std::filesystem;

namespace {

class WindowWatcher {
  public:
    WindowWatcher() : m_thread([this] { Run(); }) {}
    ~WindowWatcher() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::vector<automation::MessageBoxInfo> Answered() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_answered;
    }

  private:
    void Run() {
        automation::WindowFilter filter;
        filter.className = automation::kDialogClass;
        filter.processId = GetCurrentProcessId();
        // Bounded: a minute at most, whatever the calls do.
        for (int round = 0; round < 3000 && !m_stop; ++round) {
            automation::Window w = automation::FindTopLevelWindow(filter);
            // The search dialog is cancelled; a progress window goes away by itself.
            if (w != nullptr && automation::WindowText(w) == "Internet search") {
                automation::ClickButton(w, automation::kIdCancel, 2000);
                automation::WaitForWindowGone(w, 2000);
            } else if (w != nullptr &&
                       automation::Control(w, automation::kMessageBoxTextId) != nullptr) {
                automation::MessageBoxInfo box = automation::ReadMessageBox(w);
                int button = box.no       ? automation::kIdNo
                             : box.cancel ? automation::kIdCancel
                                          : automation::kIdOk;
                m_answered.push_back(box);
                automation::ClickButton(w, button, 2000);
                automation::WaitForWindowGone(w, 2000);
            }
            Sleep(20);
        }
    }

    std::atomic<bool> m_stop{false};
    std::vector<automation::MessageBoxInfo> m_answered;
    std::thread m_thread;
};

std::atomic<int> g_progressCalls{0};

int CountProgress(int done, int total, int userValue) {
    (void)done;
    (void)total;
    (void)userValue;
    ++g_progressCalls;
    return 1;
}

// Port 9 on loopback has no server, so every request is refused at once.
constexpr char kRefusedUrl[] = "http://127.0.0.1:9/song.mp3";

TEST(Operations, DownloadFirstThenTheDialogEachAnswerZeroOrOne) {
    const fs::path dir = fs::temp_directory_path() / "frame_operations_test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string target = (dir / "song.mp3").string();
    const std::string base = quor::test::SharedTestServerBaseUrl();
    ASSERT_FALSE(base.empty()) << "the shared test server is not running";

    WindowWatcher watcher;
    // Before any dialog has ever run.
    const std::string url = base + "/exact/frame-operations.mp3?size=40000";
    int result = INet_Download(url.c_str(), target.c_str(), &CountProgress, 7);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(fs::file_size(target), 40000u);
    EXPECT_GT(g_progressCalls, 0);
    fs::remove(target);

    // Refused: the library tells the user why (one box, OK).
    g_progressCalls = 0;
    result = INet_Download(kRefusedUrl, target.c_str(), &CountProgress, 7);
    EXPECT_EQ(result, 0) << "nothing could be fetched";
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(g_progressCalls, 0);

    result = INet_Download("https://127.0.0.1:9/song.mp3", target.c_str(), nullptr, 0);
    EXPECT_EQ(result, 0) << "only http is fetched, without a word";
    EXPECT_FALSE(fs::exists(target));

    CString chosen = "left alone";
    for (const char* start : {static_cast<const char*>(nullptr), "", kRefusedUrl}) {
        SCOPED_TRACE(start != nullptr ? start : "(null)");
        result = INet_DoInternetDlg(start, 0xDEADBEEF, &chosen);
        EXPECT_TRUE(result == 0 || result == 1) << result;
        if (result == 0) {
            EXPECT_STREQ(chosen, "left alone") << "a cancelled dialog leaves the result alone";
        }
    }

    result = INet_Download(kRefusedUrl, target.c_str(), nullptr, 0);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(target));

    int refusals = 0;
    for (const automation::MessageBoxInfo& box : watcher.Answered()) {
        std::printf("answered %s: %s\n", box.caption.c_str(), box.text.c_str());
        EXPECT_EQ(box.caption, "frame_host_test");
        if (box.Buttons() == "OK") {
            ++refusals;
            EXPECT_EQ(box.icon, automation::BoxIcon::Information);
            EXPECT_FALSE(box.text.empty());
        }
    }
    EXPECT_EQ(refusals, 2) << "one box for each refused download, none for https";
    fs::remove_all(dir);
}

// A host chooses the rules with the settings value CurrentWeb under the library's key: a
// download reads it when it starts, whether a dialog ever ran or not. A redirection is a
// failure on the classic rules and followed on the current web's.
TEST(Operations, DownloadFollowsTheRulesTheHostStored) {
    const std::string base = quor::test::SharedTestServerBaseUrl();
    ASSERT_FALSE(base.empty()) << "the shared test server is not running";
    const fs::path target = fs::temp_directory_path() / "frame_operations_rules.mp3";
    const std::string url = base + "/redirect/x.mp3?status=301&to=/exact/moved.mp3%3Fsize%3D3000";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quor\\Internet", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const DWORD currentWeb : {0u, 1u}) {
        SCOPED_TRACE(currentWeb);
        RegSetValueExA(key, "CurrentWeb", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&currentWeb),
                       sizeof currentWeb);
        fs::remove(target);
        EXPECT_EQ(INet_Download(url.c_str(), target.string().c_str(), &CountProgress, 0),
                  static_cast<int>(currentWeb));
        EXPECT_EQ(fs::exists(target) ? fs::file_size(target) : 0u, currentWeb * 3000u);
    }
    RegDeleteValueA(key, "CurrentWeb");
    RegCloseKey(key);
    fs::remove(target);
}

}  // namespace
