// What a search of the bundled sample site lists, as the search dialog shows it and as the
// command-line tool prints it: one table for every front end's tests. Texts are in the
// library's ANSI character set (cp1252); list lines and URLs are relative to the site's
// address, "http://127.0.0.1:<port>/".
#pragma once

#include <string>
#include <vector>

namespace quor::test {

struct SiteSearch {
    const char* start;  // page of the site where the search starts
    int depth;
    bool sameServer;
    std::vector<std::string> lines;
    std::vector<std::string> urls;  // every listed file, in list order, relative to the site
};

// Depth 1 on the start server; then, in the same dialog, a second search whose files are
// numbered on.
inline const SiteSearch kFirstSiteSearch = {
    "index.html",
    1,
    true,
    {"0: [24KB - 00:03] Quiet Morning - Caf\xE9 Trio", "1: [19KB - 00:04] Old Tag - Version Two",
     "2: [17KB] wind.wma", "3: [13KB - 00:03] Slow River - Loopback Choir",
     "4: [13KB - 00:04] Evening Hum - Quor Ensemble", "5: [9KB - 00:03] level1.mp3"},
    {"music/latin1.mp3", "music/v22.mp3", "sounds/wind.wma", "music/utf16.mp3", "music/lametag.mp3",
     "chain/level1.mp3"}};
inline const SiteSearch kSecondSiteSearch = {
    "chain/deep/level2.html",
    1,
    true,
    {"6: [9KB - 00:03] level2.mp3", "7: [9KB - 00:03] level3.mp3"},
    {"chain/deep/level2.mp3", "chain/deep/deeper/level3.mp3"}};

// The result text of the given files: their URLs joined by "*".
inline std::string ResultText(const std::string& site, const std::vector<std::string>& urls) {
    std::string text;
    for (const std::string& url : urls) {
        text += (text.empty() ? "" : "*") + site + url;
    }
    return text;
}

}  // namespace quor::test
