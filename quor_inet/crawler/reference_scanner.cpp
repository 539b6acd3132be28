#include "quor_inet/crawler/reference_scanner.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "afx/ascii.h"
#include "quor_inet/crawler/url_resolution.h"

namespace {

struct Keyword {
    std::string_view lower;
    std::string_view upper;
};

constexpr Keyword kHref{"href=", "HREF="};
constexpr Keyword kBackground{"background=", "BACKGROUND="};
constexpr Keyword kUrl{"url=", "URL="};
constexpr Keyword kSrc{"src=", "SRC="};
constexpr Keyword kValue{"value=", "VALUE="};

enum class TagKind { kReference, kSelect, kOption };

struct TagRule {
    std::string_view name;
    TagKind kind;
    const Keyword* keyword;
};

constexpr TagRule kTagRules[] = {
    {"a", TagKind::kReference, &kHref},          {"area", TagKind::kReference, &kHref},
    {"body", TagKind::kReference, &kBackground}, {"table", TagKind::kReference, &kBackground},
    {"td", TagKind::kReference, &kBackground},   {"meta", TagKind::kReference, &kUrl},
    {"img", TagKind::kReference, &kSrc},         {"frame", TagKind::kReference, &kSrc},
    {"select", TagKind::kSelect, nullptr},       {"option", TagKind::kOption, &kValue},
};
constexpr size_t kLongestName = 6;

// The rule for a tag name in any case; null for names the table does not know.
template <typename Rule, size_t kCount>
const Rule* FindRule(const Rule (&rules)[kCount], std::string_view name) noexcept {
    if (name.size() > kLongestName) {
        return nullptr;
    }
    char lowered[kLongestName];
    for (size_t i = 0; i < name.size(); ++i) {
        lowered[i] = afx::AsciiLower(name[i]);
    }
    const std::string_view key(lowered, name.size());
    for (const Rule& rule : rules) {
        if (rule.name == key) {
            return &rule;
        }
    }
    return nullptr;
}

// Sorts an absolute address into the page or the file list.
void Collect(std::string& url, CStringList& pageRefs, CStringList& fileRefs) {
    if (url_text::Classify(url) == 0) {
        fileRefs.AddTail(url.c_str());
    }
    // Asked again on the value as the first answer left it (it may have gained a "/").
    if (url_text::Classify(url) == 1) {
        pageRefs.AddTail(url.c_str());
    }
}

class PageScanner {
  public:
    PageScanner(std::string_view base, CStringList& pageRefs, CStringList& fileRefs)
        : m_base(base), m_pageRefs(pageRefs), m_fileRefs(fileRefs) {
        m_value.reserve(base.size() + 256);
    }

    // tag runs from its "<" to its ">" inclusive.
    void HandleTag(std::string_view tag) {
        const void* blank = std::memchr(tag.data(), ' ', tag.size());
        if (blank == nullptr) {
            return;
        }
        const size_t nameLength =
            static_cast<size_t>(static_cast<const char*>(blank) - tag.data()) - 1;
        if (nameLength == 0) {
            return;  // "< x": no name either
        }
        const TagRule* rule = FindRule(kTagRules, tag.substr(1, nameLength));
        if (rule == nullptr) {
            m_bNavigationSelect = false;
            return;
        }
        if (rule->kind == TagKind::kSelect) {
            m_bNavigationSelect = tag.find("onChange") != std::string_view::npos;
            return;
        }
        if (rule->kind == TagKind::kOption && !m_bNavigationSelect) {
            return;
        }
        if (url_text::Resolve(m_base, tag, rule->keyword->lower, rule->keyword->upper, m_value)) {
            Collect(m_value, m_pageRefs, m_fileRefs);
        }
    }

  private:
    std::string_view m_base;
    CStringList& m_pageRefs;
    CStringList& m_fileRefs;
    std::string m_value;
    bool m_bNavigationSelect = false;
};


// The current web: tags and attributes read as browsers read them.
enum class CurrentKind { kReference, kSelect, kOption, kBase, kRefresh };

struct CurrentRule {
    std::string_view name;
    CurrentKind kind;
    std::string_view attribute;
};

constexpr CurrentRule kCurrentRules[] = {
    {"a", CurrentKind::kReference, "href"},
    {"area", CurrentKind::kReference, "href"},
    {"body", CurrentKind::kReference, "background"},
    {"table", CurrentKind::kReference, "background"},
    {"td", CurrentKind::kReference, "background"},
    {"img", CurrentKind::kReference, "src"},
    {"frame", CurrentKind::kReference, "src"},
    {"iframe", CurrentKind::kReference, "src"},
    {"audio", CurrentKind::kReference, "src"},
    {"source", CurrentKind::kReference, "src"},
    {"embed", CurrentKind::kReference, "src"},
    {"meta", CurrentKind::kRefresh, "content"},
    {"select", CurrentKind::kSelect, "onchange"},
    {"option", CurrentKind::kOption, "value"},
    {"base", CurrentKind::kBase, "href"},
};

// Elements whose content is text to a browser: no tag inside counts.
constexpr std::string_view kRawTextNames[] = {"script", "style", "textarea", "title"};

constexpr bool IsHtmlSpace(char c) noexcept {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

bool IsRawText(std::string_view name) noexcept {
    for (std::string_view raw : kRawTextNames) {
        if (afx::EqualsNoCase(name, raw)) {
            return true;
        }
    }
    return false;
}

struct Attribute {
    std::string_view name;
    std::string_view value;
};

constexpr size_t npos = std::string_view::npos;

// A character reference's code point as UTF-8.
void AppendCodePoint(unsigned long code, std::string& out) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        code = 0xFFFD;
    }
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

int DigitValue(char c, bool hex) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = afx::AsciiLower(c);
    return hex && lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// The length of the character reference at text[0] ("&"), its text appended to out; 0 for
// an "&" that starts none.
size_t DecodeReference(std::string_view text, std::string& out) {
    static constexpr struct {
        std::string_view name;
        char c;
    } kNamed[] = {
        {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'},
    };
    for (const auto& named : kNamed) {
        if (text.substr(0, named.name.size()) == named.name) {
            out.push_back(named.c);
            return named.name.size();
        }
    }
    if (text.size() < 3 || text[1] != '#') {
        return 0;
    }
    const bool hex = text[2] == 'x' || text[2] == 'X';
    size_t at = hex ? 3 : 2;
    const size_t first = at;
    unsigned long code = 0;
    for (int digit; at < text.size() && (digit = DigitValue(text[at], hex)) >= 0; ++at) {
        code = code > 0x10FFFF ? code : code * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (at == first) {
        return 0;
    }
    if (at < text.size() && text[at] == ';') {
        ++at;
    }
    AppendCodePoint(code, out);
    return at;
}

// The attribute's value with its character references decoded; out holds it when it has any.
std::string_view DecodeValue(std::string_view value, std::string& out) {
    size_t amp = value.find('&');
    if (amp == npos) {
        return value;
    }
    out.assign(value.substr(0, amp));
    while (amp < value.size()) {
        const size_t taken = value[amp] == '&' ? DecodeReference(value.substr(amp), out) : 0;
        if (taken == 0) {
            out.push_back(value[amp]);
            ++amp;
        } else {
            amp += taken;
        }
    }
    return out;
}

// The address of a refresh's content ("5; url=next.html", "0;URL='x'", "3, x"); empty when it
// names none.
std::string_view RefreshAddress(std::string_view content) noexcept {
    size_t at = 0;
    while (at < content.size() && IsHtmlSpace(content[at])) {
        ++at;
    }
    const size_t time = at;
    while (at < content.size() &&
           ((content[at] >= '0' && content[at] <= '9') || content[at] == '.')) {
        ++at;
    }
    if (at == time) {
        return {};
    }
    while (at < content.size() && IsHtmlSpace(content[at])) {
        ++at;
    }
    if (at < content.size() && (content[at] == ';' || content[at] == ',')) {
        ++at;
    }
    while (at < content.size() && IsHtmlSpace(content[at])) {
        ++at;
    }
    std::string_view rest = content.substr(at);
    if (afx::StartsWithNoCase(rest, "url")) {
        size_t equals = 3;
        while (equals < rest.size() && IsHtmlSpace(rest[equals])) {
            ++equals;
        }
        if (equals < rest.size() && rest[equals] == '=') {
            rest.remove_prefix(equals + 1);
            while (!rest.empty() && IsHtmlSpace(rest[0])) {
                rest.remove_prefix(1);
            }
        }
    }
    if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) {
        const size_t close = rest.find(rest[0], 1);
        return rest.substr(1, close == npos ? npos : close - 1);
    }
    return rest;
}

class CurrentPageScanner {
  public:
    CurrentPageScanner(std::string_view base, CStringList& pageRefs, CStringList& fileRefs)
        : m_pageBase(base), m_base(base), m_pageRefs(pageRefs), m_fileRefs(fileRefs) {}

    void Scan(std::string_view text) {
        size_t at = 0;
        while ((at = text.find('<', at)) != npos) {
            at = Markup(text, at);
        }
    }

  private:
    // Reads the markup starting at text[at] ("<"); gives where the scan goes on, npos when the
    // page has nothing more.
    size_t Markup(std::string_view text, size_t at) {
        const std::string_view rest = text.substr(at);
        if (rest.substr(0, 4) == "<!--") {
            // "<!-->" and "<!--->" close at once, as in browsers.
            const size_t close = text.find("-->", at + 2);
            return close == npos ? npos : close + 3;
        }
        if (rest.size() < 2) {
            return npos;
        }
        // End tags, declarations and processing instructions name nothing to follow.
        if (rest[1] == '/' || rest[1] == '!' || rest[1] == '?') {
            const size_t close = text.find('>', at);
            return close == npos ? npos : close + 1;
        }
        if (!afx::IsAsciiLetter(rest[1])) {
            return at + 1;
        }
        size_t end = at + 1;
        while (end < text.size() && !IsHtmlSpace(text[end]) && text[end] != '/' &&
               text[end] != '>') {
            ++end;
        }
        const std::string_view name = text.substr(at + 1, end - at - 1);
        end = ReadAttributes(text, end);
        if (end == npos) {
            return npos;  // a tag the page does not close is no tag
        }
        HandleTag(name);
        return IsRawText(name) ? SkipRawText(text, end, name) : end;
    }

    // Fills m_attributes from text[at]; gives the position after the tag's ">", npos when the
    // tag does not end.
    size_t ReadAttributes(std::string_view text, size_t at) {
        m_attributes.clear();
        const size_t n = text.size();
        for (;;) {
            while (at < n && (IsHtmlSpace(text[at]) || text[at] == '/')) {
                ++at;
            }
            if (at >= n) {
                return npos;
            }
            if (text[at] == '>') {
                return at + 1;
            }
            const size_t nameStart = at++;
            while (at < n && !IsHtmlSpace(text[at]) && text[at] != '/' && text[at] != '>' &&
                   text[at] != '=') {
                ++at;
            }
            Attribute attribute{text.substr(nameStart, at - nameStart), {}};
            while (at < n && IsHtmlSpace(text[at])) {
                ++at;
            }
            if (at < n && text[at] == '=') {
                ++at;
                while (at < n && IsHtmlSpace(text[at])) {
                    ++at;
                }
                if (at >= n) {
                    return npos;
                }
                if (text[at] == '"' || text[at] == '\'') {
                    const size_t close = text.find(text[at], at + 1);
                    if (close == npos) {
                        return npos;
                    }
                    attribute.value = text.substr(at + 1, close - at - 1);
                    at = close + 1;
                } else {
                    const size_t start = at;
                    while (at < n && !IsHtmlSpace(text[at]) && text[at] != '>') {
                        ++at;
                    }
                    attribute.value = text.substr(start, at - start);
                }
            }
            m_attributes.push_back(attribute);
        }
    }

    // From after a raw text element's start tag to its end tag.
    static size_t SkipRawText(std::string_view text, size_t at, std::string_view name) {
        while ((at = text.find("</", at)) != npos) {
            const size_t after = at + 2 + name.size();
            if (after <= text.size() &&
                afx::EqualsNoCase(text.substr(at + 2, name.size()), name) &&
                (after == text.size() || IsHtmlSpace(text[after]) || text[after] == '/' ||
                 text[after] == '>')) {
                return at;
            }
            at += 2;
        }
        return npos;
    }

    // The first attribute of that name, as browsers keep it; null when the tag has none.
    const Attribute* Find(std::string_view name) const noexcept {
        for (const Attribute& attribute : m_attributes) {
            if (afx::EqualsNoCase(attribute.name, name)) {
                return &attribute;
            }
        }
        return nullptr;
    }

    void HandleTag(std::string_view name) {
        const CurrentRule* rule = FindRule(kCurrentRules, name);
        if (rule == nullptr) {
            m_bNavigationSelect = false;
            return;
        }
        const Attribute* attribute = Find(rule->attribute);
        if (rule->kind == CurrentKind::kSelect) {
            m_bNavigationSelect = attribute != nullptr;
            return;
        }
        if (attribute == nullptr || (rule->kind == CurrentKind::kOption && !m_bNavigationSelect)) {
            return;
        }
        std::string_view value = DecodeValue(attribute->value, m_decoded);
        if (rule->kind == CurrentKind::kBase) {
            if (!m_bBaseSeen) {
                m_bBaseSeen = true;
                if (url_text::ResolveCurrent(m_pageBase, value, m_value)) {
                    m_base = m_value;
                }
            }
            return;
        }
        if (rule->kind == CurrentKind::kRefresh) {
            const Attribute* equiv = Find("http-equiv");
            if (equiv == nullptr || !afx::EqualsNoCase(equiv->value, "refresh")) {
                return;
            }
            value = RefreshAddress(value);
            if (value.empty()) {
                return;
            }
        }
        if (url_text::ResolveCurrent(m_base, value, m_value)) {
            Collect(m_value, m_pageRefs, m_fileRefs);
        }
    }

    std::string_view m_pageBase;
    std::string m_base;
    CStringList& m_pageRefs;
    CStringList& m_fileRefs;
    std::vector<Attribute> m_attributes;
    std::string m_decoded;
    std::string m_value;
    bool m_bNavigationSelect = false;
    bool m_bBaseSeen = false;
};

}  // namespace

void ScanPageReferences(const CString& pageText, const CString& baseUrl, CStringList& pageRefs,
                        CStringList& fileRefs, WebRules rules) {
    const std::string_view text = url_text::View(pageText);
    if (rules == WebRules::kCurrent) {
        CurrentPageScanner(url_text::View(baseUrl), pageRefs, fileRefs).Scan(text);
        return;
    }
    if (text.size() < 2) {
        return;
    }
    PageScanner scanner(url_text::View(baseUrl), pageRefs, fileRefs);
    const char* const end = text.data() + text.size();
    const char* from = text.data();
    for (;;) {
        const char* open = static_cast<const char*>(std::memchr(from, '<', size_t(end - from)));
        if (open == nullptr) {
            return;
        }
        const char* close = static_cast<const char*>(std::memchr(open, '>', size_t(end - open)));
        if (close == nullptr) {
            return;
        }
        scanner.HandleTag(std::string_view(open, size_t(close - open) + 1));
        if (close >= end - 1) {
            return;
        }
        // The next search starts at the ">" just found.
        from = close;
    }
}
