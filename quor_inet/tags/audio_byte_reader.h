#pragma once
// The whole size / tag / playing-time reading of one audio file over an abstract byte source, so
// that the network reader only supplies the bytes and tests can feed memory.

#include <cstdint>

#include "afx/cstring.h"

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
};

// Returns the file size, or 0 when it is unknown or below 128 bytes. With `secondsOut` given,
// it is set to 0 first and then, with `title` and `artist`, filled from the ID3 version 2.2 or
// 2.3 tag and the first audio frame after the tag; `title` and `artist` are written only when a
// frame for them is taken. Reads the 10-byte header, a body of at most 32768 bytes, and 250
// bytes where the audio begins; a tag of another version (2.4 among them) is not read but
// skipped whole, whatever its size.
uint32_t ReadAudioInfoFromSource(AudioByteSource& source, CString& title, CString& artist,
                                 uint32_t* secondsOut);
