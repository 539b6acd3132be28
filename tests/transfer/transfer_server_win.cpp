#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <memory>
#include <thread>

#include "tests/server/test_server_client.h"
#include "tests/transfer/transfer_server.h"

namespace quor::test {

namespace {

class SharedServer : public TransferServer {
  public:
    explicit SharedServer(uint16_t port) : port_(port) {}
    uint16_t Port() const override { return port_; }
    uint64_t BodyBytes(const std::string& path) override { return Counters(path).bytes; }
    uint64_t Requests(const std::string& path) override { return Counters(path).requests; }

    // The shared server does not say when it is idle; its totals standing still is the sign.
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

  private:
    ServerCounters Counters(const std::string& path) {
        ServerCounters c;
        FetchServerCounters(port_, path, c);
        return c;
    }
    uint16_t port_;
};

}  // namespace

TransferServer* TransferServer::Get(std::string& whyNot) {
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

uint16_t ClosedPort() {
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
