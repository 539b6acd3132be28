#include "cli/display.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

constexpr char kMark[] = "\xEF\xBF\xBD";

TEST(CleanControls, NothingMovesTheTerminal) {
    const struct {
        const char* name;
        std::string in;
        TextCoding coding;
        std::string out;
    } cases[] = {
        {"plain", "Caf\xC3\xA9 Trio", TextCoding::kUtf8, "Caf\xC3\xA9 Trio"},
        {"escape sequences", "\x1B[2J\x1B[31mRED\x1B]0;pwned\x07", TextCoding::kUtf8,
         std::string(kMark) + "[2J" + kMark + "[31mRED" + kMark + "]0;pwned" + kMark},
        {"line breaks and tab", "a\rb\nc\td", TextCoding::kUtf8,
         std::string("a") + kMark + "b" + kMark + "c" + kMark + "d"},
        {"DEL and C1 in UTF-8",
         "x\x7F\xC2\x9B"
         "y\xC2\xA0",
         TextCoding::kUtf8, std::string("x") + kMark + kMark + "y\xC2\xA0"},
        {"the zero byte", std::string("a\0b", 3), TextCoding::kUtf8,
         std::string("a") + kMark + "b"},
        // 0x80-0x9F are letters in the Windows set, controls in the other 8-bit ones.
        {"windows set", "\x1B\x80\x9C", TextCoding::kCp1252, "?\x80\x9C"},
        {"other 8-bit set", "\x1B\x80\x9C\xE9", TextCoding::kEightBit, "???\xE9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CleanControls(c.in, c.coding), c.out);
    }
    EXPECT_EQ(CleanControls("a\nb\rc", TextCoding::kCp1252, true), "a\nb?c");
}

TEST(FitLine, CutsTheTailInTheMiddle) {
    const struct {
        std::string head, tail;
        size_t width;
        TextCoding coding;
        std::string out;
    } cases[] = {
        {"Page 1 ", "http://h/a", 40, TextCoding::kUtf8, "Page 1 http://h/a"},
        {"Page 1 ", "http://host/0123456789/abcdef.html", 27, TextCoding::kUtf8,
         "Page 1 http://ho\xE2\x80\xA6"
         "bcdef.html"},
        {"Page 1 ", "http://host/0123456789/abcdef.html", 27, TextCoding::kCp1252,
         "Page 1 http://h...cdef.html"},
        // Counted in characters, never cut inside one.
        {"", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 9,
         TextCoding::kUtf8,
         "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xE2\x80\xA6\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
        // A head too wide for any of the tail: the line's end gives way.
        {"A very long head", "tail", 10, TextCoding::kCp1252, "A very ..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tail);
        const std::string line = FitLine(c.head, c.tail, c.width, c.coding);
        EXPECT_EQ(line, c.out);
        EXPECT_LE(DisplayWidth(line, c.coding), c.width);
    }
}

TEST(ProgressLine, InTheChosenLanguage) {
    const struct {
        const char* language;
        uint64_t done;
        int64_t total;
        uint64_t ms;
        std::string out;
    } cases[] = {
        {"en", 1536, 10240, 500,
         "Progress: 15 %  Speed: 3.0 KB/s  Estimated remaining time: 0:03  (1.5 KB / 10.0 KB)"},
        {"fr", 1536, 10240, 500,
         "Avancement: 15 %  Vitesse: 3.0 KB/s  Temps restant estim\xE9: 0:03  (1.5 KB / 10.0 KB)"},
        {"de", 0, 10240, 0,
         "Fortschritt: 0 %  Geschwindigkeit: 0 B/s  Gesch\xE4tzte Restzeit: ?  (0 B / 10.0 KB)"},
        {"nl", 41779, -1, 1000, "Speed: 40.7 KB/s  40.7 KB"},
        {"es", 3u << 30, int64_t{6} << 30, 3600000,
         "Progreso: 50 %  Velocidad: 873.8 KB/s  Tiempo restante estimado: 1:00:00  (3.0 GB / "
         "6.0 GB)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        EXPECT_EQ(ProgressLine(c.language, c.done, c.total, c.ms), c.out);
    }
    EXPECT_EQ(ProgressLine("fr", 1536, 10240, 500, true),
              "Avancement: 15 %  Vitesse: 3.0 KB/s  0:03  (1.5 KB / 10.0 KB)");
}

}  // namespace
}  // namespace cli
