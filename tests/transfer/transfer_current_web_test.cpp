// The page fetch and the download under the current web's rules: redirections followed (on the
// test server), https with the certificate checked and gzip pages decoded (against nginx on
// loopback serving tls-site over http and https, with a test authority). Natively on libcurl;
// under Wine one case through WinINet, with the authority trusted in the prefix.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "afx/recording_message_box.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/transfer/download.h"
#include "quor_inet/transfer/page_fetch.h"
#include "tests/inet/trusted_certificate.h"
#include "tests/transfer/transfer_test_support.h"

#ifndef _WIN32
#include "tests/server/loopback_fixture.h"
#include "tests/server/test_http_server.h"
#endif

namespace quor::test {
namespace {

// One response as nginx logged it (scripts/sample-site start-tls).
struct Logged {
    std::string uri;
    uint32_t status = 0;
    uint64_t bodyBytes = 0;
    std::string encoding;  // "-" for none
};

// The served site: its two ports, its authority and what nginx logged.
class TlsSite {
  public:
    bool Load() {
        const char* dir = std::getenv("QUOR_TLS_SITE_DIR");
        if (dir == nullptr) {
            return false;
        }
        dir_ = dir;
        std::ifstream in(dir_ + "/ports");
        return static_cast<bool>(in >> httpPort_ >> httpsPort_);
    }
    std::string Http(const std::string& path) const {
        return "http://127.0.0.1:" + httpPort_ + path;
    }
    // localhost by default: Wine checks the certificate's names, not its addresses.
    std::string Https(const std::string& path, const std::string& host = "localhost") const {
        return "https://" + host + ":" + httpsPort_ + path;
    }
    std::string Authority() const { return dir_ + "/tls/ca.pem"; }
    std::string File(const std::string& name) const { return ReadFileBytes(dir_ + "/www/" + name); }

    std::vector<Logged> Log() const {
        std::vector<Logged> out;
        std::ifstream in(dir_ + "/logs/access.log");
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            Logged l;
            if (fields >> l.uri >> l.status >> l.bodyBytes >> l.encoding) {
                if (l.encoding.size() >= 2 && l.encoding.front() == '"') {
                    l.encoding = l.encoding.substr(1, l.encoding.size() - 2);
                }
                out.push_back(l);
            }
        }
        return out;
    }
    // The response logged after the first `before` lines for uri: nginx logs it once it has
    // sent it, which may be a moment after the client has read it (bounded wait).
    Logged LoggedAfter(size_t before, const std::string& uri) const {
        for (int turn = 0; turn < 250; ++turn) {
            const std::vector<Logged> log = Log();
            for (size_t i = before; i < log.size(); ++i) {
                if (log[i].uri == uri) {
                    return log[i];
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }

  private:
    std::string dir_;
    std::string httpPort_;
    std::string httpsPort_;
};

struct Fetched {
    int result = -1;
    std::string text;
    PageAnswer answer;
    std::vector<RecordingMessageBox::Box> boxes;
};

Fetched Fetch(const std::string& url, WebRules rules, int quiet = 1) {
    Fetched f;
    RecordingMessageBox boxes(IDCANCEL);
    CString text("left alone");
    std::atomic<int32_t> stop{0};
    f.result = FetchPage(url.c_str(), &text, &stop, quiet, &f.answer, rules);
    f.text.assign(text, text.GetLength());
    f.boxes = boxes.Boxes();
    return f;
}

#ifdef _WIN32

// WinINet's https, its redirections and its decoding under Wine: a relative 302 on https, a
// 301 to another address, and the page sent compressed, read as the plain file.
TEST(CurrentWebWine, HttpsPageRedirectedAndCompressed) {
    TlsSite site;
    ASSERT_TRUE(site.Load()) << "run through CTest, whose fixture starts the site";
    TrustedCertificate trusted(site.Authority());
    ASSERT_TRUE(trusted.ok());
    const size_t before = site.Log().size();
    const Fetched f = Fetch(site.Https("/away.html"), WebRules::kCurrent, 0);
    EXPECT_EQ(f.result, 1);
    EXPECT_TRUE(f.text == site.File("new.html")) << f.text.size() << " bytes";
    EXPECT_EQ(f.answer.status, 200u);
    EXPECT_EQ(std::string(f.answer.finalUrl), site.Https("/new.html"));
    EXPECT_TRUE(f.boxes.empty());
    const Logged page = site.LoggedAfter(before, "/new.html");
    EXPECT_EQ(page.encoding, "gzip");
    EXPECT_LT(page.bodyBytes, site.File("new.html").size());
}

#else

std::string PatternText(size_t count) {
    const std::string bytes = PatternBytes(0, count);
    return bytes.substr(0, bytes.find('\0'));
}

// Every byte outside the unreserved set as %XX, for an address inside a query.
std::string Encoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

class CurrentWeb : public LoopbackServerTest {
  protected:
    CurrentWeb() : LoopbackServerTest("current") {}
    void SetUp() override {
        LoopbackServerTest::SetUp();
        ASSERT_TRUE(site_.Load()) << "run through CTest, whose fixture starts the site";
        g_bStopSearch = 0;
    }
    void TearDown() override { g_bStopSearch = 0; }

    std::string Url(const std::string& target) const { return server_->Url(target); }

    // hops redirections on the test server, each with the next status of the five, that end
    // at target (a path of the server or a whole address). The Locations are paths.
    std::string Chain(int hops, const std::string& target, const std::string& name) const {
        static const char* const kStatuses[] = {"301", "302", "303", "307", "308"};
        std::string next = target;
        for (int i = hops; i > 0; --i) {
            next = Path("/redirect", name + "-" + std::to_string(i)) +
                   "?status=" + kStatuses[i % 5] + "&to=" + Encoded(next);
        }
        return next;
    }

    TlsSite site_;
};

// What a page's redirections come to: followed under the current rules (the text and the
// address it came from are the last hop's), the first answer under the classic ones.
TEST_F(CurrentWeb, PageRedirections) {
    const std::string end = Path("/exact", "end");
    const std::string endUrl = Url(end + "?size=1000");
    const std::string hostPort = "127.0.0.1:" + std::to_string(server_->Port());
    const std::string moved = "<html><body>Moved to <a href=\"";
    enum class Text { kEnd, kMoved, kLeftAlone, kHttpsPage };
    const struct {
        const char* name;
        std::string url;
        WebRules rules;
        int quiet;
        int result;
        Text text;
        std::string finalUrl;  // "" with a result of 0
        uint64_t endRequests;
        size_t boxes;  // each saying that the redirection failed
    } kCases[] = {
        {"classic: the redirection is the page", Url(Chain(1, end + "?size=1000", "classic")),
         WebRules::kClassic, 1, 1, Text::kMoved, Url(Chain(1, end + "?size=1000", "classic")), 0,
         0},
        {"one, a path", Url(Chain(1, end + "?size=1000", "one")), WebRules::kCurrent, 1, 1,
         Text::kEnd, endUrl, 1, 0},
        {"one, scheme-relative", Url(Chain(1, "//" + hostPort + end + "?size=1000", "relative")),
         WebRules::kCurrent, 1, 1, Text::kEnd, endUrl, 1, 0},
        {"every status, ten in all", Url(Chain(10, endUrl, "ten")), WebRules::kCurrent, 0, 1,
         Text::kEnd, endUrl, 1, 0},
        {"eleven, quiet", Url(Chain(11, endUrl, "eleven")), WebRules::kCurrent, 1, 0,
         Text::kLeftAlone, "", 0, 0},
        {"eleven, told", Url(Chain(11, endUrl, "eleven-told")), WebRules::kCurrent, 0, 0,
         Text::kLeftAlone, "", 0, 1},
        {"to mailto", Url(Chain(1, "mailto:someone@example.com", "mailto")), WebRules::kCurrent, 0,
         0, Text::kLeftAlone, "", 0, 1},
        {"to ftp", Url(Chain(1, "ftp://" + hostPort + end, "ftp")), WebRules::kCurrent, 1, 0,
         Text::kLeftAlone, "", 0, 0},
        {"a 302 without a Location is the page",
         Url(Path("/status", "nowhere") + "?code=302&body=stays"), WebRules::kCurrent, 1, 1,
         Text::kMoved, Url(Path("/status", "nowhere") + "?code=302&body=stays"), 0, 0},
        {"to https, trusted", Url(Chain(2, site_.Https("/new.html"), "https")), WebRules::kCurrent,
         1, 1, Text::kHttpsPage, site_.Https("/new.html"), 0, 0},
    };
    const std::string failed = InternetErrorText(ERROR_HTTP_REDIRECT_FAILED);
    TrustedCertificate trusted(site_.Authority());
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        g_bStopSearch = 0;
        const uint64_t endBefore = server_->Requests(end);
        const Fetched f = Fetch(c.url, c.rules, c.quiet);
        EXPECT_EQ(f.result, c.result);
        switch (c.text) {
            case Text::kEnd:
                EXPECT_EQ(f.text, PatternText(1000));
                EXPECT_EQ(f.answer.status, 200u);
                break;
            case Text::kMoved:
                EXPECT_TRUE(f.text.rfind(moved, 0) == 0 || f.text == "stays") << f.text;
                EXPECT_EQ(f.answer.status / 100, 3u);
                break;
            case Text::kLeftAlone:
                EXPECT_EQ(f.text, "left alone");
                break;
            case Text::kHttpsPage:
                EXPECT_TRUE(f.text == site_.File("new.html"));
                break;
        }
        EXPECT_EQ(std::string(f.answer.finalUrl), c.finalUrl);
        EXPECT_EQ(server_->Requests(end) - endBefore, c.endRequests);
        ASSERT_EQ(f.boxes.size(), c.boxes);
        for (const auto& box : f.boxes) {
            EXPECT_EQ(box.text, failed);
            EXPECT_EQ(box.type, MB_OK | MB_ICONINFORMATION);
        }
        EXPECT_EQ(g_bStopSearch.load(), c.boxes > 0 ? 1 : 0);
        if (c.quiet == 1) {
            // Read ahead of its turn, the page comes to the same, and nothing would be told.
            RecordingMessageBox none(IDCANCEL);
            CString text("left alone");
            PageAnswer answer;
            bool wouldTell = true;
            EXPECT_EQ(FetchPageUntold(c.url.c_str(), &text, nullptr, &answer, wouldTell, c.rules),
                      c.result);
            EXPECT_EQ(std::string(text, text.GetLength()), f.text);
            EXPECT_EQ(std::string(answer.finalUrl), c.finalUrl);
            EXPECT_FALSE(wouldTell);
            EXPECT_TRUE(none.Boxes().empty());
        }
    }
}

// A download follows the same chains; one that cannot be followed is a request that cannot
// be sent: no window, no file, the failure told.
TEST_F(CurrentWeb, DownloadRedirections) {
    TempFolder folder;
    const std::string end = Path("/exact", "download") + "?size=50000";
    const std::string pattern = PatternBytes(0, 50000);
    const std::string page = site_.File("new.html");
    const struct {
        const char* name;
        std::string url;
        WebRules rules;
        DownloadEnd end;
        const char* kinds;
        const std::string& bytes;  // of a file that was downloaded
    } kCases[] = {
        {"classic: a redirection is no file", Url(Chain(1, end, "classic")), WebRules::kClassic,
         DownloadEnd::kBadStatus, "oc", pattern},
        {"ten", Url(Chain(10, end, "ten")), WebRules::kCurrent, DownloadEnd::kDone, "", pattern},
        {"eleven", Url(Chain(11, end, "eleven")), WebRules::kCurrent, DownloadEnd::kNoRequest, "",
         pattern},
        {"to mailto", Url(Chain(1, "mailto:someone@example.com", "mailto")), WebRules::kCurrent,
         DownloadEnd::kNoRequest, "", pattern},
        {"to https", Url(Chain(1, site_.Https("/new.html"), "https")), WebRules::kCurrent,
         DownloadEnd::kDone, "", page},
    };
    TrustedCertificate trusted(site_.Authority());
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        g_bStopSearch = 0;
        const std::string file = folder.File(std::to_string(&c - kCases) + ".bin");
        RecordingMessageBox boxes(IDCANCEL);
        RecordingWindow window;
        DownloadOutcome outcome;
        const DownloadControl control{.rules = c.rules};
        const int result =
            RunDownload(c.url.c_str(), file.c_str(), nullptr, 0, window, &outcome, &control);
        EXPECT_EQ(result, c.end == DownloadEnd::kDone ? 1 : 0);
        EXPECT_EQ(outcome.end, c.end);
        if (*c.kinds != '\0') {
            EXPECT_EQ(window.Kinds(), c.kinds);
        }
        if (c.end == DownloadEnd::kDone) {
            EXPECT_TRUE(ReadFileBytes(file) == c.bytes);
        } else {
            EXPECT_FALSE(FileExists(file));
        }
        const bool told = c.end == DownloadEnd::kNoRequest;
        ASSERT_EQ(boxes.Boxes().size(), told ? 1u : 0u);
        if (told) {
            EXPECT_EQ(boxes.Boxes()[0].text, InternetErrorText(ERROR_HTTP_REDIRECT_FAILED));
            EXPECT_TRUE(window.events.empty());
        }
    }
}

// https only with the test authority trusted; otherwise the page fails as any page fails and
// the download says that the certificate is not trusted.
TEST_F(CurrentWeb, HttpsNeedsATrustedCertificate) {
    TempFolder folder;
    const std::string untrusted = InternetErrorText(ERROR_INTERNET_INVALID_CA);
    ASSERT_NE(untrusted.find("certificate is not trusted"), std::string::npos) << untrusted;
    const struct {
        const char* name;
        std::string authority;
        bool trusted;
    } kCases[] = {
        {"the test authority", site_.Authority(), true},
        {"the system's authorities only", "/etc/ssl/certs/ca-certificates.crt", false},
        {"no readable authorities", site_.Authority() + ".missing", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        TrustedCertificate authority(c.authority);
        for (const std::string& url :
             {site_.Https("/new.html"), site_.Https("/new.html", "127.0.0.1")}) {
            SCOPED_TRACE(url);
            for (int quiet : {0, 1}) {
                g_bStopSearch = 0;
                const Fetched f = Fetch(url, WebRules::kCurrent, quiet);
                EXPECT_EQ(f.result, c.trusted ? 1 : 0);
                EXPECT_EQ(f.text, c.trusted ? site_.File("new.html") : "left alone");
                EXPECT_EQ(std::string(f.answer.finalUrl), c.trusted ? url : "");
                ASSERT_EQ(f.boxes.size(), c.trusted || quiet ? 0u : 1u);
                if (!f.boxes.empty()) {
                    EXPECT_EQ(f.boxes[0].text, untrusted);
                }
            }
        }
        g_bStopSearch = 0;
        const std::string file = folder.File("secure.html");
        RecordingMessageBox boxes(IDCANCEL);
        RecordingWindow window;
        DownloadOutcome outcome;
        const DownloadControl control{.rules = WebRules::kCurrent};
        EXPECT_EQ(RunDownload(site_.Https("/new.html").c_str(), file.c_str(), nullptr, 0, window,
                              &outcome, &control),
                  c.trusted ? 1 : 0);
        if (c.trusted) {
            EXPECT_TRUE(ReadFileBytes(file) == site_.File("new.html"));
            EXPECT_TRUE(boxes.Boxes().empty());
        } else {
            EXPECT_EQ(outcome.end, DownloadEnd::kNoRequest);
            EXPECT_FALSE(FileExists(file));
            ASSERT_EQ(boxes.Boxes().size(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, untrusted);
        }
        FileRemove(file);
    }
}

// Pages ask for gzip under the current rules only, and read the plain text either way; the cap
// counts decoded bytes, also where the compressed size is announced as the Content-Length.
TEST_F(CurrentWeb, CompressedPages) {
    const std::string plain = site_.File("new.html");
    const std::string big = site_.File("big.html");
    ASSERT_EQ(big.size(), 131073u);
    const struct {
        const char* name;
        std::string url;
        std::string uri;
        WebRules rules;
        const std::string& text;
        const char* encoding;
        std::string finalUrl;
    } kCases[] = {
        {"classic", site_.Http("/new.html"), "/new.html", WebRules::kClassic, plain, "-",
         site_.Http("/new.html")},
        {"current", site_.Http("/new.html"), "/new.html", WebRules::kCurrent, plain, "gzip",
         site_.Http("/new.html")},
        {"current, redirected to https", site_.Http("/old.html"), "/new.html", WebRules::kCurrent,
         plain, "gzip", site_.Https("/new.html")},
        {"classic, past the cap", site_.Http("/big.html"), "/big.html", WebRules::kClassic, big,
         "-", site_.Http("/big.html")},
        {"current, past the cap", site_.Http("/big.html"), "/big.html", WebRules::kCurrent, big,
         "gzip", site_.Http("/big.html")},
    };
    TrustedCertificate trusted(site_.Authority());
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const size_t before = site_.Log().size();
        const Fetched f = Fetch(c.url, c.rules);
        EXPECT_EQ(f.result, 1);
        const std::string want = c.text.substr(0, kPageMaxBytes);
        EXPECT_EQ(f.text.size(), want.size());
        EXPECT_TRUE(f.text == want);
        EXPECT_EQ(f.answer.bytes, want.size());
        EXPECT_EQ(std::string(f.answer.finalUrl), c.finalUrl);
        const Logged sent = site_.LoggedAfter(before, c.uri);
        EXPECT_EQ(sent.encoding, c.encoding);
        if (std::string(c.encoding) == "gzip") {
            EXPECT_LT(sent.bodyBytes, want.size() / 4);
        }
    }
}

#endif

}  // namespace
}  // namespace quor::test
