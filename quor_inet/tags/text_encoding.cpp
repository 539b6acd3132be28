#include "quor_inet/tags/text_encoding.h"

namespace {

constexpr uint32_t kMalformed = 0xFFFFFFFF;
constexpr uint32_t kByteOrderMark = 0xFEFF;

// The code points of bytes 0x80-0x9F; 0 where the code page has no character.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};

// Base letters of U+0100-U+017F. The few the code page has (Œ, Š, Ÿ, Ž and their small
// letters) are found in kCp1252High first; the ligatures Ĳ and ĳ have no single letter.
constexpr char kLatinExtendedA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGg"   // U+0100
    "GgGgHhHhIiIiIiIiIi??JjKkkLlLlLlL"   // U+0120
    "lLlNnNnNnnNnOoOoOo??RrRrRrSsSsSs"   // U+0140
    "SsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";  // U+0160
static_assert(sizeof(kLatinExtendedA) == 0x80 + 1);

// One UTF-8 sequence at p[0..n), p[0] not zero: the bytes it takes and its code point, or
// kMalformed for the longest start of a sequence that cannot be completed (at least 1 byte).
uint32_t DecodeUtf8(const uint8_t* p, uint32_t n, uint32_t& codePoint) {
    const uint8_t lead = p[0];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    uint32_t length;
    // The second byte's range also rules out overlong forms, surrogates and values past U+10FFFF.
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        codePoint = kMalformed;
        return 1;
    }
    for (uint32_t i = 1; i < length; ++i) {
        if (i >= n || p[i] < low || p[i] > high) {
            codePoint = kMalformed;
            return i;
        }
        codePoint = (codePoint << 6) | (p[i] & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

bool IsSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Collects the text's characters; a byte order mark that opens the text is not one of them.
class Cp1252Writer {
  public:
    explicit Cp1252Writer(std::string& out) : out_(out) {}
    void Add(uint32_t codePoint) {
        if (!(first_ && codePoint == kByteOrderMark)) {
            out_.push_back(codePoint == kMalformed ? '?' : BestFitCp1252(codePoint));
        }
        first_ = false;
    }

  private:
    std::string& out_;
    bool first_ = true;
};

void AppendUtf8(const uint8_t* p, uint32_t n, std::string& out) {
    Cp1252Writer writer(out);
    uint32_t i = 0;
    while (i < n && p[i] != 0) {
        uint32_t codePoint;
        i += DecodeUtf8(p + i, n - i, codePoint);
        writer.Add(codePoint);
    }
}

void AppendUtf16(const uint8_t* p, uint32_t n, bool bigEndian, std::string& out) {
    const auto unit = [&](uint32_t i) -> uint32_t {
        return bigEndian ? (uint32_t{p[i]} << 8) | p[i + 1] : (uint32_t{p[i + 1]} << 8) | p[i];
    };
    Cp1252Writer writer(out);
    uint32_t i = 0;
    for (; n - i >= 2; i += 2) {
        const uint32_t u = unit(i);
        if (u == 0) {
            return;
        }
        if (u <= 0xDBFF && IsSurrogate(u) && n - i >= 4 && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) <= 0xDFFF) {
            i += 2;
            writer.Add(0x10000);  // outside the code page, whichever it is
        } else {
            writer.Add(IsSurrogate(u) ? kMalformed : u);
        }
    }
    // A lone zero after the last unit is a terminator written one byte short.
    if (i < n && p[i] != 0) {
        writer.Add(kMalformed);
    }
}

}  // namespace

char BestFitCp1252(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<char>(codePoint);
    }
    for (uint32_t i = 0; i < 32; ++i) {
        if (kCp1252High[i] == codePoint) {
            return static_cast<char>(0x80 + i);
        }
    }
    if (codePoint >= 0x100 && codePoint < 0x180) {
        return kLatinExtendedA[codePoint - 0x100];
    }
    if (codePoint >= 0x218 && codePoint <= 0x21B) {
        return "SsTt"[codePoint - 0x218];  // Romanian S and T with comma below
    }
    return '?';
}

bool AppendId3TextAsCp1252(uint8_t encoding, const uint8_t* bytes, uint32_t n, std::string& out) {
    switch (encoding) {
        case 0:
            // ISO-8859-1 is taken byte for byte: the host's code page shares its letters.
            for (uint32_t i = 0; i < n && bytes[i] != 0; ++i) {
                out.push_back(static_cast<char>(bytes[i]));
            }
            return true;
        case 1: {
            const bool bigEndian = n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
            const bool marked = bigEndian || (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE);
            const uint32_t skip = marked ? 2 : 0;
            AppendUtf16(bytes + skip, n - skip, bigEndian, out);
            return true;
        }
        case 2:
            AppendUtf16(bytes, n, true, out);
            return true;
        case 3:
            AppendUtf8(bytes, n, out);
            return true;
        default:
            return false;
    }
}
