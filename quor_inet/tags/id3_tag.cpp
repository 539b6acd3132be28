#include "quor_inet/tags/id3_tag.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

constexpr uint8_t kExtendedHeaderFlag = 0x40;  // ID3v2.3.0 3.1
constexpr uint8_t kFooterFlag = 0x10;          // ID3v2.4.0 3.1
constexpr uint8_t kCompressedFlag = 0x80;      // second frame flag byte, ID3v2.3.0 3.3.1
constexpr int kFirstTitleIndex = 8;

// Position in each table is the frame's index; entry 7 is a filler no ID3 frame matches.
constexpr const char* kVersion3Frames[10] = {"TPE1", "TPE2", "TALB", "TOAL", "TCOM",
                                             "TPE3", "TEXT", "xxxx", "TIT2", "TRCK"};
constexpr const char* kVersion2Frames[10] = {"TP1", "TP2", "TP3", "TP4", "TAL",
                                             "TCM", "TOL", "xxx", "TT2", "TRK"};

constexpr uint32_t PackId(const char* id, size_t length) {
    uint32_t key = 0;
    for (size_t i = 0; i < length; ++i) {
        key = (key << 8) | static_cast<uint8_t>(id[i]);
    }
    return key;
}

// The tables as numbers, compared in one step each: the walk asks for every frame of the body.
template <size_t N>
constexpr std::array<uint32_t, 10> PackTable(const char* const (&table)[10]) {
    std::array<uint32_t, 10> keys{};
    for (size_t i = 0; i < 10; ++i) {
        keys[i] = PackId(table[i], N);
    }
    return keys;
}
constexpr std::array<uint32_t, 10> kVersion3Keys = PackTable<4>(kVersion3Frames);
constexpr std::array<uint32_t, 10> kVersion2Keys = PackTable<3>(kVersion2Frames);

uint32_t BigEndian24(const uint8_t* p) {
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | BigEndian24(p + 1);
}

}  // namespace

uint32_t DecodeSynchsafe(const uint8_t* bytes) {
    return (uint32_t{bytes[0] & 0x7Fu} << 21) | (uint32_t{bytes[1] & 0x7Fu} << 14) |
           (uint32_t{bytes[2] & 0x7Fu} << 7) | (bytes[3] & 0x7Fu);
}

TagHeader ParseTagHeader(const uint8_t* bytes, uint32_t count) {
    TagHeader header;
    if (count < kTagHeaderSize || std::memcmp(bytes, "ID3", 3) != 0) {
        return header;
    }
    const uint8_t version = bytes[3];
    if (version == 2 || version == 3) {
        header.kind = TagHeaderKind::kReadable;
    } else {
        // Without the full validity test an audio file that merely starts with "ID3" would lose
        // its first bytes to a made-up tag (ID3v2.4.0 3.1 gives the test).
        const bool valid = version < 0xFF && bytes[4] < 0xFF && bytes[6] < 0x80 &&
                           bytes[7] < 0x80 && bytes[8] < 0x80 && bytes[9] < 0x80;
        if (!valid) {
            return header;
        }
        header.kind = TagHeaderKind::kOtherVersion;
    }
    header.version = version;
    header.flags = bytes[5];
    header.bodySize = DecodeSynchsafe(bytes + 6);
    return header;
}

uint32_t TagEndOffset(const TagHeader& header) {
    if (header.kind == TagHeaderKind::kNone) {
        return 0;
    }
    const uint32_t footer = header.version == 4 && (header.flags & kFooterFlag) ? 10 : 0;
    // The body size has 28 bits, so this cannot overflow.
    return kTagHeaderSize + header.bodySize + footer;
}

int FindFrameIndex(const char* id, int version) {
    const std::array<uint32_t, 10>* keys;
    size_t idLength;
    if (version == 3) {
        keys = &kVersion3Keys;
        idLength = 4;
    } else if (version == 2) {
        keys = &kVersion2Keys;
        idLength = 3;
    } else {
        return kNoFrameIndex;
    }
    const uint32_t key = PackId(id, idLength);
    for (int i = 0; i < 10; ++i) {
        if ((*keys)[i] == key) {
            return i;
        }
    }
    return kNoFrameIndex;
}

void DecodeTextFrame(const uint8_t* content, uint32_t n, bool compressed, CString& out) {
    out = "";
    if (compressed || n == 0) {
        return;
    }
    std::string text;
    if (content[0] == 0) {
        // ISO-8859-1, taken byte for byte as the host's ANSI text.
        for (uint32_t i = 1; i < n && content[i] != 0; ++i) {
            text.push_back(static_cast<char>(content[i]));
        }
    } else if (content[0] == 1) {
        // UTF-16 after a 2-byte byte order mark; the low byte of each little-endian unit is kept.
        for (uint32_t i = 3; i < n && content[i] != 0; i += 2) {
            text.push_back(static_cast<char>(content[i]));
        }
    } else {
        return;
    }
    out = CString(text.data(), static_cast<int>(text.size()));
    out.TrimRight();
}

void WalkTagFrames(const uint8_t* body, uint32_t bodySize, int version, uint8_t flags,
                   CString& title, CString& artist) {
    if (version != 2 && version != 3) {
        return;
    }
    const uint32_t frameHeaderSize = version == 3 ? 10 : 6;
    uint32_t cursor = 0;
    if (version == 3 && (flags & kExtendedHeaderFlag)) {
        if (bodySize < 4) {
            return;
        }
        // Only the lowest byte of the extended header's 4-byte size is taken; its own size field
        // is not counted in it (ID3v2.3.0 3.2).
        cursor = body[3] + 4u;
    }
    int bestArtist = kNoFrameIndex;
    int bestTitle = kNoFrameIndex;
    uint8_t work[kFrameWorkBufferSize];
    while (cursor < bodySize) {
        if (bodySize - cursor < frameHeaderSize) {
            return;  // a frame header cut by the body's end
        }
        const uint8_t* frameHeader = body + cursor;
        cursor += frameHeaderSize;
        uint32_t contentSize;
        bool compressed = false;
        if (version == 3) {
            contentSize = BigEndian32(frameHeader + 4);
            compressed = (frameHeader[9] & kCompressedFlag) != 0;
        } else {
            contentSize = BigEndian24(frameHeader + 3);
        }
        const int index = FindFrameIndex(reinterpret_cast<const char*>(frameHeader), version);
        CString* target = nullptr;
        if (index <= bestArtist && index < kFirstTitleIndex) {
            bestArtist = index;
            target = &artist;
        } else if (index >= kFirstTitleIndex && index < bestTitle) {
            bestTitle = index;
            target = &title;
        }
        const uint32_t available = bodySize - cursor;
        if (target != nullptr) {
            const uint32_t length = std::min({contentSize, available, kFrameWorkBufferSize - 1});
            std::memcpy(work, body + cursor, length);
            work[length] = 0;
            DecodeTextFrame(work, length, compressed, *target);
        }
        // Zero size means the padding after the last frame; content reaching the body's end
        // leaves nothing more to walk.
        if (contentSize == 0 || contentSize >= available) {
            return;
        }
        cursor += contentSize;
    }
}
