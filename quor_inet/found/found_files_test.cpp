#include "quor_inet/found/found_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quor_inet/state/search_state.h"
#include "quor_inet/state/search_view.h"
#include "tests/server/test_http_server.h"

namespace {

class LineView : public SearchView {
  public:
    void SetStatusText(const char*) override {}
    void SetProgressRange(uint16_t) override {}
    void SetProgressPos(uint32_t) override {}
    void AddFoundLine(const char* line, FoundFileEntry* entry) override {
        lines.emplace_back(line);
        entries.push_back(entry);
    }
    void EndSearch(const char*) override {}
    void ListLimitReached(SearchList list, uint32_t limit) override {
        limits.emplace_back(list, limit);
    }

    std::vector<std::string> lines;
    std::vector<std::pair<SearchList, uint32_t>> limits;
    std::vector<FoundFileEntry*> entries;
};

class FoundFiles : public ::testing::Test {
  protected:
    void SetUp() override { g_pSearchView = &view_; }
    void TearDown() override {
        g_pSearchView = nullptr;
        g_bReadID3 = kDefaultReadID3;
        FreeFoundFiles();
    }
    LineView view_;
};

// Addresses that need no server: text that does not split is taken and has no size; other
// services are refused at once or fail fast on loopback.
TEST_F(FoundFiles, WhatTheListTakes) {
    const struct {
        const char* url;
        const char* line;  // null: ignored
    } cases[] = {
        {"song.mp3", "0: song.mp3"},
        {"SONG.MP3", nullptr},            // the same file in capitals
        {"dir/b.Wav", "1: b.Wav"},        // extension in any case
        {"dir\\B.WAV", nullptr},          // '\' compared as '/'
        {"dir\\c.wma", "2: dir\\c.wma"},  // a stored '\' ...
        {"dir/c.wma", "3: c.wma"},        // ... is not matched by '/'
        {"x.mp3?dl=1", nullptr},          // a query after the extension
        {"x.mp3.html", nullptr},
        {"x.ogg", nullptr},
        {"noextension", nullptr},
        {"gopher://host/x.mp3", nullptr},  // a service the list does not take
        {"mailto:someone@host.mp3", nullptr},
        {"file:///nowhere/quor/d.mp3", "4: d.mp3"},
        {"http://127.0.0.1:1/e.mp3", "5: e.mp3"},
        {"ftp://127.0.0.1:1/f.wma", "6: f.wma"},
    };
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        AddFoundFile(c.url);
        if (c.line != nullptr) {
            expected.emplace_back(c.line);
        }
    }
    EXPECT_EQ(view_.lines, expected);
    EXPECT_EQ(FoundFileCount(), expected.size());
}

// Numbers go on across the searches of one dialog; freeing the list starts them again.
TEST_F(FoundFiles, NumberingAndResultText) {
    AddFoundFile("a.mp3");
    AddFoundFile("b.mp3");
    AddFoundFile("a.mp3");
    AddFoundFile("c.wav");
    ASSERT_EQ(view_.entries.size(), 3u);
    EXPECT_EQ(view_.lines[2], "2: c.wav");
    CString result;
    AppendResultUrl(result, *view_.entries[0]);
    AppendResultUrl(result, *view_.entries[2]);
    EXPECT_STREQ(result, "a.mp3*c.wav");
    EXPECT_EQ(g_pFoundFiles, view_.entries[0]);

    FreeFoundFiles();
    EXPECT_EQ(g_pFoundFiles, nullptr);
    AddFoundFile("a.mp3");
    EXPECT_EQ(view_.lines.back(), "0: a.mp3");
}

TEST(FoundLine, Formats) {
    const struct {
        uint32_t size;
        uint32_t seconds;
        const char* line;
    } cases[] = {
        {0, 0, "7: name"},
        {0, 99, "7: name"},
        {1024, 0, "7: [1KB] name"},
        {1025, 0, "7: [2KB] name"},
        {1025, 3725, "7: [2KB - 62:05] name"},
        {4294967295u, 5, "7: [4194304KB - 00:05] name"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(FoundLine(7, c.size, c.seconds, "name"), c.line) << c.size << " " << c.seconds;
    }
    EXPECT_STREQ(FoundLineName("http://h/d/x.mp3", "T", "A"), "T - A");
    EXPECT_STREQ(FoundLineName("http://h/d/x.mp3", "", "A"), "A");
    EXPECT_STREQ(FoundLineName("http://h/d/x.mp3", "T", ""), "T");
    EXPECT_STREQ(FoundLineName("http://h/d/x.mp3", "", ""), "x.mp3");
    EXPECT_STREQ(FoundLineName("x.mp3", "", ""), "x.mp3");
}

// Tag and playing time only for MP3 files while ReadID3 is on; the size always.
TEST_F(FoundFiles, TagsOnlyWhenWanted) {
    quor::test::TestHttpServer server(QUOR_SOURCE_ROOT "/samples/site");
    ASSERT_TRUE(server.Start());
    g_bReadID3 = 1;
    AddFoundFile(server.Url("/music/latin1.mp3").c_str());
    AddFoundFile(server.Url("/sounds/chime.wav").c_str());
    g_bReadID3 = 0;
    AddFoundFile(server.Url("/music/v22.mp3").c_str());
    EXPECT_EQ(view_.lines,
              (std::vector<std::string>{"0: [24KB - 00:03] Quiet Morning - Caf\xE9 Trio",
                                        "1: [16KB] chime.wav", "2: [19KB] v22.mp3"}));
}

// Past its limit the list takes nothing new and says so once; a duplicate is still known.
TEST_F(FoundFiles, HoldsAtMostItsLimit) {
    for (uint32_t i = 0; i < kMaxFoundFiles + 5; ++i) {
        AddFoundFile(("f" + std::to_string(i) + ".mp3").c_str());
    }
    AddFoundFile("f0.mp3");
    EXPECT_EQ(FoundFileCount(), kMaxFoundFiles);
    EXPECT_EQ(view_.lines.size(), size_t{kMaxFoundFiles});
    ASSERT_EQ(view_.limits.size(), 1u);
    EXPECT_EQ(view_.limits[0].first, SearchList::kFound);
    FreeFoundFiles();
    AddFoundFile("again.mp3");
    EXPECT_EQ(FoundFileCount(), 1u) << "an emptied list takes files again";
}

}  // namespace
