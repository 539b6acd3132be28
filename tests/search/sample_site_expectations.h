// What a search of the bundled sample site lists, as the search dialog shows it and as the
// command-line tool prints it: one table for every front end's tests. Texts are in the
// library's ANSI character set (cp1252); list lines and URLs are relative to the site's
// address, "http://127.0.0.1:<port>/".
#pragma once

#include <string>
#include <utility>
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

// The second sample site (samples/current-site), searched from index.html at depth 1 on every
// server, under each rule set: one link or file for each rule of the current web. URLs are
// whole, with "@PORT@" for the site's http port and "@TLSPORT@" for its https port.
struct RuleSearch {
    std::vector<std::string> lines;
    std::vector<std::string> urls;
};
#define QUOR_HTTP "http://127.0.0.1:@PORT@/"
#define QUOR_HTTPS "https://localhost:@TLSPORT@/"
inline const char kCurrentSiteStart[] = QUOR_HTTP "index.html";
inline const RuleSearch kCurrentSiteOnTheCurrentWeb = {
    {"0: [9KB - 00:03] Plain Link - Both Rules", "1: [9KB - 00:03] single.mp3",
     "2: [9KB - 00:03] bare.mp3", "3: [9KB - 00:03] secure.mp3", "4: [9KB - 00:03] audio.mp3",
     "5: [9KB - 00:03] source.mp3", "6: [16KB] embed.wav",
     "7: [9KB - 00:03] Caf\xE9 L\xF3" "dz - Ensemble ?", "8: [9KB - 00:03] Tail Tag - Version One",
     "9: [9KB - 00:03] my%20song.mp3", "10: [9KB - 00:03] m%C3%BCsik.mp3",
     "11: [9KB - 00:03] dots.mp3", "12: [9KB - 00:03] shown.mp3", "13: [9KB - 00:03] rel.mp3",
     "14: [9KB - 00:03] later.mp3", "15: [9KB - 00:03] moved.mp3", "16: [9KB - 00:03] based.mp3",
     "17: [9KB - 00:03] rooted.mp3"},
    {QUOR_HTTP "classic.mp3", QUOR_HTTP "single.mp3", QUOR_HTTP "bare.mp3",
     QUOR_HTTPS "secure.mp3", QUOR_HTTP "audio.mp3", QUOR_HTTP "source.mp3",
     QUOR_HTTP "embed.wav", QUOR_HTTP "tags/v24.mp3", QUOR_HTTP "tags/v1.mp3",
     QUOR_HTTP "my%20song.mp3", QUOR_HTTP "m%C3%BCsik.mp3", QUOR_HTTP "dots.mp3",
     QUOR_HTTP "private/shown.mp3", QUOR_HTTP "tracks/rel.mp3", QUOR_HTTP "later.mp3",
     QUOR_HTTPS "moved.mp3", QUOR_HTTP "deep/based.mp3", "http://localhost:@PORT@/host/rooted.mp3"}};
inline const RuleSearch kCurrentSiteOnClassicRules = {
    {"0: [9KB - 00:03] Plain Link - Both Rules", "1: secure.mp3", "2: [9KB - 00:03] v24.mp3",
     "3: [9KB - 00:03] v1.mp3", "4: mysong.mp3", "5: [9KB - 00:03] m\xC3\xBCsik.mp3",
     "6: [9KB - 00:03] dots.mp3", "7: [9KB - 00:03] shown.mp3", "8: based.mp3",
     "9: [9KB - 00:03] hidden.mp3"},
    {QUOR_HTTP "classic.mp3", QUOR_HTTP "https://localhost:@TLSPORT@/secure.mp3",
     QUOR_HTTP "tags/v24.mp3", QUOR_HTTP "tags/v1.mp3", QUOR_HTTP "mysong.mp3",
     QUOR_HTTP "m\xC3\xBCsik.mp3", QUOR_HTTP "sub/../dots.mp3", QUOR_HTTP "private/shown.mp3",
     QUOR_HTTP "based.mp3", QUOR_HTTP "private/hidden.mp3"}};
#undef QUOR_HTTP
#undef QUOR_HTTPS

// text with the second site's ports put in.
inline std::string WithPorts(std::string text, int port, int tlsPort) {
    for (const auto& [mark, value] : {std::pair<std::string, int>{"@TLSPORT@", tlsPort},
                                      std::pair<std::string, int>{"@PORT@", port}}) {
        for (size_t at; (at = text.find(mark)) != std::string::npos;) {
            text.replace(at, mark.size(), std::to_string(value));
        }
    }
    return text;
}

// The result text of the given files: their URLs joined by "*".
inline std::string ResultText(const std::string& site, const std::vector<std::string>& urls) {
    std::string text;
    for (const std::string& url : urls) {
        text += (text.empty() ? "" : "*") + site + url;
    }
    return text;
}

}  // namespace quor::test
