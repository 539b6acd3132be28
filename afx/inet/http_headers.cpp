#include "afx/inet/http_headers.h"

#include <cstring>

#include "afx/ascii.h"

namespace afx::inet {

namespace {

// Digits only, at most 18 of them, so the value fits without overflow.
std::optional<uint64_t> ParseNumber(std::string_view s) {
    if (s.empty() || s.size() > 18) {
        return std::nullopt;
    }
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return v;
}

}  // namespace

std::string_view TrimOptionalWhitespace(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<uint64_t> ParseContentLength(std::string_view value) {
    return ParseNumber(TrimOptionalWhitespace(value));
}

std::optional<ContentRange> ParseContentRange(std::string_view value) {
    value = TrimOptionalWhitespace(value);
    size_t space = value.find(' ');
    if (space == std::string_view::npos || !EqualsNoCase(value.substr(0, space), "bytes")) {
        return std::nullopt;
    }
    std::string_view rest = TrimOptionalWhitespace(value.substr(space + 1));
    size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view range = rest.substr(0, slash);
    std::string_view total = rest.substr(slash + 1);
    ContentRange r;
    if (total != "*") {
        r.total = ParseNumber(total);
        if (!r.total) {
            return std::nullopt;
        }
    }
    if (range == "*") {
        // An unsatisfied range must name the total.
        if (!r.total) {
            return std::nullopt;
        }
        return r;
    }
    size_t dash = range.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    std::optional<uint64_t> first = ParseNumber(range.substr(0, dash));
    std::optional<uint64_t> last = ParseNumber(range.substr(dash + 1));
    if (!first || !last || *last < *first || (r.total && *last >= *r.total)) {
        return std::nullopt;
    }
    r.satisfied = true;
    r.first = *first;
    r.last = *last;
    return r;
}

std::string RangeHeaderLine(uint64_t first, uint64_t count) {
    return "Range: bytes=" + std::to_string(first) + "-" + std::to_string(first + count - 1) +
           "\r\n";
}

bool IsChunkedEncoding(std::string_view value) {
    value = TrimOptionalWhitespace(value);
    size_t comma = value.rfind(',');
    if (comma != std::string_view::npos) {
        value = TrimOptionalWhitespace(value.substr(comma + 1));
    }
    return EqualsNoCase(value, "chunked");
}

std::string RequestTarget(std::string_view object) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(object.size() + 1);
    if (object.empty() || object.front() != '/') {
        out += '/';
    }
    for (char ch : object) {
        auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string ResolveLocation(std::string_view server, uint16_t port, std::string_view object,
                            std::string_view location, bool secure) {
    const std::string scheme = secure ? "https:" : "http:";
    const uint16_t defaultPort = secure ? 443 : 80;
    location = TrimOptionalWhitespace(location);
    size_t colon = location.find(':');
    size_t firstSpecial = location.find_first_of("/?#");
    if (colon != std::string_view::npos && colon > 0 &&
        (firstSpecial == std::string_view::npos || colon < firstSpecial)) {
        return std::string(location);  // has a scheme of its own
    }
    if (location.substr(0, 2) == "//") {
        return scheme + std::string(location);
    }
    std::string origin = scheme + "//" + std::string(server);
    if (port != defaultPort) {
        origin += ":" + std::to_string(port);
    }
    if (!location.empty() && location.front() == '/') {
        return origin + std::string(location);
    }
    std::string_view path = object.substr(0, object.find_first_of("?#"));
    size_t slash = path.rfind('/');
    std::string dir =
        slash == std::string_view::npos ? "/" : std::string(path.substr(0, slash + 1));
    if (dir.empty() || dir.front() != '/') {
        dir.insert(dir.begin(), '/');
    }
    if (location.empty()) {
        return origin + std::string(object.empty() ? "/" : object);
    }
    if (location.front() == '?' || location.front() == '#') {
        return origin + std::string(path.empty() ? "/" : path) + std::string(location);
    }
    return origin + dir + std::string(location);
}

std::string HeaderLines(const char* headers, uint32_t length) {
    if (headers == nullptr) {
        return {};
    }
    std::string out =
        (length == 0 || length == UINT32_MAX) ? std::string(headers) : std::string(headers, length);
    // A terminating zero inside the counted text ends it, as it would a C string.
    out.resize(strnlen(out.c_str(), out.size()));
    if (!out.empty() && out.back() != '\n') {
        out += "\r\n";
    }
    return out;
}

}  // namespace afx::inet
