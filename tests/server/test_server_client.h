// Reaching the shared out-of-process test server from a test program, native or under Wine.
// CTest starts that server once per run (see QuorTestServer.cmake) and names its port file in
// QUOR_TEST_SERVER_PORT_FILE; the helpers below read it and speak just enough HTTP to fetch
// pages and the server's control routes (/_counters, /_reset, /_log).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quor::test {

// The port written in a port file's text: one decimal number from 1 to 65535 and an optional
// line break. 0 for anything else.
uint16_t ParsePortFileText(std::string_view text);

// The shared server's port, from the file named by QUOR_TEST_SERVER_PORT_FILE; 0 when the
// variable is unset or the file cannot be read or parsed.
uint16_t SharedTestServerPort();
// "http://127.0.0.1:<port>", or empty when SharedTestServerPort() is 0.
std::string SharedTestServerBaseUrl();

struct PlainResponse {
    int status = 0;
    std::string head;  // status line and headers, as received
    std::string body;  // de-chunked when the response was chunked
};

// One GET of `target` ("/path?query") on 127.0.0.1:port with "Connection: close", read to the
// end of the response. Each wait (connect, send, receive) gives up after timeoutMs. False when
// the exchange fails or the answer is not HTTP; then out.status is 0.
bool PlainGet(uint16_t port, std::string_view target, PlainResponse& out, int timeoutMs = 10000);

struct ServerCounters {
    uint64_t bytes = 0;     // body bytes the server sent for the path
    uint64_t requests = 0;  // requests for the path
};
// The counters of one request path (no query), or the totals for an empty path.
bool FetchServerCounters(uint16_t port, std::string_view path, ServerCounters& out);
// Zeroes every counter and empties the request log.
bool ResetServerCounters(uint16_t port);
// The recent requests: for each, its request line, header lines and an empty line.
bool FetchServerLog(uint16_t port, std::string& out);

// What follows is shared with the platform files.
namespace detail {
// Connects to 127.0.0.1:port, sends `request`, and reads until the server closes.
bool ExchangeRaw(uint16_t port, std::string_view request, std::string& response, int timeoutMs);
// How this platform opens the path found in QUOR_TEST_SERVER_PORT_FILE.
std::string PlatformPath(const std::string& path);
// Splits and de-frames a whole response (Content-Length, chunked or close-delimited).
bool ParseResponse(std::string_view raw, PlainResponse& out);
}  // namespace detail

}  // namespace quor::test
