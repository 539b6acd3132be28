#include "quor_inet/crawler/url_resolution.h"

#include <algorithm>
#include <cstring>

#include "afx/ascii.h"

namespace url_text {
namespace {

constexpr size_t npos = std::string_view::npos;

// Keeps the value's characters except blanks, line feeds and carriage returns, up to its "#".
void AppendCleaned(std::string_view raw, std::string& out) {
    raw = raw.substr(0, raw.find('#'));
    for (char c : raw) {
        if (c != ' ' && c != '\n' && c != '\r') {
            out.push_back(c);
        }
    }
}

constexpr std::string_view kKeptSchemes[] = {
    "http://", "ftp://", "gopher://",
    // Only the first nine characters of this one are compared.
    std::string_view("GROPHER://", 9)};
constexpr std::string_view kWebHosts[] = {"www.", "www2.", "www3."};
constexpr std::string_view kPageExtensions[] = {".htm", ".html", ".php", ".php3", ".php4", ".asp"};

// "../" values: every successful search for "../" anywhere in what is left drops the first three
// characters, and the base loses one "/"-ended piece per search, the failing one included.
// Only removals at the front happen, so a search from the cut succeeds exactly while the last
// "../" of the value lies at or behind it; that keeps long chains of "../" linear.
void ResolveParent(std::string_view base, std::string& out) {
    const size_t last = out.rfind("../");
    size_t cut = 0;
    size_t count = 1;
    while (last != npos && cut <= last) {
        cut += 3;
        ++count;
    }
    size_t end = base.size();
    for (size_t i = 0; i < count && end > 0; ++i) {
        const size_t slash = base.substr(0, end).rfind('/');
        end = slash == npos ? 0 : slash;
    }
    out.erase(0, cut);
    out.insert(0, 1, '/');
    out.insert(0, base.substr(0, end));
}

}  // namespace

std::string_view View(const CString& text) noexcept {
    const char* chars = text;
    const size_t length = static_cast<size_t>(text.GetLength());
    const void* zero = std::memchr(chars, '\0', length);
    return std::string_view(chars, zero ? static_cast<const char*>(zero) - chars : length);
}

std::string_view PageBase(std::string_view pageUrl) noexcept {
    const size_t slash = pageUrl.rfind('/');
    const size_t backslash = pageUrl.rfind('\\');
    const size_t dot = pageUrl.rfind('.');
    // Positions as signed values: "not found" (-1) sorts before every position.
    const long s = slash == npos ? -1 : static_cast<long>(slash);
    const long b = backslash == npos ? -1 : static_cast<long>(backslash);
    const long d = dot == npos ? -1 : static_cast<long>(dot);
    const long cut = s > b ? s : b;
    if (d > cut) {
        return pageUrl.substr(0, static_cast<size_t>(cut + 1));
    }
    return pageUrl;
}

bool Resolve(std::string_view base, std::string_view tag, std::string_view keywordLower,
             std::string_view keywordUpper, std::string& out) {
    size_t at = tag.find(keywordLower);
    if (at == npos) {
        at = tag.find(keywordUpper);
        if (at == npos) {
            return false;
        }
    }
    const size_t start = at + keywordLower.size() + 1;
    if (start >= tag.size()) {
        return false;
    }
    const size_t quote = tag.find('"', start);
    if (quote == npos) {
        return false;
    }
    out.clear();
    AppendCleaned(tag.substr(start, quote - start), out);
    const std::string_view v = out;

    for (std::string_view scheme : kKeptSchemes) {
        if (afx::StartsWithNoCase(v, scheme)) {
            return true;
        }
    }
    for (std::string_view host : kWebHosts) {
        if (afx::StartsWithNoCase(v, host)) {
            out.insert(0, "http://");
            return true;
        }
    }
    if (v.substr(0, 3) == "../") {
        ResolveParent(base, out);
        return true;
    }
    if (!v.empty() && v[0] == '/') {
        // Host prefix: the base up to the first "/" after its first "."; none gives V alone.
        const size_t dot = base.find('.');
        const size_t end = dot == npos ? npos : base.find('/', dot);
        if (end != npos) {
            out.insert(0, base.substr(0, end));
        }
        return true;
    }
    if (v.empty()) {
        return false;
    }
    out.insert(0, base);
    return true;
}

int Classify(std::string& url) {
    if (url.empty()) {
        return 0;
    }
    if (url.find('?') != npos) {
        return 1;
    }
    const size_t lastDot = url.rfind('.');
    if (lastDot == npos) {
        return 1;
    }
    const size_t slash = url.rfind('/');
    const size_t scheme = url.find("://");
    const long r = slash == npos ? -1 : static_cast<long>(slash);
    const long p = scheme == npos ? -1 : static_cast<long>(scheme);
    if (r == p + 2) {
        url.push_back('/');
        return 1;
    }
    if (r + 1 == static_cast<long>(url.size())) {
        return 1;
    }
    if (static_cast<long>(lastDot) < r) {
        while (!url.empty() && afx::IsAsciiSpace(url.back())) {
            url.pop_back();
        }
        url.push_back('/');
        return 1;
    }
    const std::string_view extension = std::string_view(url).substr(lastDot);
    for (std::string_view page : kPageExtensions) {
        if (afx::EqualsNoCase(extension, page)) {
            return 1;
        }
    }
    return 0;
}

}  // namespace url_text

namespace {

CString ToCString(std::string_view text) {
    return CString(text.data(), static_cast<int>(text.size()));
}

}  // namespace

CString PageBaseAddress(const CString& pageUrl) {
    return ToCString(url_text::PageBase(url_text::View(pageUrl)));
}

void ResolveReference(const CString& baseUrl, const CString& tagText, const CString& keyword,
                      CString& value) {
    std::string lower(url_text::View(keyword));
    std::string upper = lower;
    std::transform(lower.begin(), lower.end(), lower.begin(), afx::AsciiLower);
    std::transform(upper.begin(), upper.end(), upper.begin(), afx::AsciiUpper);
    std::string out;
    if (url_text::Resolve(url_text::View(baseUrl), url_text::View(tagText), lower, upper, out)) {
        value = ToCString(out);
    }
}

int ClassifyReference(CString& url) {
    std::string text(url_text::View(url));
    const int result = url_text::Classify(text);
    if (text != url_text::View(url)) {
        url = ToCString(text);
    }
    return result;
}
