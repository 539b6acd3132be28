// What only the native backend promises: the system's configured access means the proxy
// environment variables (through libcurl); the body is buffered no further ahead of the reader
// than its read buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "afx/inet/internet_session.h"
#include "tests/server/loopback_server.h"

namespace quor::test {
namespace {

class ProxyVariable {
  public:
    explicit ProxyVariable(const std::string& value) { setenv("http_proxy", value.c_str(), 1); }
    ~ProxyVariable() { unsetenv("http_proxy"); }
};

std::string ReadSmall(CInternetSession& session, const std::string& url, uint32_t& errorOut) {
    std::string body;
    errorOut = 0;
    try {
        std::unique_ptr<CStdioFile> file(session.OpenURL(url.c_str()));
        if (file) {
            char buffer[256];
            body.assign(buffer, file->Read(buffer, sizeof buffer));
        }
    } catch (CInternetException* e) {
        errorOut = e->m_dwError;
        e->Delete();
    }
    return body;
}

TEST(InetProxyEnvironment, SessionsUseIt) {
    std::string whyNot;
    LoopbackServer* server = LoopbackServer::Get(whyNot);
    ASSERT_NE(server, nullptr) << whyNot;
    const std::string path = "/exact/inet-env-" + std::to_string(std::random_device{}());
    ProxyVariable proxy("http://127.0.0.1:" + std::to_string(server->Port()));

    // Nothing listens at the target itself: only the proxy can answer.
    const std::string origin = "http://localhost:" + std::to_string(RefusingPort());
    CInternetSession session;
    uint32_t error = 0;
    EXPECT_EQ(ReadSmall(session, origin + path + "?size=20", error).size(), 20u);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(server->RequestsFor(origin + path).size(), 1u);
}

TEST(InetNativeBuffering, TransferWaitsForTheReader) {
    std::string whyNot;
    LoopbackServer* server = LoopbackServer::Get(whyNot);
    ASSERT_NE(server, nullptr) << whyNot;
    const std::string target =
        "/exact/inet-buffer-" + std::to_string(std::random_device{}()) + "?size=52428800";
    CInternetSession session;
    std::unique_ptr<CHttpConnection> connection(
        session.GetHttpConnection("127.0.0.1", server->Port()));
    ASSERT_TRUE(connection);
    std::unique_ptr<CHttpFile> file(
        connection->OpenRequest(CHttpConnection::HTTP_VERB_GET, target.c_str()));
    ASSERT_TRUE(file);
    file->SendRequest();
    ASSERT_TRUE(file->SetReadBufferSize(4096));
    char buffer[100];
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(file->Read(buffer, sizeof buffer), sizeof buffer);
        // Held for the reader: at most the least held ahead (256 KiB), and one network chunk.
        EXPECT_LE(file->GetLength(), 262144u + 65536u);
    }
}

}  // namespace
}  // namespace quor::test
