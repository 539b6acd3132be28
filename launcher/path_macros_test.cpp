#include "launcher/path_macros.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/recording_system.h"

namespace launcher {
namespace {

constexpr uint32_t kFixed = 3;

// The machine of the examples: Windows in D:\WINDOWS, temp D:\TEMP\, launcher E:\SETUP.EXE,
// CD-ROM drives E: and G: with the hard disk F: between them.
RecordingSystem ExampleMachine() {
    RecordingSystem system;
    system.moduleFile = "E:\\SETUP.EXE";
    system.drives = {
        {"C:\\", kFixed}, {"E:\\", kDriveCdrom}, {"F:\\", kFixed}, {"G:\\", kDriveCdrom}};
    return system;
}

struct ExpandCase {
    const char* name;
    const char* text;
    int index;
    const char* expected;
    bool result;
};

// A field with guard bytes behind it, to see that nothing is written past the 260 bytes.
struct GuardedPath {
    char text[kPathSize];
    char guard[32];
    GuardedPath() {
        std::memset(text, 0, sizeof(text));
        std::memset(guard, 0x5A, sizeof(guard));
    }
    bool GuardIntact() const {
        for (char c : guard) {
            if (c != 0x5A) {
                return false;
            }
        }
        return true;
    }
};

class ExpandPathMacrosTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandPathMacrosTest, ExpandsAsScriptAuthorsExpect) {
    const ExpandCase& c = GetParam();
    RecordingSystem system = ExampleMachine();
    MacroTable table(system);
    GuardedPath path;
    CopyField(path.text, c.text);
    bool expanded = !c.result;
    EXPECT_EQ(ExpandPathMacros(table, path.text, c.index, &expanded), c.result);
    EXPECT_EQ(expanded, c.result);
    EXPECT_STREQ(path.text, c.expected);
    EXPECT_TRUE(path.GuardIntact());
}

const ExpandCase kExpandCases[] = {
    {"WindirAloneGetsBackslash", "%WINDIR%", 0, "D:\\WINDOWS\\", false},
    {"WindirJoinedWithName", "%WINDIR%notepad.exe", 0, "D:\\WINDOWS\\notepad.exe", false},
    {"WindirJoinedWithBackslash", "%WINDIR%\\notepad.exe", 0, "D:\\WINDOWS\\notepad.exe", false},
    {"WindirBeforeBlank", "%WINDIR% /S", 0, "D:\\WINDOWS\\ /S", false},
    {"TmpdirNoDoubleBackslash", "%TMPDIR%\\A.TXT", 0, "D:\\TEMP\\A.TXT", false},
    {"TmpdirAlone", "%TMPDIR%", 0, "D:\\TEMP\\", false},
    {"TmpdirJoinedWithName", "%TMPDIR%A.TXT", 0, "D:\\TEMP\\A.TXT", false},
    {"WinsysdirAlone", "%WINSYSDIR%", 0, "D:\\WINDOWS\\SYSTEM\\", false},
    {"CurdirWithName", "%CURDIR%\\x.ini", 0, "D:\\WORK\\x.ini", false},
    {"AppdirAtRoot", "%APPDIR%", 0, "E:\\", false},
    {"AppdirWithName", "%APPDIR%NEXT.INI", 0, "E:\\NEXT.INI", false},
    {"CdromFirstDrive", "%CDROM%SETUP.EXE", 0, "E:\\SETUP.EXE", true},
    {"CdromSecondDrive", "%CDROM%SETUP.EXE", 1, "G:\\SETUP.EXE", true},
    {"CdromPastLastDrive", "%CDROM%SETUP.EXE", 2, "%CDROM%SETUP.EXE", false},
    {"CdromNegativeIndex", "%CDROM%SETUP.EXE", -1, "%CDROM%SETUP.EXE", false},
    {"CdromWithBackslash", "%CDROM%\\SETUP.EXE", 0, "E:\\SETUP.EXE", true},
    {"CdromLowerCase", "%cdrom%setup.exe", 0, "E:\\setup.exe", true},
    {"NothingScannedAfterCdrom", "%CDROM%\\%WINDIR%", 0, "E:\\%WINDIR%", true},
    {"MacroInMiddle", "/D=%TMPDIR%\\LOG", 0, "/D=D:\\TEMP\\LOG", false},
    {"TextBeforeMacroGetsNoBackslash", "x%WINDIR%", 0, "xD:\\WINDOWS\\", false},
    {"TwoMacrosInARow", "%WINDIR%%TMPDIR%", 0, "D:\\WINDOWS\\D:\\TEMP\\", false},
    {"MixedCaseFixedMacro", "%WinDir%\\a", 0, "D:\\WINDOWS\\a", false},
    {"PercentNotAMacro", "50% done", 0, "50% done", false},
    {"UnknownMacro", "%FOO%\\X", 0, "%FOO%\\X", false},
    {"UnknownThenKnown", "%FOO%%WINDIR%", 0, "%FOO%D:\\WINDOWS\\", false},
    {"LonePercentAtEnd", "abc%", 0, "abc%", false},
    {"NoMacro", "C:\\SETUP.EXE", 0, "C:\\SETUP.EXE", false},
    {"Empty", "", 0, "", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, ExpandPathMacrosTest, ::testing::ValuesIn(kExpandCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExpandPathMacros, CdromWithoutAnyDriveStaysAndEndsTheScan) {
    RecordingSystem system;
    MacroTable table(system);
    char text[kPathSize] = "%WINDIR%\\%CDROM%";
    bool expanded = true;
    EXPECT_FALSE(ExpandPathMacros(table, text, 0, &expanded));
    EXPECT_FALSE(expanded);
    EXPECT_STREQ(text, "D:\\WINDOWS\\%CDROM%");
}

TEST(ExpandPathMacros, InsertedValueIsNeverScanned) {
    RecordingSystem system;
    system.windowsDirectory = "C:\\%TMPDIR%";
    MacroTable table(system);
    char text[kPathSize] = "%WINDIR%";
    ExpandPathMacros(table, text, 0);
    EXPECT_STREQ(text, "C:\\%TMPDIR%\\");
}

TEST(ExpandPathMacros, FailedPlatformCallsGiveEmptyValuesAndTheJoinRuleStillApplies) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"%WINDIR%", "\\"},         {"%WINDIR%x", "\\x"},   {"%WINDIR%\\x", "\\x"},
        {"a\\%WINDIR%\\x", "a\\x"}, {"a%WINDIR%x", "a\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RecordingSystem system;
        system.failDirectoryQueries = true;
        MacroTable table(system);
        char text[kPathSize];
        CopyField(text, c.text);
        ExpandPathMacros(table, text, 0);
        EXPECT_STREQ(text, c.expected);
    }
}

TEST(ExpandPathMacros, DirectoryThatDoesNotFitItsFieldIsEmpty) {
    RecordingSystem system;
    system.windowsDirectory = "C:\\" + std::string(300, 'w');
    MacroTable table(system);
    char text[kPathSize] = "%WINDIR%a";
    ExpandPathMacros(table, text, 0);
    EXPECT_STREQ(text, "\\a");
}

TEST(ExpandPathMacros, TableIsFilledOnceInItsOrder) {
    RecordingSystem system = ExampleMachine();
    MacroTable table(system);
    char text[kPathSize] = "%WINDIR%";
    ExpandPathMacros(table, text, 0);
    std::vector<std::string> expected = {
        "SystemDirectory", "WindowsDirectory",    "CurrentDirectory", "TempPath",
        "ModuleFileName",  "LogicalDriveStrings", "DriveType C:\\",   "DriveType E:\\",
        "DriveType F:\\",  "DriveType G:\\",
    };
    EXPECT_EQ(system.calls, expected);
    system.calls.clear();
    char again[kPathSize] = "%TMPDIR%%CDROM%";
    ExpandPathMacros(table, again, 1);
    EXPECT_TRUE(system.calls.empty());
}

TEST(ExpandPathMacros, ExpansionThatWouldOutgrowTheFieldIsRefused) {
    RecordingSystem system = ExampleMachine();
    system.windowsDirectory = "C:\\" + std::string(240, 'w');  // 243 characters
    MacroTable table(system);

    GuardedPath tooLong;
    CopyField(tooLong.text, "%TMPDIR%\\%WINDIR%\\abcdefghijklmnop");
    EXPECT_FALSE(ExpandPathMacros(table, tooLong.text, 0));
    // What came before the refused macro is expanded; the macro and its rest stay as written.
    EXPECT_STREQ(tooLong.text, "D:\\TEMP\\%WINDIR%\\abcdefghijklmnop");
    EXPECT_TRUE(tooLong.GuardIntact());

    // Exactly 259 characters still fit.
    GuardedPath exact;
    std::string rest = "\\" + std::string(259 - 243 - 1, 'r');
    CopyField(exact.text, ("%WINDIR%" + rest).c_str());
    ExpandPathMacros(table, exact.text, 0);
    EXPECT_EQ(std::strlen(exact.text), 259u);
    EXPECT_TRUE(exact.GuardIntact());
}

TEST(ListDrivesOfType, ListsTheDrivesOfOneTypeInDriveOrder) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, uint32_t>> drives;
        std::vector<std::string> expected;
    } cases[] = {
        {"none", {}, {}},
        {"noCdrom", {{"C:\\", kFixed}}, {}},
        {"one", {{"C:\\", kFixed}, {"D:\\", kDriveCdrom}}, {"D:\\"}},
        {"twoWithDiskBetween",
         {{"C:\\", kFixed}, {"E:\\", kDriveCdrom}, {"F:\\", kFixed}, {"G:\\", kDriveCdrom}},
         {"E:\\", "G:\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSystem system;
        system.drives = c.drives;
        DriveList list;
        ListDrivesOfType(system, kDriveCdrom, list);
        ASSERT_EQ(list.count, static_cast<int>(c.expected.size()));
        for (int i = 0; i < list.count; ++i) {
            EXPECT_STREQ(list.roots[i], c.expected[i].c_str());
        }
        EXPECT_EQ(list.roots[list.count][0], '\0');
    }
}

TEST(ListDrivesOfType, ManyDrivesStayWithinTheList) {
    RecordingSystem system;
    for (char letter = 'A'; letter < 'A' + 25; ++letter) {
        system.drives.push_back({std::string(1, letter) + ":\\", kDriveCdrom});
    }
    DriveList list;
    ListDrivesOfType(system, kDriveCdrom, list);
    EXPECT_EQ(list.count, 25);
    EXPECT_STREQ(list.roots[24], "Y:\\");
    EXPECT_EQ(list.roots[25][0], '\0');

    // All 26 letters need 105 bytes, more than the 104-byte field: the platform call fails.
    system.drives.push_back({"Z:\\", kDriveCdrom});
    ListDrivesOfType(system, kDriveCdrom, list);
    EXPECT_EQ(list.count, 0);
}

}  // namespace
}  // namespace launcher
