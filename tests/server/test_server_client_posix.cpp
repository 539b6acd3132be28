#include "tests/server/test_server_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quor::test::detail {

namespace {

bool WaitFd(int fd, short events, int timeoutMs) {
    pollfd p = {fd, events, 0};
    int n;
    do {
        n = poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

}  // namespace

std::string PlatformPath(const std::string& path) {
    return path;
}

bool ExchangeRaw(uint16_t port, std::string_view request, std::string& response, int timeoutMs) {
    response.clear();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    bool ok = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ||
        (errno == EINPROGRESS && WaitFd(fd, POLLOUT, timeoutMs))) {
        int err = 0;
        socklen_t len = sizeof err;
        ok = getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    size_t sent = 0;
    while (ok && sent < request.size()) {
        ssize_t k = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (k > 0) {
            sent += static_cast<size_t>(k);
        } else if (k < 0 && errno == EAGAIN) {
            ok = WaitFd(fd, POLLOUT, timeoutMs);
        } else if (!(k < 0 && errno == EINTR)) {
            ok = false;
        }
    }
    char buf[16384];
    while (ok) {
        ssize_t k = recv(fd, buf, sizeof buf, 0);
        if (k > 0) {
            response.append(buf, static_cast<size_t>(k));
        } else if (k == 0) {
            break;
        } else if (errno == EAGAIN) {
            ok = WaitFd(fd, POLLIN, timeoutMs);
        } else if (errno != EINTR) {
            ok = false;
        }
    }
    close(fd);
    return ok;
}

}  // namespace quor::test::detail
