#include "quor_inet/crawler/playlist_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

Strings Read(const CString& text, const char* base = "http://host/lists/",
             WebRules rules = WebRules::kClassic) {
    CStringList refs;
    ReadPlaylist(text, base, refs, rules);
    Strings out;
    for (POSITION pos = refs.GetHeadPosition(); pos != nullptr;) {
        out.emplace_back(refs.GetNext(pos));
    }
    return out;
}

TEST(ReadPlaylist, Lines) {
    const struct {
        const char* name;
        const char* text;
        Strings expected;
    } cases[] = {
        {"empty", "", {}},
        {"one character", "x", {}},
        {"extended format",
         "#EXTM3U\r\n#EXTINF:123,Artist - One\r\nhttp://host/a.mp3\r\n"
         "#EXTINF:-1,Two\r\nhttp://host/b.mp3\r\n",
         {"http://host/a.mp3", "http://host/b.mp3"}},
        {"CR LF", "http://h/1.mp3\r\nhttp://h/2.mp3\r\n", {"http://h/1.mp3", "http://h/2.mp3"}},
        {"LF", "http://h/1.mp3\nhttp://h/2.mp3\n", {"http://h/1.mp3", "http://h/2.mp3"}},
        {"CR", "http://h/1.mp3\rhttp://h/2.mp3\r", {"http://h/1.mp3", "http://h/2.mp3"}},
        {"LF CR", "http://h/1.mp3\n\rhttp://h/2.mp3", {"http://h/1.mp3", "http://h/2.mp3"}},
        {"no line end at the end", "http://h/1.mp3", {"http://h/1.mp3"}},
        {"blank lines and white space",
         "\r\n\r\n \t \r\n\n\nhttp://h/1.mp3\r\n \r\n\t",
         {"http://h/1.mp3"}},
        {"line ends only", "\r\n\r\n\n\r", {}},
        {"leading blanks and tabs",
         "  \thttp://h/1.mp3\n\x01\x1fhttp://h/2.mp3",
         {"http://h/1.mp3", "http://h/2.mp3"}},
        {"trailing blanks stay", "http://h/1.mp3  \r\n", {"http://h/1.mp3  "}},
        {"upper case scheme unchanged", "HTTP://H/1.MP3", {"HTTP://H/1.MP3"}},
        {"relative name", "a.mp3\r\n", {}},
        {"relative path", "..\\music\\a.mp3\r\n", {}},
        {"local path", "C:\\music\\a.mp3\r\n", {}},
        {"file address gives its path", "file:///D:/music/a.mp3\r\n", {"D:/music/a.mp3"}},
        {"file address on a server", "file://srv/music/a.mp3", {"/music/a.mp3"}},
        {"https", "https://h/a.mp3", {"https://h/a.mp3"}},
        {"ftp", "ftp://h/a.mp3", {"ftp://h/a.mp3"}},
        {"other services", "gopher://h/a\nmailto:a@b\nnews:x.y\ntelnet://h\n", {}},
        {"commented entry", "#http://h/a.mp3\n", {}},
        {"no server", "http:///a.mp3\n", {}},
        {"high characters are not skipped", "\xA0http://h/a.mp3\n", {}},
        {"pages are listed too", "http://h/index.html", {"http://h/index.html"}},
        {"duplicates stay", "http://h/a.mp3\nhttp://h/a.mp3", {"http://h/a.mp3", "http://h/a.mp3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.text), c.expected);
    }
}

TEST(ReadPlaylist, BaseIsNotUsed) {
    const char* text = "a.mp3\nhttp://h/b.mp3\n/c.mp3\n";
    for (const char* base : {"http://host/lists/", "", "file:///C:/"}) {
        SCOPED_TRACE(base);
        EXPECT_EQ(Read(text, base), Strings({"http://h/b.mp3"}));
    }
}

TEST(ReadPlaylist, CurrentRulesResolveAgainstThePlaylist) {
    const char* list = "http://host/lists/all.m3u";
    const struct {
        const char* name;
        const char* base;
        const char* text;
        Strings expected;
    } cases[] = {
        {"relative entries",
         list,
         "#EXTM3U\r\na.mp3\r\nsub/b c.mp3  \r\n../up.mp3\r\n..\\win\\d.mp3\r\n",
         {"http://host/lists/a.mp3", "http://host/lists/sub/b%20c.mp3", "http://host/up.mp3",
          "http://host/win/d.mp3"}},
        {"root and scheme-relative",
         "https://host:8443/lists/all.m3u?x=1",
         "/r.mp3\n//cdn.example/s.mp3\n",
         {"https://host:8443/r.mp3", "https://cdn.example/s.mp3"}},
        {"absolute and file entries as the line stands",
         list,
         "HTTP://H/1.MP3  \nftp://h/2.mp3\nfile:///D:/music/a.mp3\n",
         {"HTTP://H/1.MP3  ", "ftp://h/2.mp3", "D:/music/a.mp3"}},
        {"byte order mark",
         list,
         "\xEF\xBB\xBF" "a.mp3\nhttp://h/b.mp3",
         {"http://host/lists/a.mp3", "http://h/b.mp3"}},
        {"other schemes and local paths give nothing",
         list,
         "mailto:a@b\nC:\\music\\a.mp3\njavascript:x\ngopher://h/a\n",
         {}},
        {"a local playlist resolves nothing",
         "C:\\music\\all.m3u",
         "a.mp3\nhttp://h/b.mp3",
         {"http://h/b.mp3"}},
        {"no base", "", "a.mp3\nhttp://h/b.mp3", {"http://h/b.mp3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.text, c.base, WebRules::kCurrent), c.expected);
    }
    // The classic rules read a byte order mark as part of the first line.
    EXPECT_EQ(Read("\xEF\xBB\xBFhttp://h/a.mp3\nhttp://h/b.mp3"), Strings({"http://h/b.mp3"}));
}

TEST(ReadPlaylist, TextEndsAtItsFirstZeroByteAndStaysAsItWas) {
    const CString text("http://h/1.mp3\r\n\0http://h/2.mp3\r\n", 33);
    EXPECT_EQ(Read(text), Strings({"http://h/1.mp3"}));
    EXPECT_EQ(text.GetLength(), 33);
    EXPECT_EQ(std::string(text, 33), std::string("http://h/1.mp3\r\n\0http://h/2.mp3\r\n", 33));
}

TEST(ReadPlaylist, ManyEntriesInOrder) {
    std::string text = "#EXTM3U\n";
    for (int i = 0; i < 5000; ++i) {
        text += "#EXTINF:1,t\nhttp://h/" + std::to_string(i) + ".mp3\n";
    }
    const Strings refs = Read(text.c_str());
    ASSERT_EQ(refs.size(), 5000u);
    EXPECT_EQ(refs.front(), "http://h/0.mp3");
    EXPECT_EQ(refs.back(), "http://h/4999.mp3");
}

}  // namespace
