#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/server/loopback_server.h"
#include "tests/server/test_server_client.h"

namespace quor::test {

namespace {

class SharedServer : public LoopbackServer {
  public:
    explicit SharedServer(uint16_t port) : port_(port) {}
    uint16_t Port() const override { return port_; }
    uint64_t BodyBytes(const std::string& path) override { return Counters(path).bytes; }
    uint64_t Requests(const std::string& path) override { return Counters(path).requests; }
    std::optional<uint64_t> Connections() override { return std::nullopt; }

    // The shared server does not say when it is idle; its totals standing still for a while
    // is the sign.
    bool WaitIdle(int timeoutMs) override {
        ServerCounters last;
        FetchServerCounters(port_, "", last);
        for (int waited = 0; waited < timeoutMs; waited += 300) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ServerCounters now;
            if (!FetchServerCounters(port_, "", now)) {
                return false;
            }
            if (now.bytes == last.bytes && now.requests == last.requests) {
                return true;
            }
            last = now;
        }
        return false;
    }

    std::vector<SeenRequest> RequestsFor(const std::string& prefix) override {
        std::vector<SeenRequest> out;
        std::string text;
        if (!FetchServerLog(port_, text)) {
            return out;
        }
        std::istringstream lines(text);
        std::string line;
        SeenRequest pending;
        bool inRequest = false;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.empty()) {
                if (inRequest && pending.target.compare(0, prefix.size(), prefix) == 0) {
                    out.push_back(pending);
                }
                inRequest = false;
                continue;
            }
            if (!inRequest) {
                // "GET /target HTTP/1.1"
                pending = SeenRequest{};
                size_t a = line.find(' ');
                size_t b = line.rfind(' ');
                if (a != std::string::npos && b > a) {
                    pending.target = line.substr(a + 1, b - a - 1);
                }
                inRequest = true;
                continue;
            }
            size_t colon = line.find(':');
            if (colon != std::string::npos) {
                size_t v = line.find_first_not_of(' ', colon + 1);
                pending.headers.emplace_back(line.substr(0, colon),
                                             v == std::string::npos ? "" : line.substr(v));
            }
        }
        return out;
    }

  private:
    ServerCounters Counters(const std::string& path) {
        ServerCounters c;
        FetchServerCounters(port_, path, c);
        return c;
    }
    uint16_t port_;
};

}  // namespace

LoopbackServer* LoopbackServer::Get(std::string& whyNot) {
    static std::unique_ptr<SharedServer> server;
    if (!server) {
        uint16_t port = SharedTestServerPort();
        if (port == 0) {
            whyNot = "no shared test server (QUOR_TEST_SERVER_PORT_FILE)";
            return nullptr;
        }
        server = std::make_unique<SharedServer>(port);
    }
    return server.get();
}

uint16_t RefusingPort() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 0;
    }
    uint16_t port = 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            port = ntohs(address.sin_port);
        }
        closesocket(s);
    }
    WSACleanup();
    return port;
}

}  // namespace quor::test
