// The Internet classes against a real HTTP server on loopback: natively on libcurl, and as a
// Windows program under Wine on WinINet. Both must give the same answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "afx/inet/internet_session.h"
#include "tests/server/loopback_fixture.h"
#include "tests/server/test_http_server.h"
#include "tests/inet/internet_error_of.h"

namespace quor::test {
namespace {

// The user agent a session sends when none is named: the program's own name (what the class
// library takes as the application's name).
std::string ExpectedDefaultAgent() {
    return "inet_http_test";
}

constexpr uint32_t kTestReceiveTimeoutMs = 20000;

bool IsPattern(const std::string& s, uint64_t offset = 0) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (static_cast<uint8_t>(s[i]) != PatternByte(offset + i)) {
            return false;
        }
    }
    return true;
}

std::string ReadBytes(CFile& file, unsigned count) {
    std::string out(count, '\0');
    unsigned n = file.Read(out.data(), count);
    out.resize(n);
    return out;
}

// Reads to the end in reads of `chunk` bytes; stops after `limit` bytes whatever happens.
std::string ReadToEnd(CFile& file, unsigned chunk, size_t limit = 64u << 20) {
    std::string out;
    std::string buffer(chunk, '\0');
    while (out.size() < limit) {
        unsigned n = file.Read(buffer.data(), chunk);
        if (n == 0) {
            break;
        }
        out.append(buffer, 0, n);
    }
    return out;
}

struct Request {
    std::unique_ptr<CHttpConnection> connection;
    std::unique_ptr<CHttpFile> file;
};

class InetHttp : public LoopbackServerTest {
  protected:
    InetHttp() : LoopbackServerTest("inet") {}

    void SetUp() override {
        LoopbackServerTest::SetUp();
        session_ = NewSession();
    }

    static std::unique_ptr<CInternetSession> NewSession(const char* agent = nullptr) {
        auto session = std::make_unique<CInternetSession>(agent);
        session->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, kTestReceiveTimeoutMs);
        return session;
    }

    // A GET with the library's flags on a new connection of session_; not sent yet.
    Request Open(const std::string& target, uint16_t port = 0) {
        Request r;
        r.connection.reset(
            session_->GetHttpConnection("127.0.0.1", port != 0 ? port : server_->Port()));
        EXPECT_NE(r.connection, nullptr);
        if (r.connection) {
            r.file.reset(r.connection->OpenRequest(CHttpConnection::HTTP_VERB_GET, target.c_str()));
            EXPECT_NE(r.file, nullptr);
        }
        return r;
    }

    Request Send(const std::string& target) {
        Request r = Open(target);
        if (r.file) {
            EXPECT_EQ(InternetErrorOf([&] { EXPECT_TRUE(r.file->SendRequest()); }), 0u) << target;
        }
        return r;
    }

    // The same resource either way a file is had: a sent request or OpenURL.
    struct Opened {
        Request request;
        std::unique_ptr<CStdioFile> url;
        CFile* file = nullptr;
    };
    Opened OpenEither(const std::string& target, bool viaUrl) {
        Opened o;
        if (viaUrl) {
            o.url = OpenUrl(target);
            o.file = o.url.get();
        } else {
            o.request = Send(target);
            o.file = o.request.file.get();
        }
        return o;
    }

    std::unique_ptr<CStdioFile> OpenUrl(const std::string& target,
                                        uint32_t flags = INTERNET_FLAG_TRANSFER_ASCII) {
        std::unique_ptr<CStdioFile> file;
        uint32_t error = InternetErrorOf(
            [&] { file.reset(session_->OpenURL(server_->Url(target).c_str(), 1, flags)); });
        EXPECT_EQ(error, 0u) << target;
        EXPECT_NE(file, nullptr) << target;
        return file;
    }

    std::unique_ptr<CInternetSession> session_;
};

TEST_F(InetHttp, OtherSchemesAreRefusedWithoutTraffic) {
    const std::string port = std::to_string(server_->Port());
    const std::string path = Path("/exact", "scheme");
    for (const std::string& url :
         {"gopher://127.0.0.1:" + port + path + "?size=10", "telnet://127.0.0.1:" + port + path,
          std::string("mailto:a@b"), std::string("news:alt.test")}) {
        SCOPED_TRACE(url);
        CStdioFile* file = nullptr;
        EXPECT_EQ(InternetErrorOf([&] { file = session_->OpenURL(url.c_str()); }), 0u);
        EXPECT_EQ(file, nullptr);
        delete file;
    }
    for (const char* text : {"", "no url at all", "http:/127.0.0.1/x", "//127.0.0.1/x"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(InternetErrorOf([&] { delete session_->OpenURL(text); }),
                  ERROR_INTERNET_INVALID_URL);
    }
    EXPECT_EQ(server_->Requests(path), 0u);
}

TEST_F(InetHttp, ExplicitPortIsTheOneConnectedTo) {
    const std::string path = Path("/exact", "port");
    Request r = Send(path + "?size=300");
    ASSERT_TRUE(r.file);
    uint32_t status = 0;
    ASSERT_TRUE(r.file->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 200u);
    std::string body = ReadToEnd(*r.file, 1000);
    EXPECT_EQ(body.size(), 300u);
    EXPECT_TRUE(IsPattern(body));
    EXPECT_EQ(server_->Requests(path), 1u);
}

TEST_F(InetHttp, ErrorPagesAndRedirectionsAreReadAsSuccess) {
    const std::string target = Path("/exact", "never-followed");
    const struct {
        std::string name;
        std::string query;
        uint32_t status;
        std::string body;
    } kCases[] = {
        {"404", "?code=404&body=missing%20page", 404, "missing page"},
        {"500", "?code=500&body=broken", 500, "broken"},
        {"200", "?code=200&body=fine", 200, "fine"},
        {"302", "?status=302&to=" + target, 302, ""},
        {"301", "?status=301&to=" + target, 301, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const bool redirect = c.query.rfind("?status=", 0) == 0;
        Request r = Send(Path(redirect ? "/redirect" : "/status", c.name) + c.query);
        ASSERT_TRUE(r.file);
        uint32_t status = 0;
        ASSERT_TRUE(r.file->QueryInfoStatusCode(status));
        EXPECT_EQ(status, c.status);
        std::string body = ReadToEnd(*r.file, 4096);
        if (redirect) {
            EXPECT_FALSE(body.empty());  // the redirection's own small page
        } else {
            EXPECT_EQ(body, c.body);
        }
    }
    EXPECT_EQ(server_->Requests(target), 0u);
}

TEST_F(InetHttp, RefusedConnectionFailsAtSendRequestWithCannotConnect) {
    const uint16_t refusing = quor::test::RefusingPort();
    Request r = Open("/anything", refusing);
    ASSERT_TRUE(r.file);  // nothing has gone over the network yet
    EXPECT_EQ(InternetErrorOf([&] { r.file->SendRequest(); }), ERROR_INTERNET_CANNOT_CONNECT);

    std::string url = "http://127.0.0.1:" + std::to_string(refusing) + "/x.mp3";
    EXPECT_EQ(InternetErrorOf([&] { delete session_->OpenURL(url.c_str()); }),
              ERROR_INTERNET_CANNOT_CONNECT);
}

TEST_F(InetHttp, ExactSizesThroughARequestAndThroughOpenUrl) {
    for (uint64_t size : {0u, 1u, 127u, 128u, 16383u, 16384u, 16385u, 100000u}) {
        for (bool viaUrl : {false, true}) {
            const std::string name = std::to_string(size) + (viaUrl ? "-url" : "-request");
            SCOPED_TRACE(name);
            const std::string path = Path("/exact", name);
            const std::string target = path + "?size=" + std::to_string(size);
            Opened opened = OpenEither(target, viaUrl);
            CFile* file = opened.file;
            ASSERT_NE(file, nullptr);
            EXPECT_EQ(file->Seek(0, CFile::end), static_cast<int64_t>(size));
            EXPECT_EQ(file->Seek(0, CFile::begin), 0);
            // Odd read sizes cross every block boundary somewhere.
            std::string body = ReadToEnd(*file, 3001);
            EXPECT_EQ(body.size(), size);
            EXPECT_TRUE(IsPattern(body));
            EXPECT_EQ(ReadBytes(*file, 10), "");
            file->Close();
            if (viaUrl && size == 0) {
                // Nothing to fetch: the answer to the first block is the short 416 page.
                EXPECT_LE(server_->BodyBytes(path), 64u);
            } else {
                EXPECT_EQ(server_->BodyBytes(path), size);
            }
        }
    }
}

TEST_F(InetHttp, BodiesWithoutALengthHaveNoEndToSeekTo) {
    const struct {
        const char* route;
        const char* query;
    } kCases[] = {
        {"/nolength", "?size=30000"},
        {"/chunked", "?size=50000&chunk=1000"},
    };
    for (const auto& c : kCases) {
        for (bool viaUrl : {false, true}) {
            SCOPED_TRACE(std::string(c.route) + (viaUrl ? " url" : " request"));
            const std::string target = Path(c.route, viaUrl ? "url" : "request") + c.query;
            Opened opened = OpenEither(target, viaUrl);
            CFile* file = opened.file;
            ASSERT_NE(file, nullptr);
            EXPECT_EQ(InternetErrorOf([&] { file->Seek(0, CFile::end); }),
                      ERROR_INTERNET_INVALID_OPERATION);
            uint32_t available = file->GetLength();
            EXPECT_GT(available, 0u);
            std::string body = ReadToEnd(*file, 16384);
            EXPECT_EQ(body.size(), std::stoul(c.query + 6));
            EXPECT_TRUE(IsPattern(body));
            EXPECT_EQ(file->GetLength(), 0u);
        }
    }
}

// A body that stops before its announced length is an error, never a short success.
TEST_F(InetHttp, BodyCutOffMidwayThrowsConnectionAborted) {
    for (bool viaUrl : {false, true}) {
        SCOPED_TRACE(viaUrl ? "url" : "request");
        const std::string target =
            Path("/cut", viaUrl ? "url" : "request") + "?size=10000&after=4000";
        Opened opened = OpenEither(target, viaUrl);
        CFile* file = opened.file;
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->Seek(0, CFile::end), 10000);
        EXPECT_EQ(file->Seek(0, CFile::begin), 0);
        std::string got;
        uint32_t error = InternetErrorOf([&] {
            std::string buffer(1000, '\0');
            for (int reads = 0; reads < 20; ++reads) {
                unsigned n = file->Read(buffer.data(), 1000);
                got.append(buffer, 0, n);
                if (n == 0) {
                    break;
                }
            }
        });
        EXPECT_EQ(error, ERROR_INTERNET_CONNECTION_ABORTED);
        EXPECT_LE(got.size(), 4000u);
        EXPECT_TRUE(IsPattern(got));
        // It stays failed.
        EXPECT_EQ(InternetErrorOf([&] { ReadBytes(*file, 10); }),
                  ERROR_INTERNET_CONNECTION_ABORTED);
    }
}

TEST_F(InetHttp, EndlessBodyStopsWhenTheReaderCloses) {
    const std::string path = Path("/endless", "reader");
    Request r = Send(path + "?chunk=4096");
    ASSERT_TRUE(r.file);
    EXPECT_EQ(InternetErrorOf([&] { r.file->Seek(0, CFile::end); }),
              ERROR_INTERNET_INVALID_OPERATION);
    std::string body;
    std::string buffer(10000, '\0');
    for (int reads = 0; reads < 10; ++reads) {
        unsigned n = r.file->Read(buffer.data(), 10000);
        ASSERT_EQ(n, 10000u);
        body.append(buffer);
    }
    EXPECT_TRUE(IsPattern(body));
    r.file->Close();
    r.file.reset();
    r.connection.reset();
    EXPECT_TRUE(server_->WaitIdle(20000));
    // The server's endless cap is 256 MiB; what it sent is socket buffers at most.
    EXPECT_LT(server_->BodyBytes(path), 32u << 20);
}

TEST_F(InetHttp, SlowBodyArrivesChunkByChunk) {
    Request r = Send(Path("/slow", "chunks") + "?size=3000&chunk=1000&delay_ms=50");
    ASSERT_TRUE(r.file);
    uint32_t available = r.file->GetLength();
    EXPECT_GE(available, 1u);
    EXPECT_LE(available, 3000u);
    std::string body;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        std::string chunk = ReadBytes(*r.file, 1000);
        EXPECT_EQ(chunk.size(), 1000u);
        body += chunk;
    }
    EXPECT_EQ(ReadBytes(*r.file, 1000), "");
    EXPECT_TRUE(IsPattern(body));
}

TEST_F(InetHttp, WaitingLongerThanTheReceiveTimeoutFails) {
    EXPECT_TRUE(session_->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 500));
    Request r = Send(Path("/slow", "timeout") + "?size=2000&chunk=1000&delay_ms=5000");
    ASSERT_TRUE(r.file);
    EXPECT_EQ(InternetErrorOf([&] { ReadToEnd(*r.file, 2000); }), ERROR_INTERNET_TIMEOUT);
}

TEST_F(InetHttp, SeekingARequestsBody) {
    const std::string path = Path("/exact", "seek");
    Request r = Send(path + "?size=40000");
    ASSERT_TRUE(r.file);
    const InternetCounters before = AfxGetInternetCounters();
    // The size comes from the response head: nothing of the body is read for it.
    EXPECT_EQ(r.file->Seek(0, CFile::end), 40000);
    EXPECT_EQ(r.file->Seek(0, CFile::begin), 0);
    EXPECT_EQ(AfxGetInternetCounters().bodyBytesRead, before.bodyBytesRead);

    // As the tag reader does: header, body, then back to where the audio starts.
    EXPECT_TRUE(IsPattern(ReadBytes(*r.file, 10)));
    EXPECT_TRUE(IsPattern(ReadBytes(*r.file, 32768), 10));
    EXPECT_EQ(r.file->Seek(32768, CFile::begin), 32768);
    std::string window = ReadBytes(*r.file, 250);
    EXPECT_EQ(window.size(), 250u);
    EXPECT_TRUE(IsPattern(window, 32768));

    EXPECT_EQ(r.file->Seek(-100, CFile::current), 32918);
    EXPECT_TRUE(IsPattern(ReadBytes(*r.file, 200), 32918));
    // Forward: read and dropped.
    EXPECT_EQ(r.file->Seek(35000, CFile::begin), 35000);
    EXPECT_TRUE(IsPattern(ReadBytes(*r.file, 100), 35000));
    // Beyond the history, or before the start: refused, position unchanged.
    EXPECT_EQ(InternetErrorOf([&] { r.file->Seek(0, CFile::begin); }),
              ERROR_INTERNET_INVALID_OPERATION);
    EXPECT_EQ(InternetErrorOf([&] { r.file->Seek(-1, CFile::begin); }),
              ERROR_INTERNET_INVALID_OPERATION);
    EXPECT_TRUE(IsPattern(ReadBytes(*r.file, 100), 35100));
    // Past the end: nothing more to read, and nothing transferred to get there.
    EXPECT_EQ(r.file->Seek(10, CFile::end), 40010);
    EXPECT_EQ(ReadBytes(*r.file, 100), "");
}

TEST_F(InetHttp, OpenUrlTransfersOnlyWhatTheTagReaderReads) {
    const std::string path = Path("/exact", "50mb.mp3");
    std::unique_ptr<CStdioFile> file = OpenUrl(path + "?size=52428800");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Seek(0, CFile::end), 52428800);
    EXPECT_EQ(file->Seek(0, CFile::begin), 0);
    EXPECT_TRUE(IsPattern(ReadBytes(*file, 10)));
    std::string body = ReadBytes(*file, 32768);
    EXPECT_EQ(body.size(), 32768u);
    EXPECT_TRUE(IsPattern(body, 10));
    EXPECT_EQ(file->Seek(32768, CFile::begin), 32768);
    std::string window = ReadBytes(*file, 250);
    EXPECT_EQ(window.size(), 250u);
    EXPECT_TRUE(IsPattern(window, 32768));
    file->Close();
    EXPECT_LE(server_->BodyBytes(path), 64u * 1024);
    EXPECT_LE(server_->Requests(path), 4u);
}

TEST_F(InetHttp, OpenUrlSeeksAnywhereInBlocks) {
    const std::string path = Path("/exact", "anywhere");
    std::unique_ptr<CStdioFile> file = OpenUrl(path + "?size=5000000");
    ASSERT_TRUE(file);
    const struct {
        long position;
        unsigned count;
    } kReads[] = {{4000000, 100}, {5, 20}, {4999990, 100}, {16380, 10}, {2500000, 40000}};
    uint64_t expectedMax = 16384;  // the first block, fetched on opening
    for (const auto& read : kReads) {
        SCOPED_TRACE(read.position);
        EXPECT_EQ(file->Seek(read.position, CFile::begin), read.position);
        std::string got = ReadBytes(*file, read.count);
        EXPECT_EQ(got.size(), std::min<uint64_t>(read.count, 5000000 - read.position));
        EXPECT_TRUE(IsPattern(got, read.position));
        expectedMax += (read.count / 16384 + 2) * 16384;
    }
    EXPECT_EQ(file->Seek(0, CFile::end), 5000000);
    EXPECT_EQ(ReadBytes(*file, 1), "");
    EXPECT_LE(server_->BodyBytes(path), expectedMax);
}

TEST_F(InetHttp, OpenUrlReadBufferSizeIsTheBlockSize) {
    const std::string path = Path("/exact", "blocks");
    std::unique_ptr<CStdioFile> opened = OpenUrl(path + "?size=100000");
    auto* file = dynamic_cast<CInternetFile*>(opened.get());
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->SetReadBufferSize(4096));
    EXPECT_FALSE(file->SetReadBufferSize(64u << 20));
    EXPECT_EQ(file->Seek(50000, CFile::begin), 50000);
    EXPECT_EQ(file->GetLength(), 4096u);  // one block is what can be read at once
    EXPECT_TRUE(IsPattern(ReadBytes(*file, 10), 50000));
    file->Close();
    EXPECT_EQ(server_->BodyBytes(path), 16384u + 4096u);
}

TEST_F(InetHttp, OpenUrlFollowsRedirectionsUnlessAskedNotTo) {
    const std::string target = Path("/exact", "redirected") + "?size=20000";
    const std::string redirect = Path("/redirect", "to-exact") + "?status=302&to=" + target;
    std::unique_ptr<CStdioFile> file = OpenUrl(redirect);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Seek(0, CFile::end), 20000);
    EXPECT_EQ(file->Seek(0, CFile::begin), 0);
    std::string body = ReadToEnd(*file, 8192);
    EXPECT_EQ(body.size(), 20000u);
    EXPECT_TRUE(IsPattern(body));

    std::unique_ptr<CStdioFile> unfollowed = OpenUrl(redirect, INTERNET_FLAG_NO_AUTO_REDIRECT);
    ASSERT_TRUE(unfollowed);
    uint32_t status = 0;
    auto* http = dynamic_cast<CHttpFile*>(unfollowed.get());
    ASSERT_NE(http, nullptr);
    EXPECT_TRUE(http->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 302u);
}

TEST_F(InetHttp, OpenUrlOfAServerThatIgnoresRangesStreams) {
    std::unique_ptr<CStdioFile> file = OpenUrl(Path("/status", "plain") + "?code=200&body=whole");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Seek(0, CFile::end), 5);
    EXPECT_EQ(file->Seek(0, CFile::begin), 0);
    EXPECT_EQ(ReadToEnd(*file, 100), "whole");
}

// The requests of a session, and of the sessions after it, go over one kept-alive connection.
TEST_F(InetHttp, RequestsOfASessionShareItsConnection) {
    std::optional<uint64_t> before = server_->Connections();
    if (!before) {
        GTEST_SKIP() << "the shared server does not count connections";
    }
    std::unique_ptr<CHttpConnection> connection(
        session_->GetHttpConnection("127.0.0.1", server_->Port()));
    ASSERT_TRUE(connection);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        std::unique_ptr<CHttpFile> file(connection->OpenRequest(
            CHttpConnection::HTTP_VERB_GET, (Path("/exact", "reuse") + "?size=5000").c_str()));
        ASSERT_TRUE(file);
        file->SendRequest();
        EXPECT_EQ(ReadToEnd(*file, 8192).size(), 5000u);
    }
    // A file of OpenURL fetches its blocks on the same connection too.
    std::unique_ptr<CStdioFile> opened = OpenUrl(Path("/exact", "reuse-url") + "?size=100000");
    ASSERT_TRUE(opened);
    EXPECT_EQ(ReadToEnd(*opened, 30000).size(), 100000u);
    opened.reset();
    connection.reset();
    // At most one: an earlier session's connection may have been there to take.
    EXPECT_LE(*server_->Connections() - *before, 1u);
    const uint64_t afterFirst = *server_->Connections();

    session_ = NewSession();
    opened = OpenUrl(Path("/exact", "reuse-next") + "?size=100");
    ASSERT_TRUE(opened);
    EXPECT_EQ(ReadToEnd(*opened, 1000).size(), 100u);
    EXPECT_EQ(*server_->Connections(), afterFirst);
}

TEST_F(InetHttp, UserAgentAndHeadersAreSent) {
    const std::string prefix = Path("/exact", "agent");
    {
        Request r = Open(prefix + "-default?size=1");
        ASSERT_TRUE(r.file);
        r.file->SendRequest("X-Sent: two\r\n");
        ReadToEnd(*r.file, 10);
    }
    {
        auto custom = NewSession("Custom Agent/1.0");
        delete custom->OpenURL(server_->Url(prefix + "-custom?size=1").c_str(), 1,
                               INTERNET_FLAG_TRANSFER_ASCII, "X-Url: three", UINT32_MAX);
    }
    std::vector<SeenRequest> seen = server_->RequestsFor(prefix);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Header("User-Agent"), ExpectedDefaultAgent());
    EXPECT_EQ(seen[0].Header("X-Sent"), "two");
    EXPECT_EQ(seen[1].Header("User-Agent"), "Custom Agent/1.0");
    EXPECT_EQ(seen[1].Header("X-Url"), "three");
    EXPECT_EQ(seen[1].Header("Range"), "bytes=0-16383");
}

TEST_F(InetHttp, SpacesInTheObjectAreEscaped) {
    const std::string path = Path("/exact", "with space");
    Request r = Send(path + "?size=3");
    ASSERT_TRUE(r.file);
    EXPECT_EQ(ReadToEnd(*r.file, 10).size(), 3u);
    std::vector<SeenRequest> seen = server_->RequestsFor(Path("/exact", "with"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].target, Path("/exact", "with%20space") + "?size=3");
}

// Callers close and delete in their own order: a file outlives its connection and session.
TEST_F(InetHttp, FileOutlivesItsConnectionAndSession) {
    Request r = Send(Path("/exact", "outlive") + "?size=70000");
    ASSERT_TRUE(r.file);
    std::unique_ptr<CStdioFile> opened = OpenUrl(Path("/exact", "outlive-url") + "?size=70000");
    ASSERT_TRUE(opened);
    session_->Close();
    r.connection->Close();
    r.connection.reset();
    std::string body = ReadToEnd(*r.file, 16384);
    EXPECT_EQ(body.size(), 70000u);
    EXPECT_TRUE(IsPattern(body));
    body = ReadToEnd(*opened, 16384);
    EXPECT_EQ(body.size(), 70000u);
    EXPECT_TRUE(IsPattern(body));
    // A closed session hands out nothing.
    EXPECT_EQ(session_->GetHttpConnection("127.0.0.1", server_->Port()), nullptr);
}

TEST_F(InetHttp, ClosedOrUnsentRequestsRefuseToRead) {
    Request r = Open(Path("/exact", "unsent") + "?size=10");
    ASSERT_TRUE(r.file);
    char buffer[10];
    EXPECT_EQ(InternetErrorOf([&] { r.file->Read(buffer, 10); }),
              ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    r.file->SendRequest();
    EXPECT_EQ(InternetErrorOf([&] { r.file->SendRequest(); }),
              ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    r.file->Close();
    EXPECT_EQ(InternetErrorOf([&] { r.file->Read(buffer, 10); }),
              ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    r.file->Close();  // twice is harmless
    EXPECT_EQ(r.connection->OpenRequest(99, "/x"), nullptr);
}

TEST_F(InetHttp, CountersSeeRequestsAndBodyBytes) {
    const InternetCounters before = AfxGetInternetCounters();
    Request r = Send(Path("/exact", "counted") + "?size=1234");
    ASSERT_TRUE(r.file);
    ReadToEnd(*r.file, 100);
    const InternetCounters after = AfxGetInternetCounters();
    EXPECT_EQ(after.requestsSent - before.requestsSent, 1u);
    EXPECT_EQ(after.bodyBytesRead - before.bodyBytesRead, 1234u);
}

TEST(InetConnectedState, TestsCanTakeTheMachineOffline) {
    const bool platform = AfxInternetGetConnectedState();
    AfxSetConnectedStateForTesting([] { return false; });
    EXPECT_FALSE(AfxInternetGetConnectedState());
    AfxSetConnectedStateForTesting([] { return true; });
    EXPECT_TRUE(AfxInternetGetConnectedState());
    AfxSetConnectedStateForTesting(nullptr);
    EXPECT_EQ(AfxInternetGetConnectedState(), platform);
}

}  // namespace
}  // namespace quor::test
