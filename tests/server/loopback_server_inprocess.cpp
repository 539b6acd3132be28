#include <memory>

#include "tests/server/loopback_server.h"
#include "tests/server/test_http_server.h"

namespace quor::test {

namespace {

class InProcessServer : public LoopbackServer {
  public:
    InProcessServer() : server_(MakeOptions()) {}

    bool Start(std::string& whyNot) {
        if (!server_.Start()) {
            whyNot = "cannot start the test server: " + server_.LastError();
            return false;
        }
        return true;
    }
    uint16_t Port() const override { return server_.port(); }
    uint64_t BodyBytes(const std::string& path) override { return server_.BodyBytesSent(path); }
    uint64_t Requests(const std::string& path) override { return server_.RequestCount(path); }
    std::optional<uint64_t> Connections() override { return server_.ConnectionsAccepted(); }
    bool WaitIdle(int timeoutMs) override { return server_.WaitIdle(timeoutMs); }
    std::vector<SeenRequest> RequestsFor(const std::string& prefix) override {
        std::vector<SeenRequest> out;
        for (const LoggedRequest& l : server_.Log()) {
            if (l.target.compare(0, prefix.size(), prefix) == 0) {
                out.push_back({l.target, l.headers});
            }
        }
        return out;
    }

  private:
    static TestHttpServer::Options MakeOptions() {
        TestHttpServer::Options o;
        o.root = QUOR_SOURCE_ROOT;
        o.fixtureDir = QUOR_SOURCE_ROOT;
        o.maxBodyBytes = uint64_t{6} << 30;  // room for bodies past 4 GiB
        return o;
    }
    TestHttpServer server_;
};

}  // namespace

LoopbackServer* LoopbackServer::Get(std::string& whyNot) {
    static std::unique_ptr<InProcessServer> server;
    static std::string failure;
    if (!server && failure.empty()) {
        auto s = std::make_unique<InProcessServer>();
        if (s->Start(failure)) {
            server = std::move(s);
        }
    }
    whyNot = failure;
    return server.get();
}

uint16_t RefusingPort() {
    return TestHttpServer::RefusingPort();
}

}  // namespace quor::test
