#include "quor_inet/tags/tag_builder.h"

#include <algorithm>
#include <cstring>

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes Repeat(uint8_t value, size_t count) {
    return Bytes(count, value);
}

Bytes TagHeaderBytes(uint8_t version, uint8_t flags, uint32_t bodySize, uint8_t revision) {
    return {'I',
            'D',
            '3',
            version,
            revision,
            flags,
            static_cast<uint8_t>((bodySize >> 21) & 0x7F),
            static_cast<uint8_t>((bodySize >> 14) & 0x7F),
            static_cast<uint8_t>((bodySize >> 7) & 0x7F),
            static_cast<uint8_t>(bodySize & 0x7F)};
}

Bytes Tag(uint8_t version, uint8_t flags, const Bytes& body) {
    return Join({TagHeaderBytes(version, flags, static_cast<uint32_t>(body.size())), body});
}

Bytes Latin1Text(const std::string& text) {
    Bytes out(text.size() + 2, 0);
    std::memcpy(out.data() + 1, text.data(), text.size());
    return out;
}

Bytes Utf16Text(const std::string& text, bool littleEndian) {
    Bytes out{1};
    if (littleEndian) {
        out.insert(out.end(), {0xFF, 0xFE});
    } else {
        out.insert(out.end(), {0xFE, 0xFF});
    }
    for (char c : text) {
        const uint8_t unit[2] = {static_cast<uint8_t>(c), 0};
        out.push_back(littleEndian ? unit[0] : unit[1]);
        out.push_back(littleEndian ? unit[1] : unit[0]);
    }
    out.insert(out.end(), {0, 0});
    return out;
}

Bytes Frame3(const char* id, const Bytes& content, uint8_t flags2, int64_t declaredSize) {
    const uint32_t size = declaredSize >= 0 ? static_cast<uint32_t>(declaredSize)
                                            : static_cast<uint32_t>(content.size());
    Bytes out(id, id + 4);
    out.insert(out.end(), {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                           static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size), 0, flags2});
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Frame2(const char* id, const Bytes& content, int64_t declaredSize) {
    const uint32_t size = declaredSize >= 0 ? static_cast<uint32_t>(declaredSize)
                                            : static_cast<uint32_t>(content.size());
    Bytes out(id, id + 3);
    out.insert(out.end(), {static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 8),
                           static_cast<uint8_t>(size)});
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Frame4(const char* id, const Bytes& content, uint8_t flags2) {
    const Bytes header = TagHeaderBytes(4, 0, static_cast<uint32_t>(content.size()));
    return Join({Bytes(id, id + 4), Bytes(header.begin() + 6, header.end()), {0, flags2}, content});
}

Bytes Unsynchronise(const Bytes& bytes) {
    Bytes out;
    for (uint8_t b : bytes) {
        out.push_back(b);
        if (b == 0xFF) {
            out.push_back(0);
        }
    }
    return out;
}

Bytes Id3v1(const std::string& title, const std::string& artist) {
    Bytes out{'T', 'A', 'G'};
    out.resize(128, 0);
    std::memcpy(out.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
    std::memcpy(out.data() + 33, artist.data(), std::min<size_t>(artist.size(), 30));
    return out;
}

Bytes Header(uint32_t header) {
    return {static_cast<uint8_t>(header >> 24), static_cast<uint8_t>(header >> 16),
            static_cast<uint8_t>(header >> 8), static_cast<uint8_t>(header)};
}

bool MemorySource::GetSize(uint32_t& sizeOut) {
    sizeOut = size_;
    return sizeKnown;
}

uint32_t MemorySource::ReadAt(uint32_t offset, uint8_t* buffer, uint32_t count) {
    ++reads;
    if (offset >= failReadsFrom || offset >= data_.size()) {
        return 0;
    }
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, data_.size() - offset));
    std::memcpy(buffer, data_.data() + offset, n);
    bytesRead += n;
    return n;
}
