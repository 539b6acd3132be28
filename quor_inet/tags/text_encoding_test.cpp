#include "quor_inet/tags/text_encoding.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(BestFitCp1252, OwnBytesBaseLettersAndQuestionMarks) {
    const struct {
        uint32_t codePoint;
        char expected;
    } cases[] = {
        {'A', 'A'},
        {0x7F, 0x7F},
        {0xA0, '\xA0'},
        {0xE9, '\xE9'},
        {0xFF, '\xFF'},
        {0x20AC, '\x80'},
        {0x201A, '\x82'},
        {0x0192, '\x83'},
        {0x201E, '\x84'},
        {0x2026, '\x85'},
        {0x2020, '\x86'},
        {0x2021, '\x87'},
        {0x02C6, '\x88'},
        {0x2030, '\x89'},
        {0x0160, '\x8A'},
        {0x2039, '\x8B'},
        {0x0152, '\x8C'},
        {0x017D, '\x8E'},
        {0x2018, '\x91'},
        {0x2019, '\x92'},
        {0x201C, '\x93'},
        {0x201D, '\x94'},
        {0x2022, '\x95'},
        {0x2013, '\x96'},
        {0x2014, '\x97'},
        {0x02DC, '\x98'},
        {0x2122, '\x99'},
        {0x0161, '\x9A'},
        {0x203A, '\x9B'},
        {0x0153, '\x9C'},
        {0x017E, '\x9E'},
        {0x0178, '\x9F'},
        // Letters the code page lacks become their base letters.
        {0x0100, 'A'},
        {0x0101, 'a'},
        {0x010D, 'c'},
        {0x0111, 'd'},
        {0x0131, 'i'},
        {0x0141, 'L'},
        {0x0142, 'l'},
        {0x0151, 'o'},
        {0x015F, 's'},
        {0x0167, 't'},
        {0x017A, 'z'},
        {0x017F, 's'},
        {0x0219, 's'},
        {0x021A, 'T'},
        // C1 controls, ligatures, other scripts, symbols and the supplementary planes do not.
        {0x80, '?'},
        {0x9F, '?'},
        {0x0132, '?'},
        {0x0180, '?'},
        {0x03A9, '?'},
        {0x0416, '?'},
        {0x4E2D, '?'},
        {0x2015, '?'},
        {0xFFFD, '?'},
        {0x1F600, '?'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePoint);
        EXPECT_EQ(BestFitCp1252(c.codePoint), c.expected);
    }
}

TEST(AppendId3TextAsCp1252, EncodingsTerminatorsAndMalformedSequences) {
    const struct {
        const char* name;
        uint8_t encoding;
        std::vector<uint8_t> bytes;
        const char* expected;
    } cases[] = {
        {"latin1 as it is", 0, {'B', 'j', 0xF6, 'r', 'k', 0x80}, "Bj\xF6rk\x80"},
        {"latin1 ends at zero", 0, {'a', 0, 'b'}, "a"},
        {"utf16 little endian", 1, {0xFF, 0xFE, 'H', 0, 0xE9, 0, 0xAC, 0x20}, "H\xE9\x80"},
        {"utf16 big endian", 1, {0xFE, 0xFF, 0, 'H', 0x01, 0x42}, "Hl"},
        {"utf16 without mark is little endian", 1, {'H', 0, 'i', 0}, "Hi"},
        {"utf16 zero unit ends", 1, {0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}, "a"},
        {"utf16 zero bytes across units do not end", 1, {0xFF, 0xFE, 0, 'a', 'b', 0}, "?b"},
        {"utf16 surrogate pair is one character",
         1,
         {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 'x', 0},
         "?x"},
        {"utf16 lone high surrogate", 1, {0xFF, 0xFE, 0x3D, 0xD8, 'x', 0}, "?x"},
        {"utf16 lone low surrogate", 1, {0xFF, 0xFE, 0x00, 0xDE, 'x', 0}, "?x"},
        {"utf16 high surrogate at the end", 1, {0xFF, 0xFE, 'x', 0, 0x3D, 0xD8}, "x?"},
        {"utf16 odd last byte", 1, {0xFF, 0xFE, 'x', 0, 'y'}, "x?"},
        {"utf16 odd last zero is a short terminator", 1, {0xFF, 0xFE, 'x', 0, 0}, "x"},
        {"utf16 mark only", 1, {0xFF, 0xFE}, ""},
        {"utf16be", 2, {0, 'O', 0x01, 0x51, 0x20, 0x19}, "Oo\x92"},
        {"utf16be opening mark dropped", 2, {0xFE, 0xFF, 0, 'a'}, "a"},
        {"utf8", 3, {'Z', 'o', 0xC3, 0xAB, 0xE2, 0x82, 0xAC, 0xC5, 0x82}, "Zo\xEB\x80l"},
        {"utf8 opening mark dropped", 3, {0xEF, 0xBB, 0xBF, 'a'}, "a"},
        {"utf8 four bytes is one character", 3, {0xF0, 0x9F, 0x98, 0x80, 'a'}, "?a"},
        {"utf8 stray continuation", 3, {'a', 0x80, 0xBF, 'b'}, "a??b"},
        {"utf8 overlong", 3, {0xC0, 0xAF, 0xE0, 0x80, 0xAF, 'a'}, "?????a"},
        {"utf8 encoded surrogate", 3, {0xED, 0xA0, 0x80, 'a'}, "???a"},
        {"utf8 past U+10FFFF", 3, {0xF4, 0x90, 0x80, 0x80, 0xF5}, "?????"},
        {"utf8 cut sequence is one mark", 3, {0xE2, 0x82, 'a', 0xE2, 0x82}, "?a?"},
        {"utf8 zero ends inside a sequence", 3, {'a', 0xC3, 0, 'b'}, "a?"},
        {"utf8 empty", 3, {}, ""},
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
