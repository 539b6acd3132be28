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


// The current web's resolution. An address is held as its parts, each already in the form it
// is written out in: "scheme://authority" + path + ("?" query).
namespace {

struct Address {
    std::string scheme;
    std::string authority;
    std::string path;
    std::string query;
    bool hasQuery = false;
};

constexpr bool IsTrimmed(char c) noexcept {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

// Trimmed, tabs and line breaks taken out, the fragment cut: what a browser parses.
std::string CleanReference(std::string_view raw) {
    size_t first = 0;
    size_t last = raw.size();
    while (first < last && IsTrimmed(raw[first])) {
        ++first;
    }
    while (last > first && IsTrimmed(raw[last - 1])) {
        --last;
    }
    std::string clean;
    clean.reserve(last - first);
    for (char c : raw.substr(first, last - first)) {
        if (c == '#') {
            break;
        }
        if (c != '\t' && c != '\n' && c != '\r') {
            clean.push_back(c);
        }
    }
    return clean;
}

// The scheme in lower case when text starts with one ("letter *(letter / digit / + - .) :");
// empty otherwise.
std::string SchemeOf(std::string_view text) {
    if (text.empty() || !afx::IsAsciiLetter(text[0])) {
        return {};
    }
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            std::string scheme(text.substr(0, i));
            std::transform(scheme.begin(), scheme.end(), scheme.begin(), afx::AsciiLower);
            return scheme;
        }
        if (!afx::IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' &&
            c != '.') {
            return {};
        }
    }
    return {};
}

bool IsWebScheme(std::string_view scheme) noexcept {
    return scheme == "http" || scheme == "https" || scheme == "ftp";
}

// What a browser escapes: controls, blank, DEL and above, and the set's own characters.
void AppendEncoded(std::string_view text, std::string_view escaped, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || escaped.find(c) != npos) {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        } else {
            out.push_back(c);
        }
    }
}

constexpr std::string_view kPathEscaped = "\"<>`{}";
constexpr std::string_view kQueryEscaped = "\"<>'";
constexpr std::string_view kUserEscaped = "\"<>`{}@^|";

bool IsDotSegment(std::string_view s) noexcept {
    return s == "." || afx::EqualsNoCase(s, "%2e");
}

bool IsDoubleDotSegment(std::string_view s) noexcept {
    if (s.size() < 2 || s.size() > 6) {
        return false;
    }
    const size_t split = s[0] == '.' ? 1 : 3;
    return split < s.size() && IsDotSegment(s.substr(0, split)) && IsDotSegment(s.substr(split));
}

// path starts with "/"; "." and ".." segments go, a last one leaves a closing "/".
std::string RemoveDotSegments(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    size_t at = 1;
    for (;;) {
        const size_t slash = path.find('/', at);
        const bool last = slash == npos;
        const std::string_view segment = path.substr(at, last ? npos : slash - at);
        if (IsDoubleDotSegment(segment)) {
            const size_t cut = out.rfind('/');
            out.erase(cut == npos ? 0 : cut);
            if (last) {
                out.push_back('/');
            }
        } else if (IsDotSegment(segment)) {
            if (last) {
                out.push_back('/');
            }
        } else {
            out.push_back('/');
            out.append(segment);
        }
        if (last) {
            return out;
        }
        at = slash + 1;
    }
}

// raw: the path as written, "/" first, backslashes already turned into "/".
void SetPath(std::string_view raw, Address& address) {
    std::string encoded;
    encoded.reserve(raw.size());
    AppendEncoded(raw, kPathEscaped, encoded);
    address.path = RemoveDotSegments(encoded);
}

bool IsHostCharacter(char c) noexcept {
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7f && std::string_view("\"#%/:<>?@[\\]^`{|}").find(c) == npos;
}

// raw: from after the "//" to the path's "/" or the end. Fails on an empty or invalid host or
// a port that is no number up to 65535.
bool SetAuthority(std::string_view raw, Address& address) {
    std::string& out = address.authority;
    out.clear();
    const size_t at = raw.rfind('@');
    if (at != npos) {
        if (at > 0) {
            AppendEncoded(raw.substr(0, at), kUserEscaped, out);
            out.push_back('@');
        }
        raw.remove_prefix(at + 1);
    }
    size_t hostEnd = 0;
    if (!raw.empty() && raw[0] == '[') {
        hostEnd = raw.find(']');
        if (hostEnd == npos || hostEnd == 1) {
            return false;
        }
        for (size_t i = 1; i < hostEnd; ++i) {
            const char c = afx::AsciiLower(raw[i]);
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.')) {
                return false;
            }
        }
        ++hostEnd;
    } else {
        hostEnd = raw.find(':');
        hostEnd = hostEnd == npos ? raw.size() : hostEnd;
        if (hostEnd == 0) {
            return false;
        }
        for (size_t i = 0; i < hostEnd; ++i) {
            if (!IsHostCharacter(raw[i])) {
                return false;
            }
        }
    }
    for (size_t i = 0; i < hostEnd; ++i) {
        out.push_back(afx::AsciiLower(raw[i]));
    }
    std::string_view port = raw.substr(hostEnd);
    if (port.empty()) {
        return true;
    }
    if (port[0] != ':') {
        return false;
    }
    port.remove_prefix(1);
    if (port.empty()) {
        return true;
    }
    long value = 0;
    for (char c : port) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
        if (value > 65535) {
            return false;
        }
    }
    out.push_back(':');
    out.append(port);
    return true;
}

// rest: what follows "scheme:" of an absolute address, path already in "/"; any number of
// slashes may come first.
bool SetFromAuthority(std::string_view rest, Address& address) {
    while (!rest.empty() && rest[0] == '/') {
        rest.remove_prefix(1);
    }
    const size_t slash = rest.find('/');
    if (!SetAuthority(rest.substr(0, slash), address)) {
        return false;
    }
    SetPath(slash == npos ? std::string_view("/") : rest.substr(slash), address);
    return true;
}

// A reference as browsers read it: before its "?" (backslashes as "/") and its query.
struct Reference {
    std::string head;
    std::string query;
    bool hasQuery = false;
};

Reference Split(std::string_view raw) {
    const std::string clean = CleanReference(raw);
    const size_t mark = clean.find('?');
    Reference reference;
    reference.head = clean.substr(0, mark);
    std::replace(reference.head.begin(), reference.head.end(), '\\', '/');
    reference.hasQuery = mark != npos;
    if (reference.hasQuery) {
        reference.query = clean.substr(mark + 1);
    }
    return reference;
}

void SetQuery(const Reference& reference, Address& address) {
    address.hasQuery = reference.hasQuery;
    address.query.clear();
    AppendEncoded(reference.query, kQueryEscaped, address.query);
}

bool ParseAbsolute(std::string_view text, Address& address) {
    const Reference reference = Split(text);
    address.scheme = SchemeOf(reference.head);
    if (!IsWebScheme(address.scheme) ||
        !SetFromAuthority(std::string_view(reference.head).substr(address.scheme.size() + 1),
                          address)) {
        return false;
    }
    SetQuery(reference, address);
    return true;
}

void Write(const Address& address, std::string& out) {
    out.clear();
    out.append(address.scheme).append("://").append(address.authority).append(address.path);
    if (address.hasQuery) {
        out.push_back('?');
        out.append(address.query);
    }
}

}  // namespace

bool ResolveCurrent(std::string_view base, std::string_view reference, std::string& out) {
    const Reference ref = Split(reference);
    std::string_view head = ref.head;
    const std::string scheme = SchemeOf(head);
    if (!scheme.empty() && !IsWebScheme(scheme)) {
        return false;
    }
    Address address;
    const bool haveBase = ParseAbsolute(base, address);
    bool ownAuthority = head.substr(0, 2) == "//";
    if (!scheme.empty()) {
        head.remove_prefix(scheme.size() + 1);
        // Within base's scheme "http:x" is relative, as in browsers; "http:/x" is not.
        ownAuthority = !haveBase || address.scheme != scheme || head.substr(0, 2) == "//";
        address.scheme = scheme;
    } else if (!haveBase) {
        return false;
    }

    if (ownAuthority) {
        if (!SetFromAuthority(head, address)) {
            return false;
        }
    } else if (!head.empty() && head[0] == '/') {
        SetPath(head, address);
    } else if (!head.empty()) {
        std::string merged = address.path.substr(0, address.path.rfind('/') + 1);
        AppendEncoded(head, kPathEscaped, merged);
        address.path = RemoveDotSegments(merged);
    }
    if (!head.empty() || ownAuthority || ref.hasQuery) {
        SetQuery(ref, address);
    }
    Write(address, out);
    return true;
}

}  // namespace url_text

namespace {

CString ToCString(std::string_view text) {
    return CString(text.data(), static_cast<int>(text.size()));
}

}  // namespace

CString PageBaseAddress(const CString& pageUrl, WebRules rules) {
    const std::string_view url = url_text::View(pageUrl);
    if (rules == WebRules::kCurrent) {
        return ToCString(url.substr(0, url.find('#')));
    }
    return ToCString(url_text::PageBase(url));
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
