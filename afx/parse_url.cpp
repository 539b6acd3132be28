#include "afx/parse_url.h"

#include <string_view>
#include <utility>

#include "afx/ascii.h"

namespace {

struct Service {
    const char* scheme;
    uint32_t type;
    uint16_t defaultPort;
    bool needsServer;
    bool hasAuthority;  // needs "scheme://"; mailto:, news:, mid:, cid: go without
};

constexpr Service kServices[] = {
    {"http", AFX_INET_SERVICE_HTTP, 80, true, true},
    {"https", AFX_INET_SERVICE_HTTPS, 443, true, true},
    {"ftp", AFX_INET_SERVICE_FTP, 21, true, true},
    {"gopher", AFX_INET_SERVICE_GOPHER, 70, true, true},
    {"file", AFX_INET_SERVICE_FILE, 0, false, true},
    {"mailto", AFX_INET_SERVICE_MAILTO, 0, false, false},
    {"news", AFX_INET_SERVICE_NEWS, 119, false, false},
    {"nntp", AFX_INET_SERVICE_NNTP, 119, true, true},
    {"telnet", AFX_INET_SERVICE_TELNET, 23, true, true},
    {"wais", AFX_INET_SERVICE_WAIS, 210, true, true},
    {"mid", AFX_INET_SERVICE_MID, 0, false, false},
    {"cid", AFX_INET_SERVICE_CID, 0, false, false},
    {"prospero", AFX_INET_SERVICE_PROSPERO, 0, true, true},
    {"afs", AFX_INET_SERVICE_AFS, 0, false, true},
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

const Service* FindService(std::string_view scheme) {
    for (const Service& service : kServices) {
        if (afx::EqualsNoCase(scheme, service.scheme)) {
            return &service;
        }
    }
    return nullptr;
}

// First c in [begin, end), or null.
const char* FindIn(const char* begin, const char* end, char c) {
    for (const char* p = begin; p < end; ++p) {
        if (*p == c) {
            return p;
        }
    }
    return nullptr;
}

bool IsDriveAt(const char* p) {
    return afx::IsAsciiLetter(p[0]) && (p[1] == ':' || p[1] == '|');
}

// Parses the decimal port in [begin, end); empty text is "no port" (0).
bool ParsePort(const char* begin, const char* end, uint16_t& port) {
    if (begin == end) {
        port = 0;
        return true;
    }
    uint32_t value = 0;
    for (const char* p = begin; p < end; ++p) {
        if (!IsDigit(*p)) {
            return false;
        }
        value = value * 10 + uint32_t(*p - '0');
        if (value > 65535) {
            return false;
        }
    }
    if (value == 0) {
        return false;
    }
    port = uint16_t(value);
    return true;
}

bool ParseInto(const char* url, uint32_t& serviceType, CString& server, CString& object,
               uint16_t& port) {
    if (url == nullptr || !afx::IsAsciiLetter(url[0])) {
        return false;
    }
    const char* p = url;
    while (afx::IsAsciiLetter(*p) || IsDigit(*p) || *p == '+' || *p == '-' || *p == '.') {
        ++p;
    }
    if (*p != ':') {
        return false;
    }
    const Service* service = FindService(std::string_view(url, size_t(p - url)));
    if (service == nullptr) {
        return false;
    }
    ++p;  // past ':'

    if (p[0] != '/' || p[1] != '/') {
        // Only the schemes without a server may go on without "//".
        if (service->hasAuthority || *p == '\0') {
            return false;
        }
        CString rest(p);
        serviceType = service->type;
        server.Empty();
        object = std::move(rest);
        port = service->defaultPort;
        return true;
    }
    p += 2;

    // A file address whose "server" is a drive ("file:///D:/x", "file://D:/x") is a local path.
    if (service->type == AFX_INET_SERVICE_FILE) {
        const char* path = (p[0] == '/' && IsDriveAt(p + 1)) ? p + 1 : p;
        if (IsDriveAt(path)) {
            CString localPath(path);
            serviceType = service->type;
            server.Empty();
            object = std::move(localPath);
            port = service->defaultPort;
            return true;
        }
    }

    const char* authority = p;
    while (*p != '\0' && *p != '/' && *p != '?' && *p != '#') {
        ++p;
    }
    const char* authorityEnd = p;

    // The server follows the last '@' (user names and passwords are not returned).
    const char* host = authority;
    for (const char* q = authority; q < authorityEnd; ++q) {
        if (*q == '@') {
            host = q + 1;
        }
    }
    const char* hostEnd = authorityEnd;
    const char* portBegin = authorityEnd;
    if (host < authorityEnd && *host == '[') {
        // A bracketed IPv6 literal keeps its colons.
        const char* close = FindIn(host, authorityEnd, ']');
        if (close == nullptr) {
            return false;
        }
        hostEnd = close + 1;
        if (hostEnd < authorityEnd) {
            if (*hostEnd != ':') {
                return false;
            }
            portBegin = hostEnd + 1;
        }
    } else {
        const char* colon = FindIn(host, authorityEnd, ':');
        if (colon != nullptr) {
            hostEnd = colon;
            portBegin = colon + 1;
        }
    }
    for (const char* q = host; q < hostEnd; ++q) {
        if (static_cast<unsigned char>(*q) <= ' ' || *q == '\\') {
            return false;
        }
    }
    if (service->needsServer && hostEnd == host) {
        return false;
    }
    uint16_t parsedPort = 0;
    if (!ParsePort(portBegin, authorityEnd, parsedPort)) {
        return false;
    }

    CString parsedServer(host, int(hostEnd - host));
    CString parsedObject;
    if (*authorityEnd == '/') {
        parsedObject = authorityEnd;
    } else {
        parsedObject = "/";
        parsedObject += authorityEnd;
    }
    serviceType = service->type;
    server = std::move(parsedServer);
    object = std::move(parsedObject);
    port = parsedPort != 0 ? parsedPort : service->defaultPort;
    return true;
}

}  // namespace

int AfxParseURL(const char* url, uint32_t& serviceType, CString& server, CString& object,
                uint16_t& port) {
    if (ParseInto(url, serviceType, server, object, port)) {
        return 1;
    }
    serviceType = AFX_INET_SERVICE_UNK;
    server.Empty();
    object.Empty();
    port = 0;
    return 0;
}
