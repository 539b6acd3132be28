// The same cases natively (file store) and, through Wine, against quor_prof.dll (registry).
#include "maker/quor_prof/quor_prof.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

namespace {

// A section of its own for every test of every run, so runs sharing a store never meet.
std::string FreshSection() {
    static const std::string run = [] {
        std::random_device random;
        return std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() ^
                              random());
    }();
    static int counter = 0;
    return "quor_prof_test." + run + "." + std::to_string(++counter);
}

TEST(QuorProf, TextsRoundTrip) {
    const std::string section = FreshSection();
    const std::string cases[] = {
        "",
        "www.example.org",
        "http://127.0.0.1:8080/music/list.html?x=1&y=2",
        "caf\xE9 m\xFCsik",  // ANSI letters stay their bytes
        "two\nlines\\and a backslash\r",
        std::string(3000, 'L'),
    };
    int n = 0;
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        const std::string key = "text" + std::to_string(++n);
        ASSERT_EQ(Quor_WriteRegistryString(section.c_str(), key.c_str(), text.c_str(), 1), 1);
        CString value = "stale";
        EXPECT_EQ(Quor_GetRegistryString(section.c_str(), key.c_str(), value, "default", 1), 1);
        EXPECT_EQ(std::string(value, value.GetLength()), text);
    }
}

TEST(QuorProf, NumbersRoundTrip) {
    const std::string section = FreshSection();
    for (uint32_t number : {0u, 1u, 2u, 12u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(number);
        ASSERT_EQ(Quor_WriteRegistryDWord(section.c_str(), "MaxLevel", number, 1), 1);
        EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "MaxLevel", 77, 1), number);
    }
}

TEST(QuorProf, MissingValuesGiveTheDefault) {
    const std::string section = FreshSection();
    CString value = "stale";
    EXPECT_EQ(Quor_GetRegistryString(section.c_str(), "url", value, "", 1), 0);
    EXPECT_STREQ(value, "") << "no section at all";
    EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "AnyServer", 1, 1), 1u);
    EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "MaxLevel", 2, 1), 2u);

    ASSERT_EQ(Quor_WriteRegistryDWord(section.c_str(), "ReadID3", 0, 1), 1);
    value = "stale";
    EXPECT_EQ(Quor_GetRegistryString(section.c_str(), "url", value, "start.example", 1), 0);
    EXPECT_STREQ(value, "start.example") << "section there, key missing";
    EXPECT_EQ(Quor_GetRegistryString(section.c_str(), "url", value, nullptr, 1), 0);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "ReadID3", 1, 1), 0u);
}

TEST(QuorProf, AValueOfTheOtherTypeGivesTheDefault) {
    const std::string section = FreshSection();
    ASSERT_EQ(Quor_WriteRegistryString(section.c_str(), "MaxLevel", "12", 1), 1);
    EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "MaxLevel", 2, 1), 2u);
    ASSERT_EQ(Quor_WriteRegistryDWord(section.c_str(), "MaxLevel", 12, 1), 1);
    EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "MaxLevel", 2, 1), 12u);
    CString value;
    EXPECT_EQ(Quor_GetRegistryString(section.c_str(), "MaxLevel", value, "none", 1), 0);
    EXPECT_STREQ(value, "none");
}

TEST(QuorProf, NamesIgnoreCase) {
    const std::string section = FreshSection();
    ASSERT_EQ(Quor_WriteRegistryString(section.c_str(), "Url", "a", 1), 1);
    ASSERT_EQ(Quor_WriteRegistryString(section.c_str(), "URL", "b", 1), 1);
    CString value;
    EXPECT_EQ(Quor_GetRegistryString(section.c_str(), "url", value, "", 1), 1);
    EXPECT_STREQ(value, "b");
}

TEST(QuorProf, UserAndMachineStoresAreApart) {
    const std::string section = FreshSection();
    ASSERT_EQ(Quor_WriteRegistryDWord(section.c_str(), "AnyServer", 0, kQuorProfUser), 1);
    EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "AnyServer", 1, kQuorProfMachine), 1u);
    if (Quor_WriteRegistryDWord(section.c_str(), "AnyServer", 5, kQuorProfMachine) == 1) {
        EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "AnyServer", 1, kQuorProfMachine), 5u);
        EXPECT_EQ(Quor_GetRegistryDWord(section.c_str(), "AnyServer", 1, kQuorProfUser), 0u);
    }
}

TEST(QuorProf, RefusedArguments) {
    const std::string section = FreshSection();
    const char* s = section.c_str();
    struct Case {
        const char* name;
        const char* section;
        const char* key;
        int store;
    } const cases[] = {
        {"store 2", s, "k", 2},
        {"store -1", s, "k", -1},
        {"null section", nullptr, "k", 1},
        {"empty section", "", "k", 1},
        {"null key", s, nullptr, 1},
        {"empty key", s, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Quor_WriteRegistryString(c.section, c.key, "x", c.store), 0);
        EXPECT_EQ(Quor_WriteRegistryDWord(c.section, c.key, 9, c.store), 0);
        CString value = "kept";
        EXPECT_EQ(Quor_GetRegistryString(c.section, c.key, value, "dflt", c.store), 0);
        EXPECT_STREQ(value, "dflt");
        EXPECT_EQ(Quor_GetRegistryDWord(c.section, c.key, 3, c.store), 3u);
    }
    EXPECT_EQ(Quor_WriteRegistryString(s, "null text", nullptr, 1), 1) << "stored as empty";
    CString value = "x";
    EXPECT_EQ(Quor_GetRegistryString(s, "null text", value, "dflt", 1), 1);
    EXPECT_STREQ(value, "");
}

}  // namespace
