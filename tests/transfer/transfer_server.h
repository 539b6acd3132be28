// The HTTP server the transfer tests talk to: the in-process test server natively, the run's
// shared server (started by the CTest fixture) in the Windows build under Wine. Both serve the
// repository as their document root and fixture folder, so "tag=tests/transfer/fixtures/..."
// works with either.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quor::test {

class TransferServer {
  public:
    // The one server of this test program; null (with a reason) when none can be reached.
    static TransferServer* Get(std::string& whyNot);

    virtual ~TransferServer() = default;
    virtual uint16_t Port() const = 0;
    std::string Url(std::string_view target) const {
        return "http://127.0.0.1:" + std::to_string(Port()) + std::string(target);
    }
    // Body bytes sent and requests answered for one request path (no query).
    virtual uint64_t BodyBytes(const std::string& path) = 0;
    virtual uint64_t Requests(const std::string& path) = 0;
    // Waits (bounded) until the server produces no response any more.
    virtual bool WaitIdle(int timeoutMs) = 0;
};

// A loopback port on which nothing listens (bound, noted, closed).
uint16_t ClosedPort();

}  // namespace quor::test
