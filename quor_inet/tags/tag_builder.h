#pragma once
// Test helpers: byte strings of tags, frames and audio frame headers, and an in-memory file.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "quor_inet/tags/audio_byte_reader.h"

using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts);
Bytes Repeat(uint8_t value, size_t count);

// The 10-byte tag header with the size as four 7-bit groups.
Bytes TagHeaderBytes(uint8_t version, uint8_t flags, uint32_t bodySize, uint8_t revision = 0);
// A whole tag: header plus body.
Bytes Tag(uint8_t version, uint8_t flags, const Bytes& body);

// Frame contents: encoding 0 with a terminating zero; encoding 1 as UTF-16 (byte order mark,
// then each character as a code unit in that order) with a terminating zero unit.
Bytes Latin1Text(const std::string& text);
Bytes Utf16Text(const std::string& text, bool littleEndian = true);

// A version 3 frame (10-byte header; `flags2` is the second flag byte) and a version 2 frame.
// `declaredSize` overrides the size field when given.
Bytes Frame3(const char* id, const Bytes& content, uint8_t flags2 = 0, int64_t declaredSize = -1);
Bytes Frame2(const char* id, const Bytes& content, int64_t declaredSize = -1);
// A version 4 frame: the size in four 7-bit groups, `flags2` the format flags.
Bytes Frame4(const char* id, const Bytes& content, uint8_t flags2 = 0);
// `bytes` with a zero after each 0xFF.
Bytes Unsynchronise(const Bytes& bytes);
// A version 1 tag of 128 bytes: "TAG", then each field zero-padded.
Bytes Id3v1(const std::string& title, const std::string& artist);

// A 4-byte MPEG audio frame header.
Bytes Header(uint32_t header);

// An in-memory file that counts what is read from it. With `declaredSize` larger than the data,
// the data is the file's start and reads past it give nothing.
class MemorySource : public AudioByteSource {
  public:
    explicit MemorySource(Bytes data, int64_t declaredSize = -1)
        : data_(std::move(data)),
          size_(declaredSize >= 0 ? static_cast<uint32_t>(declaredSize)
                                  : static_cast<uint32_t>(data_.size())) {}
    bool GetSize(uint32_t& sizeOut) override;
    uint32_t ReadAt(uint32_t offset, uint8_t* buffer, uint32_t count) override;

    bool SeeksCheaply() override { return seeksCheaply; }

    bool sizeKnown = true;
    bool seeksCheaply = true;
    // Reads at or past this offset fail (return 0).
    uint64_t failReadsFrom = UINT64_MAX;
    uint64_t bytesRead = 0;
    int reads = 0;

  private:
    Bytes data_;
    uint32_t size_;
};
