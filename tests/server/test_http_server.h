// A small HTTP/1.1 server for tests: serves a document root and fault routes on 127.0.0.1,
// counts the body bytes it hands to each connection and logs what clients asked for.
//
// Routes (sizes are decimal byte counts, all capped by Options::maxBodyBytes; every route name
// may be followed by "/<any name>" so that a URL can end in ".mp3" or ".html"):
//   /files/<relative path>          a file of the document root ("..", escapes: 403; missing: 404)
//   /exact?size=N                   N bytes of PatternByte(i), with Content-Length
//   /nolength?size=N                the same bytes, no Content-Length, ended by closing
//   /chunked?size=N&chunk=M         chunked transfer encoding (close-delimited for HTTP/1.0)
//   /slow?size=N&chunk=M&delay_ms=D Content-Length N, M bytes at a time, D ms between them
//   /cut?size=N&after=K             announces N bytes, sends K, closes
//   /reset?size=N&after=K[&delay_ms=D]
//                                   announces N bytes, sends K, resets the connection once the
//                                   client has them (and D ms more): it reads the K bytes, then
//                                   gets ECONNRESET
//   /badchunk?size=N&after=K        chunked: K bytes in good chunks, then a chunk-size line that
//                                   is not hex, closes
//   /stall?size=N&after=K[&length=0]
//                                   announces N bytes (length=0: no Content-Length), sends K,
//                                   then nothing more (K=0: the head alone)
//   /trickle?size=N&delay_ms=D[&bytes=B]
//                                   Content-Length N, B bytes (default 1) every D ms; unlike
//                                   /slow, never refused for taking too long
//   /blackhole                      reads the request and never sends a byte
//   /endless?chunk=M[&delay_ms=D][&chunked=1]
//                                   a body without end, stopped at the endless caps or when
//                                   the client goes away
//   /redirect?status=301|302|303|307|308&to=<url or path>   a redirect with a small body
//   /status?code=N[&body=<text>]    that status with that body (no body for 204 and 304)
//   /links/<name>?n=N               an HTML page of N links to pages of the same site that no
//                                   other page links to (/links/<site>-<number>.html?n=N, where
//                                   <name> is <site> or <site>-<number>): an endless site
//   /mp3/<name>?size=S[&tag=<fixture>]
//                                   the fixture's bytes, then MPEG audio frames up to S bytes
//   anything else                   a file of the document root by its path ("/" -> index.html)
// /stall and /blackhole hold the connection (and /trickle goes on sending) until the client goes
// away, Stop() or Options::maxResponseMs, which bounds every response.
// /cut, /reset, /badchunk, /stall and /trickle take file=<path in the document root>, checked as
// /files/ checks its paths: the body is then that file's bytes instead of the pattern, size
// defaults to the file's size, and no more than the file holds can be sent.
// Files, /exact, /slow, /trickle and /mp3 answer "Range: bytes=a-b", "a-" and "-n" with 206 and
// Content-Range, and with 416 when the range starts at or past the end; a malformed or
// multi-part Range is ignored (200 with the whole body). HEAD works everywhere.
//
// With Options::controlRoutes: /_counters[?path=P], /_reset and /_log (plain text; see
// ControlText below). Control requests are neither counted nor logged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quor::test {

struct ServerState;  // the server's internals

// Byte i of every generated body (/exact, /nolength, /chunked, /slow, /cut, /endless, /reset,
// /badchunk, /stall, /trickle).
constexpr uint8_t PatternByte(uint64_t i) {
    return static_cast<uint8_t>((i % 251 * 7 + 3) % 251);
}
// `count` pattern bytes starting at body offset `offset`.
std::string PatternBytes(uint64_t offset, size_t count);

// The audio frame that pads /mp3 bodies: an MPEG-1 Layer III header FF FB 90 64 (128 kbit/s,
// 44.1 kHz, no padding) and zero bytes up to the frame length of 417 bytes.
constexpr uint32_t kMp3FrameLength = 417;
constexpr uint8_t kMp3FrameHeader[4] = {0xFF, 0xFB, 0x90, 0x64};
constexpr uint8_t Mp3FillerByte(uint64_t offsetInFiller) {
    uint64_t k = offsetInFiller % kMp3FrameLength;
    return k < 4 ? kMp3FrameHeader[k] : 0;
}
// The whole /mp3 body of `size` bytes for a fixture (cut when the fixture is longer).
std::string Mp3Body(std::string_view fixture, uint64_t size);

// One request as it came in (request line and header lines as sent, names unchanged).
struct LoggedRequest {
    std::string requestLine;  // "GET /exact?size=3 HTTP/1.1"
    std::string method;
    std::string target;  // as sent, query included
    std::string path;    // target without the query (the counters' key)
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;

    // First header of that name (ASCII case-insensitive); empty when there is none.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

class TestHttpServer {
  public:
    struct Options {
        std::string root;        // document root; empty: no files
        std::string fixtureDir;  // where /mp3 looks for tag=<name> not registered in-process
        uint16_t port = 0;       // 0: a free port
        bool controlRoutes = false;
        bool verbose = false;  // one line per response on stderr

        int maxConnections = 64;     // live connections; one more gets 503 and is closed
        int ioTimeoutMs = 15000;     // each wait to read or write a socket
        int idleTimeoutMs = 15000;   // keep-alive connection waiting for its next request
        int maxResponseMs = 120000;  // any one response, start of head to end of body
        uint64_t maxBodyBytes = uint64_t{1} << 30;       // largest size=N accepted
        uint64_t endlessCapBytes = uint64_t{256} << 20;  // /endless stops here...
        int endlessCapMs = 60000;                        // ...or after this long
        int slowCapMs = 60000;            // /slow refuses (400) a body planned to take longer
        size_t maxHeadBytes = 32 * 1024;  // request line + headers; more gets 431
        size_t logCapacity = 1000;        // most recent requests kept
    };

    TestHttpServer();
    explicit TestHttpServer(std::string root, uint16_t port = 0);
    explicit TestHttpServer(Options options);
    ~TestHttpServer();  // Stop()
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Binds 127.0.0.1 and starts serving. False (with LastError()) when the port is taken or
    // the server is already running. A stopped server can be started again.
    bool Start();
    // Stops accepting, closes every live connection (a body under way ends where it is) and
    // joins all threads. Every wait of the server watches for it, so it returns promptly.
    void Stop();
    bool IsRunning() const;
    const std::string& LastError() const;

    uint16_t port() const;
    std::string BaseUrl() const;                     // "http://127.0.0.1:<port>"
    std::string Url(std::string_view target) const;  // BaseUrl() + target

    // Body bytes handed to the client's connection (headers and chunk framing not included),
    // by request path without the query; a byte is counted before it can reach the client.
    uint64_t BodyBytesSent(std::string_view path) const;
    uint64_t RequestCount(std::string_view path) const;
    uint64_t TotalBodyBytesSent() const;
    uint64_t TotalRequestCount() const;
    void ResetCounters();                  // counters only; the log stays
    uint64_t ConnectionsAccepted() const;  // since Start(), 503 refusals included

    // Waits until no response is being produced (true) or the time-out passes (false).
    bool WaitIdle(int timeoutMs) const;

    std::vector<LoggedRequest> Log() const;  // oldest first, at most Options::logCapacity
    void ClearLog();

    // A fixture for /mp3?tag=<name>, served from memory; replaces one of the same name.
    void AddFixture(std::string name, std::string bytes);

    // A loopback port on which nothing listens (bound, noted, closed), for refused connections.
    static uint16_t RefusingPort();

  private:
    std::unique_ptr<ServerState> impl_;
};

}  // namespace quor::test
