#include "tests/server/test_server_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace quor::test::detail {

namespace {

struct WinsockInit {
    bool ok;
    WinsockInit() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockInit() {
        if (ok) {
            WSACleanup();
        }
    }
};

bool Winsock() {
    static WinsockInit init;
    return init.ok;
}

// select() on one socket; true when it is ready for `write` (or reading) in time.
bool WaitSocket(SOCKET s, bool write, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set errors;
    FD_ZERO(&errors);
    FD_SET(s, &errors);
    timeval tv = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &tv);
    return n > 0 && FD_ISSET(s, &set);
}

}  // namespace

// The port file's name comes from the Linux side; Wine shows the Linux root as drive Z:.
std::string PlatformPath(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return "Z:" + path;
    }
    return path;
}

bool ExchangeRaw(uint16_t port, std::string_view request, std::string& response, int timeoutMs) {
    response.clear();
    if (!Winsock()) {
        return false;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return false;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ||
              (WSAGetLastError() == WSAEWOULDBLOCK && WaitSocket(s, true, timeoutMs));
    size_t sent = 0;
    while (ok && sent < request.size()) {
        int k = send(s, request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (k > 0) {
            sent += static_cast<size_t>(k);
        } else if (k == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            ok = WaitSocket(s, true, timeoutMs);
        } else {
            ok = false;
        }
    }
    char buf[16384];
    while (ok) {
        int k = recv(s, buf, sizeof buf, 0);
        if (k > 0) {
            response.append(buf, static_cast<size_t>(k));
        } else if (k == 0) {
            break;
        } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
            ok = WaitSocket(s, false, timeoutMs);
        } else {
            ok = false;
        }
    }
    closesocket(s);
    return ok;
}

}  // namespace quor::test::detail
