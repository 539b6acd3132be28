#include "quor_inet/crawler/robots_rules.h"

#include <algorithm>

#include "afx/ascii.h"

namespace {

constexpr size_t kLongestText = 500 * 1024;
constexpr size_t npos = std::string_view::npos;

constexpr bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A product token: up to the first "/" or blank.
std::string_view ProductToken(std::string_view agent) noexcept {
    agent = Trim(agent);
    const size_t end = agent.find_first_of("/ \t");
    return agent.substr(0, end);
}

constexpr bool IsHexDigit(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// One spelling for what a site and a server read alike: "%xx" in upper case, bytes a client
// would escape escaped.
std::string Normalise(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char u = static_cast<unsigned char>(text[i]);
        if (text[i] == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) &&
            IsHexDigit(text[i + 2])) {
            out.push_back('%');
            out.push_back(afx::AsciiUpper(text[i + 1]));
            out.push_back(afx::AsciiUpper(text[i + 2]));
            i += 2;
        } else if (u <= 0x20 || u >= 0x7f) {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Whether pattern ("*" any run) matches the start of path, or all of it when anchored. Greedy:
// on a mismatch only the last "*" takes one more character, so the work stays within
// path x pattern.
bool Matches(std::string_view pattern, std::string_view path, bool anchored) noexcept {
    size_t p = 0;
    size_t s = 0;
    size_t star = npos;
    size_t resume = 0;
    while (s < path.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = s;
        } else if (p < pattern.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
        } else if (p == pattern.size() && !anchored) {
            return true;
        } else if (star != npos) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view agent) {
    text = text.substr(0, kLongestText);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const std::string_view ours = ProductToken(agent);

    std::vector<Rule> mine;
    std::vector<Rule> anyone;
    bool mineSeen = false;
    // The group being read: whether it names us, names "*", and whether its agent lines are
    // over (a rule came).
    bool forMe = false;
    bool forAnyone = false;
    bool inRules = true;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        end = end == npos ? text.size() : end;
        std::string_view line = text.substr(at, end - at);
        at = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);

        line = line.substr(0, line.find('#'));
        const size_t colon = line.find(':');
        if (colon == npos) {
            continue;
        }
        const std::string_view field = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (afx::EqualsNoCase(field, "user-agent")) {
            if (inRules) {
                forMe = forAnyone = inRules = false;
            }
            const std::string_view token = ProductToken(value);
            if (token == "*") {
                forAnyone = true;
            } else if (!ours.empty() && afx::EqualsNoCase(token, ours)) {
                forMe = mineSeen = true;
            }
            continue;
        }
        const bool allow = afx::EqualsNoCase(field, "allow");
        if (!allow && !afx::EqualsNoCase(field, "disallow")) {
            continue;  // sitemap, crawl-delay and the like belong to no group
        }
        inRules = true;
        if (value.empty() || (!forMe && !forAnyone)) {
            continue;  // an empty rule allows all, which is what no rule does
        }
        Rule rule;
        rule.anchored = value.back() == '$';
        rule.pattern = Normalise(rule.anchored ? value.substr(0, value.size() - 1) : value);
        rule.allow = allow;
        if (forMe) {
            mine.push_back(rule);
        }
        if (forAnyone) {
            anyone.push_back(std::move(rule));
        }
    }

    RobotsRules rules;
    rules.m_rules = mineSeen ? std::move(mine) : std::move(anyone);
    // The same length with and without "$" counts alike: the octets of the path part.
    std::stable_sort(rules.m_rules.begin(), rules.m_rules.end(),
                     [](const Rule& a, const Rule& b) {
                         if (a.pattern.size() != b.pattern.size()) {
                             return a.pattern.size() > b.pattern.size();
                         }
                         return a.allow && !b.allow;
                     });
    return rules;
}

bool RobotsRules::Allows(std::string_view pathAndQuery) const {
    if (m_rules.empty()) {
        return true;
    }
    std::string path = Normalise(pathAndQuery.empty() ? std::string_view("/") : pathAndQuery);
    if (path == "/robots.txt") {
        return true;
    }
    for (const Rule& rule : m_rules) {
        if (Matches(rule.pattern, path, rule.anchored)) {
            return rule.allow;
        }
    }
    return true;
}
