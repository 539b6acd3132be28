#include "launcher/launch_failure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/recording_system.h"
#include "launcher/text_field.h"

namespace launcher {
namespace {

constexpr const char* kScript = "D:\\INSTALL\\SETUP.INI";

struct InsertCase {
    const char* name;
    const char* message;
    const char* expected;
};

class FormatInsertsTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(FormatInsertsTest, FillsTheThreeInserts) {
    const char* const inserts[3] = {"E:\\SETUP.EXE", "2", "File not found."};
    char out[kMessageSize];
    FormatInserts(GetParam().message, inserts, out, sizeof(out));
    EXPECT_STREQ(out, GetParam().expected);
}

const InsertCase kInsertCases[] = {
    {"AllThree", "Cannot start %1 (error %2).$$%3",
     "Cannot start E:\\SETUP.EXE (error 2).$$File not found."},
    {"Repeated", "%1 %1 %2", "E:\\SETUP.EXE E:\\SETUP.EXE 2"},
    {"NoInserts", "Plain text", "Plain text"},
    {"InsertBeyondThreeStaysAsWritten", "%4 and %9 and %12", "%4 and %9 and %12"},
    {"InsertBeyondThreeWithOptionsStays", "%4!d! x", "%4!d! x"},
    {"OptionsAreDropped", "%1!s! %2!d! %3!*s!", "E:\\SETUP.EXE 2 File not found."},
    {"UnclosedOptionsAreText", "%2!oops", "2!oops"},
    {"ZeroEndsTheText", "abc%0def", "abc"},
    {"DoublePercent", "100%% done", "100% done"},
    {"PercentAtEnd", "100%", "100%"},
    {"LineBreakEscape", "a%nb", "a\r\nb"},
    {"CarriageReturnEscape", "a%rb", "a\rb"},
    {"TabEscape", "a%tb", "a\tb"},
    {"PunctuationEscapes", "%.%!% x", ".! x"},
    {"UnknownEscapeGivesTheCharacter", "%q", "q"},
    {"Empty", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, FormatInsertsTest, ::testing::ValuesIn(kInsertCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatInserts, LongResultIsCutWithinTheField) {
    std::string file(259, 'f');
    const char* const inserts[3] = {file.c_str(), "2", ""};
    struct {
        char out[kMessageSize];
        char guard[32];
    } field;
    std::memset(field.guard, 0x5A, sizeof(field.guard));
    FormatInserts("%1%1%1%1%1%1%1", inserts, field.out, sizeof(field.out));
    EXPECT_EQ(std::strlen(field.out), kMessageSize - 1);
    for (char g : field.guard) {
        ASSERT_EQ(g, 0x5A);
    }
}

TEST(ExpandLineBreaks, TurnsPairsOfDollarsIntoLineBreaks) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"a$$b", "a\r\nb"},
        {"$$$", "\r\n$"},
        {"$$$$", "\r\n\r\n"},
        {"$", "$"},
        {"", ""},
        {"Setup is complete.$$Restart now?", "Setup is complete.\r\nRestart now?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char text[64];
        CopyField(text, c.text);
        ExpandLineBreaks(text);
        EXPECT_STREQ(text, c.expected);
    }
}

class ReportLaunchFailureTest : public ::testing::Test {
  protected:
    RecordingSystem system;

    FailureAnswer Report(uint64_t code, const char* entry = "009",
                         const char* file = "E:\\SETUP.EXE", uint32_t systemError = 2) {
        return ReportLaunchFailure(system, file, code, systemError, entry, kScript);
    }
};

TEST_F(ReportLaunchFailureTest, MessageUnderTheCodeWithWarningBox) {
    system.AddScript(kScript,
                     "[Error.009]\n2=%1 was not found.$$Insert the CD.\nDefault=Error %2: %3\n"
                     "Caption=Setup\n");
    EXPECT_EQ(Report(2), FailureAnswer::GiveUp);
    ASSERT_EQ(system.boxes.size(), 1u);
    EXPECT_EQ(system.boxes[0].text, "E:\\SETUP.EXE was not found.\r\nInsert the CD.");
    EXPECT_EQ(system.boxes[0].caption, "Setup");
    EXPECT_EQ(system.boxes[0].style, 0x30u);
    std::vector<std::string> reads = {"Error.009.2", "Error.009.Caption", "Error.009.2.Action",
                                      "#Error.009.2.YesNo"};
    EXPECT_EQ(system.ReadNames(), reads);
}

TEST_F(ReportLaunchFailureTest, CodeWithoutMessageUsesDefaultKeys) {
    system.AddScript(kScript,
                     "[Error.009]\n2=two\nDefault=Error %2: %3\nDefault.YesNo=2\n"
                     "Default.Retry=1\nDefault.Action=FIX.EXE\n");
    system.systemTexts[1155] = "No application is associated.";
    system.startableCommands = {"FIX.EXE"};
    system.boxAnswers = {kAnswerOk};
    EXPECT_EQ(Report(31, "009", "x.doc", 1155), FailureAnswer::Retry);
    ASSERT_EQ(system.boxes.size(), 1u);
    EXPECT_EQ(system.boxes[0].text, "Error 31: No application is associated.");
    EXPECT_EQ(system.boxes[0].caption, "Vornak");
    EXPECT_EQ(system.boxes[0].style, 0x21u);
    std::vector<std::string> reads = {
        "Error.009.31",
        "Error.009.Default",
        "Error.009.Caption",
        "Error.009.Default.Action",
        "#Error.009.Default.YesNo",
        "#Error.009.Default.Retry",
        "#Default.Wait.TimeOut",
        "#Default.Wait.Wait",
    };
    EXPECT_EQ(system.ReadNames(), reads);
    EXPECT_EQ(system.reads[2].def, "Vornak");
    EXPECT_EQ(system.reads[2].size, 80u);
    EXPECT_EQ(system.reads[3].size, 512u);
    EXPECT_EQ(system.reads[0].size, 1024u);
    // No wait section: wait without limit, then the handle is released.
    ASSERT_EQ(system.waits.size(), 1u);
    EXPECT_EQ(system.waits[0].second, kInfinite);
    EXPECT_EQ(system.closed.size(), 1u);
}

TEST_F(ReportLaunchFailureTest, NoMessageAtAllShowsNothing) {
    system.AddScript(kScript, "[Error.007]\n2=x\n");
    EXPECT_EQ(Report(2), FailureAnswer::GiveUp);
    EXPECT_TRUE(system.boxes.empty());
    EXPECT_TRUE(system.startedCommands.empty());
    std::vector<std::string> reads = {"Error.009.2", "Error.009.Default"};
    EXPECT_EQ(system.ReadNames(), reads);
}

TEST_F(ReportLaunchFailureTest, QuestionBoxesAndTheirAnswers) {
    struct Case {
        const char* name;
        const char* yesNo;
        const char* retry;
        int pressed;
        uint32_t style;
        FailureAnswer answer;
        bool commandRuns;
    } cases[] = {
        {"YesNoNo", "1", "1", 7, 0x24, FailureAnswer::GiveUp, false},
        {"YesNoYesRetry", "1", "1", kAnswerYes, 0x24, FailureAnswer::Retry, true},
        {"YesNoYesNoRetry", "1", "0", kAnswerYes, 0x24, FailureAnswer::GiveUp, true},
        {"OkCancelCancel", "2", "1", 2, 0x21, FailureAnswer::GiveUp, false},
        {"OkCancelOk", "2", "1", kAnswerOk, 0x21, FailureAnswer::Retry, true},
        {"AnyOtherKindIsOkCancel", "-3", "1", kAnswerOk, 0x21, FailureAnswer::Retry, true},
        {"RetryOtherThanOneIsNoRetry", "2", "2", kAnswerOk, 0x21, FailureAnswer::GiveUp, true},
        {"WarningIgnoresRetry", "0", "1", kAnswerOk, 0x30, FailureAnswer::GiveUp, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSystem s;
        s.AddScript(kScript, std::string("[Error.009]\n2=msg\n2.Action=FIX.EXE /A\n2.YesNo=") +
                                 c.yesNo + "\n2.Retry=" + c.retry + "\n");
        s.startableCommands = {"FIX.EXE /A"};
        s.boxAnswers = {c.pressed};
        EXPECT_EQ(ReportLaunchFailure(s, "E:\\SETUP.EXE", 2, 2, "009", kScript), c.answer);
        ASSERT_EQ(s.boxes.size(), 1u);
        EXPECT_EQ(s.boxes[0].style, c.style);
        EXPECT_EQ(s.startedCommands.size(), c.commandRuns ? 1u : 0u);
        bool retryRead = false;
        for (const std::string& name : s.ReadNames()) {
            retryRead = retryRead || name == "#Error.009.2.Retry";
        }
        bool agreed = c.style != 0x30 && c.commandRuns;
        EXPECT_EQ(retryRead, agreed);
    }
}

TEST_F(ReportLaunchFailureTest, RecoveryCommandWaits) {
    struct Case {
        const char* name;
        const char* waitSection;
        bool waits;
        uint32_t milliseconds;
    } cases[] = {
        {"NoWaitSection", "", true, kInfinite},
        {"TimeOutFive", "[2.Wait]\nTimeOut=5\n", true, 5000},
        {"WaitZero", "[2.Wait]\nWait=0\nTimeOut=5\n", false, 0},
        {"HugeTimeOutStaysFinite", "[2.Wait]\nTimeOut=-1\n", true, kInfinite - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSystem s;
        s.AddScript(kScript, std::string("[Error.009]\n2=msg\n2.Action=FIX.EXE\n") + c.waitSection);
        s.startableCommands = {"FIX.EXE"};
        ReportLaunchFailure(s, "E:\\SETUP.EXE", 2, 2, "009", kScript);
        ASSERT_EQ(s.waits.size(), c.waits ? 1u : 0u);
        if (c.waits) {
            EXPECT_EQ(s.waits[0].second, c.milliseconds);
        }
        EXPECT_EQ(s.closed.size(), 1u);
    }
}

TEST_F(ReportLaunchFailureTest, RecoveryCommandIsRunAsWritten) {
    system.AddScript(kScript, "[Error.Default]\nDefault=x\nDefault.Action=%CDROM%\\FIX.EXE\n");
    Report(5, "Default");
    ASSERT_EQ(system.startedCommands.size(), 1u);
    EXPECT_EQ(system.startedCommands[0], "%CDROM%\\FIX.EXE");
}

TEST_F(ReportLaunchFailureTest, CommandThatDoesNotStartIsPassedOver) {
    system.AddScript(kScript, "[Error.009]\n2=x\n2.YesNo=1\n2.Retry=1\n2.Action=NOPE.EXE\n");
    system.boxAnswers = {kAnswerYes};
    EXPECT_EQ(Report(2), FailureAnswer::Retry);
    EXPECT_EQ(system.boxes.size(), 1u);
    EXPECT_TRUE(system.waits.empty());
    for (const std::string& name : system.ReadNames()) {
        EXPECT_EQ(name.find(".Wait"), std::string::npos) << name;
    }
}

TEST_F(ReportLaunchFailureTest, MissingSystemTextLeavesThirdInsertEmpty) {
    system.AddScript(kScript, "[Error.009]\n2=[%3]\n");
    Report(2, "009", "x", 9999);
    ASSERT_EQ(system.boxes.size(), 1u);
    EXPECT_EQ(system.boxes[0].text, "[]");
}

TEST_F(ReportLaunchFailureTest, HugeCodeStaysWithinItsKeyFields) {
    system.AddScript(kScript, "[Error.009]\nDefault=%2\n");
    Report(UINT64_MAX);
    ASSERT_FALSE(system.reads.empty());
    // 20 digits do not fit the 20-byte key: it is cut, and no key of the script matches it.
    EXPECT_EQ(system.reads[0].key, "1844674407370955161");
    ASSERT_EQ(system.boxes.size(), 1u);
    EXPECT_EQ(system.boxes[0].text, "1844674407370955161");
}

TEST_F(ReportLaunchFailureTest, LongMessagesStayWithinTheMessageField) {
    std::string message = std::string(1000, 'm') + "%1%1$$";
    system.AddScript(kScript, "[Error.009]\n2=" + message + "\n");
    std::string file(259, 'f');
    Report(2, "009", file.c_str());
    ASSERT_EQ(system.boxes.size(), 1u);
    EXPECT_EQ(system.boxes[0].text.size(), kMessageSize - 1);
    EXPECT_EQ(system.boxes[0].text.substr(0, 1000), std::string(1000, 'm'));
}

}  // namespace
}  // namespace launcher
