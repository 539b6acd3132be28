#include "quor_inet/tags/playing_time.h"

#include <cstring>

namespace {

// kbit/s by row (3 x MPEG-1 bit + layer field - 1) and bitrate index (ISO/IEC 11172-3 2.4.2.3,
// ISO/IEC 13818-3 2.4.2.3); MPEG-2.5 shares the MPEG-2 rows.
constexpr uint16_t kBitrates[6][16] = {
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 III
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 II
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 I
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 II
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 I
};

// Version field (header bits 19-20) values.
constexpr uint32_t kMpegReserved = 1;
constexpr uint32_t kMpeg1 = 3;
// Layer field (bits 17-18) values.
constexpr uint32_t kLayerReserved = 0;
constexpr uint32_t kLayer3 = 1;
constexpr uint32_t kLayer1 = 3;
constexpr uint32_t kMonoChannelMode = 3;
constexpr uint32_t kReservedRateIndex = 3;

constexpr uint32_t kSampleRates[4][3] = {
    {11025, 12000, 8000},   // MPEG-2.5
    {0, 0, 0},              // reserved
    {22050, 24000, 16000},  // MPEG-2 (ISO/IEC 13818-3)
    {44100, 48000, 32000},  // MPEG-1 (ISO/IEC 11172-3)
};

uint32_t VersionField(uint32_t header) {
    return (header >> 19) & 3;
}
uint32_t LayerField(uint32_t header) {
    return (header >> 17) & 3;
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool IsUsableFrameHeader(uint32_t header) {
    return (header & 0xFFE00000u) == 0xFFE00000u && VersionField(header) != kMpegReserved &&
           LayerField(header) != kLayerReserved && ((header >> 10) & 3) != kReservedRateIndex;
}

// Bytes of Layer III side information after the 4-byte header, which is where an encoder puts
// its "Xing" or "Info" frame.
uint32_t SideInfoSize(uint32_t header) {
    const bool mono = ((header >> 6) & 3) == kMonoChannelMode;
    if (VersionField(header) == kMpeg1) {
        return mono ? 17 : 32;
    }
    return mono ? 9 : 17;
}

bool HasBytes(uint32_t count, uint32_t offset, uint32_t length) {
    return offset <= count && length <= count - offset;
}

}  // namespace

uint32_t GetMpegBitrate(uint32_t header) {
    uint32_t layer = LayerField(header);
    if (layer == kLayerReserved) {
        layer = kLayer3;
    }
    const uint32_t row = 3 * ((header >> 19) & 1) + (layer - 1);
    return kBitrates[row][(header >> 12) & 15];
}

int FindFrameSync(const uint8_t* window, uint32_t count) {
    const uint32_t limit = count < kFrameSyncSearchLength ? count : kFrameSyncSearchLength;
    for (uint32_t i = 0; i < limit; ++i) {
        if (window[i] == 0xFF) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

uint32_t FindVbrFrameCount(const uint8_t* window, uint32_t count, uint32_t pos) {
    if (!HasBytes(count, pos, 4)) {
        return 0;
    }
    const uint32_t header = BigEndian32(window + pos);
    if (!IsUsableFrameHeader(header)) {
        return 0;
    }
    // Xing: tag, 4 flag bytes (bit 0: frame count present), then the count, big-endian.
    const uint32_t xing = pos + 4 + SideInfoSize(header);
    if (HasBytes(count, xing, 12) && std::memcmp(window + xing, "Xing", 4) == 0) {
        const uint32_t flags = BigEndian32(window + xing + 4);
        return (flags & 1) ? BigEndian32(window + xing + 8) : 0;
    }
    // VBRI: 32 bytes after the header; tag, version, delay, quality, byte count, frame count.
    const uint32_t vbri = pos + 4 + 32;
    if (HasBytes(count, vbri, 18) && std::memcmp(window + vbri, "VBRI", 4) == 0) {
        return BigEndian32(window + vbri + 14);
    }
    return 0;
}

uint32_t VbrPlayingTime(uint32_t header, uint32_t frames) {
    if (!IsUsableFrameHeader(header)) {
        return 0;
    }
    const uint32_t version = VersionField(header);
    const uint32_t layer = LayerField(header);
    uint32_t samplesPerFrame = 1152;
    if (layer == kLayer1) {
        samplesPerFrame = 384;
    } else if (layer == kLayer3 && version != kMpeg1) {
        samplesPerFrame = 576;
    }
    const uint64_t rate = kSampleRates[version][(header >> 10) & 3];
    const uint64_t seconds = (uint64_t{frames} * samplesPerFrame + rate - 1) / rate;
    // 2^32 frames of 1152 samples at 8000 Hz still fit.
    return static_cast<uint32_t>(seconds);
}

bool EstimatePlayingTime(const uint8_t* window, uint32_t count, uint32_t fileSize,
                         uint32_t bodySize, uint32_t& secondsOut) {
    if (uint64_t{fileSize} < uint64_t{bodySize} + 5) {
        return false;  // the size formula would wrap around
    }
    const int sync = FindFrameSync(window, count);
    if (sync < 0 || !HasBytes(count, static_cast<uint32_t>(sync), 4)) {
        return false;
    }
    const uint32_t header = BigEndian32(window + sync);
    // A VBR file's first frame has the bitrate of that frame alone; its frame count is exact.
    if (const uint32_t frames = FindVbrFrameCount(window, count, sync); frames != 0) {
        if (const uint32_t seconds = VbrPlayingTime(header, frames); seconds != 0) {
            secondsOut = seconds;
            return true;
        }
    }
    const uint32_t bitrate = GetMpegBitrate(header);
    if (bitrate == 0) {
        return false;
    }
    // Equal to (S - T - 5 + R x 128) / (R x 128) whenever that does not wrap, and right near
    // 4 GiB where it would.
    secondsOut = (fileSize - bodySize - 5) / (bitrate * 128) + 1;
    return true;
}
