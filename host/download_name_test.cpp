#include "host/download_name.h"

#include <gtest/gtest.h>

namespace {

// Whatever a page names, the file lands inside the download folder under a valid name.
TEST(DownloadFileName, StaysInsideTheFolder) {
    const struct {
        const char* url;
        const char* name;
    } cases[] = {
        {"http://h/music/song.mp3", "song.mp3"},
        {"http://h/music/song.mp3?dl=1#t", "song.mp3"},
        {"http://h/a%20b.mp3", "a b.mp3"},
        {"http://h/..%2F..%2Fwin.ini", ".._.._win.ini"},
        {"http://h/x%5C..%5Cy.mp3", "x_.._y.mp3"},
        {"http://h/dir\\song.wav", "song.wav"},
        {"http://h/..", "download"},
        {"http://h/", "download"},
        {"http://h/CON.mp3", "_CON.mp3"},
        {"http://h/a:b*c?.mp3", "a_b_c"},
        {"http://h/name. . ", "name"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quor_host::DownloadFileName(c.url, 64), c.name) << c.url;
    }
    const std::string longName = quor_host::DownloadFileName(
        "http://h/" + std::string(300, 'x') + ".mp3", 40);
    EXPECT_EQ(longName.size(), 40u);
    EXPECT_EQ(longName.substr(36), ".mp3");
    EXPECT_EQ(quor_host::NumberedFileName("song.mp3", 1), "song.mp3");
    EXPECT_EQ(quor_host::NumberedFileName("song.mp3", 3), "song (3).mp3");
    EXPECT_EQ(quor_host::NumberedFileName("readme", 2), "readme (2)");
}

}  // namespace
