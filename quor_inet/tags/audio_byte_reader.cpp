#include "quor_inet/tags/audio_byte_reader.h"

#include <algorithm>
#include <vector>

#include "quor_inet/tags/id3_tag.h"
#include "quor_inet/tags/playing_time.h"

namespace {

// A source that claims more than was asked for is held to what was asked.
uint32_t ReadBounded(AudioByteSource& source, uint32_t offset, uint8_t* buffer, uint32_t count) {
    if (count == 0) {
        return 0;
    }
    return std::min(source.ReadAt(offset, buffer, count), count);
}

// Fills what the version 2 tag left out from a version 1 tag at the file's end.
void ReadVersion1Tag(AudioByteSource& source, uint32_t fileSize, uint32_t tagEnd, FoundTexts found,
                     CString& title, CString& artist) {
    if (found.title || !source.SeeksCheaply() || fileSize - kId3v1TagSize < tagEnd) {
        return;
    }
    uint8_t trailer[kId3v1TagSize];
    const uint32_t got = ReadBounded(source, fileSize - kId3v1TagSize, trailer, kId3v1TagSize);
    CString v1Title, v1Artist;
    if (!ParseId3v1Tag(trailer, got, v1Title, v1Artist)) {
        return;
    }
    if (!v1Title.IsEmpty()) {
        title = v1Title;
    }
    if (!v1Artist.IsEmpty() && !found.artist) {
        artist = v1Artist;
    }
}

}  // namespace

uint32_t ReadAudioInfoFromSource(AudioByteSource& source, CString& title, CString& artist,
                                 uint32_t* secondsOut, WebRules rules) {
    if (secondsOut != nullptr) {
        *secondsOut = 0;
    }
    uint32_t fileSize = 0;
    if (!source.GetSize(fileSize) || fileSize < kMinAudioFileSize) {
        return 0;
    }
    if (secondsOut == nullptr) {
        return fileSize;
    }

    const bool classic = rules == WebRules::kClassic;
    uint8_t headerBytes[kTagHeaderSize];
    const TagHeader tag =
        ParseTagHeader(headerBytes, ReadBounded(source, 0, headerBytes, kTagHeaderSize), rules);
    const uint32_t bodySize = tag.bodySize;
    FoundTexts found;
    if (tag.kind == TagHeaderKind::kReadable) {
        if (bodySize > kMaxTagBodySize && classic) {
            return fileSize;
        }
        // A body declared larger than the file leaves too little for frames; it is then not
        // read. A failed or short body read walks only the bytes that came.
        if (uint64_t{fileSize} >= uint64_t{bodySize} + 20) {
            const uint32_t readSize = std::min(bodySize, kMaxTagBodySize);
            std::vector<uint8_t> body(readSize);
            const uint32_t got = ReadBounded(source, kTagHeaderSize, body.data(), readSize);
            found = WalkTagFrames(body.data(), got, tag.version, tag.flags, title, artist, rules);
        }
        if (bodySize >= kMaxTagBodySize && classic) {
            return fileSize;
        }
    }

    // The audio is looked for right after the tag: a tag need not end in padding (an encoder's
    // own tag writer leaves none), and a picture or a UTF-16 text at its end holds bytes that
    // look like a frame header. A tag of a version that is not read is skipped whole, whatever
    // its size, since only the window after it is read. The estimate keeps T.
    const uint32_t windowOffset = tag.kind == TagHeaderKind::kNone ? 0 : TagEndOffset(tag);
    uint8_t window[kAudioWindowSize];
    const uint32_t windowCount = ReadBounded(source, windowOffset, window, kAudioWindowSize);
    uint32_t seconds = 0;
    if (EstimatePlayingTime(window, windowCount, fileSize, bodySize, seconds)) {
        *secondsOut = seconds;
    }
    if (!classic) {
        ReadVersion1Tag(source, fileSize, windowOffset, found, title, artist);
    }
    return fileSize;
}
