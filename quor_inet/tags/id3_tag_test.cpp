#include "quor_inet/tags/id3_tag.h"

#include <string>

#include <gtest/gtest.h>

#include "quor_inet/tags/tag_builder.h"

namespace {

constexpr const char* kUnset = "<unset>";

TEST(DecodeSynchsafe, TakesSevenBitsOfEachByte) {
    const struct {
        uint8_t bytes[4];
        uint32_t expected;
    } cases[] = {
        {{0, 0, 2, 1}, 257},
        {{0, 2, 0, 1}, 32769},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0FFFFFFF},
        {{0x80, 0x80, 0x81, 0x80}, 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(DecodeSynchsafe(c.bytes), c.expected);
    }
}

TEST(ParseTagHeader, AcceptsVersionsTwoAndThreeAndSkipsOtherValidOnes) {
    const struct {
        const char* name;
        Bytes bytes;
        TagHeaderKind kind;
        uint32_t bodySize;
        uint32_t end;
    } cases[] = {
        {"v3", TagHeaderBytes(3, 0x40, 300), TagHeaderKind::kReadable, 300, 310},
        {"v2", TagHeaderBytes(2, 0, 5), TagHeaderKind::kReadable, 5, 15},
        {"v3 size top bits ignored",
         {'I', 'D', '3', 3, 0xFF, 0, 0x80, 0x80, 0x82, 0x81},
         TagHeaderKind::kReadable,
         257,
         267},
        {"v4", TagHeaderBytes(4, 0, 1000), TagHeaderKind::kOtherVersion, 1000, 1010},
        {"v4 with footer", TagHeaderBytes(4, 0x10, 1000), TagHeaderKind::kOtherVersion, 1000, 1020},
        {"v0", TagHeaderBytes(0, 0, 20), TagHeaderKind::kOtherVersion, 20, 30},
        {"v5 footer bit means nothing", TagHeaderBytes(5, 0x10, 20), TagHeaderKind::kOtherVersion,
         20, 30},
        {"v4 size byte with top bit",
         {'I', 'D', '3', 4, 0, 0, 0, 0, 0x80, 1},
         TagHeaderKind::kNone,
         0,
         0},
        {"version 0xFF", TagHeaderBytes(0xFF, 0, 20), TagHeaderKind::kNone, 0, 0},
        {"v4 revision 0xFF", TagHeaderBytes(4, 0, 20, 0xFF), TagHeaderKind::kNone, 0, 0},
        {"lower case", {'i', 'd', '3', 3, 0, 0, 0, 0, 1, 0}, TagHeaderKind::kNone, 0, 0},
        {"audio", Join({Header(0xFFFB9064), Repeat(0, 6)}), TagHeaderKind::kNone, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TagHeader header = ParseTagHeader(c.bytes.data(), 10);
        EXPECT_EQ(header.kind, c.kind);
        EXPECT_EQ(header.bodySize, c.bodySize);
        EXPECT_EQ(TagEndOffset(header), c.end);
    }
}

TEST(ParseTagHeader, ShortReadIsNoTag) {
    const Bytes bytes = TagHeaderBytes(3, 0, 100);
    EXPECT_EQ(ParseTagHeader(bytes.data(), 9).kind, TagHeaderKind::kNone);
    EXPECT_EQ(ParseTagHeader(bytes.data(), 0).kind, TagHeaderKind::kNone);
}

TEST(FindFrameIndex, ExactLettersOfTheVersionsTable) {
    const struct {
        const char* id;
        int version;
        int expected;
    } cases[] = {
        {"TPE1", 3, 0},  {"TEXT", 3, 6},   {"TIT2", 3, 8}, {"TRCK", 3, 9},  {"TP1", 2, 0},
        {"TOL", 2, 6},   {"TT2", 2, 8},    {"TRK", 2, 9},  {"tpe1", 3, 20}, {"TIT1", 3, 20},
        {"TXXX", 3, 20}, {"TT2\0", 3, 20}, {"TPE", 2, 20}, {"TPE1", 4, 20}, {"\0\0\0\0", 3, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " v" + std::to_string(c.version));
        EXPECT_EQ(FindFrameIndex(c.id, c.version), c.expected);
    }
}

TEST(DecodeTextFrame, EncodingsTerminatorsAndTrailingSpace) {
    const struct {
        const char* name;
        Bytes content;
        bool compressed;
        const char* expected;
    } cases[] = {
        {"latin1 with two spaces", Latin1Text("abc  "), false, "abc"},
        {"utf16 little endian", Utf16Text("Hi"), false, "Hi"},
        {"utf16 big endian gives high bytes", Utf16Text("Hi", false), false, ""},
        {"utf16 low bytes only", {1, 0xFF, 0xFE, 0x42, 0x01, 'x', 0}, false, "Bx"},
        {"utf16 lone last byte counts", {1, 0xFF, 0xFE, 'a', 0, 'b'}, false, "ab"},
        {"encoding 2", {2, 'a', 'b', 0}, false, ""},
        {"compressed", Latin1Text("abc"), true, ""},
        {"encoding byte only", {0}, false, ""},
        {"no terminator", {0, 'x', 'y'}, false, "xy"},
        {"stops at first zero", {0, 'a', 0, 'b'}, false, "a"},
        {"every trailing space kind", Latin1Text("x \t\n\v\f\r"), false, "x"},
        {"leading space kept", Latin1Text("  x"), false, "  x"},
        {"no-break space kept", Latin1Text("x\xA0"), false, "x\xA0"},
        {"high bytes as they are", Latin1Text("Bj\xF6rk"), false, "Bj\xF6rk"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CString out = kUnset;
        DecodeTextFrame(c.content.data(), static_cast<uint32_t>(c.content.size()), c.compressed,
                        out);
        EXPECT_STREQ(out, c.expected);
    }
    CString out = kUnset;
    DecodeTextFrame(nullptr, 0, false, out);
    EXPECT_STREQ(out, "");
}

struct WalkCase {
    const char* name;
    int version;
    uint8_t flags;
    Bytes body;
    const char* title;
    const char* artist;
    WebRules rules = WebRules::kClassic;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << c.name;
}

class WalkTagFramesTest : public testing::TestWithParam<WalkCase> {};

TEST_P(WalkTagFramesTest, PicksTitleAndArtist) {
    const WalkCase& c = GetParam();
    CString title = kUnset;
    CString artist = kUnset;
    WalkTagFrames(c.body.data(), static_cast<uint32_t>(c.body.size()), c.version, c.flags, title,
                  artist, c.rules);
    EXPECT_STREQ(title, c.title);
    EXPECT_STREQ(artist, c.artist);
}

const WalkCase kWalkCases[] = {
    {"performer_beats_band", 3, 0,
     Join({Frame3("TPE2", Latin1Text("Band")), Frame3("TPE1", Latin1Text("Lead"))}), kUnset,
     "Lead"},
    {"band_stays_after_performer", 3, 0,
     Join({Frame3("TPE1", Latin1Text("Lead")), Frame3("TPE2", Latin1Text("Band"))}), kUnset,
     "Lead"},
    {"album_as_artist", 3, 0,
     Join({Frame3("TIT2", Latin1Text("Song")), Frame3("TALB", Latin1Text("Album"))}), "Song",
     "Album"},
    {"second_performer_replaces", 3, 0,
     Join({Frame3("TPE1", Latin1Text("One")), Frame3("TPE1", Latin1Text("Two"))}), kUnset, "Two"},
    {"first_title_stays", 3, 0,
     Join({Frame3("TIT2", Latin1Text("One")), Frame3("TIT2", Latin1Text("Two"))}), "One", kUnset},
    {"title_replaces_track", 3, 0,
     Join({Frame3("TRCK", Latin1Text("7")), Frame3("TIT2", Latin1Text("Song"))}), "Song", kUnset},
    {"track_after_title_ignored", 3, 0,
     Join({Frame3("TIT2", Latin1Text("Song")), Frame3("TRCK", Latin1Text("7"))}), "Song", kUnset},
    {"compressed_performer_blocks_band", 3, 0,
     Join({Frame3("TPE1", Latin1Text("Lead"), 0x80), Frame3("TPE2", Latin1Text("Band"))}), kUnset,
     ""},
    {"empty_preferred_text_replaces", 3, 0,
     Join({Frame3("TPE2", Latin1Text("Band")), Frame3("TPE1", Latin1Text("  "))}), kUnset, ""},
    {"zero_size_ends_walk", 3, 0, Join({Frame3("TPE1", {}), Frame3("TIT2", Latin1Text("Song"))}),
     kUnset, ""},
    {"padding_ends_walk", 3, 0,
     Join({Frame3("TIT2", Latin1Text("Song")), Repeat(0, 30), Frame3("TPE1", Latin1Text("X"))}),
     "Song", kUnset},
    {"unknown_frames_skipped", 3, 0,
     Join({Frame3("TXXX", Latin1Text("TPE1 decoy")), Frame3("APIC", Repeat(0xFF, 300)),
           Frame3("TIT2", Latin1Text("Song"))}),
     "Song", kUnset},
    {"utf16_frames", 3, 0,
     Join({Frame3("TIT2", Utf16Text("Song")), Frame3("TPE1", Utf16Text("Lead"))}), "Song", "Lead"},
    {"version2_frames", 2, 0,
     Join({Frame2("TRK", Latin1Text("3")), Frame2("TAL", Latin1Text("Album")),
           Frame2("TT2", Latin1Text("Song")), Frame2("TP1", Latin1Text("Lead"))}),
     "Song", "Lead"},
    {"version2_ignores_version3_ids", 2, 0, Join({Frame2("TPE", Latin1Text("X"))}), kUnset, kUnset},
    {"extended_header_skipped", 3, 0x40,
     Join({{0, 0, 0, 6}, Repeat(0, 6), Frame3("TIT2", Latin1Text("Song"))}), "Song", kUnset},
    {"extended_header_low_byte_only", 3, 0x40,
     Join({{0x7F, 0x7F, 0x7F, 2}, Repeat(0xAA, 2), Frame3("TIT2", Latin1Text("Song"))}), "Song",
     kUnset},
    {"frame_header_cut_by_body_end", 3, 0,
     Join({Frame3("TIT2", Latin1Text("Song")), Bytes{'T', 'P', 'E', '1', 0, 0}}), "Song", kUnset},
    {"content_cut_by_body_end", 3, 0, Frame3("TPE1", {0, 'L', 'e', 'a', 'd'}, 0, 100), kUnset,
     "Lead"},
    {"huge_size_cut_by_body_end", 3, 0,
     Join({Frame3("TPE1", Latin1Text("Lead"), 0, 0xFFFFFFFF), Frame3("TIT2", Latin1Text("X"))}),
     kUnset, "Lead"},
    // The current rules.
    {"v4_synchsafe_sizes_v3_ids_utf8", 4, 0,
     Join({Frame4("TXXX", Repeat(0x11, 200)), Frame4("TPE2", Latin1Text("Band")),
           Frame4("TIT2", {3, 'Z', 'o', 0xC3, 0xAB, 0}), Frame4("TPE1", Latin1Text("Lead"))}),
     "Zo\xEB", "Lead", WebRules::kCurrent},
    {"v4_group_and_length_restored_with_text", 4, 0,
     Frame4("TIT2", Unsynchronise(Join({{0xFF, 0, 0, 0, 11}, Utf16Text("Ab")})), 0x43), "Ab",
     kUnset, WebRules::kCurrent},
    {"v4_header_unsynchronises_every_frame", 4, 0x80,
     Frame4("TPE1", Unsynchronise(Utf16Text("Lead", false))), kUnset, "Lead", WebRules::kCurrent},
    {"v4_compressed_and_encrypted_are_empty", 4, 0,
     Join({Frame4("TPE1", Join({{0, 0, 0, 6}, Latin1Text("Lead")}), 0x09),
           Frame4("TPE2", Latin1Text("Band")), Frame4("TIT2", Latin1Text("Song"), 0x04)}),
     "", "", WebRules::kCurrent},
    {"v4_extended_header_counts_itself", 4, 0x40,
     Join({{0, 0, 0, 10}, Repeat(0xAA, 6), Frame4("TIT2", Latin1Text("Song"))}), "Song", kUnset,
     WebRules::kCurrent},
    {"v3_extended_header_whole_size", 3, 0x40,
     Join({{0, 0, 1, 2}, Repeat(0, 258), Frame3("TIT2", Latin1Text("Song"))}), "Song", kUnset,
     WebRules::kCurrent},
    {"v3_tag_unsynchronised", 3, 0x80,
     Unsynchronise(Join({Frame3("TIT2", Utf16Text("Song")), Frame3("TPE1", Latin1Text("\xFF"))})),
     "Song", "\xFF", WebRules::kCurrent},
    {"v3_grouped_big_endian_and_encrypted", 3, 0,
     Join({Frame3("TIT2", Join({{7}, Utf16Text("Song", false)}), 0x20),
           Frame3("TPE1", Latin1Text("Lead"), 0x40)}),
     "Song", "", WebRules::kCurrent},
};

INSTANTIATE_TEST_SUITE_P(Cases, WalkTagFramesTest, testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WalkTagFrames, LongContentIsCutTo511BytesAndTheWalkGoesOn) {
    const Bytes longText = Latin1Text(std::string(2000, 'A'));
    for (int version : {2, 3}) {
        SCOPED_TRACE(version);
        const Bytes body =
            version == 3 ? Join({Frame3("TPE1", longText), Frame3("TIT2", Latin1Text("Song"))})
                         : Join({Frame2("TP1", longText), Frame2("TT2", Latin1Text("Song"))});
        CString title, artist;
        WalkTagFrames(body.data(), static_cast<uint32_t>(body.size()), version, 0, title, artist);
        // The encoding byte and 510 letters fill the work buffer before its zero.
        EXPECT_EQ(artist.GetLength(), 510);
        EXPECT_EQ(std::string(artist), std::string(510, 'A'));
        EXPECT_STREQ(title, "Song");
    }
}

TEST(WalkTagFrames, WorkBufferBoundary) {
    // Content is the encoding byte and letters without a terminator.
    const struct {
        size_t contentSize;
        size_t textLength;
    } cases[] = {{510, 509}, {511, 510}, {512, 510}, {100000, 510}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentSize);
        const Bytes body = Frame3("TPE1", Join({{0}, Repeat('B', c.contentSize - 1)}));
        CString title, artist;
        WalkTagFrames(body.data(), static_cast<uint32_t>(body.size()), 3, 0, title, artist);
        EXPECT_EQ(std::string(artist), std::string(c.textLength, 'B'));
    }
}

TEST(WalkTagFrames, CurrentRulesCutTheRestoredTextTo511Bytes) {
    // A data length indicator, then a text of 0xFF bytes stored at twice their number.
    const Bytes body =
        Frame4("TPE1", Unsynchronise(Join({{0, 0, 0, 0}, {0}, Repeat(0xFF, 2000)})), 0x03);
    CString title, artist;
    const FoundTexts found = WalkTagFrames(body.data(), static_cast<uint32_t>(body.size()), 4, 0,
                                           title, artist, WebRules::kCurrent);
    EXPECT_EQ(std::string(artist), std::string(510, '\xFF'));
    EXPECT_TRUE(found.artist);
}

TEST(WalkTagFrames, OtherVersionsAreNotWalked) {
    const Bytes body = Frame3("TPE1", Latin1Text("Lead"));
    for (int version : {0, 1, 4, 5}) {
        SCOPED_TRACE(version);
        CString title = kUnset, artist = kUnset;
        WalkTagFrames(body.data(), static_cast<uint32_t>(body.size()), version, 0, title, artist);
        EXPECT_STREQ(artist, kUnset);
    }
}

}  // namespace
