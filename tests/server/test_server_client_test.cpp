// The client helpers, and the shared server that CTest starts for this run (natively and, for
// the Windows build, as a Linux process reached from under Wine).
#include "tests/server/test_server_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "tests/server/test_http_server.h"

namespace quor::test {
namespace {

TEST(PortFileText, AcceptsOnlyOnePortNumber) {
    const struct {
        const char* text;
        uint16_t port;
    } kCases[] = {
        {"8080\n", 8080}, {"8080", 8080}, {"1\r\n", 1},  {"65535\n", 65535},
        {"0\n", 0},       {"65536\n", 0}, {"", 0},       {"\n", 0},
        {"80 81\n", 0},   {"-80\n", 0},   {"port\n", 0}, {"99999999999999999999", 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        EXPECT_EQ(ParsePortFileText(c.text), c.port);
    }
}

TEST(ParseResponse, DeframesEachBodyKind) {
    const struct {
        const char* name;
        std::string raw;
        bool ok;
        int status;
        std::string body;
    } kCases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", true, 200, "abc"},
        {"length case", "HTTP/1.1 404 Not Found\r\ncontent-length:2\r\n\r\nxy", true, 404, "xy"},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n1;x=y\r\nd\r\n0\r\n\r\n",
         true, 200, "abcd"},
        {"close", "HTTP/1.0 200 OK\r\n\r\nto the end", true, 200, "to the end"},
        {"short body", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", false, 0, ""},
        {"bad chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, 0, ""},
        {"chunk past end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nab", false, 0,
         ""},
        {"not http", "SSH-2.0-x\r\n\r\n", false, 0, ""},
        {"no head end", "HTTP/1.1 200 OK\r\n", false, 0, ""},
        {"empty", "", false, 0, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        PlainResponse r;
        EXPECT_EQ(detail::ParseResponse(c.raw, r), c.ok);
        EXPECT_EQ(r.status, c.status);
        if (c.ok) {
            EXPECT_EQ(r.body, c.body);
        }
    }
}

class SharedServer : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = SharedTestServerPort();
        ASSERT_NE(port_, 0) << "no shared test server; QUOR_TEST_SERVER_PORT_FILE="
                            << (getenv("QUOR_TEST_SERVER_PORT_FILE")
                                    ? getenv("QUOR_TEST_SERVER_PORT_FILE")
                                    : "(unset)");
    }
    uint16_t port_ = 0;
};

TEST_F(SharedServer, BaseUrlNamesTheLoopbackPort) {
    EXPECT_EQ(SharedTestServerBaseUrl(), "http://127.0.0.1:" + std::to_string(port_));
}

// Other tests share this server, so this one counts on a path of its own and never resets.
TEST_F(SharedServer, ServesExactBytesAndCountsThem) {
    const std::string path =
        "/exact/client-test-" + std::to_string(std::random_device{}()) + ".bin";
    PlainResponse r;
    ASSERT_TRUE(PlainGet(port_, path + "?size=100000", r));
    EXPECT_EQ(r.status, 200);
    ASSERT_EQ(r.body.size(), 100000u);
    for (size_t i = 0; i < r.body.size(); ++i) {
        ASSERT_EQ(static_cast<uint8_t>(r.body[i]), PatternByte(i)) << "at " << i;
    }
    ASSERT_TRUE(PlainGet(port_, path + "?size=10", r));

    ServerCounters c;
    ASSERT_TRUE(FetchServerCounters(port_, path, c));
    EXPECT_EQ(c.bytes, 100010u);
    EXPECT_EQ(c.requests, 2u);
    ServerCounters total;
    ASSERT_TRUE(FetchServerCounters(port_, "", total));
    EXPECT_GE(total.bytes, c.bytes);
}

TEST_F(SharedServer, LogShowsTheRequestAndItsHeaders) {
    const std::string path = "/status/client-log-" + std::to_string(std::random_device{}());
    PlainResponse r;
    ASSERT_TRUE(PlainGet(port_, path + "?code=404&body=gone", r));
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.body, "gone");
    std::string log;
    ASSERT_TRUE(FetchServerLog(port_, log));
    const std::string line = "GET " + path + "?code=404&body=gone HTTP/1.1\n";
    size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find("User-Agent: quor-test-client\n", at), std::string::npos);
}

TEST_F(SharedServer, ServesFilesOfTheRepository) {
    PlainResponse r;
    ASSERT_TRUE(PlainGet(port_, "/files/tests/server/QuorTestServer.cmake", r));
    EXPECT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("quor_use_test_server"), std::string::npos);
    ASSERT_TRUE(PlainGet(port_, "/files/tests/server/no-such-file", r));
    EXPECT_EQ(r.status, 404);
}

TEST(PlainGet, FailsCleanlyOnARefusedPort) {
    // Port 1 on loopback: nothing of ours listens there, and connecting needs no privilege.
    PlainResponse r;
    EXPECT_FALSE(PlainGet(1, "/", r, 5000));
    EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace quor::test
