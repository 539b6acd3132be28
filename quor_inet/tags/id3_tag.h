#pragma once
// ID3 version 2 tag parsing: the 10-byte tag header, the frame walk that picks title and artist,
// and the text-frame decoding. Pure functions over bytes; nothing here reads past the bytes it is
// given or writes past its own buffers, whatever sizes a tag declares.

#include <cstdint>

#include "afx/cstring.h"

constexpr uint32_t kTagHeaderSize = 10;
// Bodies above this size are not read at all (and a body of exactly this size yields no time).
constexpr uint32_t kMaxTagBodySize = 32768;
// One frame's content plus its terminating zero; longer contents are cut to 511 bytes.
constexpr uint32_t kFrameWorkBufferSize = 512;
// Index of a frame whose id is in neither table.
constexpr int kNoFrameIndex = 20;

enum class TagHeaderKind {
    kNone,          // no "ID3" header: the audio is taken to start at the file's start
    kReadable,      // version 2 or 3: the frames are walked
    kOtherVersion,  // a valid header of a version we do not read (4 among them): skipped whole
};

struct TagHeader {
    TagHeaderKind kind = TagHeaderKind::kNone;
    uint8_t version = 0;    // major version byte
    uint8_t flags = 0;      // header byte 5
    uint32_t bodySize = 0;  // T, the size from bytes 6-9 (0 for kNone)
};

// The four 7-bit groups of bytes[0..3], most significant first; each byte's top bit is ignored.
uint32_t DecodeSynchsafe(const uint8_t* bytes);

// Reads the tag header from the first `count` bytes of a file (fewer than 10 means no tag).
// Versions 2 and 3 are accepted on "ID3" and the version byte alone. Another version counts as a
// tag only when the whole header is valid (version and revision below 0xFF, size bytes below
// 0x80); otherwise the bytes are taken as audio.
TagHeader ParseTagHeader(const uint8_t* bytes, uint32_t count);

// Offset of the first byte after the tag (after the footer too, where a version 4 tag has one).
uint32_t TagEndOffset(const TagHeader& header);

// The wanted-frame index of a frame id (4 letters for version 3, 3 for version 2): 0-7 feed the
// artist, 8-9 the title, lower preferred; kNoFrameIndex for any other id or version.
int FindFrameIndex(const char* id, int version);

// Decodes one text frame's content of `n` bytes into `out` (always assigned, empty first).
// Encoding 0: bytes 1.. as they are; encoding 1: the low bytes of the UTF-16 code units after
// the byte order mark; compressed contents and other encodings give the empty text. The text
// ends at its first zero byte and loses trailing white space.
void DecodeTextFrame(const uint8_t* content, uint32_t n, bool compressed, CString& out);

// Walks the frames of a tag body of `bodySize` bytes (version 2 or 3; `flags` is header byte 5)
// and writes `title` and `artist` from the preferred frames. Each is written only when a frame
// for it is taken. A frame header that would reach past the body ends the walk; content that
// would is cut at the body's end (and the walk then ends); content above 511 bytes is cut to 511.
void WalkTagFrames(const uint8_t* body, uint32_t bodySize, int version, uint8_t flags,
                   CString& title, CString& artist);
