#include "quor_inet/tags/id3_tag.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "quor_inet/tags/text_encoding.h"

namespace {

constexpr uint8_t kUnsynchronisedFlag = 0x80;  // header byte 5
constexpr uint8_t kExtendedHeaderFlag = 0x40;  // ID3v2.3.0 3.1
constexpr uint8_t kFooterFlag = 0x10;          // ID3v2.4.0 3.1
constexpr int kFirstTitleIndex = 8;

// The bits of a frame's second flag byte, which version 4 moved.
struct FrameFormat {
    uint8_t compressed;
    uint8_t encrypted;
    uint8_t grouped;         // one group byte before the content
    uint8_t unsynchronised;  // version 4 only
    uint8_t dataLength;      // version 4 only: a 4-byte length before the content
};
constexpr FrameFormat kVersion3Format = {0x80, 0x40, 0x20, 0, 0};
constexpr FrameFormat kVersion4Format = {0x08, 0x04, 0x40, 0x02, 0x01};
// The group byte and the data length indicator.
constexpr uint32_t kMaxFramePrefix = 5;

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

// Copies the `n` bytes of `in` without the zero that unsynchronisation put after each 0xFF, at
// most `capacity` of them; returns how many were written. `out` may be `in`: it never gets
// ahead of the reading.
uint32_t Resynchronise(const uint8_t* in, uint32_t n, uint8_t* out, uint32_t capacity) {
    uint32_t written = 0;
    for (uint32_t i = 0; i < n && written < capacity; ++i) {
        out[written++] = in[i];
        if (in[i] == 0xFF && i + 1 < n && in[i + 1] == 0) {
            ++i;
        }
    }
    return written;
}

}  // namespace

uint32_t DecodeSynchsafe(const uint8_t* bytes) {
    return (uint32_t{bytes[0] & 0x7Fu} << 21) | (uint32_t{bytes[1] & 0x7Fu} << 14) |
           (uint32_t{bytes[2] & 0x7Fu} << 7) | (bytes[3] & 0x7Fu);
}

TagHeader ParseTagHeader(const uint8_t* bytes, uint32_t count, WebRules rules) {
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
        header.kind = version == 4 && rules == WebRules::kCurrent ? TagHeaderKind::kReadable
                                                                  : TagHeaderKind::kOtherVersion;
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

void DecodeTextFrame(const uint8_t* content, uint32_t n, bool compressed, CString& out,
                     WebRules rules) {
    out = "";
    if (compressed || n == 0) {
        return;
    }
    std::string text;
    const bool classic = rules == WebRules::kClassic;
    if (classic && content[0] == 1) {
        // UTF-16 after a 2-byte byte order mark; the low byte of each little-endian unit is kept.
        for (uint32_t i = 3; i < n && content[i] != 0; i += 2) {
            text.push_back(static_cast<char>(content[i]));
        }
    } else if (classic && content[0] != 0) {
        return;
    } else if (!AppendId3TextAsCp1252(content[0], content + 1, n - 1, text)) {
        return;
    }
    out = CString(text.data(), static_cast<int>(text.size()));
    out.TrimRight();
}

FoundTexts WalkTagFrames(const uint8_t* body, uint32_t bodySize, int version, uint8_t flags,
                         CString& title, CString& artist, WebRules rules) {
    const bool current = rules == WebRules::kCurrent;
    // Version 4 names its frames as version 3 does.
    const int idVersion = current && version == 4 ? 3 : version;
    if (idVersion != 2 && idVersion != 3) {
        return {};
    }
    std::vector<uint8_t> restored;
    if (current && version != 4 && (flags & kUnsynchronisedFlag)) {
        // Before version 4 the whole body is unsynchronised, frame headers included, and the
        // frame sizes count the restored bytes.
        restored.assign(body, body + bodySize);
        bodySize = Resynchronise(restored.data(), bodySize, restored.data(), bodySize);
        body = restored.data();
    }
    const uint32_t frameHeaderSize = idVersion == 3 ? 10 : 6;
    const FrameFormat& format = version == 4 ? kVersion4Format : kVersion3Format;
    uint32_t cursor = 0;
    if (idVersion == 3 && (flags & kExtendedHeaderFlag)) {
        if (bodySize < 4) {
            return {};
        }
        if (!current) {
            // Only the lowest byte of the extended header's 4-byte size is taken; its own size
            // field is not counted in it (ID3v2.3.0 3.2).
            cursor = body[3] + 4u;
        } else {
            // Version 4 counts the size field in the size, version 3 does not.
            const uint64_t size =
                version == 4 ? DecodeSynchsafe(body) : uint64_t{BigEndian32(body)} + 4;
            cursor = static_cast<uint32_t>(std::min<uint64_t>(size, bodySize));
        }
    }
    FoundTexts found;
    int bestArtist = kNoFrameIndex;
    int bestTitle = kNoFrameIndex;
    uint8_t work[kMaxFramePrefix + kFrameWorkBufferSize];
    while (cursor < bodySize) {
        if (bodySize - cursor < frameHeaderSize) {
            return found;  // a frame header cut by the body's end
        }
        const uint8_t* frameHeader = body + cursor;
        cursor += frameHeaderSize;
        uint32_t contentSize;
        uint8_t formatFlags = 0;
        if (idVersion == 3) {
            contentSize =
                version == 4 ? DecodeSynchsafe(frameHeader + 4) : BigEndian32(frameHeader + 4);
            formatFlags = frameHeader[9];
        } else {
            contentSize = BigEndian24(frameHeader + 3);
        }
        const int index = FindFrameIndex(reinterpret_cast<const char*>(frameHeader), idVersion);
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
            bool unreadable = (formatFlags & format.compressed) != 0;
            uint32_t prefix = 0;
            bool unsynchronised = false;
            if (current) {
                unreadable = unreadable || (formatFlags & format.encrypted) != 0;
                prefix = ((formatFlags & format.grouped) ? 1 : 0) +
                         ((formatFlags & format.dataLength) ? 4 : 0);
                // A version 4 header's flag stands for the flag of every frame.
                unsynchronised = version == 4 && ((flags & kUnsynchronisedFlag) ||
                                                  (formatFlags & format.unsynchronised));
            }
            // The prefix bytes are unsynchronised with the text, so they are dropped after it
            // is restored.
            const uint32_t stored = std::min(contentSize, available);
            const uint32_t capacity = prefix + kFrameWorkBufferSize - 1;
            uint32_t got;
            if (unsynchronised) {
                got = Resynchronise(body + cursor, stored, work, capacity);
            } else {
                got = std::min(stored, capacity);
                std::memcpy(work, body + cursor, got);
            }
            const uint32_t length = got > prefix ? got - prefix : 0;
            work[prefix + length] = 0;
            DecodeTextFrame(work + prefix, length, unreadable, *target, rules);
            (target == &title ? found.title : found.artist) = !target->IsEmpty();
        }
        // Zero size means the padding after the last frame; content reaching the body's end
        // leaves nothing more to walk.
        if (contentSize == 0 || contentSize >= available) {
            return found;
        }
        cursor += contentSize;
    }
    return found;
}

bool ParseId3v1Tag(const uint8_t* bytes, uint32_t count, CString& title, CString& artist) {
    if (count != kId3v1TagSize || std::memcmp(bytes, "TAG", 3) != 0) {
        return false;
    }
    const auto field = [bytes](uint32_t offset, CString& out) {
        const uint8_t* start = bytes + offset;
        const uint8_t* end = std::find(start, start + 30, uint8_t{0});
        out = CString(reinterpret_cast<const char*>(start), static_cast<int>(end - start));
        out.TrimRight();
    };
    field(3, title);
    field(33, artist);
    return true;
}
