#include "quor_inet/crawler/robots_rules.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Ask {
    const char* path;
    bool allowed;
};

TEST(RobotsRules, GroupsAndRules) {
    const char* agent = "QuorBot/2.0 (compatible)";
    const struct {
        const char* name;
        std::string text;
        std::vector<Ask> asks;
    } cases[] = {
        {"nothing", "", {{"/", true}, {"/a", true}}},
        {"everyone kept out", "User-agent: *\nDisallow: /\n", {{"/", false}, {"/a.mp3", false}}},
        {"empty disallow", "User-agent: *\nDisallow:\n", {{"/a", true}}},
        {"prefix", "User-agent: *\nDisallow: /private\n",
         {{"/private", false}, {"/private/x", false}, {"/privateer", false}, {"/pub", true},
          {"/Private", true}}},
        {"our group before the star group",
         "User-agent: *\nDisallow: /\n\nUser-agent: quorbot\nDisallow: /no/\n",
         {{"/a", true}, {"/no/x", false}}},
        {"our token without version, in any case",
         "User-agent: QUORBOT/1.0\nDisallow: /x\nUser-agent: *\nDisallow: /\n",
         {{"/x", false}, {"/y", true}}},
        {"other agents only", "User-agent: otherbot\nDisallow: /\n", {{"/", true}}},
        {"a similar token is another agent", "User-agent: quorbotx\nDisallow: /\n", {{"/", true}}},
        {"agent lines share a group",
         "User-agent: a\nUser-agent: QuorBot\nUser-agent: b\nDisallow: /x\n"
         "User-agent: c\nDisallow: /y\n",
         {{"/x", false}, {"/y", true}}},
        {"our groups are combined",
         "User-agent: quorbot\nDisallow: /a\nUser-agent: *\nDisallow: /b\n"
         "User-agent: quorbot\nDisallow: /c\n",
         {{"/a", false}, {"/b", true}, {"/c", false}}},
        {"an empty rule of ours allows all",
         "User-agent: quorbot\nDisallow:\n\nUser-agent: *\nDisallow: /\n",
         {{"/a", true}}},
        {"a blank line leaves the agent lines one group",
         "User-agent: quorbot\n\nUser-agent: *\nDisallow: /\n",
         {{"/a", false}}},
        {"longest rule wins",
         "User-agent: *\nDisallow: /music\nAllow: /music/free\nDisallow: /music/free/paid\n",
         {{"/music/x", false}, {"/music/free/a.mp3", true}, {"/music/free/paid/b", false}}},
        {"allow wins a tie", "User-agent: *\nDisallow: /a\nAllow: /a\n", {{"/a/x", true}}},
        {"wildcards and end anchor",
         "User-agent: *\nDisallow: /*.mp3$\nDisallow: /*?session=\nAllow: /ok*.mp3$\n",
         {{"/a/b.mp3", false}, {"/a/b.mp3?x", true}, {"/ok/x.mp3", true}, {"/p?session=1", false},
          {"/p?x=1&session=1", true}, {"/p.html", true}}},
        {"anchor only at the end",
         "User-agent: *\nDisallow: /a$b\nDisallow: /exact$\n",
         {{"/a$b/c", false}, {"/exact", false}, {"/exact/", true}}},
        {"query is part of the path", "User-agent: *\nDisallow: /search?\n",
         {{"/search?q=1", false}, {"/search", true}}},
        {"comments, CR, CR LF, field case, blanks",
         "\xEF\xBB\xBF# top\r\nUSER-AGENT : * # all\rdisallow:\t/a # a\r\nALLOW: /a/b\r\n",
         {{"/a", false}, {"/a/b", true}, {"/c", true}}},
        {"rules before any group and unknown lines",
         "Disallow: /\nSitemap: http://h/s.xml\nUser-agent: *\nCrawl-delay: 5\nDisallow: /x\n",
         {{"/", true}, {"/x", false}}},
        {"percent-encoding in any case",
         "User-agent: *\nDisallow: /caf%c3%a9\nDisallow: /b\xC3\xA4r\n",
         {{"/caf%C3%A9/x", false}, {"/caf\xC3\xA9", false}, {"/b%c3%a4r", false}, {"/cafe", true}}},
        {"robots.txt itself", "User-agent: *\nDisallow: /\n", {{"/robots.txt", true}}},
        {"empty path is the root", "User-agent: *\nDisallow: /$\n", {{"", false}, {"/a", true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RobotsRules rules = RobotsRules::Parse(c.text, agent);
        for (const Ask& ask : c.asks) {
            EXPECT_EQ(rules.Allows(ask.path), ask.allowed) << ask.path;
        }
    }
}

TEST(RobotsRules, DefaultAllowsAndTheTextIsBounded) {
    EXPECT_TRUE(RobotsRules().Allows("/a"));
    std::string text = "User-agent: *\nDisallow: /a\n";
    text += std::string(500 * 1024, '#') + "\nDisallow: /b\n";
    const RobotsRules rules = RobotsRules::Parse(text, "quorbot");
    EXPECT_FALSE(rules.Allows("/a"));
    EXPECT_TRUE(rules.Allows("/b"));
}

TEST(RobotsRules, WildcardsDoNotBacktrackWithoutEnd) {
    std::string pattern = "/";
    for (int i = 0; i < 200; ++i) {
        pattern += "*a";
    }
    const RobotsRules rules =
        RobotsRules::Parse("User-agent: *\nDisallow: " + pattern + "b$\n", "quorbot");
    EXPECT_TRUE(rules.Allows("/" + std::string(4000, 'a')));
    EXPECT_FALSE(rules.Allows("/" + std::string(4000, 'a') + "b"));
}

}  // namespace
