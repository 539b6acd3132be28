#include "quor_inet/crawler/address_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HasExtension, WholeTextAfterTheLastDot) {
    const struct {
        const char* address;
        const char* extension;
        bool has;
    } cases[] = {
        {"http://h/a.mp3", ".mp3", true}, {"http://h/a.MP3", ".mp3", true},
        {"a.Wma", ".wma", true},          {"http://h/a.mp3?x=1", ".mp3", false},
        {"a.mp3.html", ".mp3", false},    {"http://h.mp3/a", ".mp3", false},
        {"mp3", ".mp3", false},           {"", ".m3u", false},
        {"list.m3u", ".m3u", true},       {"list.m3u8", ".m3u", false},
        {".m3u", ".m3u", true},           {"a.\xC4mp3", ".\xE4mp3", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasExtension(c.address, c.extension), c.has) << c.address << " " << c.extension;
    }
}

TEST(CaseBlindKey, LowersAsciiLettersOnly) {
    EXPECT_EQ(CaseBlindKey("HTTP://Host/A\xC4.Mp3").Text(), "http://host/a\xC4.mp3");
    EXPECT_EQ(CaseBlindKey(std::string_view("A\0B", 3)).Text(), std::string("a\0b", 3));
}

struct Entry {
    Entry* pNext = nullptr;
    int value = 0;
};

std::unique_ptr<Entry> MakeEntry(int value) {
    auto entry = std::make_unique<Entry>();
    entry->value = value;
    return entry;
}

TEST(AddressList, FindsInAnyCaseKeepsOrderAndHoldsItsLimit) {
    Entry* head = nullptr;
    AddressList<Entry> list(head, 2);
    EXPECT_EQ(list.Find(CaseBlindKey("http://h/a")), nullptr);
    Entry* a = list.Append(MakeEntry(1), CaseBlindKey("http://H/A"));
    EXPECT_EQ(head, a);
    EXPECT_EQ(list.Find(CaseBlindKey("HTTP://h/a")), a);
    EXPECT_FALSE(list.IsFull());
    Entry* b = list.Append(MakeEntry(2), CaseBlindKey("http://h/b"));
    EXPECT_EQ(a->pNext, b);
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_TRUE(list.IsFull());
    EXPECT_TRUE(list.FirstTimeFull());
    EXPECT_FALSE(list.FirstTimeFull()) << "told once";

    list.Clear();
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Find(CaseBlindKey("http://h/a")), nullptr);
    list.Append(MakeEntry(3), CaseBlindKey("http://h/c"));
    list.Append(MakeEntry(4), CaseBlindKey("http://h/d"));
    EXPECT_TRUE(list.FirstTimeFull()) << "an emptied list tells its limit again";
    EXPECT_EQ(head->pNext->value, 4);
    list.Clear();
}

}  // namespace
