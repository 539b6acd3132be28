#include "afx/inet/http_headers.h"

#include <gtest/gtest.h>

namespace afx::inet {
namespace {

TEST(OptionalWhitespace, OnlySpaceAndTabAreTrimmed) {
    const struct {
        const char* text;
        const char* trimmed;
    } kCases[] = {
        {" \tvalue\t ", "value"},
        {"a \t b", "a \t b"},
        {"\r\nx\v\f", "\r\nx\v\f"},  // other white space is part of the value
        {" \t ", ""},
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TrimOptionalWhitespace(c.text), c.trimmed);
    }
}

TEST(ContentLength, AcceptsDigitsOnly) {
    const struct {
        const char* text;
        std::optional<uint64_t> value;
    } kCases[] = {
        {"0", 0},
        {"  1234 ", 1234},
        {"\t52428800", 52428800},
        {"999999999999999999", 999999999999999999ull},  // 18 digits
        {"1000000000000000000", std::nullopt},          // 19 digits: refused, not wrapped
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-1", std::nullopt},
        {"+5", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseContentLength(c.text), c.value);
    }
}

TEST(ContentRange, SatisfiedAndUnsatisfiedForms) {
    const struct {
        const char* text;
        bool valid;
        bool satisfied;
        uint64_t first, last;
        std::optional<uint64_t> total;
    } kCases[] = {
        {"bytes 0-16383/52428800", true, true, 0, 16383, 52428800},
        {"BYTES 10-19/1000", true, true, 10, 19, 1000},
        {"bytes 0-0/1", true, true, 0, 0, 1},
        {"bytes 5-9/*", true, true, 5, 9, std::nullopt},
        {"bytes */1000", true, false, 0, 0, 1000},
        {"bytes */0", true, false, 0, 0, 0},
        {"bytes */*", false, false, 0, 0, std::nullopt},
        {"bytes 9-5/100", false, false, 0, 0, std::nullopt},    // last before first
        {"bytes 0-100/100", false, false, 0, 0, std::nullopt},  // last past the total
        {"bytes 0-9", false, false, 0, 0, std::nullopt},        // no total
        {"items 0-9/10", false, false, 0, 0, std::nullopt},     // other unit
        {"bytes=0-9/10", false, false, 0, 0, std::nullopt},     // request syntax
        {"bytes -9/10", false, false, 0, 0, std::nullopt},
        {"bytes 0-/10", false, false, 0, 0, std::nullopt},
        {"", false, false, 0, 0, std::nullopt},
        {"bytes 0-99999999999999999999/1", false, false, 0, 0, std::nullopt},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        std::optional<ContentRange> r = ParseContentRange(c.text);
        ASSERT_EQ(r.has_value(), c.valid);
        if (!r) {
            continue;
        }
        EXPECT_EQ(r->satisfied, c.satisfied);
        EXPECT_EQ(r->first, c.first);
        EXPECT_EQ(r->last, c.last);
        EXPECT_EQ(r->total, c.total);
    }
}

TEST(RangeHeader, NamesTheInclusiveLastByte) {
    EXPECT_EQ(RangeHeaderLine(0, 16384), "Range: bytes=0-16383\r\n");
    EXPECT_EQ(RangeHeaderLine(32768, 1), "Range: bytes=32768-32768\r\n");
}

TEST(TransferEncoding, ChunkedOnlyWhenLast) {
    EXPECT_TRUE(IsChunkedEncoding("chunked"));
    EXPECT_TRUE(IsChunkedEncoding(" Chunked "));
    EXPECT_TRUE(IsChunkedEncoding("gzip, chunked"));
    EXPECT_FALSE(IsChunkedEncoding("chunked, gzip"));
    EXPECT_FALSE(IsChunkedEncoding("identity"));
    EXPECT_FALSE(IsChunkedEncoding(""));
}

TEST(RequestTarget, NothingCanEndTheRequestLine) {
    const struct {
        const char* object;
        const char* target;
    } kCases[] = {
        {"/a/b.mp3?x=1&y=2", "/a/b.mp3?x=1&y=2"},
        {"", "/"},
        {"index.html", "/index.html"},
        {"/my song.mp3", "/my%20song.mp3"},
        {"/a\r\nX-Injected: 1", "/a%0D%0AX-Injected:%201"},
        {"/\x7f\x80\xe9", "/%7F%80%E9"},
        {"/already%20escaped", "/already%20escaped"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.object);
        EXPECT_EQ(RequestTarget(c.object), c.target);
    }
}

TEST(ResolveLocation, RedirectTargets) {
    const struct {
        const char* server;
        uint16_t port;
        const char* object;
        const char* location;
        const char* url;
        bool secure = false;
    } kCases[] = {
        {"h", 80, "/a/b", "http://other/x", "http://other/x"},
        {"h", 443, "/a/b", "//other/x", "https://other/x", true},
        {"h", 443, "/a/b", "c.mp3", "https://h/a/c.mp3", true},
        {"h", 80, "/a/b", "/x", "https://h:80/x", true},
        {"h", 443, "/a/b", "/x", "http://h:443/x"},
        {"h", 80, "/a/b", "https://other/x", "https://other/x"},
        {"h", 80, "/a/b", "//other/x", "http://other/x"},
        {"h", 8080, "/a/b", "/x?y", "http://h:8080/x?y"},
        {"h", 80, "/a/b?q=/z", "c.mp3", "http://h/a/c.mp3"},
        {"h", 80, "/a/b", "?p=1", "http://h/a/b?p=1"},
        {"h", 80, "/", "", "http://h/"},
        {"127.0.0.1", 5000, "/files/x", "  /files/y  ", "http://127.0.0.1:5000/files/y"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.location);
        EXPECT_EQ(ResolveLocation(c.server, c.port, c.object, c.location, c.secure), c.url);
    }
}

TEST(HeaderLines, CountedOrTerminatedAndAlwaysEnded) {
    EXPECT_EQ(HeaderLines(nullptr, 0), "");
    EXPECT_EQ(HeaderLines("A: 1", 0), "A: 1\r\n");
    EXPECT_EQ(HeaderLines("A: 1\r\n", UINT32_MAX), "A: 1\r\n");
    EXPECT_EQ(HeaderLines("A: 1\r\nB: 2", 4), "A: 1\r\n");
    const char withZero[] = {'A', ':', '1', '\0', 'B'};
    EXPECT_EQ(HeaderLines(withZero, sizeof withZero), "A:1\r\n");
}

}  // namespace
}  // namespace afx::inet
