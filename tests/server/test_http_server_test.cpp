// The test server against a real client (libcurl's easy API) and, where a client would hide the
// detail, raw sockets: exact bytes on the wire, framing, keep-alive, faults and counters.
#include "tests/server/test_http_server.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quor::test {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 30000;

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};
CurlGlobal g_curl;

struct Fetched {
    CURLcode code = CURLE_OK;
    long status = 0;
    long newConnections = 0;
    std::string head;
    std::string body;
    std::string Header(const std::string& name) const {
        std::string lowerHead;
        for (char c : head) {
            lowerHead.push_back(static_cast<char>(tolower(static_cast<unsigned char>(c))));
        }
        std::string key = "\n";
        for (char c : name) {
            key.push_back(static_cast<char>(tolower(static_cast<unsigned char>(c))));
        }
        key += ": ";
        size_t at = lowerHead.find(key);
        if (at == std::string::npos) {
            return "<none>";
        }
        size_t start = at + key.size();
        return head.substr(start, head.find("\r\n", start) - start);
    }
};

struct FetchOptions {
    std::vector<std::string> headers;
    const char* range = nullptr;
    bool head = false;
    bool http10 = false;
    bool pathAsIs = false;
    const char* userAgent = nullptr;
    size_t abortAfter = 0;  // end the transfer from the client side after this many
    std::promise<void>* firstData = nullptr;  // set once the first body bytes arrive
};

// One easy handle; reusing it reuses its connection, as a client with keep-alive does.
class Client {
  public:
    Client() : curl_(curl_easy_init()) {}
    ~Client() { curl_easy_cleanup(curl_); }

    Fetched Get(const std::string& url, const FetchOptions& o = {}) {
        Fetched f;
        State st{&f, &o, false};
        curl_easy_reset(curl_);
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 60L);
        curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, 10L);
        curl_easy_setopt(curl_, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Client::OnBody);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &st);
        curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &Client::OnHeader);
        curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &f);
        curl_slist* list = nullptr;
        for (const auto& h : o.headers) {
            list = curl_slist_append(list, h.c_str());
        }
        curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, list);
        if (o.range) {
            curl_easy_setopt(curl_, CURLOPT_RANGE, o.range);
        }
        if (o.head) {
            curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        }
        if (o.http10) {
            curl_easy_setopt(curl_, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
        }
        if (o.pathAsIs) {
            curl_easy_setopt(curl_, CURLOPT_PATH_AS_IS, 1L);
        }
        if (o.userAgent) {
            curl_easy_setopt(curl_, CURLOPT_USERAGENT, o.userAgent);
        }
        f.code = curl_easy_perform(curl_);
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &f.status);
        curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &f.newConnections);
        curl_slist_free_all(list);
        return f;
    }

  private:
    struct State {
        Fetched* f;
        const FetchOptions* o;
        bool signalled;
    };
    static size_t OnBody(char* p, size_t size, size_t n, void* user) {
        auto* st = static_cast<State*>(user);
        st->f->body.append(p, size * n);
        if (st->o->firstData && !st->signalled) {
            st->signalled = true;
            st->o->firstData->set_value();
        }
        if (st->o->abortAfter && st->f->body.size() >= st->o->abortAfter) {
            return 0;
        }
        return size * n;
    }
    static size_t OnHeader(char* p, size_t size, size_t n, void* user) {
        auto* f = static_cast<Fetched*>(user);
        std::string line(p, size * n);
        if (line.rfind("HTTP/", 0) == 0) {
            f->head.clear();  // only the last response's head
        }
        f->head += line;
        return size * n;
    }
    CURL* curl_;
};

Fetched Get(const std::string& url, const FetchOptions& o = {}) {
    Client c;
    return c.Get(url, o);
}

// A plain TCP connection to the server, for what curl would smooth over.
class Raw {
  public:
    explicit Raw(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Raw() { close(fd_); }
    bool connected() const { return connected_; }
    bool Send(const std::string& s) {
        return send(fd_, s.data(), s.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(s.size());
    }
    // Everything until the server closes (or the wait gives up: then `closed` stays false);
    // `error` gets the errno of a connection that ended in an error, 0 for a clean end.
    std::string ReadToClose(bool* closed = nullptr, int* error = nullptr) {
        std::string out;
        bool eof = false;
        while (Wait()) {
            char buf[65536];
            ssize_t k = recv(fd_, buf, sizeof buf, 0);
            if (k <= 0) {
                eof = true;
                if (error) {
                    *error = k < 0 ? errno : 0;
                }
                break;
            }
            out.append(buf, static_cast<size_t>(k));
        }
        if (closed) {
            *closed = eof;
        }
        return out;
    }
    // One response framed by Content-Length, or its head and `body` bytes when given.
    std::string ReadResponse(size_t body = std::string::npos) {
        for (;;) {
            size_t end = buf_.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t need = end + 4;
                size_t cl = buf_.find("Content-Length: ");
                if (body != std::string::npos) {
                    need += body;
                } else if (cl != std::string::npos && cl < end) {
                    need += std::stoul(buf_.substr(cl + 16));
                }
                if (buf_.size() >= need) {
                    std::string r = buf_.substr(0, need);
                    buf_.erase(0, need);
                    return r;
                }
            }
            char tmp[65536];
            if (!Wait()) {
                return "<timeout>" + buf_;
            }
            ssize_t k = recv(fd_, tmp, sizeof tmp, 0);
            if (k <= 0) {
                return "<closed>" + buf_;
            }
            buf_.append(tmp, static_cast<size_t>(k));
        }
    }
    // Nothing arrives for a short while: a look, not a proof.
    bool Silent(int ms) {
        pollfd p = {fd_, POLLIN, 0};
        return buf_.empty() && poll(&p, 1, ms) == 0;
    }
    bool ClosedByPeer() {
        if (!buf_.empty()) {
            return false;
        }
        char c;
        return Wait() && recv(fd_, &c, 1, 0) == 0;
    }

  private:
    bool Wait() {
        pollfd p = {fd_, POLLIN, 0};
        return poll(&p, 1, kWaitMs) > 0;
    }
    int fd_ = -1;
    bool connected_ = false;
    std::string buf_;
};

std::string BodyOf(const std::string& response) {
    size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::path(::testing::TempDir()) /
                ("quor-server-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "www" / "sub" / "deeper");
        Write("www/index.html", "<html>root index</html>");
        Write("www/page.html", "<html>page</html>");
        Write("www/list.m3u", "song.mp3\n");
        Write("www/sub/index.html", "<html>sub index</html>");
        Write("www/sub/deeper/data.bin", PatternBytes(0, 1000));
        Write("secret.txt", "SECRET-OUTSIDE-ROOT");
        fs::create_symlink(root_ / "secret.txt", root_ / "www" / "link-out.txt");
        options_.root = (root_ / "www").string();
    }
    void TearDown() override {
        server_.reset();
        fs::remove_all(root_);
    }
    void Write(const std::string& rel, const std::string& bytes) {
        std::ofstream(root_ / rel, std::ios::binary) << bytes;
    }
    TestHttpServer& Server() {
        if (!server_) {
            server_ = std::make_unique<TestHttpServer>(options_);
            EXPECT_TRUE(server_->Start()) << server_->LastError();
        }
        return *server_;
    }
    std::string Url(const std::string& target) { return Server().Url(target); }

    fs::path root_;
    TestHttpServer::Options options_;
    std::unique_ptr<TestHttpServer> server_;
};

TEST(Pattern, ByteFormulaAndRunsAgree) {
    EXPECT_EQ(PatternByte(0), 3);
    EXPECT_EQ(PatternByte(1), 10);
    EXPECT_EQ(PatternByte(35), 248);
    EXPECT_EQ(PatternByte(36), 4);  // 255 mod 251
    EXPECT_EQ(PatternByte(251), PatternByte(0));
    for (uint64_t offset : {uint64_t{0}, uint64_t{250}, uint64_t{1} << 40}) {
        SCOPED_TRACE(offset);
        std::string run = PatternBytes(offset, 600);
        for (size_t i = 0; i < run.size(); ++i) {
            ASSERT_EQ(static_cast<uint8_t>(run[i]), PatternByte(offset + i)) << i;
        }
    }
}

TEST(Pattern, Mp3BodyIsFixtureThenWholeFrames) {
    std::string body = Mp3Body("TAG", 3 + 2 * kMp3FrameLength + 5);
    EXPECT_EQ(body.substr(0, 3), "TAG");
    for (size_t frame : {size_t{3}, size_t{3 + kMp3FrameLength}, size_t{3 + 2 * kMp3FrameLength}}) {
        SCOPED_TRACE(frame);
        EXPECT_EQ(body.substr(frame, 4), std::string("\xFF\xFB\x90\x64"));
    }
    EXPECT_EQ(body[3 + 4], '\0');
    EXPECT_EQ(Mp3Body("ID3-long-fixture", 3), "ID3");
}

TEST_F(ServerTest, ExactSendsThePatternWithItsLength) {
    const struct {
        const char* target;
        size_t size;
        const char* type;
    } kCases[] = {
        {"/exact?size=0", 0, "application/octet-stream"},
        {"/exact?size=1", 1, "application/octet-stream"},
        {"/exact/a.bin?size=65535", 65535, "application/octet-stream"},
        {"/exact/b.bin?size=65536", 65536, "application/octet-stream"},
        {"/exact/song.mp3?size=65537", 65537, "audio/mpeg"},
        {"/exact/dir/page.html?size=3000000", 3000000, "text/html"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.target);
        Fetched f = Get(Url(c.target));
        ASSERT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.status, 200);
        EXPECT_EQ(f.Header("Content-Length"), std::to_string(c.size));
        EXPECT_EQ(f.Header("Content-Type"), c.type);
        EXPECT_TRUE(f.body == PatternBytes(0, c.size)) << "body differs";
        std::string path = std::string(c.target).substr(0, std::string(c.target).find('?'));
        EXPECT_EQ(Server().BodyBytesSent(path), c.size);
    }
}

TEST_F(ServerTest, BadParametersGet400AndTheConnectionLivesOn) {
    options_.maxBodyBytes = 1 << 20;
    const char* kTargets[] = {
        "/exact",               // no size
        "/exact?size=",         // empty
        "/exact?size=12x",      // not a number
        "/exact?size=-1",       // negative
        "/exact?size=1048577",  // over the maximum
        "/exact?size=99999999999999999999999",
        "/chunked?size=10&chunk=0",  // no empty chunks
        "/chunked?size=10&chunk=1048577",
        "/cut?size=10&after=11",  // more than announced
        "/cut?size=10",           // no cut point
        "/reset?size=10&after=11",
        "/trickle?size=10",                         // no delay
        "/links/x-18446744073709551615.html?n=10",  // past the last page
        "/slow?size=1000&chunk=1&delay_ms=100",     // 100 s > the cap
        "/slow?size=10&delay_ms=10001",
        "/endless?chunk=0",
        "/redirect?status=200&to=/x",
        "/redirect?status=304&to=/x",
        "/redirect?status=301",                  // nowhere to go
        "/redirect?to=%0D%0ASet-Cookie:%20x=1",  // header injection
        "/status?code=99",
        "/status?code=600",
        "/status",
        "/mp3/x.mp3",  // neither size nor fixture
    };
    Client client;
    for (const char* t : kTargets) {
        SCOPED_TRACE(t);
        Fetched f = client.Get(Url(t));
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.status, 400);
        EXPECT_EQ(f.Header("Set-Cookie"), "<none>");
    }
    EXPECT_EQ(Server().ConnectionsAccepted(), 1u);
}

TEST_F(ServerTest, KeepAliveServesSeveralRoutesOnOneConnection) {
    Client client;
    const char* kTargets[] = {
        "/exact?size=100",  "/chunked?size=5000&chunk=100", "/status?code=404&body=none",
        "/files/page.html", "/redirect?to=/elsewhere",      "/exact?size=0"};
    for (size_t i = 0; i < std::size(kTargets); ++i) {
        SCOPED_TRACE(kTargets[i]);
        Fetched f = client.Get(Url(kTargets[i]));
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.newConnections, i == 0 ? 1 : 0);
    }
    EXPECT_EQ(Server().ConnectionsAccepted(), 1u);
    EXPECT_EQ(Server().TotalRequestCount(), std::size(kTargets));
}

TEST_F(ServerTest, Http10ClosesUnlessAskedToKeepAlive) {
    {
        Raw raw(Server().port());
        ASSERT_TRUE(raw.Send("GET /exact?size=5 HTTP/1.0\r\n\r\n"));
        bool closed = false;
        std::string r = raw.ReadToClose(&closed);
        EXPECT_TRUE(closed);
        EXPECT_EQ(r.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r;
        EXPECT_NE(r.find("\r\nContent-Length: 5\r\n"), std::string::npos) << r;
        EXPECT_NE(r.find("\r\nConnection: close\r\n"), std::string::npos) << r;
        EXPECT_EQ(BodyOf(r), PatternBytes(0, 5));
    }
    {
        Raw raw(Server().port());
        ASSERT_TRUE(raw.Send("GET /exact?size=5 HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
        std::string first = raw.ReadResponse();
        EXPECT_NE(first.find("\r\nConnection: keep-alive\r\n"), std::string::npos) << first;
        ASSERT_TRUE(raw.Send("GET /exact?size=7 HTTP/1.0\r\n\r\n"));
        bool closed = false;
        EXPECT_EQ(BodyOf(raw.ReadToClose(&closed)), PatternBytes(0, 7));
        EXPECT_TRUE(closed);
    }
    // No chunked coding for HTTP/1.0: the body ends with the connection instead.
    Fetched f = Get(Url("/chunked?size=3000&chunk=100"), {.http10 = true});
    EXPECT_EQ(f.code, CURLE_OK);
    EXPECT_EQ(f.Header("Transfer-Encoding"), "<none>");
    EXPECT_EQ(f.Header("Connection"), "close");
    EXPECT_TRUE(f.body == PatternBytes(0, 3000));
    EXPECT_EQ(Server().ConnectionsAccepted(), 3u);
}

TEST_F(ServerTest, HeadSendsTheHeadAlone) {
    Raw raw(Server().port());
    ASSERT_TRUE(raw.Send("HEAD /exact/h.bin?size=100 HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::string head = raw.ReadResponse(0);
    EXPECT_NE(head.find("\r\nContent-Length: 100\r\n"), std::string::npos) << head;
    // Were a body sent after the head, it would come before this response.
    ASSERT_TRUE(raw.Send("GET /exact/g.bin?size=3 HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::string next = raw.ReadResponse();
    EXPECT_EQ(next.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << next;
    EXPECT_EQ(BodyOf(next), PatternBytes(0, 3));
    EXPECT_EQ(Server().RequestCount("/exact/h.bin"), 1u);
    EXPECT_EQ(Server().BodyBytesSent("/exact/h.bin"), 0u);

    for (const char* target : {"/files/sub/deeper/data.bin", "/chunked?size=9", "/mp3?size=500",
                               "/status?code=500", "/slow?size=100&chunk=1&delay_ms=500"}) {
        SCOPED_TRACE(target);
        Fetched f = Get(Url(target), {.head = true});
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_TRUE(f.body.empty());
    }
    EXPECT_EQ(Server().TotalBodyBytesSent(), 3u);
}

TEST_F(ServerTest, RangesOnFilesAndGeneratedBodies) {
    const struct {
        const char* range;
        long status;
        size_t first;
        size_t count;
        const char* contentRange;
    } kCases[] = {
        {"bytes=0-99", 206, 0, 100, "bytes 0-99/1000"},
        {"bytes=990-", 206, 990, 10, "bytes 990-999/1000"},
        {"bytes=-10", 206, 990, 10, "bytes 990-999/1000"},
        {"bytes=-5000", 206, 0, 1000, "bytes 0-999/1000"},
        {"bytes=900-5000", 206, 900, 100, "bytes 900-999/1000"},
        {"bytes=999-999", 206, 999, 1, "bytes 999-999/1000"},
        {"bytes = 10 - 19", 206, 10, 10, "bytes 10-19/1000"},
        {"bytes=1000-", 416, 0, 0, "bytes */1000"},
        {"bytes=5000-6000", 416, 0, 0, "bytes */1000"},
        {"bytes=-0", 416, 0, 0, "bytes */1000"},
        {"bytes=5-2", 200, 0, 1000, "<none>"},      // malformed: ignored
        {"bytes=0-1,5-6", 200, 0, 1000, "<none>"},  // several: ignored
        {"items=0-5", 200, 0, 1000, "<none>"},
        {"bytes=abc", 200, 0, 1000, "<none>"},
        {"bytes=1x-2", 200, 0, 1000, "<none>"},
    };
    for (const char* target : {"/files/sub/deeper/data.bin", "/exact/r.bin?size=1000",
                               "/slow/r.bin?size=1000&chunk=300&delay_ms=1"}) {
        Client client;
        for (const auto& c : kCases) {
            SCOPED_TRACE(std::string(target) + " with " + c.range);
            Fetched f = client.Get(Url(target), {.headers = {std::string("Range: ") + c.range}});
            ASSERT_EQ(f.code, CURLE_OK);
            EXPECT_EQ(f.status, c.status);
            EXPECT_EQ(f.Header("Content-Range"), c.contentRange);
            if (c.status != 416) {
                EXPECT_EQ(f.Header("Content-Length"), std::to_string(c.count));
                EXPECT_TRUE(f.body == PatternBytes(c.first, c.count)) << "body differs";
            }
        }
    }
    EXPECT_EQ(Server().ConnectionsAccepted(), 3u);
    EXPECT_EQ(Get(Url("/exact?size=0"), {.range = "0-"}).status, 416);
}

TEST_F(ServerTest, ChunkedBodiesAreFramedExactly) {
    {
        Raw raw(Server().port());
        ASSERT_TRUE(raw.Send("GET /chunked?size=10&chunk=4 HTTP/1.1\r\nConnection: close\r\n\r\n"));
        std::string r = raw.ReadToClose();
        EXPECT_NE(r.find("\r\nTransfer-Encoding: chunked\r\n"), std::string::npos);
        EXPECT_EQ(r.find("Content-Length"), std::string::npos);
        const std::string p = PatternBytes(0, 10);
        EXPECT_EQ(BodyOf(r), "4\r\n" + p.substr(0, 4) + "\r\n4\r\n" + p.substr(4, 4) + "\r\n2\r\n" +
                                 p.substr(8, 2) + "\r\n0\r\n\r\n");
        EXPECT_EQ(Server().BodyBytesSent("/chunked"), 10u);  // payload only
    }
    const struct {
        size_t size;
        size_t chunk;
    } kCases[] = {{0, 10}, {1, 1}, {1000, 7}, {100000, 4096}, {70000, 70000}};
    Client client;
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::to_string(c.size) + " in " + std::to_string(c.chunk));
        Fetched f = client.Get(Url("/chunked/x.mp3?size=" + std::to_string(c.size) +
                                   "&chunk=" + std::to_string(c.chunk)));
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.Header("Transfer-Encoding"), "chunked");
        EXPECT_TRUE(f.body == PatternBytes(0, c.size));
    }
}

TEST_F(ServerTest, NoLengthBodyEndsWithTheConnection) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{200000}}) {
        SCOPED_TRACE(size);
        Fetched f = Get(Url("/nolength/file.mp3?size=" + std::to_string(size)));
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.Header("Content-Length"), "<none>");
        EXPECT_EQ(f.Header("Transfer-Encoding"), "<none>");
        EXPECT_EQ(f.Header("Connection"), "close");
        EXPECT_TRUE(f.body == PatternBytes(0, size));
    }
}

TEST_F(ServerTest, CutBodyIsAnErrorForTheClient) {
    for (auto [size, after] :
         {std::pair{1000, 0}, std::pair{1000, 999}, std::pair{500000, 70000}}) {
        SCOPED_TRACE(std::to_string(after) + " of " + std::to_string(size));
        Server().ResetCounters();
        Fetched f =
            Get(Url("/cut/x.mp3?size=" + std::to_string(size) + "&after=" + std::to_string(after)));
        EXPECT_EQ(f.code, CURLE_PARTIAL_FILE);
        EXPECT_EQ(f.Header("Content-Length"), std::to_string(size));
        EXPECT_TRUE(f.body == PatternBytes(0, after));
        ASSERT_TRUE(Server().WaitIdle(kWaitMs));
        EXPECT_EQ(Server().BodyBytesSent("/cut/x.mp3"), static_cast<uint64_t>(after));
    }
}

TEST_F(ServerTest, ResetIsSeenAsAResetAfterItsBytes) {
    // 4 MB is more than the socket buffers hold; /cut, for contrast, ends cleanly.
    for (auto [route, after] : {std::pair<std::string, size_t>{"/reset", 0},
                                {"/reset", 999},
                                {"/reset", 4000000},
                                {"/cut", 999}}) {
        SCOPED_TRACE(route + " after " + std::to_string(after));
        Server().ResetCounters();
        Raw raw(Server().port());
        ASSERT_TRUE(raw.Send("GET " + route + "?size=5000000&after=" + std::to_string(after) +
                             " HTTP/1.1\r\n\r\n"));
        bool closed = false;
        int error = -1;
        std::string r = raw.ReadToClose(&closed, &error);
        EXPECT_TRUE(closed);
        EXPECT_EQ(error, route == "/cut" ? 0 : ECONNRESET);
        EXPECT_NE(r.find("\r\nContent-Length: 5000000\r\n"), std::string::npos);
        EXPECT_TRUE(BodyOf(r) == PatternBytes(0, after)) << "body differs";
        ASSERT_TRUE(Server().WaitIdle(kWaitMs));
        EXPECT_EQ(Server().BodyBytesSent(route), after);
    }
}

TEST_F(ServerTest, FaultBodiesComeFromThePatternOrAFileOfTheRoot) {
    const std::string site = PatternBytes(7, 50 << 10);  // not what the pattern route sends
    Write("www/site.html", site);
    const struct {
        const char* target;
        long status;
        bool complete;  // CURLE_OK
        std::string body;
    } kCases[] = {
        {"/badchunk/x.html?size=20000&after=10000", 200, false, PatternBytes(0, 10000)},
        {"/badchunk/x.html?file=page.html&after=6", 200, false, "<html>"},
        {"/reset/x.html?file=site.html&after=46080", 200, false, site.substr(0, 46080)},
        {"/trickle?file=page.html&delay_ms=1&bytes=4", 200, true, "<html>page</html>"},
        {"/stall?file=../secret.txt&after=0", 403, true, ""},
        {"/reset?file=missing.html&after=0", 404, true, ""},
        {"/reset?file=page.html&after=18", 400, true, ""},  // past the file's end
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.target);
        Server().ResetCounters();
        Fetched f = Get(Url(c.target));
        EXPECT_EQ(f.status, c.status);
        EXPECT_EQ(f.code == CURLE_OK, c.complete) << f.code;
        if (c.status == 200) {
            EXPECT_TRUE(f.body == c.body) << "body differs";
            EXPECT_EQ(f.Header("Content-Type"), "text/html");
        }
        ASSERT_TRUE(Server().WaitIdle(kWaitMs));
        EXPECT_EQ(Server().TotalBodyBytesSent(), f.body.size());
    }
}

TEST_F(ServerTest, SlowBodyArrivesWhole) {
    Fetched f = Get(Url("/slow/big.mp3?size=1000&chunk=300&delay_ms=5"));
    EXPECT_EQ(f.code, CURLE_OK);
    EXPECT_EQ(f.Header("Content-Length"), "1000");
    EXPECT_EQ(f.Header("Content-Type"), "audio/mpeg");
    EXPECT_TRUE(f.body == PatternBytes(0, 1000));
}

TEST_F(ServerTest, StopEndsASlowBodyUnderWay) {
    Server();
    std::promise<void> firstData;
    auto arrived = firstData.get_future();
    auto result = std::async(std::launch::async, [&] {
        // 45 s of body if nothing stops it.
        return Get(Url("/slow?size=100&chunk=10&delay_ms=5000"), {.firstData = &firstData});
    });
    ASSERT_EQ(arrived.wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready);
    Server().Stop();
    EXPECT_FALSE(Server().IsRunning());
    Fetched f = result.get();
    EXPECT_NE(f.code, CURLE_OK);
    EXPECT_EQ(f.Header("Content-Length"), "100");
    EXPECT_GE(f.body.size(), 10u);
    EXPECT_LT(f.body.size(), 100u);
    EXPECT_TRUE(f.body == PatternBytes(0, f.body.size()));
}

TEST_F(ServerTest, StallBlackholeAndTrickleHoldOnUntilStop) {
    Raw stall(Server().port());
    Raw bare(Server().port());
    Raw hole(Server().port());
    Raw trickle(Server().port());
    ASSERT_TRUE(stall.Send("GET /stall/a.html?size=1000&after=300 HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(bare.Send("GET /stall?size=1000&after=0&length=0 HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(hole.Send("GET /blackhole/b.html HTTP/1.1\r\n\r\n"));
    // 1000 s of body: more than slowCapMs allows a /slow one.
    ASSERT_TRUE(
        trickle.Send("GET /trickle/c.mp3?size=200000&delay_ms=10&bytes=2 HTTP/1.1\r\n\r\n"));

    std::string r = stall.ReadResponse(300);
    EXPECT_NE(r.find("\r\nContent-Length: 1000\r\n"), std::string::npos) << r.substr(0, 300);
    EXPECT_TRUE(BodyOf(r) == PatternBytes(0, 300)) << "body differs";
    r = bare.ReadResponse(0);
    EXPECT_EQ(r.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r;
    EXPECT_EQ(r.find("Content-Length"), std::string::npos) << r;
    r = trickle.ReadResponse(4);
    EXPECT_NE(r.find("\r\nContent-Length: 200000\r\n"), std::string::npos) << r.substr(0, 300);
    EXPECT_TRUE(BodyOf(r) == PatternBytes(0, BodyOf(r).size())) << "body differs";
    for (Raw* held : {&stall, &bare, &hole}) {
        EXPECT_TRUE(held->Silent(100));
    }

    Server().Stop();
    for (Raw* raw : {&stall, &bare, &hole, &trickle}) {
        bool closed = false;
        std::string rest = raw->ReadToClose(&closed);
        EXPECT_TRUE(closed);
        EXPECT_TRUE(raw == &trickle || rest.empty()) << rest.substr(0, 300);
    }
}

TEST_F(ServerTest, EndlessBodyStopsWhenTheClientGoesAway) {
    const size_t kWanted = 2 << 20;
    Fetched f = Get(Url("/endless/radio.mp3?chunk=65536"), {.abortAfter = kWanted});
    EXPECT_EQ(f.code, CURLE_WRITE_ERROR);
    EXPECT_GE(f.body.size(), kWanted);
    ASSERT_TRUE(Server().WaitIdle(kWaitMs));
    uint64_t sent = Server().BodyBytesSent("/endless/radio.mp3");
    EXPECT_GE(sent, f.body.size());
    // What the socket buffers held when the client left, not the 256 MiB cap.
    EXPECT_LT(sent, uint64_t{64} << 20);
}

TEST_F(ServerTest, EndlessBodyStopsAtItsCaps) {
    options_.endlessCapBytes = 1 << 20;
    options_.endlessCapMs = 300;
    Fetched plain = Get(Url("/endless?chunk=10000"));
    EXPECT_EQ(plain.code, CURLE_OK);  // ended by the close, as a body without length is
    EXPECT_TRUE(plain.body == PatternBytes(0, 1 << 20));
    EXPECT_EQ(Server().BodyBytesSent("/endless"), uint64_t{1} << 20);

    Fetched chunked = Get(Url("/endless/c?chunk=10000&chunked=1"));
    EXPECT_NE(chunked.code, CURLE_OK);  // a chunked body that never ends is broken
    EXPECT_EQ(chunked.Header("Transfer-Encoding"), "chunked");
    EXPECT_EQ(chunked.body.size(), size_t{1} << 20);

    Fetched timed = Get(Url("/endless/t?chunk=10&delay_ms=50"));
    EXPECT_EQ(timed.code, CURLE_OK);
    EXPECT_GT(timed.body.size(), 0u);
    EXPECT_LT(timed.body.size(), size_t{1} << 20);
    EXPECT_TRUE(timed.body == PatternBytes(0, timed.body.size()));
}

TEST_F(ServerTest, RedirectsAreAnsweredNotFollowed) {
    const struct {
        const char* query;
        long status;
        const char* location;
    } kCases[] = {
        {"status=301&to=/exact%3Fsize%3D3", 301, "/exact?size=3"},
        {"status=302&to=http://127.0.0.1:1/elsewhere.html", 302,
         "http://127.0.0.1:1/elsewhere.html"},
        {"to=page.html", 302, "page.html"},
        {"status=303&to=/a", 303, "/a"},
        {"status=307&to=/a%20b", 307, "/a b"},
        {"status=308&to=%2F%3Cx%3E", 308, "/<x>"},
    };
    Client client;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.query);
        Fetched f = client.Get(Url(std::string("/redirect?") + c.query));
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.status, c.status);
        EXPECT_EQ(f.Header("Location"), c.location);
        EXPECT_NE(f.body.find("<a href="), std::string::npos) << f.body;
        EXPECT_EQ(f.body.find("<x>"), std::string::npos) << "unescaped in the body";
    }
    EXPECT_EQ(Server().RequestCount("/exact"), 0u);
    EXPECT_EQ(Server().RequestCount("/redirect"), std::size(kCases));
}

TEST_F(ServerTest, StatusRouteSendsThatStatusAndBody) {
    const struct {
        const char* query;
        long status;
        const char* body;
    } kCases[] = {
        {"code=404&body=no%20such%20page", 404, "no such page"},
        {"code=500", 500, "500 Internal Server Error\n"},
        {"code=503&body=", 503, ""},
        {"code=418&body=teapot", 418, "teapot"},
        {"code=200&body=fine+thanks", 200, "fine thanks"},
        {"code=204", 204, ""},
        {"code=304", 304, ""},
    };
    Client client;  // bodyless 204 and 304 must not upset the connection
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.query);
        Fetched f = client.Get(Url(std::string("/status/page.html?") + c.query));
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.status, c.status);
        EXPECT_EQ(f.body, c.body);
    }
    EXPECT_EQ(Server().ConnectionsAccepted(), 1u);
}

TEST_F(ServerTest, LinksLeadToPagesNeverSeenBefore) {
    auto hrefs = [&](const std::string& target) {
        Fetched f = Get(Url(target));
        EXPECT_EQ(f.Header("Content-Type"), "text/html");
        std::vector<std::string> found;
        const std::string a = "<a href=\"";
        for (size_t at = f.body.find(a); at != std::string::npos; at = f.body.find(a, at)) {
            at += a.size();
            found.push_back(f.body.substr(at, f.body.find('"', at) - at));
        }
        return found;
    };
    std::vector<std::string> first = hrefs("/links/site.html?n=4000");
    ASSERT_EQ(first.size(), 4000u);
    std::set<std::string> seen(first.begin(), first.end());
    for (const std::string& next : {first.front(), first.back()}) {
        std::vector<std::string> links = hrefs(next);
        ASSERT_EQ(links.size(), 4000u) << next;
        seen.insert(links.begin(), links.end());
    }
    EXPECT_EQ(seen.size(), 3 * 4000u);  // no link twice, on one page or across them
}

TEST_F(ServerTest, FilesComeFromTheRootAndNowhereElse) {
    const struct {
        const char* target;
        long status;
        const char* body;  // nullptr: not checked
        const char* type;
    } kCases[] = {
        {"/files/page.html", 200, "<html>page</html>", "text/html"},
        {"/files/list.m3u", 200, "song.mp3\n", "audio/x-mpegurl"},
        {"/files/sub/index.html", 200, "<html>sub index</html>", "text/html"},
        {"/files/sub/./index.html", 200, "<html>sub index</html>", "text/html"},
        {"/files/p%61ge.html", 200, "<html>page</html>", "text/html"},
        {"/", 200, "<html>root index</html>", "text/html"},
        {"/page.html", 200, "<html>page</html>", "text/html"},
        {"/sub/", 200, "<html>sub index</html>", "text/html"},
        {"/files/missing.html", 404, nullptr, nullptr},
        {"/files/sub", 404, nullptr, nullptr},
        {"/files/", 404, nullptr, nullptr},
        {"/missing/", 404, nullptr, nullptr},
        {"/files/../secret.txt", 403, nullptr, nullptr},
        {"/files/sub/../../secret.txt", 403, nullptr, nullptr},
        {"/files/%2e%2e/secret.txt", 403, nullptr, nullptr},
        {"/files/sub/..%2f..%2fsecret.txt", 403, nullptr, nullptr},
        {"/../secret.txt", 403, nullptr, nullptr},
        {"/files/link-out.txt", 403, nullptr, nullptr},
        {"/files/page.html%00.txt", 400, nullptr, nullptr},
    };
    Client client;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.target);
        Fetched f = client.Get(Url(c.target), {.pathAsIs = true});
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.status, c.status);
        EXPECT_EQ(f.body.find("SECRET"), std::string::npos);
        if (c.body) {
            EXPECT_EQ(f.body, c.body);
            EXPECT_EQ(f.Header("Content-Type"), c.type);
            EXPECT_EQ(f.Header("Content-Length"), std::to_string(f.body.size()));
        }
    }
}

TEST_F(ServerTest, NoRootServesNoFiles) {
    options_.root.clear();
    EXPECT_EQ(Get(Url("/files/page.html")).status, 404);
    EXPECT_EQ(Get(Url("/")).status, 404);
}

TEST_F(ServerTest, Mp3PadsAFixtureWithFrames) {
    const std::string tag = std::string("ID3\x03\x00\x00\x00\x00\x00\x0A", 10) + "0123456789";
    fs::create_directories(root_ / "fixtures" / "set");
    Write("fixtures/set/on-disk.bin", "DISK-FIXTURE");
    options_.fixtureDir = (root_ / "fixtures").string();
    Server().AddFixture("v23.bin", tag);

    const struct {
        const char* target;
        long status;
        std::string body;
    } kCases[] = {
        {"/mp3/song.mp3?size=5000&tag=v23.bin", 200, Mp3Body(tag, 5000)},
        {"/mp3/song.mp3?tag=v23.bin", 200, tag},
        {"/mp3/short.mp3?size=4&tag=v23.bin", 200, "ID3\x03"},
        {"/mp3/plain.mp3?size=1000", 200, Mp3Body("", 1000)},
        {"/mp3/disk.mp3?size=100&tag=set/on-disk.bin", 200, Mp3Body("DISK-FIXTURE", 100)},
        {"/mp3/x.mp3?size=100&tag=unknown", 404, ""},
        {"/mp3/x.mp3?size=100&tag=../secret.txt", 403, ""},
        {"/mp3/x.mp3?size=100&tag=set/../../secret.txt", 403, ""},
    };
    Client client;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.target);
        Fetched f = client.Get(Url(c.target));
        EXPECT_EQ(f.code, CURLE_OK);
        EXPECT_EQ(f.status, c.status);
        if (c.status == 200) {
            EXPECT_TRUE(f.body == c.body) << "body differs";
            EXPECT_EQ(f.Header("Content-Type"), "audio/mpeg");
        }
        EXPECT_EQ(f.body.find("SECRET"), std::string::npos);
    }
    Fetched part = client.Get(Url("/mp3/song.mp3?size=5000&tag=v23.bin"), {.range = "15-24"});
    EXPECT_EQ(part.status, 206);
    EXPECT_TRUE(part.body == Mp3Body(tag, 5000).substr(15, 10));
}

TEST_F(ServerTest, RefusingPortRefuses) {
    uint16_t port = TestHttpServer::RefusingPort();
    ASSERT_NE(port, 0);
    Fetched f = Get("http://127.0.0.1:" + std::to_string(port) + "/");
    EXPECT_EQ(f.code, CURLE_COULDNT_CONNECT);
}

TEST_F(ServerTest, CountersAreByPathWithoutQuery) {
    Client client;
    client.Get(Url("/exact/a.mp3?size=10"));
    client.Get(Url("/exact/a.mp3?size=20&x=1"));
    client.Get(Url("/exact/b.mp3?size=5"));
    client.Get(Url("/files/missing"));
    EXPECT_EQ(Server().BodyBytesSent("/exact/a.mp3"), 30u);
    EXPECT_EQ(Server().RequestCount("/exact/a.mp3"), 2u);
    EXPECT_EQ(Server().BodyBytesSent("/exact/b.mp3"), 5u);
    EXPECT_EQ(Server().RequestCount("/files/missing"), 1u);
    EXPECT_EQ(Server().RequestCount("/never"), 0u);
    EXPECT_EQ(Server().TotalRequestCount(), 4u);
    EXPECT_EQ(Server().TotalBodyBytesSent(), 35u + Server().BodyBytesSent("/files/missing"));

    Server().ResetCounters();
    EXPECT_EQ(Server().BodyBytesSent("/exact/a.mp3"), 0u);
    EXPECT_EQ(Server().RequestCount("/exact/a.mp3"), 0u);
    EXPECT_EQ(Server().TotalBodyBytesSent(), 0u);
    EXPECT_EQ(Server().TotalRequestCount(), 0u);
    client.Get(Url("/exact/a.mp3?size=7"));
    EXPECT_EQ(Server().BodyBytesSent("/exact/a.mp3"), 7u);
}

TEST_F(ServerTest, LogKeepsRequestLinesAndHeaders) {
    options_.logCapacity = 3;
    Get(Url("/exact/x.mp3?size=100"), {.range = "10-19", .userAgent = "quor-agent/1.0"});
    std::vector<LoggedRequest> log = Server().Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].requestLine, "GET /exact/x.mp3?size=100 HTTP/1.1");
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "/exact/x.mp3?size=100");
    EXPECT_EQ(log[0].path, "/exact/x.mp3");
    EXPECT_EQ(log[0].Header("user-agent"), "quor-agent/1.0");
    EXPECT_EQ(log[0].Header("Range"), "bytes=10-19");
    EXPECT_FALSE(log[0].HasHeader("Cookie"));

    for (int i = 0; i < 5; ++i) {
        Get(Url("/status?code=200&body=" + std::to_string(i)));
    }
    log = Server().Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.back().target, "/status?code=200&body=4");
    Server().ClearLog();
    EXPECT_TRUE(Server().Log().empty());
}

TEST_F(ServerTest, MalformedRequestsGetErrorsNotCrashes) {
    options_.maxHeadBytes = 4096;
    const struct {
        const char* name;
        std::string request;
        const char* statusLine;
    } kCases[] = {
        {"no version", "GET /\r\n\r\n", "HTTP/1.1 400 "},
        {"garbage", "\x01\x02\x03 x y\r\n\r\n", "HTTP/1.1 400 "},
        {"extra space", "GET  / HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
        {"relative target", "GET index.html HTTP/1.1\r\n\r\n", "HTTP/1.1 400 "},
        {"header without colon", "GET / HTTP/1.1\r\nBroken\r\n\r\n", "HTTP/1.1 400 "},
        {"folded header", "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n", "HTTP/1.1 400 "},
        {"HTTP/2", "GET / HTTP/2.0\r\n\r\n", "HTTP/1.1 505 "},
        {"huge head", "GET / HTTP/1.1\r\nX: " + std::string(8000, 'a') + "\r\n\r\n",
         "HTTP/1.1 431 "},
        {"endless head", "GET / HTTP/1.1\r\nX: " + std::string(8000, 'a'), "HTTP/1.1 431 "},
        {"bad body length", "GET / HTTP/1.1\r\nContent-Length: x\r\n\r\n", "HTTP/1.1 400 "},
        {"huge body", "POST / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", "HTTP/1.1 413 "},
        {"chunked upload", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         "HTTP/1.1 501 "},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Raw raw(Server().port());
        ASSERT_TRUE(raw.Send(c.request));
        bool closed = false;
        std::string r = raw.ReadToClose(&closed);
        EXPECT_EQ(r.rfind(c.statusLine, 0), 0u) << r.substr(0, 80);
        EXPECT_TRUE(closed);
    }
    // A request of another method is answered, its body read past, and the connection stays.
    Raw raw(Server().port());
    ASSERT_TRUE(
        raw.Send("POST /exact?size=3 HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello"
                 "\r\n\r\nGET /exact?size=3 HTTP/1.1\r\n\r\n"));
    std::string first = raw.ReadResponse();
    EXPECT_EQ(first.rfind("HTTP/1.1 405 ", 0), 0u) << first;
    EXPECT_NE(first.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);
    std::string second = raw.ReadResponse();
    EXPECT_EQ(BodyOf(second), PatternBytes(0, 3)) << second;
    EXPECT_EQ(Get(Url("/exact?size=3")).body, PatternBytes(0, 3));
}

TEST_F(ServerTest, PipelinedRequestsAreAnsweredInOrder) {
    Raw raw(Server().port());
    ASSERT_TRUE(
        raw.Send("GET /exact?size=3 HTTP/1.1\r\n\r\nGET /status?code=404&body=x "
                 "HTTP/1.1\r\n\r\n\r\nGET http://127.0.0.1/exact?size=4 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(BodyOf(raw.ReadResponse()), PatternBytes(0, 3));
    std::string second = raw.ReadResponse();
    EXPECT_EQ(second.rfind("HTTP/1.1 404 ", 0), 0u) << second;
    EXPECT_EQ(BodyOf(raw.ReadResponse()), PatternBytes(0, 4));
    EXPECT_EQ(Server().ConnectionsAccepted(), 1u);
}

TEST_F(ServerTest, ConnectionsBeyondTheCapAreRefused) {
    options_.maxConnections = 2;
    Raw a(Server().port());
    Raw b(Server().port());
    ASSERT_TRUE(a.Send("GET /exact?size=1 HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(b.Send("GET /exact?size=1 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(BodyOf(a.ReadResponse()), PatternBytes(0, 1));
    EXPECT_EQ(BodyOf(b.ReadResponse()), PatternBytes(0, 1));
    {
        Raw c(Server().port());
        bool closed = false;
        std::string r = c.ReadToClose(&closed);
        EXPECT_EQ(r.rfind("HTTP/1.1 503 ", 0), 0u) << r;
        EXPECT_TRUE(closed);
    }
    // Once a connection ends its slot is free again (the server notices within its own loop).
    ASSERT_TRUE(a.Send("GET /exact?size=1 HTTP/1.1\r\nConnection: close\r\n\r\n"));
    EXPECT_TRUE(a.ReadToClose().size() > 0);
    bool served = false;
    for (int attempt = 0; attempt < 100 && !served; ++attempt) {
        Fetched f = Get(Url("/exact?size=2"));
        served = f.status == 200;
        if (!served) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_TRUE(served);
}

TEST_F(ServerTest, StopClosesIdleConnectionsAndRestartWorks) {
    Raw raw(Server().port());
    ASSERT_TRUE(raw.Send("GET /exact?size=2 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(BodyOf(raw.ReadResponse()), PatternBytes(0, 2));
    Server().Stop();
    EXPECT_TRUE(raw.ClosedByPeer());
    Server().Stop();  // a second Stop is harmless

    ASSERT_TRUE(Server().Start()) << Server().LastError();
    EXPECT_EQ(Get(Url("/exact?size=2")).body, PatternBytes(0, 2));
    EXPECT_FALSE(Server().Start());  // already running
}

TEST_F(ServerTest, GivenPortIsUsedAndATakenOneFails) {
    uint16_t port = TestHttpServer::RefusingPort();
    ASSERT_NE(port, 0);
    options_.port = port;
    ASSERT_EQ(Server().port(), port);
    EXPECT_EQ(Server().BaseUrl(), "http://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(Get(Url("/exact?size=1")).status, 200);

    TestHttpServer second(options_);
    EXPECT_FALSE(second.Start());
    EXPECT_NE(second.LastError().find("bind"), std::string::npos) << second.LastError();

    TestHttpServer::Options badRoot;
    badRoot.root = (root_ / "no-such-dir").string();
    TestHttpServer third(badRoot);
    EXPECT_FALSE(third.Start());
}

}  // namespace
}  // namespace quor::test
