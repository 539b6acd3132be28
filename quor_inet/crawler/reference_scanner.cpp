#include "quor_inet/crawler/reference_scanner.h"

#include <cstring>
#include <string>
#include <string_view>

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
const TagRule* FindRule(std::string_view name) noexcept {
    if (name.size() > kLongestName) {
        return nullptr;
    }
    char lowered[kLongestName];
    for (size_t i = 0; i < name.size(); ++i) {
        lowered[i] = afx::AsciiLower(name[i]);
    }
    const std::string_view key(lowered, name.size());
    for (const TagRule& rule : kTagRules) {
        if (rule.name == key) {
            return &rule;
        }
    }
    return nullptr;
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
        const TagRule* rule = FindRule(tag.substr(1, nameLength));
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
        if (!url_text::Resolve(m_base, tag, rule->keyword->lower, rule->keyword->upper, m_value)) {
            return;
        }
        if (url_text::Classify(m_value) == 0) {
            m_fileRefs.AddTail(m_value.c_str());
        }
        // Asked again on the value as the first answer left it (it may have gained a "/").
        if (url_text::Classify(m_value) == 1) {
            m_pageRefs.AddTail(m_value.c_str());
        }
    }

  private:
    std::string_view m_base;
    CStringList& m_pageRefs;
    CStringList& m_fileRefs;
    std::string m_value;
    bool m_bNavigationSelect = false;
};

}  // namespace

void ScanPageReferences(const CString& pageText, const CString& baseUrl, CStringList& pageRefs,
                        CStringList& fileRefs) {
    const std::string_view text = url_text::View(pageText);
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
