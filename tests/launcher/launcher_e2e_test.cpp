// The launcher as a user meets it: the real launcher.exe under Wine, real scripts on disk, the
// prefix's CD-ROM drives and Windows versions, and its message boxes answered on screen. What
// it launched is read from the probe's log, in the order things happened.
#include <algorithm>
#include <chrono>
#include <thread>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/automation/wine_automation.h"
#include "tests/launcher/launcher_e2e_support.h"

namespace e2e {
namespace {

using automation::BoxIcon;
using automation::kIdCancel;
using automation::kIdNo;
using automation::kIdOk;
using automation::kIdYes;
using automation::MessageBoxInfo;

constexpr uint32_t kProbeWaitMs = 20000;

class PrefixSettings : public testing::Environment {
  public:
    void SetUp() override {
        for (const char* exe : {"launcher.exe", "SETUP.EXE", "probe.exe"}) {
            ASSERT_TRUE(automation::SetWineAppUnmanaged(exe));
        }
        ASSERT_TRUE(automation::SetWineAppVersion("launcher.exe", ""));
    }
    void TearDown() override { automation::SetWineAppVersion("launcher.exe", ""); }
};
const testing::Environment* const kPrefixSettings =
    testing::AddGlobalTestEnvironment(new PrefixSettings);

// A script that starts the probe with these arguments and waits for it, so that everything
// it launched has been recorded by the time the launcher ends.
std::vector<Section> ProbeScript(const std::string& section, const std::string& parameter,
                                 const std::string& next = {}) {
    return {{"General", {{"Wait", "1"}, {"TimeOut", "20"}, {"Next", next}}},
            {section, {{"File", "%APPDIR%probe.exe"}, {"Parameter", parameter}}}};
}

void ExpectQuietEnd(const LauncherRun& run) {
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
}

TEST(StartScript, WithoutArgumentsReadsTheIniNamedAfterTheProgram) {
    Workspace ws;
    ws.CopyProgram("launcher.exe", "SETUP.EXE");
    ws.Write("SETUP.INI", Script(ProbeScript("Default", "--tag=setup-ini")));
    ws.Write("launcher.INI", Script(ProbeScript("Default", "--tag=wrong-ini")));
    LauncherRun run = ws.Run("", nullptr, {}, "SETUP.EXE");
    ExpectQuietEnd(run);
    EXPECT_EQ(StartedTags(ws.ProbeLog()), std::vector<std::string>{"setup-ini"});
}

// The command line after the program name is the script path, taken whole: blanks stay in
// it, macros are expanded, a relative path is taken against the current directory, and
// quotation marks stay part of it (so a quoted path names no file and nothing runs).
TEST(StartScript, CommandLineNamesTheScript) {
    struct Case {
        const char* name;
        std::string args;
        std::string cwd;  // relative to the workspace
        std::vector<std::string> tags;
    };
    const Case cases[] = {
        {"relative with a blank", "MY SCRIPTS\\A.INI", "", {"blank"}},
        {"relative to another directory", "A.INI", "MY SCRIPTS", {"blank"}},
        {"macro", "%APPDIR%MY SCRIPTS\\A.INI", "", {"blank"}},
        {"blanks before the path", "    MY SCRIPTS\\A.INI", "", {"blank"}},
        {"quoted", "\"MY SCRIPTS\\A.INI\"", "", {}},
        {"missing", "NO SUCH.INI", "", {}},
        {"a folder", "MY SCRIPTS", "", {}},
        {"past the path field", "MY SCRIPTS\\" + std::string(300, 'x') + ".INI", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        ws.Write("MY SCRIPTS\\A.INI", Script(ProbeScript("Default", "--tag=blank")));
        LauncherRun run = ws.Run(c.args, nullptr, ws.Path(c.cwd));
        ExpectQuietEnd(run);
        EXPECT_EQ(StartedTags(ws.ProbeLog()), c.tags);
    }
}

// Scripts that cannot be read, or name no file, end the run without a word.
TEST(StartScript, UnusableScriptsEndTheRunQuietly) {
    struct Case {
        const char* name;
        std::string content;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"binary garbage", std::string("\x00\xff\x01[General]\x00File=x\xfe", 18)},
        {"no File anywhere",
         Script({{"General", {{"Wait", "1"}}}, {LanguageSection(), {{"Parameter", "--tag=x"}}}})},
        {"File in a section of another language",
         Script({{"General", {}}, {"xyz", {{"File", "%APPDIR%probe.exe"}}}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        ws.Write("s.ini", c.content);
        ExpectQuietEnd(ws.Run("s.ini"));
        EXPECT_TRUE(StartedTags(ws.ProbeLog()).empty());
    }
}

// Parameter and Directory reach the program with their macros expanded and joined with one
// backslash; the launcher's own current directory stands behind %CURDIR%.
TEST(Launch, ProgramGetsExpandedParametersAndDirectory) {
    struct Case {
        const char* name;
        std::string parameter;
        std::string directory;
        std::string args;  // what the probe is to receive; "<dir>" is the workspace folder
        std::string cwd;
    };
    const std::string tmp = TempDir();
    const Case cases[] = {
        {"application and temporary folders", "--tag=p %APPDIR%x.txt %TMPDIR%\\y.txt", "%TMPDIR%",
         "--tag=p <dir>x.txt " + tmp + "y.txt", WithoutTrailingBackslash(tmp)},
        {"a macro before a blank gets its backslash", "--tag=p %WINDIR% /S", "%APPDIR%sub",
         "--tag=p " + WindowsDir() + "\\ /S", "<dir>sub"},
        {"system folder, any case", "--tag=p %winsysdir%KERNEL32.DLL", "%WinDir%",
         "--tag=p " + SystemDir() + "\\KERNEL32.DLL", WindowsDir()},
        {"current directory", "--tag=p %CURDIR%", "%CURDIR%\\sub", "--tag=p <dir>", "<dir>sub"},
        {"unknown macros and percent signs stay", "--tag=p %FOO%\\X 50% done", "",
         "--tag=p %FOO%\\X 50% done", "<dir>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        ws.Write("sub\\keep.txt", "");
        auto inDir = [&ws](std::string text) {
            size_t at = text.find("<dir>");
            return at == std::string::npos ? text : text.replace(at, 5, ws.Dir());
        };
        ws.Write("s.ini", Script({{"General", {{"Wait", "1"}}},
                                  {LanguageSection(),
                                   {{"File", "%APPDIR%probe.exe"},
                                    {"Parameter", c.parameter},
                                    {"Directory", c.directory}}}}));
        ExpectQuietEnd(ws.Run("s.ini"));
        std::vector<ProbeRecord> log = ws.ProbeLog();
        ASSERT_EQ(StartedTags(log), std::vector<std::string>{"p"});
        EXPECT_PRED2(EqualNoCase, log[0].Get("args"), inDir(c.args));
        EXPECT_PRED2(EqualNoCase, WithoutTrailingBackslash(log[0].Get("cwd")),
                     WithoutTrailingBackslash(inDir(c.cwd)));
    }
}

// Only the second CD-ROM drive holds the file: the first drive fails without a word (although
// the script has a message for every failure), the second one runs it, with every text that
// uses %CDROM% expanded to the same drive.
TEST(Cdrom, FileOnlyOnSecondDriveRunsFromThereSilently) {
    std::vector<CdromDrive> drives = CdromDrives();
    ASSERT_EQ(drives.size(), 2u) << "the prefix maps two CD-ROM drives (QUOR_CDROM_LETTERS)";
    Workspace ws;
    ws.PutProbeOnDrive(drives[1], "cdprobe.exe");
    ws.Write("s.ini", Script({{"General", {{"Wait", "1"}}},
                              {LanguageSection(),
                               {{"File", "%CDROM%cdprobe.exe"},
                                {"Parameter", "--tag=cd %CDROM%data"},
                                {"Directory", "%CDROM%"}}},
                              {"Error." + LanguageSection(), {{"Default", "failed: %1"}}}}));
    ExpectQuietEnd(ws.Run("s.ini"));
    std::vector<ProbeRecord> log = ws.ProbeLog();
    ASSERT_EQ(StartedTags(log), std::vector<std::string>{"cd"});
    std::string root = std::string(1, drives[1].letter) + ":\\";
    EXPECT_NE(log[0].Get("cmdline").find(root + "cdprobe.exe"), std::string::npos)
        << log[0].Get("cmdline");
    EXPECT_EQ(log[0].Get("args"), "--tag=cd " + root + "data");
    EXPECT_PRED2(EqualNoCase, log[0].Get("cwd"), root);
}

// On neither drive: both fail silently, then the unexpanded text fails and its message names
// %CDROM%... as the file. Agreeing to retry starts over at the first drive.
TEST(Cdrom, FileOnNoDriveIsReportedUnexpandedAndRetryStartsAtFirstDrive) {
    std::vector<CdromDrive> drives = CdromDrives();
    ASSERT_EQ(drives.size(), 2u);
    Workspace ws;
    const std::string error = "Error." + LanguageSection();
    ws.Write(
        "s.ini",
        Script({{"General", {{"Wait", "1"}}},
                {LanguageSection(), {{"File", "%CDROM%cdprobe.exe"}, {"Parameter", "--tag=cd"}}},
                {error,
                 {{"2", "Cannot find %1 (code %2).$$%3"},
                  {"2.YesNo", "2"},
                  {"2.Retry", "1"},
                  {"Caption", "Insert the CD"}}}}));
    LauncherRun run = ws.Run("s.ini", [&](const MessageBoxInfo& box) {
        EXPECT_TRUE(StartedTags(ws.ProbeLog()).empty());
        // The retry may only run it from the first drive, although both hold it now.
        ws.PutProbeOnDrive(drives[0], "cdprobe.exe");
        ws.PutProbeOnDrive(drives[1], "cdprobe.exe");
        return box.caption == "Insert the CD" ? kIdOk : kIdCancel;
    });
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text,
              "Cannot find %CDROM%cdprobe.exe (code 2).\r\n" + SystemErrorText(2));
    EXPECT_EQ(run.boxes[0].Buttons(), "OK, Cancel");
    EXPECT_EQ(run.boxes[0].icon, BoxIcon::Question);
    std::vector<ProbeRecord> log = ws.ProbeLog();
    ASSERT_EQ(StartedTags(log), std::vector<std::string>{"cd"});
    std::string first = std::string(1, drives[0].letter) + ":\\cdprobe.exe";
    EXPECT_NE(log[0].Get("cmdline").find(first), std::string::npos) << log[0].Get("cmdline");
}

// The Windows version Wine reports to launcher.exe alone decides, through Platforms, whether
// the script launches; a refused script ends the whole chain.
TEST(Platforms, VersionDecidesWhetherTheChainRuns) {
    struct Case {
        const char* version;  // Wine's name; empty is the prefix's default (Windows 7, NT 6.1)
        const char* platforms;
        bool runs;
    };
    const Case cases[] = {
        {"win98", "9x", true},   {"win98", "95 98", true},  {"win98", "98", true},
        {"win98", "95", false},  {"win98", "ME", false},    {"win98", "9X", false},
        {"win98", "NT", false},  {"win98", "2K", false},    {"nt40", "NT4", true},
        {"nt40", "NT", true},    {"nt40", "2K", false},     {"nt40", "9x", false},
        {"win2k", "NT4", false}, {"win2k", "NT4 2K", true}, {"winxp", "NT4,2K", true},
        {"winxp", "NT4", false}, {"", "2K", false},         {"", "NT", true},
        {"", "", true},          {"", "NT4", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " with Platforms=" + c.platforms);
        ASSERT_TRUE(automation::SetWineAppVersion("launcher.exe", c.version));
        Workspace ws;
        std::vector<Section> first = ProbeScript("Default", "--tag=first", "%APPDIR%next.ini");
        first[0].keys.push_back({"Platforms", c.platforms});
        ws.Write("first.ini", Script(first));
        ws.Write("next.ini", Script(ProbeScript("Default", "--tag=next")));
        ExpectQuietEnd(ws.Run("first.ini"));
        std::vector<std::string> expected;
        if (c.runs) {
            expected = {"first", "next"};
        }
        EXPECT_EQ(StartedTags(ws.ProbeLog()), expected);
    }
    ASSERT_TRUE(automation::SetWineAppVersion("launcher.exe", ""));
}

// Three scripts linked by Next with %APPDIR% run in order. The first one's language section
// names no File, so "Default" is used from then on, also for the later scripts.
TEST(Chain, ThreeScriptsRunInOrderAndKeepTheDefaultSection) {
    Workspace ws;
    const std::string lang = LanguageSection();
    ws.Write("one.ini",
             Script({{"General", {{"Wait", "1"}, {"Next", "%APPDIR%two.ini"}}},
                     {lang, {{"File", ""}, {"Parameter", "--tag=one-lang"}}},
                     {"Default", {{"File", "%APPDIR%probe.exe"}, {"Parameter", "--tag=one"}}}}));
    ws.Write("two.ini",
             Script({{"General", {{"Wait", "1"}, {"Next", "%APPDIR%three.ini"}}},
                     {lang, {{"File", "%APPDIR%probe.exe"}, {"Parameter", "--tag=two-lang"}}},
                     {"Default", {{"File", "%APPDIR%probe.exe"}, {"Parameter", "--tag=two"}}}}));
    ws.Write("three.ini", Script(ProbeScript("Default", "--tag=three")));
    ExpectQuietEnd(ws.Run("one.ini"));
    EXPECT_EQ(StartedTags(ws.ProbeLog()), (std::vector<std::string>{"one", "two", "three"}));
}

// A script whose Next names itself runs again and again. After three rounds the test makes it
// start a program that keeps running, and ends the launcher while it waits for that one (ended
// while it starts a program, the launcher could leave that program half started).
TEST(Chain, ScriptNamingItselfKeepsRunning) {
    Workspace ws;
    ws.Write("self.ini", Script(ProbeScript("Default", "--tag=round", "%APPDIR%self.ini")));
    automation::Process launcher =
        automation::Process::Start("\"" + ws.LauncherPath() + "\" self.ini", ws.Dir());
    ASSERT_TRUE(launcher.Started());
    EXPECT_TRUE(ws.WaitForStarts(3, kProbeWaitMs));
    // Scripts are read afresh for every round, so the change is seen within a round or two.
    std::vector<Section> holding =
        ProbeScript("Default", "--tag=hold --run=60", "%APPDIR%self.ini");
    holding[0].keys = {{"Wait", "1"}, {"Next", "%APPDIR%self.ini"}};
    ws.Replace("self.ini", Script(holding));
    uint64_t deadline = automation::NowMs() + kProbeWaitMs;
    while (IndexOf(ws.ProbeLog(), "start", "hold") < 0 && automation::NowMs() < deadline) {
        automation::SleepMs(20);
    }
    EXPECT_TRUE(launcher.Running());
    launcher.Kill();
    std::vector<std::string> tags = StartedTags(ws.ProbeLog());
    ASSERT_GE(tags.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(tags.begin(), tags.begin() + 3),
              (std::vector<std::string>{"round", "round", "round"}));
    EXPECT_EQ(tags.back(), "hold");
}

// Waiting: without a limit the next script starts after the program has ended; with TimeOut
// it starts while the program still runs.
TEST(Wait, TimeOutLetsTheChainGoOnWhileTheProgramRuns) {
    struct Case {
        const char* name;
        const char* timeOut;
        const char* run;
        bool nextAfterEnd;
    };
    for (const Case& c : {Case{"no limit", "0", "--run-ms=1500", true},
                          Case{"one second", "1", "--run=60", false}}) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        ws.Write("long.ini",
                 Script({{"General",
                          {{"Wait", "1"}, {"TimeOut", c.timeOut}, {"Next", "%APPDIR%next.ini"}}},
                         {"Default",
                          {{"File", "%APPDIR%probe.exe"},
                           {"Parameter", std::string("--tag=long ") + c.run}}}}));
        ws.Write("next.ini", Script(ProbeScript("Default", "--tag=next")));
        ExpectQuietEnd(ws.Run("long.ini"));
        std::vector<ProbeRecord> log = ws.ProbeLog();
        int nextStart = IndexOf(log, "start", "next");
        int longEnd = IndexOf(log, "end", "long");
        ASSERT_GE(IndexOf(log, "start", "long"), 0);
        ASSERT_GE(nextStart, 0);
        if (c.nextAfterEnd) {
            ASSERT_GE(longEnd, 0);
            EXPECT_LT(longEnd, nextStart);
        } else {
            EXPECT_EQ(longEnd, -1) << "the program was to outlive the launcher";
        }
    }
}

// The message every case below shows (when it shows one): all three inserts, and "$$" as
// line breaks, also in a run of three dollar signs.
constexpr const char* kMessage = "Cannot start %1 (error %2).$$%3$$$";

std::string ExpectedMessage(const Workspace& ws) {
    return "Cannot start " + ws.Path("missing.exe") + " (error 2).\r\n" + SystemErrorText(2) +
           "\r\n$";
}

// "event:tag" for each record of the log, e.g. "start:action", "end:action".
std::vector<std::string> Events(const std::vector<ProbeRecord>& log) {
    std::map<uint32_t, std::string> tagOfPid;
    std::vector<std::string> events;
    for (const ProbeRecord& r : log) {
        if (r.event == "start") {
            tagOfPid[r.pid] = r.Tag();
        }
        events.push_back(r.event + ":" + tagOfPid[r.pid]);
    }
    return events;
}

// A launch that fails (the file is missing, code 2) is reported as its script's error section
// says; the recovery command runs and is waited for as told; the chain then goes on with Next.
TEST(Messages, FailureIsReportedAndHandledAsTheScriptSays) {
    using Keys = std::vector<std::pair<std::string, std::string>>;
    struct Case {
        const char* name;
        Keys error;                 // the keys of the error section
        std::vector<Section> more;  // wait sections
        std::vector<int> answers;   // the button for each box in turn
        const char* caption;        // of every box
        const char* buttons;
        BoxIcon icon;
        size_t boxes;
        std::vector<std::string> events;           // the probe log at the end
        std::vector<std::string> eventsAtLastBox;  // the probe log when the last box came
    };
    const std::string action = "--tag=action";
    const Case cases[] = {
        {"warning with the default caption; Retry is not read",
         {{"2", kMessage}, {"2.Retry", "1"}, {"2.Action", "PROBE " + action}},
         {},
         {kIdOk},
         "Vornak",
         "OK",
         BoxIcon::Warning,
         1,
         {"start:action", "end:action", "start:next", "end:next"},
         {}},
        {"yes/no answered No: no recovery command",
         {{"2", kMessage},
          {"2.YesNo", "1"},
          {"2.Action", "PROBE " + action},
          {"Caption", "My Setup"}},
         {},
         {kIdNo},
         "My Setup",
         "Yes, No",
         BoxIcon::Question,
         1,
         {"start:next", "end:next"},
         {}},
        {"yes/no answered Yes without Retry: the command runs, no retry",
         {{"2", kMessage}, {"2.YesNo", "1"}, {"2.Action", "PROBE " + action}},
         {},
         {kIdYes},
         "Vornak",
         "Yes, No",
         BoxIcon::Question,
         1,
         {"start:action", "end:action", "start:next", "end:next"},
         {}},
        {"OK/Cancel answered Cancel",
         {{"2", kMessage}, {"2.YesNo", "2"}, {"2.Retry", "1"}, {"2.Action", "PROBE " + action}},
         {},
         {kIdCancel},
         "Vornak",
         "OK, Cancel",
         BoxIcon::Question,
         1,
         {"start:next", "end:next"},
         {}},
        {"OK with Retry: the launch is tried again once the command has ended",
         {{"2", kMessage},
          {"2.YesNo", "7"},
          {"2.Retry", "1"},
          {"2.Action", "PROBE " + action + " --run-ms=1000"}},
         {},
         {kIdOk, kIdCancel},
         "Vornak",
         "OK, Cancel",
         BoxIcon::Question,
         2,
         {"start:action", "end:action", "start:next", "end:next"},
         {"start:action", "end:action"}},
        {"the Default key with Wait=0 in Default.Wait: the chain goes on at once",
         {{"Default", kMessage},
          {"Default.YesNo", "1"},
          {"Default.Action", "PROBE " + action + " --run=60"},
          {"2.Action", "PROBE --tag=wrong-key"}},
         {{"Default.Wait", {{"Wait", "0"}}}},
         {kIdYes},
         "Vornak",
         "Yes, No",
         BoxIcon::Question,
         1,
         {"start:action", "start:next", "end:next"},
         {}},
        {"TimeOut in the wait section: the chain goes on while the command runs",
         {{"2", kMessage}, {"2.Action", "PROBE " + action + " --run=60"}},
         {{"2.Wait", {{"TimeOut", "1"}}}},
         {kIdOk},
         "Vornak",
         "OK",
         BoxIcon::Warning,
         1,
         {"start:action", "start:next", "end:next"},
         {}},
        {"no message for the code nor Default: nothing is shown",
         {{"3", kMessage}, {"2.Action", "PROBE " + action}},
         {},
         {},
         "",
         "",
         BoxIcon::None,
         0,
         {"start:next", "end:next"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        const std::string probe = "\"" + ws.ProbePath() + "\"";
        std::vector<Section> script = {
            {"General", {{"Next", "%APPDIR%next.ini"}}},
            {LanguageSection(), {{"File", "%APPDIR%missing.exe"}}},
            {"Error." + LanguageSection(), {}},
        };
        for (auto [key, value] : c.error) {
            if (value.rfind("PROBE", 0) == 0) {
                value.replace(0, 5, probe);  // recovery commands are taken literally
            }
            script[2].keys.push_back({key, value});
        }
        script.insert(script.end(), c.more.begin(), c.more.end());
        ws.Write("s.ini", Script(script));
        ws.Write("next.ini", Script(ProbeScript("Default", "--tag=next")));

        std::vector<std::string> eventsAtLastBox;
        size_t answered = 0;
        LauncherRun run = ws.Run("s.ini", [&](const MessageBoxInfo&) {
            eventsAtLastBox = Events(ws.ProbeLog());
            return answered < c.answers.size() ? c.answers[answered++] : kIdCancel;
        });
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_EQ(run.boxes.size(), c.boxes);
        for (const MessageBoxInfo& box : run.boxes) {
            EXPECT_EQ(box.caption, c.caption);
            EXPECT_EQ(box.text, ExpectedMessage(ws));
            EXPECT_EQ(box.Buttons(), c.buttons);
            EXPECT_STREQ(automation::BoxIconName(box.icon), automation::BoxIconName(c.icon));
        }
        // A recovery command that is not waited for runs beside the rest of the chain: its
        // start may be logged after the next script's records, or only after the launcher ended.
        auto has = [&](const char* event) {
            return std::find(c.events.begin(), c.events.end(), event) != c.events.end();
        };
        bool concurrent = has("start:action") && !has("end:action");
        std::vector<std::string> events = Events(ws.ProbeLog());
        for (int i = 0; i < 200 && events.size() < c.events.size(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            events = Events(ws.ProbeLog());
        }
        std::vector<std::string> expected = c.events;
        if (concurrent) {
            std::sort(events.begin(), events.end());
            std::sort(expected.begin(), expected.end());
        }
        EXPECT_EQ(events, expected);
        EXPECT_EQ(eventsAtLastBox, c.eventsAtLastBox);
    }
}

// Texts that outgrow their fields are never shown longer than the field: a message past 1024
// bytes once the inserts are in, a File past 260 bytes, a caption past 80. Inserts past %3 have
// nothing to show.
TEST(Messages, LongMessagesAndUnknownInsertsStayBounded) {
    struct Case {
        const char* name;
        std::string message;
        std::string begins;  // "<file>" is the file as tried
        std::string file = "%APPDIR%missing.exe";
        size_t longest = 1023;
    };
    const Case cases[] = {
        // Whether the expansion that would not fit is cut or refused is the launcher's choice.
        {"a File past its field", "%1", "", "%APPDIR%" + std::string(300, 'f') + ".exe", 259},
        {"past the field after the inserts", std::string(1000, 'm') + " %1 %1",
         std::string(1000, 'm')},
        {"as long as the field", std::string(1023, 'n'), std::string(1023, 'n')},
        {"inserts past %3", "<%1> %4 %9 %2", "<<file>>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        ws.Write("s.ini", Script({{"General", {}},
                                  {LanguageSection(), {{"File", c.file}}},
                                  {"Error." + LanguageSection(),
                                   {{"Default", c.message}, {"Caption", std::string(200, 'c')}}}}));
        LauncherRun run = ws.Run("s.ini", [](const MessageBoxInfo&) { return kIdOk; });
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_EQ(run.boxes.size(), 1u);
        std::string begins = c.begins;
        if (size_t at = begins.find("<file>"); at != std::string::npos) {
            begins.replace(at, 6, ws.Path("missing.exe"));
        }
        EXPECT_LE(run.boxes[0].text.size(), c.longest);
        EXPECT_EQ(run.boxes[0].caption, std::string(79, 'c'));
        EXPECT_EQ(run.boxes[0].text.substr(0, begins.size()), begins);
    }
}

// The user's language (LC_ALL of the test run, which Wine maps to the user language) picks the
// script's section and the error section of that language. Section names match in any case.
TEST(Language, SectionOfTheUserLanguageAndItsErrorSectionAreUsed) {
    const std::map<std::string, std::string> sectionOfLocale = {
        {"de_DE", "007"}, {"en_US", "009"}, {"fr_FR", "00c"}, {"it_IT", "010"}, {"es_MX", "00a"}};
    const std::string locale = automation::GetEnv("LC_ALL");
    auto known = sectionOfLocale.find(locale.substr(0, locale.find('.')));
    const std::string lang = LanguageSection();
    if (known != sectionOfLocale.end()) {
        ASSERT_EQ(lang, known->second) << "Wine's user language for LC_ALL=" << locale;
    }

    Workspace ws;
    std::vector<Section> first = {{"General", {{"Wait", "1"}, {"Next", "%APPDIR%err.ini"}}}};
    std::vector<Section> failing = {{"General", {}}};
    for (const auto& [loc, code] : sectionOfLocale) {
        std::string upper = code;
        for (char& ch : upper) {
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        first.push_back({upper, {{"File", "%APPDIR%probe.exe"}, {"Parameter", "--tag=" + code}}});
        failing.push_back({code, {{"File", "%APPDIR%missing-" + code + ".exe"}}});
        failing.push_back(
            {"Error." + code,
             {{"2", "Message " + code + ": %1$$%3"}, {"Caption", "Caption " + code}}});
    }
    first.push_back({"Default", {{"File", "%APPDIR%probe.exe"}, {"Parameter", "--tag=default"}}});
    failing.push_back({"Default", {{"File", "%APPDIR%missing-default.exe"}}});
    failing.push_back({"Error.Default", {{"2", "Message Default"}}});
    ws.Write("lang.ini", Script(first));
    ws.Write("err.ini", Script(failing));

    LauncherRun run = ws.Run("lang.ini", [&](const MessageBoxInfo& box) {
        automation::SaveScreenshot("launcher_error_box_" + lang, box.window);
        return kIdOk;
    });
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(StartedTags(ws.ProbeLog()), std::vector<std::string>{lang});
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Caption " + lang);
    EXPECT_EQ(run.boxes[0].text, "Message " + lang + ": " + ws.Path("missing-" + lang + ".exe") +
                                     "\r\n" + SystemErrorText(2));
}

// The restart question and the request. These run in a Wine prefix of their own (see
// CMakeLists.txt): the request ends the windowed programs of the prefix. A windowed witness
// records the end-of-session messages that the request brings.
class Restart : public testing::Test {
  protected:
    void SetUp() override {
        if (automation::GetEnv("QUOR_RESTART_PREFIX") != "1") {
            GTEST_SKIP() << "only in a prefix of its own (QUOR_RESTART_PREFIX=1)";
        }
        ASSERT_TRUE(automation::SetWineAppUnmanaged("endsession_probe.exe"));
        witness_ = automation::Process::Start("\"" + automation::ProgramDir() +
                                              "endsession_probe.exe\" --tag=witness --run=120");
        ASSERT_TRUE(witness_.Started());
        uint64_t deadline = automation::NowMs() + kProbeWaitMs;
        while (IndexOf(ws_.ProbeLog(), "ready", "witness") < 0 && automation::NowMs() < deadline) {
            automation::SleepMs(20);
        }
        ASSERT_GE(IndexOf(ws_.ProbeLog(), "ready", "witness"), 0) << "the witness has no window";
        ws_.Write("next.ini", Script(ProbeScript("Default", "--tag=next")));
    }

    void WriteScript(std::vector<std::pair<std::string, std::string>> lang,
                     std::vector<std::pair<std::string, std::string>> fallback) {
        lang.insert(lang.begin(), {{"File", "%APPDIR%probe.exe"}, {"Parameter", "--tag=main"}});
        ws_.Write(
            "s.ini",
            Script({{"General", {{"Wait", "1"}, {"Reboot", "1"}, {"Next", "%APPDIR%next.ini"}}},
                    {LanguageSection(), lang},
                    {"Default", fallback}}));
    }

    bool RestartRequested(uint32_t timeoutMs) {
        uint64_t deadline = automation::NowMs() + timeoutMs;
        for (;;) {
            if (IndexOf(ws_.ProbeLog(), "queryendsession", "witness") >= 0) {
                return true;
            }
            if (automation::NowMs() >= deadline) {
                return false;
            }
            automation::SleepMs(20);
        }
    }

    Workspace ws_;
    automation::Process witness_;
};

TEST_F(Restart, QuestionAnsweredNoGoesOnWithoutRestart) {
    // Text only in "Default", a caption nowhere: the caption is "Restart".
    WriteScript({}, {{"RebootText", "Setup is complete.$$Restart now?"}});
    LauncherRun run = ws_.Run("s.ini", [](const MessageBoxInfo& box) {
        automation::SaveScreenshot("launcher_restart_question", box.window);
        return kIdNo;
    });
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Restart");
    EXPECT_EQ(run.boxes[0].text, "Setup is complete.\r\nRestart now?");
    EXPECT_EQ(run.boxes[0].Buttons(), "Yes, No");
    EXPECT_EQ(run.boxes[0].icon, BoxIcon::Question);
    EXPECT_EQ(StartedTags(ws_.ProbeLog()), (std::vector<std::string>{"witness", "main", "next"}));
    EXPECT_LT(IndexOf(ws_.ProbeLog(), "queryendsession", "witness"), 0);
    EXPECT_TRUE(witness_.Running());
}

TEST_F(Restart, QuestionAnsweredYesRequestsRestartAndGoesOn) {
    WriteScript({{"RebootText", "Done.$$Restart?"}, {"Caption", "Setup"}},
                {{"RebootText", "wrong text"}, {"Caption", "wrong caption"}});
    LauncherRun run = ws_.Run("s.ini", [](const MessageBoxInfo&) { return kIdYes; });
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Setup");
    EXPECT_EQ(run.boxes[0].text, "Done.\r\nRestart?");
    EXPECT_TRUE(RestartRequested(kProbeWaitMs));
    EXPECT_GE(IndexOf(ws_.ProbeLog(), "start", "next"), 0) << "the chain goes on after the request";
}

TEST_F(Restart, WithoutTextRequestsAtOnceAndGoesOn) {
    WriteScript({{"Caption", "Setup"}}, {});
    LauncherRun run = ws_.Run("s.ini");
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(RestartRequested(kProbeWaitMs));
    EXPECT_GE(IndexOf(ws_.ProbeLog(), "start", "next"), 0);
}

// The bundled sample chain (samples/launcher), laid out as scripts/run-sample lays it out:
// SETUP.EXE and the scripts on the first disc, the program's setup on the second one.
TEST(Sample, BundledChainRunsAsShown) {
    const std::string sample = automation::WindowsPathOf(automation::GetEnv("QUOR_SAMPLE_DIR"));
    ASSERT_FALSE(sample.empty()) << "QUOR_SAMPLE_DIR names samples/launcher";
    std::vector<CdromDrive> drives = CdromDrives();
    ASSERT_EQ(drives.size(), 2u);
    Workspace ws;
    const std::string disc1 = drives[0].folder + "\\";
    const std::string disc2 = drives[1].folder + "\\";
    for (const char* script : {"SETUP.INI", "TOOLS.INI", "EXTRAS.INI"}) {
        ws.Copy(sample + "\\" + script, disc1 + script);
    }
    ws.CopyProgram("launcher.exe", disc1 + "SETUP.EXE");
    ws.CopyProgram("probe.exe", disc1 + "TOOLS\\REGTOOL.EXE");
    ws.CopyProgram("probe.exe", disc2 + "AUDIO\\SETUP.EXE");
    ASSERT_TRUE(automation::SetWineAppUnmanaged("SETUP.EXE"));

    const std::string r = std::string(1, drives[0].letter) + ":";
    const std::string s = std::string(1, drives[1].letter) + ":";
    const int answers[] = {kIdNo, kIdYes, kIdNo};
    size_t answered = 0;
    LauncherRun run = ws.Run(
        {}, [&](const MessageBoxInfo&) { return answered < 3 ? answers[answered++] : kIdCancel; },
        r + "\\", r + "\\SETUP.EXE");
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);

    std::vector<ProbeRecord> log = ws.ProbeLog();
    std::vector<std::string> started;
    for (const ProbeRecord& record : log) {
        if (record.event == "start") {
            started.push_back(record.Get("cmdline") + " | " + record.Get("cwd"));
        }
    }
    const std::string lang = LanguageSection();
    if (lang != "009") {
        GTEST_SKIP() << "the texts below are the English ones";
    }
    EXPECT_EQ(started,
              (std::vector<std::string>{
                  "\"" + s + "\\AUDIO\\SETUP.EXE\" /LANG:EN /TEMP:" + TempDir() + "AudioSuite | " +
                      s + "\\AUDIO",
                  "\"" + r + "\\TOOLS\\REGTOOL.EXE\" /register " + SystemDir() + "\\ | " + r + "\\",
                  "TOOLS\\REGTOOL.EXE /web-install player | " + r + "\\"}));
    ASSERT_EQ(run.boxes.size(), 3u);
    EXPECT_EQ(run.boxes[0].caption, "Audio Suite Setup");
    EXPECT_EQ(run.boxes[0].text,
              "The Audio Suite drivers are installed.\r\nWindows must be restarted before you use "
              "them.\r\nRestart Windows now?");
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(run.boxes[i].caption, "Audio Suite Extras");
        EXPECT_EQ(run.boxes[i].text.substr(0, 57),
                  "The bonus player %CDROM%EXTRAS\\PLAYER.EXE is not on the C");
        EXPECT_EQ(run.boxes[i].Buttons(), "Yes, No");
    }
}

}  // namespace
}  // namespace e2e
