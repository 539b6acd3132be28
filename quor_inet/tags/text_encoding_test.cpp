#include "quor_inet/tags/text_encoding.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(AppendId3TextAsCp1252, EncodingsBestFitAndMalformedSequences) {
    const struct {
        const char* name;
        uint8_t encoding;
        std::vector<uint8_t> bytes;
        const char* expected;
    } cases[] = {
        {"latin1 as it is", 0, {'B', 0xF6, 0x80, 0, 'x'}, "B\xF6\x80"},
        {"cp1252 has them",
         2,
         {0x20, 0xAC, 0x20, 0x1A, 0x01, 0x92, 0x20, 0x26, 0x20, 0x19, 0x20, 0x1C, 0x01, 0x52,
          0x01, 0x60, 0x01, 0x7D, 0x01, 0x78, 0x02, 0xDC, 0x20, 0x14, 0x21, 0x22, 0x00, 0xE9},
         "\x80\x82\x83\x85\x92\x93\x8C\x8A\x8E\x9F\x98\x97\x99\xE9"},
        {"base letters", 2, {0x01, 0x01, 0x01, 0x42, 0x01, 0x51, 0x01, 0x5F, 0x02, 0x19}, "aloss"},
        {"no fit", 2, {0x00, 0x80, 0x01, 0x32, 0x03, 0xA9, 0x4E, 0x2D, 0x20, 0x15}, "?????"},
        {"utf16 little endian", 1, {0xFF, 0xFE, 'H', 0, 0x42, 0x01}, "Hl"},
        {"utf16 big endian", 1, {0xFE, 0xFF, 0, 'H', 0x01, 0x42}, "Hl"},
        {"utf16 unmarked is little endian", 1, {'H', 0, 'i', 0}, "Hi"},
        {"utf16 ends at a zero unit", 1, {0xFF, 0xFE, 0, 'a', 'b', 0, 0, 0, 'c', 0}, "?b"},
        {"utf16 surrogate pair", 1, {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 'x', 0}, "?x"},
        {"utf16 lone halves", 1, {0xFF, 0xFE, 0, 0xDE, 'x', 0, 0x3D, 0xD8, 'y'}, "?x??"},
        {"utf16 odd last zero", 1, {0xFF, 0xFE, 'x', 0, 0}, "x"},
        {"utf16be mark dropped", 2, {0xFE, 0xFF, 0, 'a'}, "a"},
        {"utf8", 3, {'o', 0xC3, 0xAB, 0xE2, 0x82, 0xAC, 0xC5, 0x82}, "o\xEB\x80l"},
        {"utf8 mark dropped", 3, {0xEF, 0xBB, 0xBF, 'a'}, "a"},
        {"utf8 four bytes", 3, {0xF0, 0x9F, 0x98, 0x80, 'a'}, "?a"},
        {"utf8 malformed", 3, {0x80, 0xC0, 0xAF, 0xED, 0xA0, 'a', 0xE2, 0x82}, "?????a?"},
        {"utf8 zero ends", 3, {'a', 0xC3, 0, 'b'}, "a?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "<";
        EXPECT_TRUE(AppendId3TextAsCp1252(c.encoding, c.bytes.data(),
                                          static_cast<uint32_t>(c.bytes.size()), out));
        EXPECT_EQ(out, std::string("<") + c.expected);
    }
    std::string out;
    EXPECT_FALSE(AppendId3TextAsCp1252(4, reinterpret_cast<const uint8_t*>("ab"), 2, out));
    EXPECT_EQ(out, "");
}

}  // namespace
