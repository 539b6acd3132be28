// WinINet, the client the library uses on Windows, against the shared test server: the framing,
// range and fault routes read the same through it as through a native client.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/server/test_http_server.h"
#include "tests/server/test_server_client.h"

namespace quor::test {
namespace {

struct InternetHandle {
    HINTERNET h = nullptr;
    ~InternetHandle() {
        if (h) {
            InternetCloseHandle(h);
        }
    }
};

struct WinInetResult {
    bool sent = false;
    DWORD status = 0;
    bool hasLength = false;
    DWORD length = 0;
    std::string location;
    std::string body;
};

// One GET with the flags the library's requests use: redirects not followed, no cache.
WinInetResult Fetch(uint16_t port, const std::string& target, const std::string& headers = {}) {
    WinInetResult r;
    InternetHandle session{
        InternetOpenA("quor-wininet-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)};
    if (!session.h) {
        return r;
    }
    DWORD timeout = 30000;
    InternetSetOptionA(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(session.h, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    InternetHandle connection{InternetConnectA(session.h, "127.0.0.1", port, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0)};
    if (!connection.h) {
        return r;
    }
    InternetHandle request{HttpOpenRequestA(
        connection.h, "GET", target.c_str(), nullptr, nullptr, nullptr,
        INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)};
    if (!request.h) {
        return r;
    }
    r.sent = HttpSendRequestA(request.h, headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0);
    if (!r.sent) {
        return r;
    }
    DWORD size = sizeof r.status;
    HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &r.status, &size,
                   nullptr);
    size = sizeof r.length;
    r.hasLength = HttpQueryInfoA(request.h, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                 &r.length, &size, nullptr);
    char location[1024] = {};
    size = sizeof location - 1;
    if (HttpQueryInfoA(request.h, HTTP_QUERY_LOCATION, location, &size, nullptr)) {
        r.location.assign(location, size);
    }
    char buf[16384];
    for (int reads = 0; reads < 100000; ++reads) {
        DWORD n = 0;
        if (!InternetReadFile(request.h, buf, sizeof buf, &n) || n == 0) {
            break;
        }
        r.body.append(buf, n);
    }
    return r;
}

bool IsPattern(const std::string& s, uint64_t offset = 0) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (static_cast<uint8_t>(s[i]) != PatternByte(offset + i)) {
            return false;
        }
    }
    return true;
}

class WinInetAgainstServer : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = SharedTestServerPort();
        ASSERT_NE(port_, 0) << "no shared test server";
        tag_ = std::to_string(std::random_device{}());
    }
    // A path of this test's own, so that counters are not shared with other tests.
    std::string Path(const std::string& route) { return route + "/wininet-" + tag_ + ".mp3"; }
    std::string Path(const std::string& route, size_t n) {
        return route + "/wininet-" + tag_ + "-" + std::to_string(n) + ".mp3";
    }
    uint16_t port_ = 0;
    std::string tag_;
};

TEST_F(WinInetAgainstServer, BodiesArriveWhateverTheirFraming) {
    const struct {
        const char* route;
        const char* query;
        size_t size;
        bool hasLength;
    } kCases[] = {
        {"/exact", "?size=100000", 100000, true},
        {"/exact", "?size=0", 0, true},
        {"/chunked", "?size=50000&chunk=1000", 50000, false},
        {"/nolength", "?size=30000", 30000, false},
        {"/slow", "?size=3000&chunk=1000&delay_ms=10", 3000, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.route) + c.query);
        std::string path = Path(c.route, static_cast<size_t>(&c - kCases));
        WinInetResult r = Fetch(port_, path + c.query);
        ASSERT_TRUE(r.sent) << GetLastError();
        EXPECT_EQ(r.status, 200u);
        EXPECT_EQ(r.hasLength, c.hasLength);
        if (c.hasLength) {
            EXPECT_EQ(r.length, c.size);
        }
        EXPECT_EQ(r.body.size(), c.size);
        EXPECT_TRUE(IsPattern(r.body));
        ServerCounters counters;
        ASSERT_TRUE(FetchServerCounters(port_, path, counters));
        EXPECT_EQ(counters.bytes, c.size);
        EXPECT_EQ(counters.requests, 1u);
    }
}

TEST_F(WinInetAgainstServer, RangeCutRedirectAndStatus) {
    WinInetResult range = Fetch(port_, Path("/exact") + "?size=1000", "Range: bytes=10-19\r\n");
    EXPECT_EQ(range.status, 206u);
    EXPECT_EQ(range.body.size(), 10u);
    EXPECT_TRUE(IsPattern(range.body, 10));

    WinInetResult cut = Fetch(port_, Path("/cut") + "?size=1000&after=500");
    EXPECT_EQ(cut.length, 1000u);
    EXPECT_LE(cut.body.size(), 500u);
    EXPECT_TRUE(IsPattern(cut.body));

    const std::string target = Path("/exact") + "?size=3";
    WinInetResult moved = Fetch(port_, "/redirect?status=302&to=" + Path("/exact") + "%3Fsize%3D3");
    EXPECT_EQ(moved.status, 302u);
    EXPECT_EQ(moved.location, target);
    ServerCounters counters;
    ASSERT_TRUE(FetchServerCounters(port_, Path("/exact"), counters));
    EXPECT_EQ(counters.requests, 1u) << "only the range request: the redirect is not followed";

    WinInetResult missing = Fetch(port_, Path("/status") + "?code=404&body=not%20here");
    EXPECT_EQ(missing.status, 404u);
    EXPECT_EQ(missing.body, "not here");
}

TEST(WinInetRefused, ClosedPortFailsAtSend) {
    // Port 1 on loopback: nothing listens there.
    WinInetResult r = Fetch(1, "/");
    EXPECT_FALSE(r.sent);
}

}  // namespace
}  // namespace quor::test
