// Feeds the input, under both rule sets, to the frame walk as a tag body of each version, and to
// the whole reading as the start of a file, both at its own size (its last 128 bytes then being
// where a version 1 tag is looked for) and as the start of a much larger file; and to the text
// decoding in each encoding.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quor_inet/tags/audio_byte_reader.h"
#include "quor_inet/tags/id3_tag.h"
#include "quor_inet/tags/text_encoding.h"

namespace {

class FuzzSource : public AudioByteSource {
  public:
    FuzzSource(const uint8_t* data, size_t size, uint32_t declaredSize)
        : data_(data), size_(size), declaredSize_(declaredSize) {}
    bool GetSize(uint32_t& sizeOut) override {
        sizeOut = declaredSize_;
        return true;
    }
    uint32_t ReadAt(uint32_t offset, uint8_t* buffer, uint32_t count) override {
        if (offset >= size_) {
            return 0;
        }
        const size_t n = count < size_ - offset ? count : size_ - offset;
        std::memcpy(buffer, data_ + offset, n);
        return static_cast<uint32_t>(n);
    }

  private:
    const uint8_t* data_;
    size_t size_;
    uint32_t declaredSize_;
};

void CheckBounded(const CString& text) {
    if (text.GetLength() > static_cast<int>(kFrameWorkBufferSize) - 2) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) {
        return 0;
    }
    // The body alone, in a buffer of its exact size, so any read past it is caught.
    const size_t skip = size >= kTagHeaderSize ? kTagHeaderSize : 0;
    const uint8_t flags = size >= kTagHeaderSize ? data[5] : 0x40;
    std::vector<uint8_t> body(data + skip, data + size);
    for (WebRules rules : {WebRules::kClassic, WebRules::kCurrent}) {
        for (int version : {2, 3, 4}) {
            CString title, artist;
            WalkTagFrames(body.data(), static_cast<uint32_t>(body.size()), version, flags, title,
                          artist, rules);
            CheckBounded(title);
            CheckBounded(artist);
        }
        for (uint32_t declared : {static_cast<uint32_t>(size), 1000000u, 0xFFFFFFFFu}) {
            FuzzSource source(data, size, declared);
            CString title, artist;
            uint32_t seconds = 0;
            ReadAudioInfoFromSource(source, title, artist, &seconds, rules);
            CheckBounded(title);
            CheckBounded(artist);
        }
    }
    for (uint8_t encoding = 0; encoding <= 3; ++encoding) {
        std::string text;
        AppendId3TextAsCp1252(encoding, body.data(), static_cast<uint32_t>(body.size()), text);
        if (text.size() > body.size()) {
            __builtin_trap();
        }
    }
    return 0;
}
