#include "quor_inet/tags/playing_time.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "quor_inet/tags/tag_builder.h"

namespace {

// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo.
constexpr uint32_t kMpeg1Layer3 = 0xFFFB9064;
// MPEG-2 Layer III, 64 kbit/s, 22050 Hz, mono.
constexpr uint32_t kMpeg2Layer3Mono = 0xFFF380C0;

Bytes Be32(uint32_t v) {
    return Header(v);
}

// A full 250-byte window starting with `parts`.
Bytes Window(std::initializer_list<Bytes> parts) {
    Bytes w = Join(parts);
    w.resize(kAudioWindowSize, 0);
    return w;
}

Bytes Tag4(const char* tag) {
    return Bytes(tag, tag + 4);
}

TEST(GetMpegBitrate, RowsAndColumns) {
    const struct {
        uint32_t header;
        uint32_t kbits;
    } cases[] = {
        {kMpeg1Layer3, 128}, {0xFFFBE000, 320},  // MPEG-1 III index 14
        {0xFFFFE000, 448},                       // MPEG-1 I
        {0xFFF38000, 64},                        // MPEG-2 III index 8
        {0xFFF7E000, 256},                       // MPEG-2 I
        {0xFFE38000, 64},                        // MPEG-2.5 uses the MPEG-2 rows
        {0xFFF98000, 112},                       // layer field 0 as Layer III (MPEG-1 index 8)
        {0xFFFB0000, 0},                         // free
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.header);
        EXPECT_EQ(GetMpegBitrate(c.header), c.kbits);
    }
}

TEST(FindFrameSync, OnlyTheFirstFiftyBytesActuallyRead) {
    Bytes w(kAudioWindowSize, 0);
    EXPECT_EQ(FindFrameSync(w.data(), kAudioWindowSize), -1);
    w[49] = 0xFF;
    EXPECT_EQ(FindFrameSync(w.data(), kAudioWindowSize), 49);
    EXPECT_EQ(FindFrameSync(w.data(), 49), -1);
    w[49] = 0;
    w[50] = 0xFF;
    EXPECT_EQ(FindFrameSync(w.data(), kAudioWindowSize), -1);
    w[10] = 0xFF;
    w[0] = 0xFE;
    EXPECT_EQ(FindFrameSync(w.data(), kAudioWindowSize), 10);
    EXPECT_EQ(FindFrameSync(w.data(), 0), -1);
}

TEST(VbrPlayingTime, SamplesPerFrameAndRatesRoundedUp) {
    const struct {
        uint32_t header;
        uint32_t frames;
        uint32_t seconds;
    } cases[] = {
        {kMpeg1Layer3, 10000, 262},           // 261.2
        {0xFFFB9464, 1000, 24},               // 48000 Hz, exactly 24
        {kMpeg2Layer3Mono, 1000, 27},         // 576 samples, 26.1
        {0xFFE38800, 100, 8},                 // MPEG-2.5 8000 Hz, 7.2
        {0xFFFD9000, 441, 12},                // Layer II, 11.52
        {0xFFFF9000, 441, 4},                 // Layer I, 3.84
        {0xFFE38800, 0xFFFFFFFF, 309237646},  // no overflow
        {kMpeg1Layer3, 0, 0},
        {0xFFEB9064, 1000, 0},  // reserved version
        {0xFFFB9C64, 1000, 0},  // reserved sample rate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.header);
        EXPECT_EQ(VbrPlayingTime(c.header, c.frames), c.seconds);
    }
}

struct EstimateCase {
    const char* name;
    Bytes window;
    uint32_t count;  // 0: the whole window
    uint32_t fileSize;
    uint32_t bodySize;
    bool found;
    uint32_t seconds;
};

TEST(EstimatePlayingTime, Cases) {
    const Bytes xing = Window({Header(kMpeg1Layer3), Repeat(0, 32), Tag4("Xing"), Be32(0x0F),
                               Be32(10000), Be32(4000000)});
    const EstimateCase cases[] = {
        {"62 seconds", Window({Header(kMpeg1Layer3)}), 0, 1000000, 0, true, 62},
        {"file ends at header", Window({Header(kMpeg1Layer3)}), 0, 1005, 1000, true, 1},
        {"body reaches past file", Window({Header(kMpeg1Layer3)}), 0, 1004, 1000, false, 0},
        {"body beyond file", Window({Header(kMpeg1Layer3)}), 0, 1000, 20000, false, 0},
        {"near 4 GiB", Window({Header(kMpeg1Layer3)}), 0, 0xFFFFFFF0, 0, true, 262144},
        {"after padding", Window({Repeat(0, 10), Header(0xFFFBE000)}), 0, 400000, 30000, true, 10},
        {"sync at 49", Window({Repeat(0, 49), Header(kMpeg1Layer3)}), 0, 1000000, 0, true, 62},
        {"sync at 50", Window({Repeat(0, 50), Header(kMpeg1Layer3)}), 0, 1000000, 0, false, 0},
        {"sync past bytes read", Window({Repeat(0, 20), Header(kMpeg1Layer3)}), 20, 1000000, 0,
         false, 0},
        {"header cut by bytes read", Window({Repeat(0, 8), Header(kMpeg1Layer3)}), 11, 1000000, 0,
         false, 0},
        {"free bitrate", Window({Header(0xFFFB0064)}), 0, 1000000, 0, false, 0},
        {"first 0xFF taken as is", Window({Header(0xFF123456)}), 0, 100000, 0, true, 33},
        {"xing frame count", xing, 0, 1000000, 0, true, 262},
        {"info keeps formula",
         Window({Header(kMpeg1Layer3), Repeat(0, 32), Tag4("Info"), Be32(0x0F), Be32(10000)}), 0,
         1000000, 0, true, 62},
        {"xing without count",
         Window({Header(kMpeg1Layer3), Repeat(0, 32), Tag4("Xing"), Be32(0x0E), Be32(10000)}), 0,
         1000000, 0, true, 62},
        {"xing zero frames",
         Window({Header(kMpeg1Layer3), Repeat(0, 32), Tag4("Xing"), Be32(0x01), Be32(0)}), 0,
         1000000, 0, true, 62},
        {"xing cut by bytes read", xing, 47, 1000000, 0, true, 62},
        {"xing at mono offset of a stereo frame",
         Window({Header(kMpeg1Layer3), Repeat(0, 17), Tag4("Xing"), Be32(0x01), Be32(10000)}), 0,
         1000000, 0, true, 62},
        {"xing mpeg-2 mono",
         Window({Repeat(0, 5), Header(kMpeg2Layer3Mono), Repeat(0, 9), Tag4("Xing"), Be32(0x01),
                 Be32(1000)}),
         0, 1000000, 0, true, 27},
        {"vbri frame count",
         Window({Header(kMpeg1Layer3),
                 Repeat(0, 32),
                 Tag4("VBRI"),
                 {0, 1, 0, 0, 0, 75},
                 Be32(3000000),
                 Be32(5000)}),
         0, 1000000, 0, true, 131},
        {"xing behind a false sync",
         Window({{0xFF, 0x00, 0x00, 0x00}, Repeat(0, 32), Tag4("Xing"), Be32(1), Be32(10000)}), 0,
         1000000, 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t seconds = 12345;
        const uint32_t count = c.count ? c.count : static_cast<uint32_t>(c.window.size());
        EXPECT_EQ(EstimatePlayingTime(c.window.data(), count, c.fileSize, c.bodySize, seconds),
                  c.found);
        EXPECT_EQ(seconds, c.found ? c.seconds : 12345u);
    }
}

}  // namespace
