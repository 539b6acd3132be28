#include "tests/server/test_http_server.h"

#include "afx/ascii.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <thread>

namespace quor::test {

namespace {

constexpr size_t kMaxChunk = 1 << 20;
constexpr uint64_t kMaxRequestBody = 1 << 20;
constexpr uint64_t kMaxFixtureFile = uint64_t{64} << 20;
constexpr int kMaxDelayMs = 10000;
constexpr int kCloseDrainMs = 2000;
constexpr uint64_t kMaxLinks = 100000;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

using afx::AsciiLower;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// Digits only, nothing else, no overflow.
bool ParseU64(std::string_view s, uint64_t& out) {
    if (s.empty() || s.size() > 20) {
        return false;
    }
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10) {
            return false;
        }
        v = v * 10 + d;
    }
    out = v;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// A malformed escape stays as it stands, the way lenient servers treat it.
std::string PercentDecode(std::string_view s, bool plusIsSpace) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%' && i + 2 < s.size()) {
            int hi = HexValue(s[i + 1]);
            int lo = HexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(plusIsSpace && c == '+' ? ' ' : c);
    }
    return out;
}

struct Query {
    std::vector<std::pair<std::string, std::string>> items;

    explicit Query(std::string_view q) {
        while (!q.empty()) {
            size_t amp = q.find('&');
            std::string_view item = q.substr(0, amp);
            q = amp == std::string_view::npos ? std::string_view() : q.substr(amp + 1);
            if (item.empty()) {
                continue;
            }
            size_t eq = item.find('=');
            std::string_view name = item.substr(0, eq);
            std::string_view value =
                eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
            items.emplace_back(PercentDecode(name, true), PercentDecode(value, true));
        }
    }
    const std::string* Get(std::string_view name) const {
        for (const auto& [n, v] : items) {
            if (n == name) {
                return &v;
            }
        }
        return nullptr;
    }
};

const char* ReasonPhrase(int status) {
    static const std::pair<int, const char*> kPhrases[] = {
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {204, "No Content"},
        {206, "Partial Content"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {408, "Request Timeout"},
        {410, "Gone"},
        {413, "Content Too Large"},
        {416, "Range Not Satisfiable"},
        {431, "Request Header Fields Too Large"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
    };
    for (const auto& [code, phrase] : kPhrases) {
        if (code == status) {
            return phrase;
        }
    }
    if (status >= 200 && status < 300) {
        return "Success";
    }
    if (status >= 300 && status < 400) {
        return "Redirection";
    }
    if (status >= 400 && status < 500) {
        return "Client Error";
    }
    return "Server Error";
}

std::string ContentTypeFor(std::string_view name) {
    size_t dot = name.rfind('.');
    std::string ext;
    if (dot != std::string_view::npos && name.find('/', dot) == std::string_view::npos) {
        for (char c : name.substr(dot + 1)) {
            ext.push_back(AsciiLower(c));
        }
    }
    static const std::pair<const char*, const char*> kTypes[] = {
        {"html", "text/html"},      {"htm", "text/html"},  {"txt", "text/plain"},
        {"m3u", "audio/x-mpegurl"}, {"mp3", "audio/mpeg"}, {"wav", "audio/wav"},
        {"wma", "audio/x-ms-wma"},  {"css", "text/css"},   {"js", "text/javascript"},
        {"png", "image/png"},       {"jpg", "image/jpeg"}, {"gif", "image/gif"},
    };
    for (const auto& [e, type] : kTypes) {
        if (ext == e) {
            return type;
        }
    }
    return "application/octet-stream";
}

std::string HtmlEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

bool HasControlChars(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A path below a base directory, split on '/', with no ".." segment and no NUL.
enum class PathCheck { kOk, kForbidden, kBad };
PathCheck CheckRelativePath(std::string_view rel) {
    if (rel.find('\0') != std::string_view::npos) {
        return PathCheck::kBad;
    }
    size_t start = 0;
    while (start <= rel.size()) {
        size_t slash = rel.find('/', start);
        std::string_view seg = rel.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (seg == "..") {
            return PathCheck::kForbidden;
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return PathCheck::kOk;
}

// The real path of base/rel when it exists and lies inside realBase; errno-like outcome.
enum class Resolve { kOk, kMissing, kOutside };
Resolve ResolveBelow(const std::string& realBase, std::string_view rel, std::string& out) {
    std::string full = realBase + "/" + std::string(rel);
    char* real = realpath(full.c_str(), nullptr);
    if (!real) {
        return Resolve::kMissing;
    }
    std::string r(real);
    free(real);
    if (r.size() <= realBase.size() || r.compare(0, realBase.size(), realBase) != 0 ||
        r[realBase.size()] != '/') {
        return r == realBase ? Resolve::kMissing : Resolve::kOutside;
    }
    out = std::move(r);
    return Resolve::kOk;
}

void FillPattern(uint64_t offset, char* dst, size_t n) {
    unsigned v = PatternByte(offset);
    for (size_t i = 0; i < n; ++i) {
        dst[i] = static_cast<char>(v);
        v += 7;
        if (v >= 251) {
            v -= 251;
        }
    }
}

void FillMp3(std::string_view fixture, uint64_t offset, char* dst, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint64_t at = offset + i;
        dst[i] = at < fixture.size() ? fixture[at]
                                     : static_cast<char>(Mp3FillerByte(at - fixture.size()));
    }
}

enum class RangeResult { kNone, kOk, kUnsatisfiable };

// One "bytes=" range; several ranges or a malformed header are ignored (the whole body).
RangeResult ParseRange(std::string_view header, uint64_t size, uint64_t& first, uint64_t& last) {
    header = Trim(header);
    size_t eq = header.find('=');
    if (eq == std::string_view::npos || !afx::EqualsNoCase(Trim(header.substr(0, eq)), "bytes")) {
        return RangeResult::kNone;
    }
    std::string_view range = Trim(header.substr(eq + 1));
    if (range.find(',') != std::string_view::npos) {
        return RangeResult::kNone;
    }
    size_t dash = range.find('-');
    if (dash == std::string_view::npos) {
        return RangeResult::kNone;
    }
    std::string_view a = Trim(range.substr(0, dash));
    std::string_view b = Trim(range.substr(dash + 1));
    if (a.empty()) {
        uint64_t n = 0;
        if (!ParseU64(b, n)) {
            return RangeResult::kNone;
        }
        if (n == 0 || size == 0) {
            return RangeResult::kUnsatisfiable;
        }
        first = size - std::min(n, size);
        last = size - 1;
        return RangeResult::kOk;
    }
    uint64_t from = 0;
    uint64_t to = UINT64_MAX;
    if (!ParseU64(a, from) || (!b.empty() && !ParseU64(b, to)) || to < from) {
        return RangeResult::kNone;
    }
    if (from >= size) {
        return RangeResult::kUnsatisfiable;
    }
    first = from;
    last = std::min(to, size - 1);
    return RangeResult::kOk;
}

struct Request : LoggedRequest {
    int minor = 1;
    bool keepAlive = true;
    bool head = false;
    std::string decodedPath;
    std::string query;
};

enum class Framing { kLength, kChunked, kClose };

using FillFn = std::function<bool(uint64_t offset, char* dst, size_t n)>;

// A regular file of the document root, open for reading; closed with the object.
struct RootFile {
    int fd = -1;
    uint64_t size = 0;

    RootFile() = default;
    RootFile(const RootFile&) = delete;
    RootFile& operator=(const RootFile&) = delete;
    ~RootFile() {
        if (fd >= 0) {
            close(fd);
        }
    }
    bool IsOpen() const { return fd >= 0; }
    FillFn Fill() const {
        return [fd = fd](uint64_t off, char* dst, size_t n) {
            size_t got = 0;
            while (got < n) {
                ssize_t k = pread(fd, dst + got, n - got, static_cast<off_t>(off + got));
                if (k < 0 && errno == EINTR) {
                    continue;
                }
                if (k <= 0) {
                    return false;  // the file shrank under us: end the connection
                }
                got += static_cast<size_t>(k);
            }
            return true;
        };
    }
};

}  // namespace

std::string PatternBytes(uint64_t offset, size_t count) {
    std::string s(count, '\0');
    FillPattern(offset, s.data(), count);
    return s;
}

std::string Mp3Body(std::string_view fixture, uint64_t size) {
    std::string s(static_cast<size_t>(size), '\0');
    FillMp3(fixture, 0, s.data(), s.size());
    return s;
}

std::string LoggedRequest::Header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (afx::EqualsNoCase(n, name)) {
            return v;
        }
    }
    return {};
}

bool LoggedRequest::HasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return afx::EqualsNoCase(h.first, name); });
}

struct ServerState {
    TestHttpServer::Options opt;
    std::string lastError;
    std::string rootReal;
    std::string fixtureDirReal;
    int listenFd = -1;
    int wake[2] = {-1, -1};
    uint16_t port = 0;
    std::atomic<bool> running{false};
    std::thread acceptThread;

    struct Conn {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    std::mutex connMu;
    std::list<std::unique_ptr<Conn>> conns;
    std::atomic<uint64_t> accepted{0};

    struct Counter {
        uint64_t bytes = 0;
        uint64_t requests = 0;
    };
    mutable std::mutex countMu;
    std::map<std::string, Counter, std::less<>> counters;
    Counter total;

    mutable std::mutex logMu;
    std::deque<LoggedRequest> log;

    mutable std::mutex busyMu;
    mutable std::condition_variable busyCv;
    int busy = 0;

    std::mutex fixMu;
    std::map<std::string, std::shared_ptr<const std::string>, std::less<>> fixtures;

    void AcceptLoop();
    void ReapFinished(bool all);
    void ServeConnection(Conn* c);

    void AddRequest(const std::string& path) {
        std::lock_guard lock(countMu);
        auto it = counters.find(path);
        if (it == counters.end()) {
            it = counters.emplace(path, Counter{}).first;
        }
        ++it->second.requests;
        ++total.requests;
    }
    void AddBytes(const std::string& path, int64_t delta) {
        std::lock_guard lock(countMu);
        auto it = counters.find(path);
        if (it == counters.end()) {
            it = counters.emplace(path, Counter{}).first;
        }
        it->second.bytes += static_cast<uint64_t>(delta);
        total.bytes += static_cast<uint64_t>(delta);
    }
    void AddLog(const LoggedRequest& r) {
        std::lock_guard lock(logMu);
        log.push_back(r);
        while (log.size() > opt.logCapacity) {
            log.pop_front();
        }
    }
    std::shared_ptr<const std::string> FindFixture(std::string_view name, int& status);
};

std::shared_ptr<const std::string> ServerState::FindFixture(std::string_view name, int& status) {
    {
        std::lock_guard lock(fixMu);
        auto it = fixtures.find(name);
        if (it != fixtures.end()) {
            return it->second;
        }
    }
    status = 404;
    if (fixtureDirReal.empty()) {
        return nullptr;
    }
    if (CheckRelativePath(name) != PathCheck::kOk || name.empty() || name[0] == '/') {
        status = 403;
        return nullptr;
    }
    std::string full;
    Resolve res = ResolveBelow(fixtureDirReal, name, full);
    if (res != Resolve::kOk) {
        status = res == Resolve::kOutside ? 403 : 404;
        return nullptr;
    }
    FILE* f = fopen(full.c_str(), "rb");
    if (!f) {
        return nullptr;
    }
    auto bytes = std::make_shared<std::string>();
    char buf[65536];
    size_t k;
    while ((k = fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes->size() + k > kMaxFixtureFile) {
            fclose(f);
            status = 400;
            return nullptr;
        }
        bytes->append(buf, k);
    }
    fclose(f);
    return bytes;
}

namespace {

// One client connection: reads requests and answers them until either side ends it.
class Connection {
  public:
    Connection(ServerState& server, int fd) : s_(server), fd_(fd) {}
    void Run();

  private:
    enum class Wait { kReady, kTimeout, kStopped };
    enum class ReadResult { kOk, kGone, kBad };

    Wait WaitFor(short events, int timeoutMs);
    bool SendAll(const char* p, size_t n, size_t* sentOut = nullptr);
    bool Pause(int ms);
    ReadResult ReadRequest(Request& r, int& errorStatus);
    bool DiscardBody(uint64_t n);
    void CloseGracefully();
    void ResetConnection(int delayMs);
    void HoldOpen();
    bool Expired() const { return NowMs() > deadline_; }

    bool Dispatch(Request& r);
    bool ServeControl(Request& r, const std::string& route);
    bool SendHead(const Request& r, int status,
                  const std::vector<std::pair<std::string, std::string>>& headers,
                  const char* framing, bool keepAlive);
    bool SendText(const Request& r, int status, std::string_view body, bool keepAlive,
                  const std::vector<std::pair<std::string, std::string>>& extra = {},
                  const char* contentType = "text/plain");
    bool StreamBody(const Request& r, Framing framing, uint64_t offset, uint64_t count,
                    size_t chunk, int delayMs, const FillFn& fill, bool terminate,
                    int64_t deadline);
    bool ServeSized(const Request& r, uint64_t size, const FillFn& fill,
                    const std::string& contentType, size_t chunk, int delayMs);
    bool ServeFile(const Request& r, std::string_view rel);
    // Opens a file of the root by its relative path; on failure the error status has been sent
    // and false comes back.
    bool OpenRootFile(const Request& r, std::string_view rel, RootFile& file, bool& keep);

    bool RouteGenerated(Request& r, const std::string& route, const Query& q);
    bool RouteMp3(Request& r, const Query& q);
    bool RouteRedirect(Request& r, const Query& q);
    bool RouteStatus(Request& r, const Query& q);
    bool RouteLinks(Request& r, const Query& q);

    // Reads size-like parameters; on failure the 400 has been sent and false comes back.
    bool Param(const Request& r, const Query& q, const char* name, uint64_t fallback, uint64_t min,
               uint64_t max, bool required, uint64_t& out, bool& keep);

    ServerState& s_;
    int fd_;
    std::string in_;
    int64_t deadline_ = INT64_MAX;
    bool counting_ = true;  // off for the control routes, which must not change what they report
    bool reset_ = false;    // the connection ends with a reset, not with a FIN
};

Connection::Wait Connection::WaitFor(short events, int timeoutMs) {
    int64_t end = NowMs() + timeoutMs;
    for (;;) {
        pollfd p[2] = {{fd_, events, 0}, {s_.wake[0], POLLIN, 0}};
        int left = static_cast<int>(std::max<int64_t>(0, end - NowMs()));
        int n = poll(p, 2, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (p[1].revents) {
            return Wait::kStopped;
        }
        if (n > 0 && p[0].revents) {
            return Wait::kReady;
        }
        if (n < 0 || NowMs() >= end) {
            return Wait::kTimeout;
        }
    }
}

bool Connection::SendAll(const char* p, size_t n, size_t* sentOut) {
    size_t sent = 0;
    bool ok = true;
    while (sent < n) {
        ssize_t k = send(fd_, p + sent, n - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k > 0) {
            sent += static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) {
            continue;
        }
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            WaitFor(POLLOUT, s_.opt.ioTimeoutMs) == Wait::kReady) {
            continue;
        }
        ok = false;
        break;
    }
    if (sentOut) {
        *sentOut = sent;
    }
    return ok;
}

bool Connection::Pause(int ms) {
    int64_t end = NowMs() + ms;
    for (;;) {
        int left = static_cast<int>(std::max<int64_t>(0, end - NowMs()));
        if (left == 0) {
            return true;
        }
        pollfd p = {s_.wake[0], POLLIN, 0};
        int n = poll(&p, 1, left);
        if (n > 0) {
            return false;
        }
    }
}

Connection::ReadResult Connection::ReadRequest(Request& r, int& errorStatus) {
    size_t headEnd = 0;
    for (;;) {
        // Empty lines before a request line are allowed (and some clients send them).
        size_t skip = 0;
        while (skip < in_.size() && (in_[skip] == '\r' || in_[skip] == '\n')) {
            ++skip;
        }
        in_.erase(0, skip);
        size_t crlf = in_.find("\r\n\r\n");
        size_t lf = in_.find("\n\n");
        if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
            headEnd = crlf + 4;
            break;
        }
        if (lf != std::string::npos) {
            headEnd = lf + 2;
            break;
        }
        if (in_.size() > s_.opt.maxHeadBytes) {
            errorStatus = 431;
            return ReadResult::kBad;
        }
        int timeout = in_.empty() ? s_.opt.idleTimeoutMs : s_.opt.ioTimeoutMs;
        if (WaitFor(POLLIN, timeout) != Wait::kReady) {
            return ReadResult::kGone;
        }
        char buf[16384];
        ssize_t k = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (k < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (k <= 0) {
            return ReadResult::kGone;
        }
        in_.append(buf, static_cast<size_t>(k));
    }
    if (headEnd > s_.opt.maxHeadBytes) {
        errorStatus = 431;
        return ReadResult::kBad;
    }
    std::string head = in_.substr(0, headEnd);
    in_.erase(0, headEnd);

    std::vector<std::string_view> lines;
    std::string_view rest(head);
    while (!rest.empty()) {
        size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            break;
        }
        lines.push_back(line);
    }
    errorStatus = 400;
    if (lines.empty()) {
        return ReadResult::kBad;
    }
    std::string_view reqLine = lines[0];
    size_t sp1 = reqLine.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : reqLine.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || reqLine.find(' ', sp2 + 1) != std::string_view::npos) {
        return ReadResult::kBad;
    }
    r.requestLine = std::string(reqLine);
    r.method = std::string(reqLine.substr(0, sp1));
    r.target = std::string(reqLine.substr(sp1 + 1, sp2 - sp1 - 1));
    r.version = std::string(reqLine.substr(sp2 + 1));
    if (r.method.empty() || r.target.empty() || HasControlChars(r.requestLine)) {
        return ReadResult::kBad;
    }
    if (r.version == "HTTP/1.1") {
        r.minor = 1;
    } else if (r.version == "HTTP/1.0") {
        r.minor = 0;
    } else if (r.version.rfind("HTTP/", 0) == 0) {
        errorStatus = 505;
        return ReadResult::kBad;
    } else {
        return ReadResult::kBad;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos || line[0] == ' ' || line[0] == '\t') {
            return ReadResult::kBad;
        }
        std::string_view name = line.substr(0, colon);
        if (name.find_first_of(" \t") != std::string_view::npos) {
            return ReadResult::kBad;
        }
        r.headers.emplace_back(std::string(name), std::string(Trim(line.substr(colon + 1))));
    }

    // Absolute form ("http://host/path") as a proxy-minded client may send it.
    std::string_view target(r.target);
    for (std::string_view scheme : {"http://", "https://"}) {
        if (target.size() >= scheme.size() && afx::EqualsNoCase(target.substr(0, scheme.size()), scheme)) {
            size_t slash = target.find('/', scheme.size());
            target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
        }
    }
    if (target.empty() || target[0] != '/') {
        return ReadResult::kBad;
    }
    size_t hash = target.find('#');
    target = target.substr(0, hash);
    size_t qm = target.find('?');
    r.path = std::string(target.substr(0, qm));
    r.query = qm == std::string_view::npos ? std::string() : std::string(target.substr(qm + 1));
    r.decodedPath = PercentDecode(r.path, false);

    bool hasClose = false;
    bool hasKeepAlive = false;
    for (const auto& [n, v] : r.headers) {
        if (!afx::EqualsNoCase(n, "Connection")) {
            continue;
        }
        std::string_view tokens(v);
        while (!tokens.empty()) {
            size_t comma = tokens.find(',');
            std::string_view t = Trim(tokens.substr(0, comma));
            tokens =
                comma == std::string_view::npos ? std::string_view() : tokens.substr(comma + 1);
            hasClose = hasClose || afx::EqualsNoCase(t, "close");
            hasKeepAlive = hasKeepAlive || afx::EqualsNoCase(t, "keep-alive");
        }
    }
    r.keepAlive = r.minor == 1 ? !hasClose : (hasKeepAlive && !hasClose);
    r.head = r.method == "HEAD";
    return ReadResult::kOk;
}

bool Connection::DiscardBody(uint64_t n) {
    uint64_t fromBuffer = std::min<uint64_t>(n, in_.size());
    in_.erase(0, static_cast<size_t>(fromBuffer));
    n -= fromBuffer;
    char buf[16384];
    while (n > 0) {
        if (WaitFor(POLLIN, s_.opt.ioTimeoutMs) != Wait::kReady) {
            return false;
        }
        ssize_t k =
            recv(fd_, buf, static_cast<size_t>(std::min<uint64_t>(n, sizeof buf)), MSG_DONTWAIT);
        if (k < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (k <= 0) {
            return false;
        }
        n -= static_cast<uint64_t>(k);
    }
    return true;
}

// A close right after the last byte, with unread input on our side, would reset the connection
// and could take the body's tail with it; half-close and let the client finish first.
void Connection::CloseGracefully() {
    shutdown(fd_, SHUT_WR);
    int64_t end = NowMs() + kCloseDrainMs;
    char buf[4096];
    for (int rounds = 0; rounds < 4096; ++rounds) {
        int left = static_cast<int>(end - NowMs());
        if (left <= 0 || WaitFor(POLLIN, left) != Wait::kReady) {
            break;
        }
        ssize_t k = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (k == 0 || (k < 0 && errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
}

// Sends nothing and keeps the connection until the client goes away, Stop() or the end of the
// response's time; what the client sends meanwhile is read and dropped.
void Connection::HoldOpen() {
    char buf[4096];
    for (;;) {
        int64_t left = deadline_ - NowMs();
        if (left <= 0 ||
            WaitFor(POLLIN, static_cast<int>(std::min<int64_t>(left, INT_MAX))) != Wait::kReady) {
            return;
        }
        ssize_t k = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (k == 0 || (k < 0 && errno != EAGAIN && errno != EINTR)) {
            return;
        }
    }
}

// A reset discards what the client has not acknowledged yet, so it waits for that first (within
// the usual time-outs): the client gets every byte sent, then ECONNRESET instead of an end.
void Connection::ResetConnection(int delayMs) {
    int64_t end = std::min<int64_t>(deadline_, NowMs() + s_.opt.ioTimeoutMs);
    int unacked = 0;
    while (ioctl(fd_, SIOCOUTQ, &unacked) == 0 && unacked > 0 && NowMs() < end && Pause(5)) {
    }
    // A client that has not yet read what its system received may lose it to the reset.
    if (delayMs > 0) {
        Pause(static_cast<int>(
            std::min<int64_t>(delayMs, std::max<int64_t>(deadline_ - NowMs(), 0))));
    }
    linger hard = {1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    reset_ = true;
}

bool Connection::SendHead(const Request& r, int status,
                          const std::vector<std::pair<std::string, std::string>>& headers,
                          const char* framing, bool keepAlive) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    head += "Server: quor-test-server\r\n";
    head += "Cache-Control: no-store\r\n";
    for (const auto& [n, v] : headers) {
        head += n + ": " + v + "\r\n";
    }
    if (framing) {
        head += framing;
        head += "\r\n";
    }
    head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    head += "\r\n";
    if (s_.opt.verbose) {
        fprintf(stderr, "quor-test-server: %s -> %d\n", r.requestLine.c_str(), status);
    }
    return SendAll(head.data(), head.size());
}

bool Connection::SendText(const Request& r, int status, std::string_view body, bool keepAlive,
                          const std::vector<std::pair<std::string, std::string>>& extra,
                          const char* contentType) {
    auto headers = extra;
    headers.emplace_back("Content-Type", contentType);
    std::string length = "Content-Length: " + std::to_string(body.size());
    if (!SendHead(r, status, headers, length.c_str(), keepAlive)) {
        return false;
    }
    if (r.head || body.empty()) {
        return keepAlive;
    }
    FillFn fill = [&](uint64_t off, char* dst, size_t n) {
        memcpy(dst, body.data() + off, n);
        return true;
    };
    return StreamBody(r, Framing::kLength, 0, body.size(), kMaxChunk, 0, fill, true, deadline_) &&
           keepAlive;
}

bool Connection::StreamBody(const Request& r, Framing framing, uint64_t offset, uint64_t count,
                            size_t chunk, int delayMs, const FillFn& fill, bool terminate,
                            int64_t deadline) {
    chunk = std::clamp<size_t>(chunk, 1, kMaxChunk);
    const size_t bufChunk =
        static_cast<size_t>(std::min<uint64_t>(chunk, std::max<uint64_t>(count, 1)));
    std::vector<char> buf(bufChunk + 32);
    uint64_t done = 0;
    while (done < count) {
        if (NowMs() > deadline) {
            return false;
        }
        if (done > 0 && delayMs > 0 && !Pause(delayMs)) {
            return false;
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(bufChunk, count - done));
        size_t prefix = 0;
        if (framing == Framing::kChunked) {
            prefix = static_cast<size_t>(snprintf(buf.data(), 32, "%zx\r\n", n));
        }
        if (!fill(offset + done, buf.data() + prefix, n)) {
            return false;
        }
        size_t total = prefix + n;
        if (framing == Framing::kChunked) {
            buf[total++] = '\r';
            buf[total++] = '\n';
        }
        // Counted before the bytes can reach the client, so a client that has read them can
        // rely on the counter; what could not be handed over is taken back.
        if (counting_) {
            s_.AddBytes(r.path, static_cast<int64_t>(n));
        }
        size_t sent = 0;
        if (!SendAll(buf.data(), total, &sent)) {
            size_t payloadSent = sent <= prefix ? 0 : std::min(sent - prefix, n);
            if (counting_) {
                s_.AddBytes(r.path, -static_cast<int64_t>(n - payloadSent));
            }
            return false;
        }
        done += n;
    }
    if (framing == Framing::kChunked && terminate) {
        static const char kLast[] = "0\r\n\r\n";
        return SendAll(kLast, sizeof kLast - 1);
    }
    return true;
}

bool Connection::ServeSized(const Request& r, uint64_t size, const FillFn& fill,
                            const std::string& contentType, size_t chunk, int delayMs) {
    uint64_t first = 0;
    uint64_t last = size == 0 ? 0 : size - 1;
    int status = 200;
    std::string range = r.Header("Range");
    if (r.HasHeader("Range")) {
        switch (ParseRange(range, size, first, last)) {
            case RangeResult::kOk:
                status = 206;
                break;
            case RangeResult::kUnsatisfiable:
                return SendText(r, 416, "Range not satisfiable\n", r.keepAlive,
                                {{"Content-Range", "bytes */" + std::to_string(size)}});
            case RangeResult::kNone:
                break;
        }
    }
    uint64_t count = size == 0 ? 0 : last - first + 1;
    std::vector<std::pair<std::string, std::string>> headers = {{"Content-Type", contentType},
                                                                {"Accept-Ranges", "bytes"}};
    if (status == 206) {
        headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                  std::to_string(last) + "/" +
                                                  std::to_string(size));
    }
    std::string length = "Content-Length: " + std::to_string(count);
    if (!SendHead(r, status, headers, length.c_str(), r.keepAlive)) {
        return false;
    }
    if (r.head) {
        return r.keepAlive;
    }
    return StreamBody(r, Framing::kLength, first, count, chunk, delayMs, fill, true, deadline_) &&
           r.keepAlive;
}

bool Connection::OpenRootFile(const Request& r, std::string_view rel, RootFile& file, bool& keep) {
    auto refuse = [&](int status, std::string_view text) {
        keep = SendText(r, status, text, r.keepAlive);
        return false;
    };
    if (s_.rootReal.empty()) {
        return refuse(404, "No document root\n");
    }
    switch (CheckRelativePath(rel)) {
        case PathCheck::kForbidden:
            return refuse(403, "Forbidden\n");
        case PathCheck::kBad:
            return refuse(400, "Bad path\n");
        case PathCheck::kOk:
            break;
    }
    std::string full;
    switch (ResolveBelow(s_.rootReal, rel, full)) {
        case Resolve::kMissing:
            return refuse(404, "Not found\n");
        case Resolve::kOutside:
            return refuse(403, "Forbidden\n");
        case Resolve::kOk:
            break;
    }
    file.fd = open(full.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return refuse(404, "Not found\n");
    }
    file.size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool Connection::ServeFile(const Request& r, std::string_view rel) {
    RootFile file;
    bool keep = false;
    if (!OpenRootFile(r, rel, file, keep)) {
        return keep;
    }
    return ServeSized(r, file.size, file.Fill(), ContentTypeFor(rel), 64 * 1024, 0);
}

bool Connection::Param(const Request& r, const Query& q, const char* name, uint64_t fallback,
                       uint64_t min, uint64_t max, bool required, uint64_t& out, bool& keep) {
    const std::string* v = q.Get(name);
    if (!v) {
        if (required) {
            keep = SendText(r, 400, std::string("Missing parameter ") + name + "\n", r.keepAlive);
            return false;
        }
        out = fallback;
        return true;
    }
    uint64_t value = 0;
    if (!ParseU64(*v, value) || value < min || value > max) {
        keep = SendText(r, 400,
                        std::string("Parameter ") + name + " must be a number from " +
                            std::to_string(min) + " to " + std::to_string(max) + "\n",
                        r.keepAlive);
        return false;
    }
    out = value;
    return true;
}

bool Connection::RouteGenerated(Request& r, const std::string& route, const Query& q) {
    const auto& o = s_.opt;
    bool keep = false;
    uint64_t size = 0;
    uint64_t chunk = 0;
    uint64_t delay = 0;
    size_t slash = r.decodedPath.rfind('/');
    std::string name = r.decodedPath.substr(slash + 1);
    std::string type = name == route ? "application/octet-stream" : ContentTypeFor(name);
    FillFn pattern = [](uint64_t off, char* dst, size_t n) {
        FillPattern(off, dst, n);
        return true;
    };

    if (route == "endless") {
        if (!Param(r, q, "chunk", 16384, 1, kMaxChunk, false, chunk, keep) ||
            !Param(r, q, "delay_ms", 0, 0, kMaxDelayMs, false, delay, keep)) {
            return keep;
        }
        const std::string* c = q.Get("chunked");
        bool chunked = c && *c == "1" && r.minor == 1;
        if (!SendHead(r, 200, {{"Content-Type", type}},
                      chunked ? "Transfer-Encoding: chunked" : nullptr, false) ||
            r.head) {
            return false;
        }
        int64_t end = std::min<int64_t>(deadline_, NowMs() + o.endlessCapMs);
        StreamBody(r, chunked ? Framing::kChunked : Framing::kClose, 0, o.endlessCapBytes,
                   static_cast<size_t>(chunk), static_cast<int>(delay), pattern, false, end);
        return false;
    }

    // The fault routes may send a file of the root instead of the pattern, and then no more of
    // it than the file holds.
    RootFile file;
    FillFn source = pattern;
    uint64_t available = o.maxBodyBytes;
    const bool takesFile = route == "cut" || route == "reset" || route == "badchunk" ||
                           route == "stall" || route == "trickle";
    if (const std::string* rel = takesFile ? q.Get("file") : nullptr) {
        if (!OpenRootFile(r, *rel, file, keep)) {
            return keep;
        }
        source = file.Fill();
        available = file.size;
        if (name == route) {
            type = ContentTypeFor(*rel);
        }
    }
    if (!Param(r, q, "size", file.size, 0, route == "trickle" ? available : o.maxBodyBytes,
               !file.IsOpen(), size, keep)) {
        return keep;
    }
    if (route == "exact") {
        return ServeSized(r, size, pattern, type, 64 * 1024, 0);
    }
    if (route == "nolength") {
        if (!SendHead(r, 200, {{"Content-Type", type}}, nullptr, false) || r.head) {
            return false;
        }
        StreamBody(r, Framing::kClose, 0, size, 64 * 1024, 0, pattern, true, deadline_);
        return false;
    }
    if (route == "chunked") {
        if (!Param(r, q, "chunk", 4096, 1, kMaxChunk, false, chunk, keep)) {
            return keep;
        }
        // HTTP/1.0 has no chunked coding: such a client gets a body ended by the close.
        if (r.minor == 0) {
            if (!SendHead(r, 200, {{"Content-Type", type}}, nullptr, false) || r.head) {
                return false;
            }
            StreamBody(r, Framing::kClose, 0, size, static_cast<size_t>(chunk), 0, pattern, true,
                       deadline_);
            return false;
        }
        if (!SendHead(r, 200, {{"Content-Type", type}}, "Transfer-Encoding: chunked",
                      r.keepAlive)) {
            return false;
        }
        if (r.head) {
            return r.keepAlive;
        }
        return StreamBody(r, Framing::kChunked, 0, size, static_cast<size_t>(chunk), 0, pattern,
                          true, deadline_) &&
               r.keepAlive;
    }
    if (route == "slow") {
        if (!Param(r, q, "chunk", 1024, 1, kMaxChunk, false, chunk, keep) ||
            !Param(r, q, "delay_ms", 100, 0, kMaxDelayMs, false, delay, keep)) {
            return keep;
        }
        uint64_t pauses = size == 0 ? 0 : (size + chunk - 1) / chunk - 1;
        if (pauses > static_cast<uint64_t>(o.slowCapMs) ||
            pauses * delay > static_cast<uint64_t>(o.slowCapMs)) {
            return SendText(
                r, 400, "The body would take longer than " + std::to_string(o.slowCapMs) + " ms\n",
                r.keepAlive);
        }
        return ServeSized(r, size, pattern, type, static_cast<size_t>(chunk),
                          static_cast<int>(delay));
    }
    if (route == "trickle") {
        uint64_t bytes = 0;
        if (!Param(r, q, "delay_ms", 0, 0, kMaxDelayMs, true, delay, keep) ||
            !Param(r, q, "bytes", 1, 1, kMaxChunk, false, bytes, keep)) {
            return keep;
        }
        // Unlike /slow no cap on the planned time: outlasting the client is the point, and
        // maxResponseMs still ends it.
        return ServeSized(r, size, source, type, static_cast<size_t>(bytes),
                          static_cast<int>(delay));
    }
    // cut, reset, badchunk, stall: K bytes of the body, then a broken ending
    uint64_t after = 0;
    uint64_t announce = 1;
    uint64_t resetDelay = 0;
    if (!Param(r, q, "after", 0, 0, std::min(size, available), true, after, keep) ||
        (route == "stall" && !Param(r, q, "length", 1, 0, 1, false, announce, keep)) ||
        (route == "reset" &&
         !Param(r, q, "delay_ms", 0, 0, kMaxDelayMs, false, resetDelay, keep))) {
        return keep;
    }
    const bool badChunk = route == "badchunk";
    std::string length = "Content-Length: " + std::to_string(size);
    const char* framing =
        badChunk ? "Transfer-Encoding: chunked" : (announce ? length.c_str() : nullptr);
    if (!SendHead(r, 200, {{"Content-Type", type}}, framing, false)) {
        return false;
    }
    if (!r.head && !StreamBody(r, badChunk ? Framing::kChunked : Framing::kLength, 0, after,
                               badChunk ? 4096 : 64 * 1024, 0, source, false, deadline_)) {
        return false;
    }
    if (badChunk && !r.head) {
        // Not a hex size: a client must give up on the body here instead of reading on.
        static const char kBadChunk[] = "zz\r\nnot a chunk\r\n";
        SendAll(kBadChunk, sizeof kBadChunk - 1);
    } else if (route == "reset") {
        ResetConnection(static_cast<int>(resetDelay));
    } else if (route == "stall") {
        HoldOpen();
    }
    return false;
}

bool Connection::RouteMp3(Request& r, const Query& q) {
    bool keep = false;
    std::shared_ptr<const std::string> fixture = std::make_shared<const std::string>();
    if (const std::string* tag = q.Get("tag")) {
        int status = 404;
        fixture = s_.FindFixture(*tag, status);
        if (!fixture) {
            return SendText(r, status, "No fixture " + *tag + "\n", r.keepAlive);
        }
    }
    uint64_t size = 0;
    bool hasSize = q.Get("size") != nullptr;
    if (!hasSize && fixture->empty()) {
        return SendText(r, 400, "Missing parameter size\n", r.keepAlive);
    }
    if (!Param(r, q, "size", fixture->size(), 0, s_.opt.maxBodyBytes, false, size, keep)) {
        return keep;
    }
    size_t slash = r.decodedPath.rfind('/');
    std::string name = r.decodedPath.substr(slash + 1);
    std::string type = name == "mp3" ? "audio/mpeg" : ContentTypeFor(name);
    if (type == "application/octet-stream") {
        type = "audio/mpeg";
    }
    FillFn fill = [fixture](uint64_t off, char* dst, size_t n) {
        FillMp3(*fixture, off, dst, n);
        return true;
    };
    return ServeSized(r, size, fill, type, 64 * 1024, 0);
}

bool Connection::RouteRedirect(Request& r, const Query& q) {
    bool keep = false;
    uint64_t status = 0;
    if (!Param(r, q, "status", 302, 300, 399, false, status, keep)) {
        return keep;
    }
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
        return SendText(r, 400, "Redirect status must be 301, 302, 303, 307 or 308\n", r.keepAlive);
    }
    const std::string* to = q.Get("to");
    // A line break in the target would let a test write arbitrary response headers.
    if (!to || to->empty() || HasControlChars(*to)) {
        return SendText(r, 400, "Parameter to must be a URL or path without control characters\n",
                        r.keepAlive);
    }
    std::string body = "<html><body>Moved to <a href=\"" + HtmlEscape(*to) + "\">" +
                       HtmlEscape(*to) + "</a></body></html>\n";
    return SendText(r, static_cast<int>(status), body, r.keepAlive, {{"Location", *to}},
                    "text/html");
}

bool Connection::RouteStatus(Request& r, const Query& q) {
    bool keep = false;
    uint64_t code = 0;
    if (!Param(r, q, "code", 0, 200, 599, true, code, keep)) {
        return keep;
    }
    int status = static_cast<int>(code);
    if (status == 204 || status == 304) {
        if (!SendHead(r, status, {}, nullptr, r.keepAlive)) {
            return false;
        }
        return r.keepAlive;
    }
    const std::string* body = q.Get("body");
    std::string text = body ? *body : std::to_string(status) + " " + ReasonPhrase(status) + "\n";
    return SendText(r, status, text, r.keepAlive);
}

// Page p of the site <prefix> links to pages p*N+1 to p*N+N: every page leads to N pages that no
// other page links to, and the names grow only with the number of pages. The site's first page
// is page 0, whatever its name.
bool Connection::RouteLinks(Request& r, const Query& q) {
    bool keep = false;
    uint64_t n = 0;
    if (!Param(r, q, "n", 0, 0, kMaxLinks, true, n, keep)) {
        return keep;
    }
    // The name as sent, still percent-encoded, so that it can go into the links unchanged.
    std::string name = r.decodedPath == "/links" ? "" : r.path.substr(r.path.rfind('/') + 1);
    name = name.substr(0, name.rfind('.'));
    size_t dash = name.rfind('-');
    uint64_t page = 0;
    std::string prefix = name;
    if (ParseU64(dash == std::string::npos ? name : name.substr(dash + 1), page)) {
        prefix = dash == std::string::npos ? "" : name.substr(0, dash + 1);
    } else {
        prefix += name.empty() ? "" : "-";
    }
    if (n > 0 && page > (UINT64_MAX - n) / n) {
        return SendText(r, 400, "Page number too large\n", r.keepAlive);
    }
    std::string tail = ".html?n=" + std::to_string(n);
    std::string body = "<html><body>\n";
    for (uint64_t i = 1; i <= n; ++i) {
        std::string href = "/links/" + prefix + std::to_string(page * n + i) + tail;
        body += "<a href=\"" + HtmlEscape(href) + "\">" + std::to_string(i) + "</a>\n";
    }
    body += "</body></html>\n";
    return SendText(r, 200, body, r.keepAlive, {}, "text/html");
}

bool Connection::ServeControl(Request& r, const std::string& route) {
    Query q(r.query);
    std::string text;
    if (route == "_counters") {
        std::lock_guard lock(s_.countMu);
        if (const std::string* p = q.Get("path")) {
            auto it = s_.counters.find(*p);
            ServerState::Counter c = it == s_.counters.end() ? ServerState::Counter{} : it->second;
            text = "bytes=" + std::to_string(c.bytes) + "\nrequests=" + std::to_string(c.requests) +
                   "\n";
        } else {
            text = "bytes=" + std::to_string(s_.total.bytes) +
                   "\nrequests=" + std::to_string(s_.total.requests) + "\n";
            for (const auto& [path, c] : s_.counters) {
                text +=
                    std::to_string(c.bytes) + " " + std::to_string(c.requests) + " " + path + "\n";
            }
        }
    } else if (route == "_reset") {
        {
            std::lock_guard lock(s_.countMu);
            s_.counters.clear();
            s_.total = {};
        }
        std::lock_guard lock(s_.logMu);
        s_.log.clear();
        text = "ok\n";
    } else {
        std::lock_guard lock(s_.logMu);
        for (const LoggedRequest& l : s_.log) {
            text += l.requestLine + "\n";
            for (const auto& [n, v] : l.headers) {
                text += n + ": " + v + "\n";
            }
            text += "\n";
        }
    }
    counting_ = false;
    bool keep = SendText(r, 200, text, r.keepAlive);
    counting_ = true;
    return keep;
}

bool Connection::Dispatch(Request& r) {
    Query q(r.query);
    const std::string& p = r.decodedPath;
    auto routeIs = [&](std::string_view name) {
        return p.size() > name.size() && p[0] == '/' && p.compare(1, name.size(), name) == 0 &&
               (p.size() == name.size() + 1 || p[name.size() + 1] == '/');
    };
    if (p.find('\0') != std::string::npos) {
        return SendText(r, 400, "Bad path\n", r.keepAlive);
    }
    for (const char* route : {"exact", "nolength", "chunked", "slow", "cut", "endless", "reset",
                              "badchunk", "stall", "trickle"}) {
        if (routeIs(route)) {
            return RouteGenerated(r, route, q);
        }
    }
    if (routeIs("blackhole")) {
        if (s_.opt.verbose) {
            fprintf(stderr, "quor-test-server: %s -> no answer\n", r.requestLine.c_str());
        }
        HoldOpen();
        return false;
    }
    if (routeIs("mp3")) {
        return RouteMp3(r, q);
    }
    if (routeIs("redirect")) {
        return RouteRedirect(r, q);
    }
    if (routeIs("status")) {
        return RouteStatus(r, q);
    }
    if (routeIs("links")) {
        return RouteLinks(r, q);
    }
    if (p.rfind("/files/", 0) == 0) {
        return ServeFile(r, std::string_view(p).substr(7));
    }
    std::string rel = p.substr(1);
    if (rel.empty() || rel.back() == '/') {
        rel += "index.html";
    }
    return ServeFile(r, rel);
}

void Connection::Run() {
    for (;;) {
        Request r;
        int error = 0;
        ReadResult rr = ReadRequest(r, error);
        if (rr == ReadResult::kGone) {
            break;
        }
        deadline_ = NowMs() + s_.opt.maxResponseMs;
        if (rr == ReadResult::kBad) {
            r.head = false;
            SendText(r, error, std::string(ReasonPhrase(error)) + "\n", false);
            break;
        }

        // The request's own body is read and dropped; only small ones are accepted.
        if (r.HasHeader("Transfer-Encoding")) {
            SendText(r, 501, "Request bodies in chunks are not supported\n", false);
            break;
        }
        uint64_t bodyLength = 0;
        if (r.HasHeader("Content-Length") && !ParseU64(r.Header("Content-Length"), bodyLength)) {
            SendText(r, 400, "Bad Content-Length\n", false);
            break;
        }
        if (bodyLength > kMaxRequestBody) {
            SendText(r, 413, "Request body too large\n", false);
            break;
        }
        if (!DiscardBody(bodyLength)) {
            break;
        }

        const std::string& p = r.decodedPath;
        if (s_.opt.controlRoutes) {
            bool control = false;
            for (const char* route : {"_counters", "_reset", "_log"}) {
                if (p == std::string("/") + route) {
                    if (!ServeControl(r, route)) {
                        return CloseGracefully();
                    }
                    control = true;
                }
            }
            if (control) {
                continue;
            }
        }

        {
            std::lock_guard lock(s_.busyMu);
            ++s_.busy;
        }
        s_.AddRequest(r.path);
        s_.AddLog(r);
        bool keep;
        if (r.method != "GET" && r.method != "HEAD") {
            keep = SendText(r, 405, "Only GET and HEAD\n", r.keepAlive, {{"Allow", "GET, HEAD"}});
        } else {
            keep = Dispatch(r);
        }
        {
            std::lock_guard lock(s_.busyMu);
            --s_.busy;
        }
        s_.busyCv.notify_all();
        if (!keep) {
            break;
        }
    }
    if (!reset_) {
        CloseGracefully();  // its FIN would end a reset body cleanly
    }
}

}  // namespace

void ServerState::ReapFinished(bool all) {
    std::list<std::unique_ptr<Conn>> finished;
    {
        std::lock_guard lock(connMu);
        for (auto it = conns.begin(); it != conns.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) {
        if (c->thread.joinable()) {
            c->thread.join();
        }
    }
}

void ServerState::ServeConnection(Conn* c) {
    int one = 1;
    setsockopt(c->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Connection(*this, c->fd).Run();
    {
        std::lock_guard lock(connMu);
        close(c->fd);
        c->fd = -1;
    }
    c->done = true;
}

void ServerState::AcceptLoop() {
    for (;;) {
        pollfd p[2] = {{listenFd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        int n = poll(p, 2, 1000);
        if (n < 0 && errno != EINTR) {
            break;
        }
        if (p[1].revents) {
            break;
        }
        ReapFinished(false);
        if (n <= 0 || !(p[0].revents & POLLIN)) {
            continue;
        }
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        ++accepted;
        std::lock_guard lock(connMu);
        if (conns.size() >= static_cast<size_t>(opt.maxConnections)) {
            static const char k503[] =
                "HTTP/1.1 503 Service Unavailable\r\nServer: quor-test-server\r\n"
                "Content-Length: 0\r\nConnection: close\r\n\r\n";
            (void)!send(fd, k503, sizeof k503 - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            shutdown(fd, SHUT_WR);
            close(fd);
            continue;
        }
        auto conn = std::make_unique<Conn>();
        conn->fd = fd;
        Conn* raw = conn.get();
        conns.push_back(std::move(conn));
        raw->thread = std::thread([this, raw] { ServeConnection(raw); });
    }
}

TestHttpServer::TestHttpServer() : TestHttpServer(Options{}) {}

TestHttpServer::TestHttpServer(std::string root, uint16_t port)
    : TestHttpServer([&] {
          Options o;
          o.root = std::move(root);
          o.port = port;
          return o;
      }()) {}

TestHttpServer::TestHttpServer(Options options) : impl_(std::make_unique<ServerState>()) {
    impl_->opt = std::move(options);
}

TestHttpServer::~TestHttpServer() {
    Stop();
}

bool TestHttpServer::Start() {
    ServerState& s = *impl_;
    if (s.running) {
        s.lastError = "already running";
        return false;
    }
    auto fail = [&](std::string what) {
        s.lastError = std::move(what);
        for (int* fd : {&s.listenFd, &s.wake[0], &s.wake[1]}) {
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
        }
        return false;
    };
    s.rootReal.clear();
    s.fixtureDirReal.clear();
    for (auto [dir, real] :
         {std::pair{&s.opt.root, &s.rootReal}, std::pair{&s.opt.fixtureDir, &s.fixtureDirReal}}) {
        if (dir->empty()) {
            continue;
        }
        char* r = realpath(dir->c_str(), nullptr);
        if (!r) {
            return fail("no such directory: " + *dir);
        }
        *real = r;
        free(r);
    }
    if (pipe2(s.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail(std::string("pipe: ") + strerror(errno));
    }
    s.listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s.listenFd < 0) {
        return fail(std::string("socket: ") + strerror(errno));
    }
    int one = 1;
    setsockopt(s.listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(s.opt.port);
    if (bind(s.listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        return fail("bind 127.0.0.1:" + std::to_string(s.opt.port) + ": " + strerror(errno));
    }
    if (listen(s.listenFd, 128) != 0) {
        return fail(std::string("listen: ") + strerror(errno));
    }
    socklen_t len = sizeof addr;
    getsockname(s.listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    s.port = ntohs(addr.sin_port);
    s.accepted = 0;
    s.lastError.clear();
    s.running = true;
    s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
    return true;
}

void TestHttpServer::Stop() {
    ServerState& s = *impl_;
    if (!s.running) {
        return;
    }
    // The pipe stays readable from here on, which ends every wait of every thread.
    (void)!write(s.wake[1], "x", 1);
    s.acceptThread.join();
    close(s.listenFd);
    s.listenFd = -1;
    {
        std::lock_guard lock(s.connMu);
        for (auto& c : s.conns) {
            if (c->fd >= 0) {
                shutdown(c->fd, SHUT_RDWR);
            }
        }
    }
    s.ReapFinished(true);
    close(s.wake[0]);
    close(s.wake[1]);
    s.wake[0] = s.wake[1] = -1;
    s.running = false;
    s.busyCv.notify_all();
}

bool TestHttpServer::IsRunning() const {
    return impl_->running;
}

const std::string& TestHttpServer::LastError() const {
    return impl_->lastError;
}

uint16_t TestHttpServer::port() const {
    return impl_->port;
}

std::string TestHttpServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}

std::string TestHttpServer::Url(std::string_view target) const {
    return BaseUrl() + std::string(target);
}

uint64_t TestHttpServer::BodyBytesSent(std::string_view path) const {
    std::lock_guard lock(impl_->countMu);
    auto it = impl_->counters.find(path);
    return it == impl_->counters.end() ? 0 : it->second.bytes;
}

uint64_t TestHttpServer::RequestCount(std::string_view path) const {
    std::lock_guard lock(impl_->countMu);
    auto it = impl_->counters.find(path);
    return it == impl_->counters.end() ? 0 : it->second.requests;
}

uint64_t TestHttpServer::TotalBodyBytesSent() const {
    std::lock_guard lock(impl_->countMu);
    return impl_->total.bytes;
}

uint64_t TestHttpServer::TotalRequestCount() const {
    std::lock_guard lock(impl_->countMu);
    return impl_->total.requests;
}

void TestHttpServer::ResetCounters() {
    std::lock_guard lock(impl_->countMu);
    impl_->counters.clear();
    impl_->total = {};
}

uint64_t TestHttpServer::ConnectionsAccepted() const {
    return impl_->accepted;
}

bool TestHttpServer::WaitIdle(int timeoutMs) const {
    std::unique_lock lock(impl_->busyMu);
    return impl_->busyCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return impl_->busy == 0; });
}

std::vector<LoggedRequest> TestHttpServer::Log() const {
    std::lock_guard lock(impl_->logMu);
    return {impl_->log.begin(), impl_->log.end()};
}

void TestHttpServer::ClearLog() {
    std::lock_guard lock(impl_->logMu);
    impl_->log.clear();
}

void TestHttpServer::AddFixture(std::string name, std::string bytes) {
    std::lock_guard lock(impl_->fixMu);
    impl_->fixtures[std::move(name)] = std::make_shared<const std::string>(std::move(bytes));
}

uint16_t TestHttpServer::RefusingPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    uint16_t port = 0;
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    close(fd);
    return port;
}

}  // namespace quor::test
