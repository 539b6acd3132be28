#include "afx/inet/url_parts.h"

#include "afx/ascii.h"

namespace afx::inet {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view WithoutQuery(std::string_view object) {
    return object.substr(0, object.find_first_of("?#"));
}

// "C:..." or "C|..." at the start of path.
bool StartsWithDrive(std::string_view path) {
    return path.size() >= 2 && IsAsciiLetter(path[0]) && (path[1] == ':' || path[1] == '|') &&
           (path.size() == 2 || path[2] == '/' || path[2] == '\\');
}

}  // namespace

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

UrlCredentials CredentialsOf(std::string_view url) {
    UrlCredentials credentials;
    size_t start = url.find("//");
    if (start == std::string_view::npos) {
        return credentials;
    }
    std::string_view authority = url.substr(start + 2);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    size_t at = authority.rfind('@');
    if (at == std::string_view::npos) {
        return credentials;
    }
    std::string_view userInfo = authority.substr(0, at);
    size_t colon = userInfo.find(':');
    credentials.user = PercentDecode(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) {
        credentials.password = PercentDecode(userInfo.substr(colon + 1));
    }
    return credentials;
}

std::optional<std::string> LocalPathOfFileUrl(std::string_view server, std::string_view object,
                                              PathStyle style) {
    const bool local = server.empty() || EqualsNoCase(server, "localhost");
    std::string path = PercentDecode(WithoutQuery(object));
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    std::string_view rest = path;
    if (!rest.empty() && rest.front() == '/' && StartsWithDrive(rest.substr(1))) {
        rest.remove_prefix(1);
    }
    const bool drive = StartsWithDrive(rest);
    if (style == PathStyle::kPosix) {
        if (!local || drive || rest.empty() || rest.front() != '/') {
            return std::nullopt;
        }
        return std::string(rest);
    }
    std::string out;
    if (!local) {
        out = "//" + std::string(server);
        if (rest.empty() || rest.front() != '/') {
            out += '/';
        }
    }
    out += rest;
    if (drive && local) {
        out[1] = ':';
    }
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        }
    }
    return out;
}

std::optional<std::string> FtpPathOf(std::string_view object) {
    std::string_view encoded = WithoutQuery(object);
    if (!encoded.empty() && encoded.front() == '/') {
        encoded.remove_prefix(1);
    }
    std::string path = PercentDecode(encoded);
    if (path.empty() || path.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return std::nullopt;
    }
    return path;
}

}  // namespace afx::inet
