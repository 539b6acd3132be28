#include "launcher/launch_chain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/recording_system.h"

namespace launcher {
namespace {

constexpr uint32_t kFixed = 3;
constexpr const char* kSetup = "D:\\INSTALL\\SETUP.INI";
constexpr const char* kTools = "D:\\INSTALL\\TOOLS.INI";

struct PlatformCase {
    const char* platforms;
    OsVersion version;
    bool admitted;
};

TEST(PlatformMatches, TokensAndVersionTests) {
    const OsVersion win95{1, 4, 0}, win98{1, 4, 10}, winMe{1, 4, 90};
    const OsVersion nt351{2, 3, 51}, nt4{2, 4, 0}, win2k{2, 5, 0}, winXp{2, 5, 1}, win7{2, 6, 1};
    const PlatformCase cases[] = {
        {"NT4", nt4, true},
        {"NT4", win2k, false},
        {"NT", nt4, true},
        {"NT", win2k, true},
        {"NT4 2K", nt4, true},
        {"NT4 2K", win2k, true},
        {"NT4 2K", winXp, true},
        {"NT4 2K", nt351, false},
        {"NT4 2K", win7, false},
        {"95 98", win95, true},
        {"95 98", win98, true},
        {"95 98", winMe, false},
        {"9x", win95, true},
        {"9x", win98, true},
        {"9x", winMe, true},
        {"9X", win95, false},
        {"9X", win98, false},
        {"9X", winMe, false},
        {"ME", winMe, true},
        {"ME", win98, false},
        {"2K", win98, false},
        {"9x", win2k, false},
        {"NT", win98, false},
        {"nt", win2k, false},
        {"NT4NT", win2k, true},
        {"xNT4", win7, false},
        {"9598", win98, true},
        {"9x NT", win98, true},
        {"9x NT", win7, true},
        {"2K", OsVersion{3, 5, 0}, false},
        {"95", OsVersion{1, 4, 3}, true},
    };
    for (const PlatformCase& c : cases) {
        SCOPED_TRACE(std::string(c.platforms) + " on " + std::to_string(c.version.platformId) +
                     "/" + std::to_string(c.version.major) + "." + std::to_string(c.version.minor));
        EXPECT_EQ(PlatformMatches(c.platforms, c.version), c.admitted);
    }
}

// The worked example: SETUP.INI beside SETUP.EXE in D:\INSTALL, then TOOLS.INI.
const char* const kSetupScript =
    "[General]\n"
    "Next=%APPDIR%TOOLS.INI\n"
    "Platforms=9x NT\n"
    "Wait=1\n"
    "Reboot=1\n"
    "[009]\n"
    "File=%CDROM%SETUP\\SETUP.EXE\n"
    "Parameter=/LANG:EN\n"
    "RebootText=Setup has finished.$$Restart Windows now?\n"
    "[007]\n"
    "File=%CDROM%SETUP\\SETUP.EXE\n"
    "Parameter=/LANG:DE\n"
    "[Default]\n"
    "File=%CDROM%SETUP\\SETUP.EXE\n"
    "[Error.009]\n"
    "2=%1 was not found.$$Insert the CD and press OK.\n"
    "2.YesNo=2\n"
    "2.Retry=1\n"
    "Default=Error %2: %3\n"
    "Caption=Setup\n";

class LaunchChainTest : public ::testing::Test {
  protected:
    RecordingSystem system;

    void SetUp() override {
        system.moduleFile = "D:\\INSTALL\\SETUP.EXE";
        system.version = {1, 4, 10};
        system.drives = {{"C:\\", kFixed}, {"E:\\", kDriveCdrom}, {"F:\\", kDriveCdrom}};
    }

    std::vector<std::string> LaunchedFiles() const {
        std::vector<std::string> files;
        for (const auto& launch : system.launches) {
            files.push_back(launch.file);
        }
        return files;
    }
};

TEST_F(LaunchChainTest, WorkedExampleSucceedsOnTheFirstDrive) {
    system.AddScript(kSetup, kSetupScript);
    system.existingFiles = {"e:\\setup\\setup.exe"};
    system.boxAnswers = {7};
    EXPECT_EQ(RunLaunchChain(system, "SETUP.EXE"), 0);

    ASSERT_EQ(system.launches.size(), 1u);
    const auto& launch = system.launches[0];
    EXPECT_EQ(launch.file, "E:\\SETUP\\SETUP.EXE");
    EXPECT_EQ(launch.parameters, "/LANG:EN");
    EXPECT_EQ(launch.directory, "(none)");
    EXPECT_EQ(launch.verb, "(none)");
    EXPECT_EQ(launch.fileClass, "(none)");
    EXPECT_EQ(launch.mask, 0x540u);
    EXPECT_EQ(launch.show, 1);
    ASSERT_EQ(system.waits.size(), 1u);
    EXPECT_EQ(system.waits[0].second, kInfinite);

    ASSERT_EQ(system.boxes.size(), 1u);
    EXPECT_EQ(system.boxes[0].text, "Setup has finished.\r\nRestart Windows now?");
    EXPECT_EQ(system.boxes[0].caption, "Restart");
    EXPECT_EQ(system.boxes[0].style, 0x24u);
    EXPECT_EQ(system.restarts, 0);

    // The reads of one run, in order; TOOLS.INI does not exist, so its File is empty.
    std::vector<std::string> reads = {
        "General.Next",
        "009.File",
        "009.Parameter",
        "009.Directory",
        "General.Platforms",
        "General.Verb",
        "General.Class",
        "#General.Wait",
        "#General.Show",
        "#General.TimeOut",
        "#General.Wait",
        "#General.Reboot",
        "009.RebootText",
        "009.Caption",
        "Default.Caption",
        // TOOLS.INI
        "General.Next",
        "009.File",
        "Default.File",
        "Default.Parameter",
        "Default.Directory",
        "General.Platforms",
        "General.Verb",
        "General.Class",
    };
    EXPECT_EQ(system.ReadNames(), reads);
    EXPECT_EQ(system.reads.back().path, kTools);
    EXPECT_EQ(system.reads[0].size, 260u);
    EXPECT_EQ(system.reads[4].size, 128u);
    EXPECT_EQ(system.reads[12].size, 128u);
    EXPECT_EQ(system.reads[14].def, "Restart");
}

TEST_F(LaunchChainTest, WorkedExampleWithTheFileOnNoDrive) {
    system.AddScript(kSetup, kSetupScript);
    system.systemTexts[2] = "The system cannot find the file specified.";
    system.boxAnswers = {kAnswerOk, 2};
    RunLaunchChain(system, "SETUP.EXE");

    std::vector<std::string> expected = {
        "E:\\SETUP\\SETUP.EXE",
        "F:\\SETUP\\SETUP.EXE",
        "%CDROM%SETUP\\SETUP.EXE",
        // OK on the message: the whole pass again, from the first drive
        "E:\\SETUP\\SETUP.EXE",
        "F:\\SETUP\\SETUP.EXE",
        "%CDROM%SETUP\\SETUP.EXE",
    };
    EXPECT_EQ(LaunchedFiles(), expected);
    ASSERT_EQ(system.boxes.size(), 2u);
    for (const auto& box : system.boxes) {
        EXPECT_EQ(box.text,
                  "%CDROM%SETUP\\SETUP.EXE was not found.\r\nInsert the CD and press OK.");
        EXPECT_EQ(box.caption, "Setup");
        EXPECT_EQ(box.style, 0x21u);
    }
    // Cancel goes on with TOOLS.INI.
    EXPECT_EQ(system.reads.back().path, kTools);
}

TEST_F(LaunchChainTest, FailureReadOrder) {
    system.AddScript(kSetup,
                     "[General]\n[009]\nFile=X.EXE\n[Error.009]\nDefault=%2\nDefault.YesNo=1\n"
                     "Default.Action=FIX.EXE\n[Default.Wait]\nTimeOut=3\n");
    system.startableCommands = {"FIX.EXE"};
    system.boxAnswers = {kAnswerYes};
    RunLaunchChain(system, "SETUP.EXE");
    std::vector<std::string> reads = {
        "General.Next",
        "009.File",
        "009.Parameter",
        "009.Directory",
        "General.Platforms",
        "General.Verb",
        "General.Class",
        "#General.Wait",
        "#General.Show",
        "Error.009.2",
        "Error.009.Default",
        "Error.009.Caption",
        "Error.009.Default.Action",
        "#Error.009.Default.YesNo",
        "#Error.009.Default.Retry",
        "#Default.Wait.TimeOut",
        "#Default.Wait.Wait",
    };
    EXPECT_EQ(system.ReadNames(), reads);
    ASSERT_EQ(system.waits.size(), 1u);
    EXPECT_EQ(system.waits[0].second, 3000u);
}

TEST_F(LaunchChainTest, CdromPassOverZeroOneAndTwoDrives) {
    using Drives = std::vector<std::pair<std::string, uint32_t>>;
    const Drives twoDrives = {{"E:\\", kDriveCdrom}, {"F:\\", kDriveCdrom}};
    struct Case {
        const char* name;
        Drives drives;
        std::set<std::string> existing;
        std::vector<std::string> attempts;
        size_t boxes;
        const char* text = "%CDROM%A.EXE";
        RecordingSystem::LaunchResult missing = {};
        const char* nextFile = nullptr;  // File of a next script, when there is one
    } cases[] = {
        {"noDrive", {{"C:\\", kFixed}}, {}, {"%CDROM%A.EXE"}, 1},
        {"oneDriveHasIt", {{"E:\\", kDriveCdrom}}, {"e:\\a.exe"}, {"E:\\A.EXE"}, 0},
        {"oneDriveLacksIt", {{"E:\\", kDriveCdrom}}, {}, {"E:\\A.EXE", "%CDROM%A.EXE"}, 1},
        {"fileOnSecondDrive", twoDrives, {"f:\\a.exe"}, {"E:\\A.EXE", "F:\\A.EXE"}, 0},
        {"fileOnNoDrive", twoDrives, {}, {"E:\\A.EXE", "F:\\A.EXE", "%CDROM%A.EXE"}, 1},
        // The message gets the launch error code as %2 and the system error's text as %3.
        {.name = "fileOnNoDriveNoAssociation",
         .drives = twoDrives,
         .existing = {},
         .attempts = {"E:\\A.EXE", "F:\\A.EXE", "%CDROM%A.EXE"},
         .boxes = 1,
         .text = "%CDROM%A.EXE 31 No application is associated.",
         .missing = {false, 31, 1155}},
        // Each script starts its pass on the first drive, whichever drive the last one used.
        {.name = "nextScriptStartsOnTheFirstDrive",
         .drives = twoDrives,
         .existing = {"f:\\a.exe", "e:\\b.exe", "f:\\b.exe"},
         .attempts = {"E:\\A.EXE", "F:\\A.EXE", "E:\\B.EXE"},
         .boxes = 0,
         .nextFile = "%CDROM%B.EXE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSystem s;
        s.moduleFile = "D:\\SETUP.EXE";
        s.drives = c.drives;
        s.existingFiles = c.existing;
        s.missingFile = c.missing;
        s.systemTexts[1155] = "No application is associated.";
        std::string script = "[009]\nFile=%CDROM%A.EXE\n[Error.009]\n2=%1\nDefault=%1 %2 %3\n";
        if (c.nextFile != nullptr) {
            script = "[General]\nNext=%APPDIR%NEXT.INI\n" + script;
            s.AddScript("D:\\NEXT.INI", std::string("[009]\nFile=") + c.nextFile + "\n");
        }
        s.AddScript("D:\\SETUP.INI", script);
        RunLaunchChain(s, "SETUP.EXE");
        std::vector<std::string> files;
        for (const auto& launch : s.launches) {
            files.push_back(launch.file);
        }
        EXPECT_EQ(files, c.attempts);
        ASSERT_EQ(s.boxes.size(), c.boxes);
        if (c.boxes > 0) {
            EXPECT_EQ(s.boxes[0].text, c.text);
        }
    }
}

TEST_F(LaunchChainTest, AllThreeTextsExpandOnTheSameDrive) {
    system.AddScript(kSetup,
                     "[009]\nFile=%CDROM%A.EXE\nParameter=/SRC:%CDROM%DATA\n"
                     "Directory=%CDROM%WORK\n");
    RunLaunchChain(system, "SETUP.EXE");
    ASSERT_EQ(system.launches.size(), 3u);
    EXPECT_EQ(system.launches[1].file, "F:\\A.EXE");
    EXPECT_EQ(system.launches[1].parameters, "/SRC:F:\\DATA");
    EXPECT_EQ(system.launches[1].directory, "F:\\WORK");
    EXPECT_EQ(system.launches[2].parameters, "/SRC:%CDROM%DATA");
}

TEST_F(LaunchChainTest, DriveOnlyInParametersStillMakesAPass) {
    system.AddScript(kSetup, "[009]\nFile=C:\\A.EXE\nParameter=/SRC:%CDROM%\n");
    RunLaunchChain(system, "SETUP.EXE");
    std::vector<std::string> params;
    for (const auto& launch : system.launches) {
        params.push_back(launch.parameters);
    }
    std::vector<std::string> expected = {"/SRC:E:\\", "/SRC:F:\\", "/SRC:%CDROM%"};
    EXPECT_EQ(params, expected);
}

TEST_F(LaunchChainTest, LaunchRequestFields) {
    system.AddScript(kSetup,
                     "[General]\nVerb=print\nClass=txtfile\nShow=3\nWait=0\n"
                     "[009]\nFile=%TMPDIR%A.TXT\nParameter=\nDirectory=%WINDIR%\n");
    system.existingFiles = {"d:\\temp\\a.txt"};
    RunLaunchChain(system, "SETUP.EXE");
    ASSERT_EQ(system.launches.size(), 1u);
    const auto& launch = system.launches[0];
    EXPECT_EQ(launch.mask, 0x501u);
    EXPECT_EQ(launch.verb, "print");
    EXPECT_EQ(launch.fileClass, "txtfile");
    EXPECT_EQ(launch.show, 3);
    EXPECT_EQ(launch.parameters, "(none)");
    EXPECT_EQ(launch.directory, "D:\\WINDOWS\\");
    EXPECT_TRUE(system.waits.empty());
}

TEST_F(LaunchChainTest, WaitWithTimeOutAndHandleRelease) {
    system.AddScript(kSetup, "[General]\nWait=1\nTimeOut=5\n[009]\nFile=A.EXE\n");
    system.existingFiles = {"a.exe"};
    RunLaunchChain(system, "SETUP.EXE");
    ASSERT_EQ(system.waits.size(), 1u);
    EXPECT_EQ(system.waits[0].second, 5000u);
    ASSERT_EQ(system.closed.size(), 1u);
    EXPECT_EQ(system.closed[0], system.waits[0].first);
}

TEST_F(LaunchChainTest, LaunchWithoutProcessHandleDoesNotWait) {
    system.AddScript(kSetup, "[General]\nWait=1\n[009]\nFile=A.DOC\n");
    system.onLaunch = [](const LaunchRequest&) {
        RecordingSystem::LaunchResult result;
        result.ok = true;
        result.withProcess = false;
        return result;
    };
    RunLaunchChain(system, "SETUP.EXE");
    EXPECT_TRUE(system.waits.empty());
}

TEST_F(LaunchChainTest, EntrySectionFallsBackOnceForTheWholeChain) {
    system.AddScript(kSetup,
                     "[General]\nNext=%APPDIR%TOOLS.INI\n[009]\nFile=\nParameter=/LANG\n"
                     "Directory=C:\\LANG\n[Default]\nFile=A.EXE\n[Error.Default]\nDefault=d\n");
    system.AddScript(kTools, "[009]\nFile=T009.EXE\n[Default]\nFile=TDEF.EXE\n");
    RunLaunchChain(system, "SETUP.EXE");
    std::vector<std::string> expected = {"A.EXE", "TDEF.EXE"};
    EXPECT_EQ(LaunchedFiles(), expected);
    // Parameter and Directory follow File to "Default", and so do the error messages.
    EXPECT_EQ(system.launches[0].parameters, "(none)");
    EXPECT_EQ(system.launches[0].directory, "(none)");
    // TOOLS.INI has no Error.Default section of its own: its failure is not reported.
    EXPECT_EQ(system.boxes.size(), 1u);
    std::vector<std::string> tools;
    for (const auto& read : system.reads) {
        if (read.path == kTools) {
            tools.push_back(read.section + "." + read.key);
        }
    }
    ASSERT_GE(tools.size(), 3u);
    EXPECT_EQ(tools[1], "Default.File");
    EXPECT_EQ(tools[2], "Default.Parameter");
}

TEST_F(LaunchChainTest, RunEnds) {
    struct Case {
        const char* name;
        const char* script;
        size_t launches;
        size_t scriptsRead;
    } cases[] = {
        {"noFileAnywhere", "[General]\nNext=%APPDIR%TOOLS.INI\n", 0, 1},
        {"platformRefused", "[General]\nPlatforms=2K\nNext=%APPDIR%TOOLS.INI\n[009]\nFile=A.EXE\n",
         0, 1},
        {"emptyNext", "[009]\nFile=A.EXE\n", 1, 1},
        {"failedLaunchGoesOn", "[General]\nNext=%APPDIR%TOOLS.INI\n[009]\nFile=NOPE.EXE\n", 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSystem s;
        s.moduleFile = "D:\\INSTALL\\SETUP.EXE";
        s.version = {1, 4, 10};
        s.existingFiles = {"a.exe"};
        s.AddScript(kSetup, c.script);
        EXPECT_EQ(RunLaunchChain(s, "SETUP.EXE"), 0);
        EXPECT_EQ(s.launches.size(), c.launches);
        std::set<std::string> paths;
        for (const auto& read : s.reads) {
            paths.insert(read.path);
        }
        EXPECT_EQ(paths.size(), c.scriptsRead);
    }
}

TEST_F(LaunchChainTest, MissingScriptEndsQuietly) {
    EXPECT_EQ(RunLaunchChain(system, "SETUP.EXE C:\\NOWHERE\\X.INI"), 0);
    EXPECT_TRUE(system.launches.empty());
    EXPECT_TRUE(system.boxes.empty());
}

TEST_F(LaunchChainTest, NoCommandLineScriptMeansNoRun) {
    system.moduleFile = "";
    EXPECT_EQ(RunLaunchChain(system, "SETUP.EXE"), 0);
    EXPECT_TRUE(system.reads.empty());
}

TEST_F(LaunchChainTest, RestartQuestion) {
    using Calls = std::vector<std::string>;
    struct Case {
        const char* name;
        const char* sections;
        std::deque<int> answers;
        size_t boxes;
        const char* text;
        const char* caption;
        Calls calls;  // from the Reboot read to the next script, reads shown as Section.Key
        const char* entry = "009";  // the section that holds File
    } cases[] = {
        {"noTextRestartsAtOnce",
         "",
         {},
         0,
         "",
         "",
         {"009.RebootText", "Default.RebootText", "EnableShutdownPrivilege", "RequestRestart 2 0"}},
        {"textFromLanguageCaptionFallback",
         "[009]\nRebootText=Done.$$Restart now?\n",
         {kAnswerYes},
         1,
         "Done.\r\nRestart now?",
         "Restart",
         {"009.RebootText", "009.Caption", "Default.Caption", "ShowMessageBox Restart",
          "EnableShutdownPrivilege", "RequestRestart 2 0"}},
        {"answerNo",
         "[009]\nRebootText=Done?\nCaption=Setup\n",
         {7},
         1,
         "Done?",
         "Setup",
         {"009.RebootText", "009.Caption", "ShowMessageBox Setup"}},
        {"textOnlyInDefault",
         "[Default]\nRebootText=From default\n",
         {kAnswerYes},
         1,
         "From default",
         "Restart",
         {"009.RebootText", "Default.RebootText", "009.Caption", "Default.Caption",
          "ShowMessageBox Restart", "EnableShutdownPrivilege", "RequestRestart 2 0"}},
        {"captionFromDefault",
         "[009]\nRebootText=T\n[Default]\nCaption=Def\n",
         {7},
         1,
         "T",
         "Def",
         {"009.RebootText", "009.Caption", "Default.Caption", "ShowMessageBox Def"}},
        {"languageCaptionWins",
         "[009]\nRebootText=T\nCaption=Lang\n[Default]\nCaption=Def\n",
         {7},
         1,
         "T",
         "Lang",
         {"009.RebootText", "009.Caption", "ShowMessageBox Lang"}},
        // The entry section fell back to "Default"; the question still asks the language first.
        {"entryInDefaultQuestionFromLanguage",
         "[009]\nFile=\nRebootText=Lang?\nCaption=Lang\n[Default]\nRebootText=Def?\nCaption=Def\n",
         {kAnswerYes},
         1,
         "Lang?",
         "Lang",
         {"009.RebootText", "009.Caption", "ShowMessageBox Lang", "EnableShutdownPrivilege",
          "RequestRestart 2 0"},
         "Default"},
        {"entryInDefaultQuestionFromDefault",
         "[009]\nFile=\n[Default]\nRebootText=Def?\n",
         {7},
         1,
         "Def?",
         "Restart",
         {"009.RebootText", "Default.RebootText", "009.Caption", "Default.Caption",
          "ShowMessageBox Restart"},
         "Default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSystem s;
        s.moduleFile = "D:\\INSTALL\\SETUP.EXE";
        s.existingFiles = {"a.exe", "b.exe"};
        s.boxAnswers = c.answers;
        s.AddScript(kSetup, std::string("[General]\nReboot=1\nNext=%APPDIR%TOOLS.INI\n[") +
                                c.entry + "]\nFile=A.EXE\n" + c.sections);
        s.AddScript(kTools, "[009]\nFile=B.EXE\n[Default]\nFile=B.EXE\n");
        RunLaunchChain(s, "SETUP.EXE");
        ASSERT_EQ(s.boxes.size(), c.boxes);
        if (c.boxes > 0) {
            EXPECT_EQ(s.boxes[0].text, c.text);
            EXPECT_EQ(s.boxes[0].caption, c.caption);
            EXPECT_EQ(s.boxes[0].style, 0x24u);
        }
        const std::string readPrefix = "ReadProfileString ";
        auto from = std::find(s.calls.begin(), s.calls.end(), "ReadProfileInt General.Reboot");
        ASSERT_NE(from, s.calls.end());
        auto to = std::find(from, s.calls.end(), readPrefix + "General.Next");
        Calls calls;
        for (auto call = from + 1; call != to; ++call) {
            bool isRead = call->rfind(readPrefix, 0) == 0;
            calls.push_back(isRead ? call->substr(readPrefix.size()) : *call);
        }
        EXPECT_EQ(calls, c.calls);
        // The chain goes on with Next whatever the answer.
        ASSERT_EQ(s.launches.size(), 2u);
        EXPECT_EQ(s.launches[1].file, "B.EXE");
    }
}

TEST_F(LaunchChainTest, RestartRequestIsAReboot) {
    system.AddScript(kSetup, "[General]\nReboot=1\n[009]\nFile=A.EXE\n");
    system.existingFiles = {"a.exe"};
    RunLaunchChain(system, "SETUP.EXE");
    std::vector<std::string> last(system.calls.end() - 2, system.calls.end());
    std::vector<std::string> expected = {"EnableShutdownPrivilege", "RequestRestart 2 0"};
    EXPECT_EQ(last, expected);
}

TEST_F(LaunchChainTest, ChainNamingItselfRunsAgain) {
    struct StopRun {};
    system.AddScript(kSetup, "[General]\nNext=%APPDIR%SETUP.INI\n[009]\nFile=A.EXE\n");
    int rounds = 0;
    system.onLaunch = [&](const LaunchRequest&) {
        if (++rounds > 3) {
            throw StopRun{};  // the chain has no end of its own
        }
        RecordingSystem::LaunchResult result;
        result.ok = true;
        return result;
    };
    EXPECT_THROW(RunLaunchChain(system, "SETUP.EXE"), StopRun);
    EXPECT_EQ(system.launches.size(), 4u);
}

TEST_F(LaunchChainTest, OverlongValuesAreCutToTheirFields) {
    std::string file(300, 'f');
    system.AddScript(kSetup,
                     "[General]\nVerb=" + std::string(200, 'v') + "\n[009]\nFile=" + file + "\n");
    RunLaunchChain(system, "SETUP.EXE");
    ASSERT_FALSE(system.launches.empty());
    EXPECT_EQ(system.launches[0].file, std::string(259, 'f'));
    EXPECT_EQ(system.launches[0].verb, std::string(127, 'v'));
}

TEST_F(LaunchChainTest, LanguageSectionComesFromTheUserLanguage) {
    struct Case {
        uint16_t langId;
        const char* expected;
    } cases[] = {{0x0407, "DE.EXE"}, {0x0409, "EN.EXE"}, {0x040C, "FR.EXE"}, {0x0C0C, "FR.EXE"},
                 {0x0410, "IT.EXE"}, {0x080A, "ES.EXE"}, {0x0413, "DEF.EXE"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        RecordingSystem s;
        s.moduleFile = "D:\\SETUP.EXE";
        s.langId = c.langId;
        s.AddScript("D:\\SETUP.INI",
                    "[007]\nFile=DE.EXE\n[009]\nFile=EN.EXE\n[00C]\nFile=FR.EXE\n"
                    "[010]\nFile=IT.EXE\n[00a]\nFile=ES.EXE\n[Default]\nFile=DEF.EXE\n");
        s.onLaunch = [](const LaunchRequest&) {
            RecordingSystem::LaunchResult result;
            result.ok = true;
            return result;
        };
        RunLaunchChain(s, "SETUP.EXE");
        ASSERT_EQ(s.launches.size(), 1u);
        EXPECT_EQ(s.launches[0].file, c.expected);
    }
}

}  // namespace
}  // namespace launcher
