#include "launcher/launch_script.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/recording_system.h"

namespace launcher {
namespace {

struct LocateCase {
    const char* name;
    std::string commandLine;
    std::string moduleFile;
    bool found;
    std::string expected;
};

class LocateStartScriptTest : public ::testing::TestWithParam<LocateCase> {};

TEST_P(LocateStartScriptTest, FindsTheFirstScript) {
    const LocateCase& c = GetParam();
    RecordingSystem system;
    system.moduleFile = c.moduleFile;
    MacroTable macros(system);
    struct {
        char path[kPathSize];
        char guard[16];
    } out;
    std::memset(out.guard, 0x5A, sizeof(out.guard));
    EXPECT_EQ(LocateStartScript(system, macros, c.commandLine.c_str(), out.path), c.found);
    if (c.found) {
        EXPECT_EQ(std::string(out.path), c.expected);
    }
    for (char g : out.guard) {
        ASSERT_EQ(g, 0x5A);
    }
}

const LocateCase kLocateCases[] = {
    {"NoArgumentUsesOwnName", "D:\\SETUP.EXE", "D:\\SETUP.EXE", true, "D:\\SETUP.INI"},
    {"TrailingBlanksAreNoArgument", "SETUP.EXE   \t", "D:\\SETUP.EXE", true, "D:\\SETUP.INI"},
    {"QuotedProgramWithoutArgument", "\"C:\\Program Files\\SETUP.EXE\"",
     "C:\\Program Files\\SETUP.EXE", true, "C:\\Program Files\\SETUP.INI"},
    {"LastDotOfTheWholePath", "x", "D:\\MY.DIR\\SETUP", true, "D:\\MY.INI"},
    {"OwnPathWithoutDotUnchanged", "x", "D:\\INSTALL\\SETUP", true, "D:\\INSTALL\\SETUP"},
    {"RelativeArgumentWithBlank", "SETUP.EXE MY SCRIPTS\\A.INI", "D:\\SETUP.EXE", true,
     "D:\\WORK\\MY SCRIPTS\\A.INI"},
    {"QuotedArgumentKeepsItsQuotes", "SETUP.EXE \"MY SCRIPTS\\A.INI\"", "D:\\SETUP.EXE", true,
     "D:\\WORK\\\"MY SCRIPTS\\A.INI\""},
    {"QuotedProgramThenArgument", "\"C:\\a b\\SETUP.EXE\" A.INI", "D:\\SETUP.EXE", true,
     "D:\\WORK\\A.INI"},
    {"TabsAndBlanksBeforeArgument", "SETUP.EXE \t A.INI", "D:\\SETUP.EXE", true, "D:\\WORK\\A.INI"},
    {"AbsoluteArgument", "SETUP.EXE C:\\X\\A.INI", "D:\\SETUP.EXE", true, "C:\\X\\A.INI"},
    {"MacroInArgument", "SETUP.EXE %APPDIR%NEXT.INI", "E:\\SETUP.EXE", true, "E:\\NEXT.INI"},
    {"CommandLineOf400Refused", "SETUP.EXE " + std::string(400, 'a'), "D:\\SETUP.EXE", false, ""},
    {"ArgumentOf260Refused", "SETUP.EXE C:\\" + std::string(257, 'a'), "D:\\SETUP.EXE", false, ""},
    {"FullPathTooLongRefused", "SETUP.EXE " + std::string(252, 'a'), "D:\\SETUP.EXE", false, ""},
    {"ArgumentOf259Taken", "SETUP.EXE C:\\" + std::string(256, 'a'), "D:\\SETUP.EXE", true,
     "C:\\" + std::string(256, 'a')},
    {"OwnPathGrowingPastFieldRefused", "x", "D:\\" + std::string(254, 'n') + ".X", false, ""},
    {"EmptyOwnPath", "", "", false, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, LocateStartScriptTest, ::testing::ValuesIn(kLocateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LanguageSectionName, PrimaryLanguageInThreeHexDigits) {
    struct Case {
        uint16_t langId;
        const char* expected;
    } cases[] = {
        {0x0409, "009"}, {0x0809, "009"}, {0x0407, "007"}, {0x040C, "00c"},
        {0x0C0C, "00c"}, {0x0410, "010"}, {0x080A, "00a"}, {0x0C0A, "00a"},
        {0x03FF, "3ff"}, {0xFFFF, "3ff"}, {0x0000, "000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.langId);
        char name[8];
        LanguageSectionName(c.langId, name);
        EXPECT_STREQ(name, c.expected);
    }
}

}  // namespace
}  // namespace launcher
