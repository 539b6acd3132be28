#include "quor_inet/tags/audio_byte_reader.h"

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "quor_inet/tags/tag_builder.h"

namespace {

constexpr const char* kUnset = "<unset>";
constexpr uint32_t kMpeg1Layer3At128 = 0xFFFB9064;
constexpr uint32_t kMpeg1Layer3At320 = 0xFFFBE000;

Bytes Audio(uint32_t header, size_t size = 300) {
    return Join({Header(header), Repeat(0, size - 4)});
}

Bytes TitleArtistBody(size_t padding) {
    return Join({Frame3("TIT2", Latin1Text("Song")), Frame3("TPE1", Latin1Text("Lead")),
                 Repeat(0, padding)});
}

// A body of exactly `size` bytes: title and artist frames, then zero padding.
Bytes BodyOfSize(size_t size) {
    return TitleArtistBody(size - TitleArtistBody(0).size());
}

struct InfoCase {
    const char* name;
    Bytes data;
    int64_t declaredSize;  // -1: the data's size
    uint32_t result;
    const char* title;
    const char* artist;
    uint32_t seconds;
    WebRules rules = WebRules::kClassic;
};

void PrintTo(const InfoCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadAudioInfoTest : public testing::TestWithParam<InfoCase> {};

TEST_P(ReadAudioInfoTest, SizeTagAndTime) {
    const InfoCase& c = GetParam();
    MemorySource source(c.data, c.declaredSize);
    CString title = kUnset;
    CString artist = kUnset;
    uint32_t seconds = 99999;
    EXPECT_EQ(ReadAudioInfoFromSource(source, title, artist, &seconds, c.rules), c.result);
    EXPECT_STREQ(title, c.title);
    EXPECT_STREQ(artist, c.artist);
    EXPECT_EQ(seconds, c.seconds);
    EXPECT_LE(source.bytesRead, 10u + 32768u + 250u + (c.rules == WebRules::kCurrent ? 128u : 0u));
}

// A version 4 frame of text, then picture bytes full of 0xFF.
const Bytes kVersion4Body =
    Join({Bytes{'T', 'P', 'E', '1', 0, 0, 0, 6, 0, 0}, Latin1Text("Lead"), Repeat(0xFF, 64)});
const Bytes kXingFrame = Join({Header(kMpeg1Layer3At128),
                               Repeat(0, 32),
                               {'X', 'i', 'n', 'g'},
                               Header(0x0F),
                               Header(10000),
                               Repeat(0, 200)});
// A body of 200 bytes declared in a file of `size` bytes whose last 5 start a frame.
Bytes ShortFile(size_t size) {
    Bytes data = Join({Tag(3, 0, BodyOfSize(200)), Repeat(0, size - 210 - 5)});
    data.resize(size - 5);
    return Join({data, Header(kMpeg1Layer3At128), {0}});
}

// A tag of an unread version whose body is full of 64 kbit/s frame headers, so that a window
// read from inside it gives a wrong time.
Bytes Version4Tag(size_t bodySize) {
    Bytes body;
    while (body.size() < bodySize) {
        const Bytes header = Header(0xFFFB5064);
        body.insert(body.end(), header.begin(), header.end());
    }
    body.resize(bodySize);
    return Tag(4, 0, body);
}

// Tags without padding: the last frame's content ends the body. The last 10 bytes of a picture
// hold FF D9; those of a UTF-16 text its byte order mark FF FE.
const Bytes kPictureLastBody =
    Join({Frame3("TIT2", Latin1Text("Song")), Frame3("TPE1", Latin1Text("Lead")),
          Frame3("APIC", Join({Repeat(0x11, 100), {0xFF, 0xD9}}))});
const Bytes kUtf16LastBody =
    Join({Frame3("TPE1", Latin1Text("Lead")), Frame3("TIT2", Utf16Text("A"))});

// (S - T - 5) / (R x 128) + 1 for a file of 1,000,000 bytes.
uint32_t SecondsOfMillion(size_t bodySize, uint32_t kbps) {
    return static_cast<uint32_t>((1000000 - bodySize - 5) / (kbps * 128) + 1);
}

// Text frames, then a picture that takes the body past what is read of it.
const Bytes kVersion4WithPicture =
    Join({Frame4("TIT2", Latin1Text("Song")), Frame4("TPE1", Utf16Text("Lead")),
          Frame4("APIC", Repeat(0x11, 40000))});
// Audio of 128 kbit/s, then a version 1 tag: 428 bytes and 1 second without a version 2 tag.
Bytes WithVersion1(const Bytes& start, const std::string& title, const std::string& artist) {
    return Join({start, Audio(kMpeg1Layer3At128), Id3v1(title, artist)});
}
const Bytes kEmptyTitleAndArtist =
    Tag(3, 0, Join({Frame3("TIT2", Latin1Text("")), Frame3("TPE1", Latin1Text(" "))}));
// A version 1 tag inside the version 2 tag's body, which ends 10 bytes before the file does.
const Bytes kVersion1InsideTag =
    Join({Tag(3, 0, Join({Frame3("TPE1", Latin1Text("Lead")), Repeat(0, 20), Id3v1("In", "")})),
          Header(kMpeg1Layer3At128), Repeat(0, 6)});

const InfoCase kInfoCases[] = {
    {"no_tag_62_seconds", Audio(kMpeg1Layer3At128), 1000000, 1000000, kUnset, kUnset, 62},
    {"file_of_127_bytes", Audio(kMpeg1Layer3At128, 127), -1, 0, kUnset, kUnset, 0},
    {"file_of_128_bytes", Audio(kMpeg1Layer3At128, 128), -1, 128, kUnset, kUnset, 1},
    {"padding_then_audio_at_window_10",
     Join({Tag(3, 0, TitleArtistBody(10)), Audio(kMpeg1Layer3At320)}), 1000000, 1000000, "Song",
     "Lead", 25},
    {"body_of_32768_has_tag_but_no_time",
     Join({Tag(3, 0, BodyOfSize(32768)), Audio(kMpeg1Layer3At128)}), 1000000, 1000000, "Song",
     "Lead", 0},
    {"body_of_32769_is_not_read", Join({Tag(3, 0, BodyOfSize(32769)), Audio(kMpeg1Layer3At128)}),
     1000000, 1000000, kUnset, kUnset, 0},
    {"version_4_skipped_whole", Join({Tag(4, 0, kVersion4Body), Audio(kMpeg1Layer3At320)}), 1000000,
     1000000, kUnset, kUnset, 25},
    {"invalid_version_4_header_is_audio",
     Join({Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 0x80, 0}, Audio(kMpeg1Layer3At128)}), 1000000,
     1000000, kUnset, kUnset, 62},
    {"version_2_tag",
     Join({Tag(2, 0,
               Join({Frame2("TT2", Latin1Text("Song")), Frame2("TP1", Utf16Text("Lead")),
                     Repeat(0, 10)})),
           Audio(kMpeg1Layer3At128)}),
     1000000, 1000000, "Song", "Lead", 62},
    {"empty_body_window_at_file_start", Join({Tag(3, 0, {}), Audio(kMpeg1Layer3At128)}), 1000000,
     1000000, kUnset, kUnset, 62},
    {"file_shorter_than_body_plus_20", ShortFile(219), -1, 219, kUnset, kUnset, 1},
    {"file_of_body_plus_20", ShortFile(220), -1, 220, "Song", "Lead", 1},
    {"body_past_file_end", Join({TagHeaderBytes(3, 0, 300), Audio(kMpeg1Layer3At128, 190)}), -1,
     200, kUnset, kUnset, 0},
    {"xing_after_tag", Join({Tag(3, 0, TitleArtistBody(10)), kXingFrame}), 1000000, 1000000, "Song",
     "Lead", 262},
    {"version_4_of_40000_bytes", Join({Version4Tag(40000), Audio(kMpeg1Layer3At128)}), 1000000,
     1000000, kUnset, kUnset, SecondsOfMillion(40000, 128)},
    {"version_4_of_200000_bytes", Join({Version4Tag(200000), Audio(kMpeg1Layer3At128)}), 1000000,
     1000000, kUnset, kUnset, SecondsOfMillion(200000, 128)},
    {"no_padding_picture_ends_in_ff_d9",
     Join({Tag(3, 0, kPictureLastBody), Audio(kMpeg1Layer3At128)}), 1000000, 1000000, "Song",
     "Lead", SecondsOfMillion(kPictureLastBody.size(), 128)},
    {"no_padding_utf16_text_last", Join({Tag(3, 0, kUtf16LastBody), Audio(kMpeg1Layer3At320)}),
     1000000, 1000000, "A", "Lead", SecondsOfMillion(kUtf16LastBody.size(), 320)},
    {"no_padding_xing_found", Join({Tag(3, 0, kPictureLastBody), kXingFrame}), 1000000, 1000000,
     "Song", "Lead", 262},
    {"version_1_not_classic", WithVersion1({}, "V1 Song", "V1 Lead"), -1, 428, kUnset, kUnset, 1},
    // The current rules.
    {"version_4_body_past_limit_has_text_and_time",
     Join({Tag(4, 0x10, kVersion4WithPicture), Repeat(0, 10), Audio(kMpeg1Layer3At128)}), 1000000,
     1000000, "Song", "Lead", SecondsOfMillion(kVersion4WithPicture.size(), 128),
     WebRules::kCurrent},
    {"body_of_32768_has_time", Join({Tag(3, 0, BodyOfSize(32768)), Audio(kMpeg1Layer3At128)}),
     1000000, 1000000, "Song", "Lead", SecondsOfMillion(32768, 128), WebRules::kCurrent},
    {"version_1_alone", WithVersion1({}, "V1 Song  ", "V1 Lead"), -1, 428, "V1 Song", "V1 Lead", 1,
     WebRules::kCurrent},
    {"version_1_in_a_128_byte_file", Id3v1("Only", "Tag"), -1, 128, "Only", "Tag", 0,
     WebRules::kCurrent},
    {"version_1_title_keeps_version_2_artist",
     WithVersion1(Tag(3, 0, Frame3("TPE1", Latin1Text("Lead"))), "V1 Song", "V1 Lead"), -1, 454,
     "V1 Song", "Lead", 1, WebRules::kCurrent},
    {"version_1_fills_only_empty_texts", WithVersion1(kEmptyTitleAndArtist, "", "V1 Lead"), -1, 463,
     "", "V1 Lead", 1, WebRules::kCurrent},
    {"version_1_inside_version_2_tag_unread", kVersion1InsideTag, -1, 184, kUnset, "Lead", 1,
     WebRules::kCurrent},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReadAudioInfoTest, testing::ValuesIn(kInfoCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadAudioInfo, WithoutSecondsOnlyTheSizeIsFound) {
    MemorySource source(Join({Tag(3, 0, TitleArtistBody(10)), Audio(kMpeg1Layer3At128)}));
    CString title = kUnset, artist = kUnset;
    EXPECT_EQ(ReadAudioInfoFromSource(source, title, artist, nullptr), 352u);
    EXPECT_EQ(source.reads, 0);
    EXPECT_STREQ(title, kUnset);
    EXPECT_STREQ(artist, kUnset);
}

TEST(ReadAudioInfo, UnknownSizeGivesZeroAndReadsNothing) {
    MemorySource source(Audio(kMpeg1Layer3At128));
    source.sizeKnown = false;
    CString title = kUnset, artist = kUnset;
    uint32_t seconds = 7;
    EXPECT_EQ(ReadAudioInfoFromSource(source, title, artist, &seconds), 0u);
    EXPECT_EQ(seconds, 0u);
    EXPECT_EQ(source.reads, 0);
    EXPECT_STREQ(title, kUnset);
}

TEST(ReadAudioInfo, ReadsOnlyTheHeaderBodyAndWindow) {
    const struct {
        const char* name;
        Bytes data;
        uint64_t maxBytes;
        WebRules rules = WebRules::kClassic;
        bool seeksCheaply = true;
    } cases[] = {
        {"largest body", Join({Tag(3, 0, BodyOfSize(32767)), Audio(kMpeg1Layer3At128, 1000)}),
         10 + 32767 + 250},
        {"body too large", Join({Tag(3, 0, BodyOfSize(32769)), Audio(kMpeg1Layer3At128, 1000)}),
         10},
        {"version 4", Join({Tag(4, 0, BodyOfSize(30000)), Audio(kMpeg1Layer3At128, 1000)}),
         10 + 250},
        {"version 4 past the body limit", Join({Version4Tag(200000), Audio(kMpeg1Layer3At128)}),
         10 + 250},
        {"current: version 4 past the body limit and version 1",
         Join({Version4Tag(200000), Audio(kMpeg1Layer3At128)}), 10 + 32768 + 250 + 128,
         WebRules::kCurrent},
        {"current: version 2 title", WithVersion1(Tag(3, 0, TitleArtistBody(0)), "V1", ""),
         10 + 32 + 250, WebRules::kCurrent},
        {"current: streamed from its start", WithVersion1({}, "V1", ""), 10 + 250,
         WebRules::kCurrent, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource source(c.data);
        source.seeksCheaply = c.seeksCheaply;
        CString title, artist;
        uint32_t seconds = 0;
        ReadAudioInfoFromSource(source, title, artist, &seconds, c.rules);
        EXPECT_EQ(source.bytesRead, c.maxBytes);
    }
}

TEST(ReadAudioInfo, FailedReadsAfterTheSizeLeaveTagAndTimeOut) {
    MemorySource source(Join({Tag(3, 0, TitleArtistBody(10)), Audio(kMpeg1Layer3At128)}));
    source.failReadsFrom = 10;
    CString title = kUnset, artist = kUnset;
    uint32_t seconds = 7;
    EXPECT_EQ(ReadAudioInfoFromSource(source, title, artist, &seconds), 352u);
    EXPECT_STREQ(title, kUnset);
    EXPECT_STREQ(artist, kUnset);
    EXPECT_EQ(seconds, 0u);
}

Bytes ReadFixture(const std::string& name) {
    std::ifstream in(std::string(QUOR_TAGS_FIXTURES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ReadAudioInfo, Fixtures) {
    const std::string longArtist(510, 'A');
    const struct {
        const char* file;
        int64_t declaredSize;
        const char* title;
        const char* artist;
        uint32_t seconds;
    } cases[] = {
        {"id3-frame-past-body.bin", 1000000, "Song", "Lead", 62},
        {"id3-frame-header-past-body.bin", 1000000, "Song", kUnset, 62},
        {"id3-content-over-511.bin", 1000000, "Song", longArtist.c_str(), 25},
        {"id3-extended-header-past-body.bin", 1000000, kUnset, kUnset, 62},
        {"id3-extended-flag-tiny-body.bin", 1000000, kUnset, kUnset, 62},
        {"id3-huge-frame-size.bin", 1000000, kUnset, "Lead", 62},
        {"id3-v4-tag.bin", 1000000, kUnset, kUnset, 25},
        {"id3-body-larger-than-file.bin", -1, kUnset, kUnset, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes data = ReadFixture(c.file);
        ASSERT_GE(data.size(), 128u);
        MemorySource source(data, c.declaredSize);
        CString title = kUnset, artist = kUnset;
        uint32_t seconds = 99999;
        const uint32_t expectedSize = c.declaredSize >= 0 ? static_cast<uint32_t>(c.declaredSize)
                                                          : static_cast<uint32_t>(data.size());
        EXPECT_EQ(ReadAudioInfoFromSource(source, title, artist, &seconds), expectedSize);
        EXPECT_STREQ(title, c.title);
        EXPECT_STREQ(artist, c.artist);
        EXPECT_EQ(seconds, c.seconds);
    }
}

}  // namespace
