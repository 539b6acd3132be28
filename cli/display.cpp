#include "cli/display.h"

#include <cstdio>

namespace cli {

namespace {

constexpr char kMarkUtf8[] = "\xEF\xBF\xBD";  // U+FFFD, the replacement character
constexpr char kMarkAscii = '?';
constexpr char kEllipsisUtf8[] = "\xE2\x80\xA6";
constexpr char kEllipsisAscii[] = "...";

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Where the character that starts at i ends (UTF-8; one byte elsewhere or when malformed).
size_t CharEnd(std::string_view text, size_t i, TextCoding coding) {
    size_t end = i + 1;
    if (coding == TextCoding::kUtf8 && static_cast<unsigned char>(text[i]) >= 0xC0) {
        while (end < text.size() && end - i < 4 && IsContinuation(text[end])) {
            ++end;
        }
    }
    return end;
}

std::string Ellipsis(TextCoding coding) {
    return coding == TextCoding::kUtf8 ? kEllipsisUtf8 : kEllipsisAscii;
}

// The first `columns` columns of text, whole characters only.
std::string_view Head(std::string_view text, size_t columns, TextCoding coding) {
    size_t i = 0;
    for (size_t n = 0; i < text.size() && n < columns; ++n) {
        i = CharEnd(text, i, coding);
    }
    return text.substr(0, i);
}

// The last `columns` columns of text, whole characters only.
std::string_view Tail(std::string_view text, size_t columns, TextCoding coding) {
    const size_t width = DisplayWidth(text, coding);
    if (columns >= width) {
        return text;
    }
    const std::string_view head = Head(text, width - columns, coding);
    return text.substr(head.size());
}

}  // namespace

std::string CleanControls(std::string_view text, TextCoding coding, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    const std::string mark = coding == TextCoding::kUtf8 ? kMarkUtf8 : std::string(1, kMarkAscii);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && keepLineBreaks) {
            out += '\n';
        } else if (c < 0x20 || c == 0x7F) {
            out += mark;
        } else if (coding == TextCoding::kUtf8 && c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += mark;  // U+0080-U+009F
            ++i;
        } else if (coding == TextCoding::kEightBit && c >= 0x80 && c <= 0x9F) {
            out += mark;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
    // Its 0x80-0x9F block has letters and signs of its own; the five it leaves free stay C1.
    static const char16_t kHigh[32] = {
        0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021, 0x2C6,  0x2030, 0x160,
        0x2039, 0x152,  0x8D,   0x17D,  0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    std::string out;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        const char16_t unit = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | (unit >> 6));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

size_t DisplayWidth(std::string_view text, TextCoding coding) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); i = CharEnd(text, i, coding)) {
        ++n;
    }
    return n;
}

std::string FitLine(std::string_view head, std::string_view tail, size_t width, TextCoding coding) {
    const size_t headWidth = DisplayWidth(head, coding);
    const size_t tailWidth = DisplayWidth(tail, coding);
    if (headWidth + tailWidth <= width) {
        return std::string(head) + std::string(tail);
    }
    const std::string ellipsis = Ellipsis(coding);
    const size_t ellipsisWidth = DisplayWidth(ellipsis, coding);
    // Enough room for some of the tail on both sides of the ellipsis.
    if (headWidth + ellipsisWidth + 8 <= width) {
        const size_t room = width - headWidth - ellipsisWidth;
        const size_t front = room / 2;
        return std::string(head) + std::string(Head(tail, front, coding)) + ellipsis +
               std::string(Tail(tail, room - front, coding));
    }
    const std::string whole = std::string(head) + std::string(tail);
    if (width <= ellipsisWidth) {
        return std::string(Head(whole, width, coding));
    }
    return std::string(Head(whole, width - ellipsisWidth, coding)) + ellipsis;
}

std::string SizeText(uint64_t bytes) {
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024) {
        return std::to_string(bytes) + " B";
    }
    // In tenths, rounded down, so that a size never reads larger than it is.
    uint64_t tenths = bytes * 10 / 1024;
    int unit = 0;
    while (tenths >= 10240 && unit < 3) {
        tenths /= 1024;
        ++unit;
    }
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit];
}

std::string ProgressLine(std::string_view language, uint64_t done, int64_t total,
                         uint64_t elapsedMs, bool compact) {
    // The progress window's own labels in each language.
    struct Labels {
        const char* language;
        const char* progress;
        const char* speed;
        const char* remaining;
    };
    static const Labels kLabels[] = {
        {"de", "Fortschritt:", "Geschwindigkeit:", "Gesch\xE4tzte Restzeit:"},
        {"en", "Progress:", "Speed:", "Estimated remaining time:"},
        {"fr", "Avancement:", "Vitesse:", "Temps restant estim\xE9:"},
        {"it", "Avanzamento:", "Velocit\xE0:", "Tempo rimanente stimato:"},
        {"es", "Progreso:", "Velocidad:", "Tiempo restante estimado:"},
    };
    const Labels* labels = &kLabels[1];
    for (const Labels& l : kLabels) {
        if (language == l.language) {
            labels = &l;
        }
    }
    const uint64_t bytesPerSecond = elapsedMs == 0 ? 0 : done * 1000 / elapsedMs;
    const std::string speed = labels->speed + std::string(" ") + SizeText(bytesPerSecond) + "/s";
    if (total < 0) {
        return speed + "  " + SizeText(done);
    }
    const auto whole = static_cast<uint64_t>(total);
    const uint64_t percent = whole == 0 ? 100 : done * 100 / whole;
    std::string left = "?";
    if (done > 0 && done <= whole) {
        const uint64_t seconds = (elapsedMs * (whole - done) / done + 999) / 1000;
        char text[32];
        if (seconds >= 3600) {
            std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                          static_cast<unsigned long long>(seconds / 3600),
                          static_cast<unsigned long long>(seconds / 60 % 60),
                          static_cast<unsigned long long>(seconds % 60));
        } else {
            std::snprintf(text, sizeof text, "%llu:%02llu",
                          static_cast<unsigned long long>(seconds / 60),
                          static_cast<unsigned long long>(seconds % 60));
        }
        left = text;
    }
    // The longest label goes first when the line must be short.
    const std::string remaining = compact ? "" : labels->remaining + std::string(" ");
    return labels->progress + std::string(" ") + std::to_string(percent) + " %  " + speed + "  " +
           remaining + left + "  (" + SizeText(done) + " / " + SizeText(whole) + ")";
}

}  // namespace cli
