#pragma once
// ID3 tag parsing: the 10-byte version 2 tag header, the frame walk that picks title and artist,
// the text-frame decoding, and the version 1 tag at a file's end. Pure functions over bytes;
// nothing here reads past the bytes it is given or writes past its own buffers, whatever sizes
// a tag declares.
//
// WebRules::kClassic reads what the library always read (versions 2.2 and 2.3, ISO-8859-1 and
// little-endian UTF-16 seen through its low bytes), so that hosts see the titles they always
// saw. WebRules::kCurrent also reads what today's encoders write: version 2.4 tags, every text
// encoding (in Windows-1252 with a best fit), unsynchronised tags and frames, and the version 1
// tag of a file whose version 2 tag has no title.

#include <cstdint>

#include "afx/cstring.h"
#include "quor_inet/state/web_rules.h"

constexpr uint32_t kTagHeaderSize = 10;
// Bodies above this size are not read at all under kClassic (and a body of exactly this size
// yields no time); under kCurrent only this much of them is read.
constexpr uint32_t kMaxTagBodySize = 32768;
// One frame's content plus its terminating zero; longer contents are cut to 511 bytes.
constexpr uint32_t kFrameWorkBufferSize = 512;
// Index of a frame whose id is in neither table.
constexpr int kNoFrameIndex = 20;

enum class TagHeaderKind {
    kNone,          // no "ID3" header: the audio is taken to start at the file's start
    kReadable,      // version 2 or 3 (and 4 under kCurrent): the frames are walked
    kOtherVersion,  // a valid header of a version that is not read: skipped whole
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
// 0x80); otherwise the bytes are taken as audio. A valid version 4 header is readable under
// kCurrent.
TagHeader ParseTagHeader(const uint8_t* bytes, uint32_t count, WebRules rules = WebRules::kClassic);

// Offset of the first byte after the tag (after the footer too, where a version 4 tag has one).
uint32_t TagEndOffset(const TagHeader& header);

// The wanted-frame index of a frame id (4 letters for version 3, 3 for version 2): 0-7 feed the
// artist, 8-9 the title, lower preferred; kNoFrameIndex for any other id or version.
int FindFrameIndex(const char* id, int version);

// Decodes one text frame's content of `n` bytes into `out` (always assigned, empty first).
// kClassic: encoding 0 as bytes 1.. as they are; encoding 1 as the low bytes of the UTF-16 code
// units after the byte order mark; other encodings give the empty text. kCurrent: encodings 0
// to 3 as AppendId3TextAsCp1252 decodes them. Compressed contents give the empty text. The text
// ends at its first zero character and loses trailing white space.
void DecodeTextFrame(const uint8_t* content, uint32_t n, bool compressed, CString& out,
                     WebRules rules = WebRules::kClassic);

// Which texts a walk wrote and left non-empty.
struct FoundTexts {
    bool title = false;
    bool artist = false;
};

// Walks the frames of a tag body of `bodySize` bytes (version 2 or 3, and 4 under kCurrent;
// `flags` is header byte 5) and writes `title` and `artist` from the preferred frames. Each is
// written only when a frame for it is taken; a frame whose content cannot be read (compressed,
// and under kCurrent encrypted) is taken as the empty text. A frame header that would reach past
// the body ends the walk; content that would is cut at the body's end (and the walk then ends);
// content above 511 bytes is cut to 511. Under kCurrent an unsynchronised body (version 2 or 3)
// or frame (version 4) is restored first, the extended header is skipped by its whole size, and
// group bytes and data length indicators before a frame's text are passed over.
FoundTexts WalkTagFrames(const uint8_t* body, uint32_t bodySize, int version, uint8_t flags,
                         CString& title, CString& artist, WebRules rules = WebRules::kClassic);

// Size of a version 1 tag, the last bytes of a file.
constexpr uint32_t kId3v1TagSize = 128;

// Title (bytes 3-32) and artist (bytes 33-62) of a version 1 tag: false, with neither written,
// unless `count` is 128 and the bytes start with "TAG". Each field ends at its first zero and
// loses trailing white space; its bytes are taken as they are.
bool ParseId3v1Tag(const uint8_t* bytes, uint32_t count, CString& title, CString& artist);
