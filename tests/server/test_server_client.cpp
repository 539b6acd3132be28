#include "tests/server/test_server_client.h"

#include <cstdio>
#include <cstdlib>

namespace quor::test {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value of the first header `name` in a response head; npos-safe.
bool FindHeader(std::string_view head, std::string_view name, std::string_view& value) {
    size_t pos = head.find('\n');
    while (pos != std::string_view::npos && pos + 1 < head.size()) {
        size_t start = pos + 1;
        size_t end = head.find('\n', start);
        std::string_view line = head.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() > name.size() && line[name.size()] == ':') {
            bool same = true;
            for (size_t i = 0; i < name.size() && same; ++i) {
                same = Lower(line[i]) == Lower(name[i]);
            }
            if (same) {
                value = line.substr(name.size() + 1);
                while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                    value.remove_prefix(1);
                }
                return true;
            }
        }
        pos = end;
    }
    return false;
}

bool ParseDecimal(std::string_view s, uint64_t& out) {
    if (s.empty() || s.size() > 19) {
        return false;
    }
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    out = v;
    return true;
}

bool Dechunk(std::string_view in, std::string& out) {
    out.clear();
    for (int guard = 0; guard < 1000000; ++guard) {
        size_t eol = in.find("\r\n");
        if (eol == std::string_view::npos) {
            return false;
        }
        uint64_t size = 0;
        size_t i = 0;
        for (; i < eol && in[i] != ';'; ++i) {
            char c = Lower(in[i]);
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
            if (d < 0 || size > (uint64_t{1} << 40)) {
                return false;
            }
            size = size * 16 + static_cast<uint64_t>(d);
        }
        if (i == 0) {
            return false;
        }
        in.remove_prefix(eol + 2);
        if (size == 0) {
            return true;
        }
        if (in.size() < size + 2) {
            return false;
        }
        out.append(in.substr(0, static_cast<size_t>(size)));
        in.remove_prefix(static_cast<size_t>(size) + 2);
    }
    return false;
}

bool ControlGet(uint16_t port, const std::string& target, std::string& body) {
    PlainResponse r;
    if (!PlainGet(port, target, r) || r.status != 200) {
        return false;
    }
    body = std::move(r.body);
    return true;
}

std::string EncodeQueryValue(std::string_view v) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : v) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

}  // namespace

uint16_t ParsePortFileText(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    uint64_t v = 0;
    if (!ParseDecimal(text, v) || v == 0 || v > 65535) {
        return 0;
    }
    return static_cast<uint16_t>(v);
}

uint16_t SharedTestServerPort() {
    const char* name = getenv("QUOR_TEST_SERVER_PORT_FILE");
    if (!name || !*name) {
        return 0;
    }
    FILE* f = fopen(detail::PlatformPath(name).c_str(), "rb");
    if (!f) {
        return 0;
    }
    char buf[32];
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    return ParsePortFileText(std::string_view(buf, n));
}

std::string SharedTestServerBaseUrl() {
    uint16_t port = SharedTestServerPort();
    return port ? "http://127.0.0.1:" + std::to_string(port) : std::string();
}

bool detail::ParseResponse(std::string_view raw, PlainResponse& out) {
    out = PlainResponse{};
    size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string_view::npos || raw.substr(0, 9).find("HTTP/1.") != 0 ||
        raw.size() < 12 || raw[8] != ' ') {
        return false;
    }
    uint64_t status = 0;
    if (!ParseDecimal(raw.substr(9, 3), status)) {
        return false;
    }
    std::string_view head = raw.substr(0, headEnd + 2);
    std::string_view body = raw.substr(headEnd + 4);
    std::string_view value;
    if (FindHeader(head, "Transfer-Encoding", value)) {
        if (!Dechunk(body, out.body)) {
            return false;
        }
    } else if (FindHeader(head, "Content-Length", value)) {
        uint64_t length = 0;
        if (!ParseDecimal(value, length) || body.size() < length) {
            return false;
        }
        out.body = std::string(body.substr(0, static_cast<size_t>(length)));
    } else {
        out.body = std::string(body);
    }
    out.head = std::string(head);
    out.status = static_cast<int>(status);
    return true;
}

bool PlainGet(uint16_t port, std::string_view target, PlainResponse& out, int timeoutMs) {
    out = PlainResponse{};
    std::string request = "GET " + std::string(target) +
                          " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                          "\r\nUser-Agent: quor-test-client\r\nConnection: close\r\n\r\n";
    std::string raw;
    if (!detail::ExchangeRaw(port, request, raw, timeoutMs)) {
        return false;
    }
    return detail::ParseResponse(raw, out);
}

bool FetchServerCounters(uint16_t port, std::string_view path, ServerCounters& out) {
    std::string target = "/_counters";
    if (!path.empty()) {
        target += "?path=" + EncodeQueryValue(path);
    }
    std::string body;
    if (!ControlGet(port, target, body)) {
        return false;
    }
    // The first two lines are "bytes=N" and "requests=N".
    bool haveBytes = false;
    bool haveRequests = false;
    std::string_view rest(body);
    for (int line = 0; line < 2 && !rest.empty(); ++line) {
        size_t nl = rest.find('\n');
        std::string_view l = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        if (l.rfind("bytes=", 0) == 0) {
            haveBytes = ParseDecimal(l.substr(6), out.bytes);
        } else if (l.rfind("requests=", 0) == 0) {
            haveRequests = ParseDecimal(l.substr(9), out.requests);
        }
    }
    return haveBytes && haveRequests;
}

bool ResetServerCounters(uint16_t port) {
    std::string body;
    return ControlGet(port, "/_reset", body);
}

bool FetchServerLog(uint16_t port, std::string& out) {
    return ControlGet(port, "/_log", out);
}

}  // namespace quor::test
