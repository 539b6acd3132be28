#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/automation/wine_automation.h"

namespace automation {
namespace {

constexpr uint32_t kBoxTimeoutMs = 15000;

std::string TargetExe() {
    return "\"" + ProgramDir() + "automation_target.exe\"";
}

class UnmanagedTarget : public testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(SetWineAppUnmanaged("automation_target.exe")); }
};
const testing::Environment* const kUnmanaged =
    testing::AddGlobalTestEnvironment(new UnmanagedTarget);

struct BoxCase {
    const char* name;
    unsigned style;
    int press;
    const char* buttons;
    BoxIcon icon;
};

class MessageBoxTest : public testing::TestWithParam<BoxCase> {};

// Another process's box: its caption, both lines of text, its buttons and icon are read, and
// the pressed button is what the box returns to its program.
TEST_P(MessageBoxTest, ReadsAndAnswersAnotherProcessBox) {
    const BoxCase& c = GetParam();
    std::string caption = std::string("Box ") + c.name;
    char style[16];
    std::snprintf(style, sizeof(style), "0x%x", c.style);
    Process target = Process::Start(TargetExe() + " msgbox " + style + " \"" + caption +
                                    "\" \"First line\\nSecond line\"");
    ASSERT_TRUE(target.Started());

    std::optional<MessageBoxInfo> box =
        AnswerMessageBox({caption, "", target.Id()}, c.press, kBoxTimeoutMs);
    ASSERT_TRUE(box.has_value()) << "no box or the button could not be pressed";
    EXPECT_EQ(box->caption, caption);
    EXPECT_EQ(box->text, "First line\nSecond line");
    EXPECT_EQ(box->Buttons(), c.buttons);
    EXPECT_STREQ(BoxIconName(box->icon), BoxIconName(c.icon));
    EXPECT_EQ(box->processId, target.Id());
    ASSERT_TRUE(target.Wait(kBoxTimeoutMs));
    EXPECT_EQ(target.ExitCode(), static_cast<uint32_t>(c.press));
}

INSTANTIATE_TEST_SUITE_P(
    Styles, MessageBoxTest,
    testing::Values(BoxCase{"Warning", 0x30, kIdOk, "OK", BoxIcon::Warning},
                    BoxCase{"YesNoQuestion", 0x24, kIdNo, "Yes, No", BoxIcon::Question},
                    BoxCase{"OkCancelQuestion", 0x21, kIdCancel, "OK, Cancel", BoxIcon::Question},
                    BoxCase{"Error", 0x10, kIdOk, "OK", BoxIcon::Error},
                    BoxCase{"Information", 0x40, kIdOk, "OK", BoxIcon::Information},
                    BoxCase{"YesNoPlain", 0x04, kIdYes, "Yes, No", BoxIcon::None}),
    [](const testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

TEST(WindowControlsTest, ReadsListWritesEditAndClicksAcrossProcesses) {
    const std::string caption = "Automation target window";
    Process target = Process::Start(TargetExe() + " window \"" + caption + "\"");
    ASSERT_TRUE(target.Started());
    Window w = WaitForWindow({caption, "", target.Id()}, kBoxTimeoutMs);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(WindowText(w), caption);
    EXPECT_EQ(WindowProcessId(w), target.Id());

    std::vector<std::string> expected = {"first", "Zweite Zeile \xE4\xF6\xFC\xDF", "third"};
    EXPECT_EQ(ListBoxItems(w, 100), expected);
    EXPECT_TRUE(ListBoxItems(w, 555).empty());

    std::vector<ControlInfo> controls = Controls(w);
    ASSERT_EQ(controls.size(), 3u);
    EXPECT_EQ(controls[2].id, 1);
    EXPECT_EQ(controls[2].text, "Close");
    EXPECT_TRUE(controls[2].visible);

    ASSERT_TRUE(SetControlText(w, 101, "42"));
    EXPECT_EQ(ControlText(w, 101), "42");
    EXPECT_FALSE(ClickButton(w, 555));
    ASSERT_TRUE(ClickButton(w, 1));
    ASSERT_TRUE(target.Wait(kBoxTimeoutMs));
    EXPECT_EQ(target.ExitCode(), 42u);
    EXPECT_TRUE(WaitForWindowGone(w, kBoxTimeoutMs));
}

TEST(WaitTest, EveryWaitEndsAtItsTimeOut) {
    EXPECT_EQ(WaitForWindow({"No window has this caption 7f3a", "", 0}, 100), nullptr);
    EXPECT_FALSE(AnswerMessageBox({"No box has this caption 7f3a", "", 0}, kIdOk, 100));

    Process target = Process::Start(TargetExe() + " window \"Waiting target\"");
    ASSERT_TRUE(target.Started());
    Window w = WaitForWindow({"Waiting target", "", target.Id()}, kBoxTimeoutMs);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(target.Wait(50));
    EXPECT_FALSE(WaitForProcessExit(target.Id(), 50));
    EXPECT_FALSE(WaitForWindowGone(w, 50));
    EXPECT_TRUE(ProcessRunning(target.Id()));
    EXPECT_TRUE(KillProcess(target.Id()));
    EXPECT_TRUE(WaitForProcessExit(target.Id(), kBoxTimeoutMs));
    EXPECT_FALSE(ProcessRunning(target.Id()));
}

TEST(ScreenshotTest, SavesScreenAndWindowAsBitmaps) {
    Process target = Process::Start(TargetExe() + " window \"Screenshot target\"");
    ASSERT_TRUE(target.Started());
    Window w = WaitForWindow({"Screenshot target", "", target.Id()}, kBoxTimeoutMs);
    ASSERT_NE(w, nullptr);

    struct Shot {
        const char* name;
        Window only;
    };
    for (const Shot& shot : {Shot{"automation_screen", nullptr}, Shot{"automation_window", w}}) {
        SCOPED_TRACE(shot.name);
        std::string path = SaveScreenshot(shot.name, shot.only);
        ASSERT_FALSE(path.empty());
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        unsigned char header[54] = {};
        size_t n = std::fread(header, 1, sizeof(header), f);
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        std::fclose(f);
        ASSERT_EQ(n, sizeof(header));
        EXPECT_EQ(header[0], 'B');
        EXPECT_EQ(header[1], 'M');
        int width = header[18] | header[19] << 8 | header[20] << 16 | header[21] << 24;
        int height = header[22] | header[23] << 8 | header[24] << 16 | header[25] << 24;
        EXPECT_GT(width, 0);
        EXPECT_GT(height, 0);
        EXPECT_EQ(size, 54 + static_cast<long>(((width * 3 + 3) & ~3) * height));
        if (shot.only != nullptr) {
            EXPECT_LT(width, 1000);
        }
    }
}

TEST(PathTest, UnixPathsGoThroughDriveZ) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {Case{"/work/build/x", "Z:\\work\\build\\x"}, Case{"/", "Z:\\"},
                          Case{"C:\\temp\\a", "C:\\temp\\a"}, Case{"", ""},
                          Case{"relative/name", "relative/name"}}) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(WindowsPathOf(c.in), c.out);
    }
    EXPECT_EQ(ProgramDir().back(), '\\');
    SetEnv("QUOR_AUTOMATION_PROBE_VAR", "value");
    EXPECT_EQ(GetEnv("QUOR_AUTOMATION_PROBE_VAR"), "value");
    UnsetEnv("QUOR_AUTOMATION_PROBE_VAR");
    EXPECT_EQ(GetEnv("QUOR_AUTOMATION_PROBE_VAR"), "");
}

// The launcher's tests set the Windows version per program; a program started afterwards
// sees it, and removing the value brings the prefix's default back.
TEST(WineVersionTest, PerProgramVersionReachesTheNextStart) {
    struct Case {
        const char* version;
        uint32_t platform;
        uint32_t major;
        uint32_t minor;
    };
    for (const Case& c : {Case{"win98", 1, 4, 10}, Case{"nt40", 2, 4, 0}, Case{"win2k", 2, 5, 0},
                          Case{"winxp", 2, 5, 1}}) {
        SCOPED_TRACE(c.version);
        ASSERT_TRUE(SetWineAppVersion("automation_target.exe", c.version));
        Process target = Process::Start(TargetExe() + " version");
        ASSERT_TRUE(target.Wait(kBoxTimeoutMs));
        EXPECT_EQ(target.ExitCode(), c.platform << 16 | c.major << 8 | c.minor);
    }
    ASSERT_TRUE(SetWineAppVersion("automation_target.exe", ""));
    Process target = Process::Start(TargetExe() + " version");
    ASSERT_TRUE(target.Wait(kBoxTimeoutMs));
    EXPECT_EQ(target.ExitCode(), 2u << 16 | 6u << 8 | 1u);
}

}  // namespace
}  // namespace automation
