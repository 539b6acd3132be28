#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a site's robots.txt lets a crawler fetch. Groups start with one or more User-agent
// lines and hold Allow and Disallow rules; the groups naming our agent are combined, and only
// without them the "*" groups. The longest matching rule decides, Allow on a tie; no matching
// rule allows. Paths may hold "*" (any run of characters) and a final "$" (the end of the
// address); "%xx" compare whatever the case of their digits. Field names are compared in any
// case, "#" starts a comment, lines end at CR, LF or CR LF. Pure text: safe on any thread.
class RobotsRules {
  public:
    RobotsRules() = default;  // allows everything
    // The groups of text (a robots.txt body) that apply to agent (our user agent's product
    // token; the part before any "/" or blank, compared case-insensitively); without such a
    // group, the "*" group; without either, everything is allowed. Only the first 500 KiB of
    // text are read.
    static RobotsRules Parse(std::string_view text, std::string_view agent);
    // Whether a path with its query ("/a/b.html?x") may be fetched. "/robots.txt" always may.
    bool Allows(std::string_view pathAndQuery) const;

  private:
    struct Rule {
        std::string pattern;  // normalised, without its "$"
        bool anchored = false;
        bool allow = false;
    };
    // Longest pattern first, Allow before Disallow of the same length: the first match decides.
    std::vector<Rule> m_rules;
};
