#pragma once
// The whole size / tag / playing-time reading of one audio file over an abstract byte source, so
// that the network reader only supplies the bytes and tests can feed memory.

#include <cstdint>

#include "afx/cstring.h"
#include "quor_inet/state/web_rules.h"

// Smallest file whose size is reported and whose start is read.
constexpr uint32_t kMinAudioFileSize = 128;

class AudioByteSource {
  public:
    virtual ~AudioByteSource() = default;
    // The file's size in bytes; false when it cannot be found.
    virtual bool GetSize(uint32_t& sizeOut) = 0;
    // Reads up to `count` bytes at `offset` from the file's start into `buffer` and returns how
    // many were read: fewer at the end of the file, 0 past it or when the read fails.
    virtual uint32_t ReadAt(uint32_t offset, uint8_t* buffer, uint32_t count) = 0;
    // Whether a read far from the start costs only the bytes read: false for a file that comes
    // as one stream from its start, where the version 1 tag at its end would cost the whole file.
    virtual bool SeeksCheaply() { return true; }
};

// Returns the file size, or 0 when it is unknown or below 128 bytes. With `secondsOut` given,
// it is set to 0 first and then, with `title` and `artist`, filled from the ID3 version 2 tag
// and the first audio frame after the tag; `title` and `artist` are written only when a frame
// for them is taken. Reads the 10-byte header, a body of at most 32768 bytes, and 250 bytes
// where the audio begins; a tag of a version that is not read is skipped whole, whatever its
// size.
// kClassic reads versions 2.2 and 2.3 only, and a body above 32768 bytes not at all (nor the
// time, as for a body of exactly that size): the hosts' lists stay as they were.
// kCurrent reads version 2.4 too, and of a larger body its first 32768 bytes, the time still
// estimated behind the whole tag: today's tags carry pictures, and their text frames come
// first. When that gives no title, the last 128 bytes are read once for a version 1 tag, unless
// the source does not seek cheaply or they would overlap the version 2 tag; its title replaces
// the title, its artist fills only an artist the version 2 tag left empty (empty fields change
// nothing).
uint32_t ReadAudioInfoFromSource(AudioByteSource& source, CString& title, CString& artist,
                                 uint32_t* secondsOut, WebRules rules = WebRules::kClassic);
