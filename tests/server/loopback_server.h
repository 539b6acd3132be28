// The HTTP server that tests of the Internet classes and of the transfers talk to: the
// in-process test server natively, the run's shared server (started by the CTest fixture) in the
// Windows build under Wine. The same test source runs against both. Both serve the repository as
// their document root and fixture folder, so "/files/<repo path>" and "tag=<repo path>" work with
// either.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quor::test {

struct SeenRequest {
    std::string target;  // as sent, query included
    std::vector<std::pair<std::string, std::string>> headers;
    std::string Header(std::string_view name) const;  // ASCII case-insensitive; empty if none
};

class LoopbackServer {
  public:
    // The one server of this test program; null (with a reason) when none can be reached.
    static LoopbackServer* Get(std::string& whyNot);

    virtual ~LoopbackServer() = default;
    virtual uint16_t Port() const = 0;
    std::string Url(std::string_view target) const;

    // Body bytes sent and requests answered for one request path (no query).
    virtual uint64_t BodyBytes(const std::string& path) = 0;
    virtual uint64_t Requests(const std::string& path) = 0;
    // Connections accepted so far, when the server can tell.
    virtual std::optional<uint64_t> Connections() = 0;
    // Waits (bounded) until the server produces no response any more.
    virtual bool WaitIdle(int timeoutMs) = 0;
    // The logged requests whose target begins with prefix, oldest first.
    virtual std::vector<SeenRequest> RequestsFor(const std::string& prefix) = 0;
};

// A loopback port on which nothing listens (bound, noted, closed).
uint16_t RefusingPort();

}  // namespace quor::test
