// The page fetch and the download under the current web's rules: redirections followed (on the
// test server), https with the certificate checked and gzip pages decoded (against nginx on
// loopback serving tls-site over http and https, with a test authority). Natively on libcurl;
// under Wine one case through WinINet, with the authority trusted in the prefix.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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

// The served site (scripts/sample-site start-tls): its ports, its authority, nginx's log.
struct TlsSite {
    std::string dir, httpPort, httpsPort;

    bool Load() {
        const char* d = std::getenv("QUOR_TLS_SITE_DIR");
        dir = d != nullptr ? d : "";
        std::ifstream in(dir + "/ports");
        return static_cast<bool>(in >> httpPort >> httpsPort);
    }
    std::string Http(const std::string& path) const {
        return "http://127.0.0.1:" + httpPort + path;
    }
    // localhost: Wine checks the certificate's names, not its addresses.
    std::string Https(const std::string& path) const {
        return "https://localhost:" + httpsPort + path;
    }
    std::string File(const std::string& name) const { return ReadFileBytes(dir + "/www/" + name); }
    size_t LogLines() const {
        std::ifstream in(dir + "/logs/access.log");
        size_t n = 0;
        for (std::string line; std::getline(in, line);) {
            ++n;
        }
        return n;
    }
    // The body bytes and Content-Encoding ("-": none) nginx logged for uri after line `after`.
    // It logs a response once it has sent it, maybe a moment after the client read it.
    std::pair<uint64_t, std::string> Sent(size_t after, const std::string& uri) const {
        for (int turn = 0; turn < 250; ++turn) {
            std::ifstream in(dir + "/logs/access.log");
            size_t n = 0;
            for (std::string line; std::getline(in, line);) {
                std::istringstream fields(line);
                std::string logged, encoding;
                uint32_t status = 0;
                uint64_t bytes = 0;
                if (n++ >= after && fields >> logged >> status >> bytes >> encoding &&
                    logged == uri) {
                    return {bytes, encoding.substr(1, encoding.size() - 2)};
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {0, "not logged"};
    }
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

// WinINet's https, redirections and decoding under Wine: a relative 302 on https, a 301 to
// another address, and the page sent compressed, read as the plain file.
TEST(CurrentWebWine, HttpsPageRedirectedAndCompressed) {
    TlsSite site;
    ASSERT_TRUE(site.Load()) << "run through CTest, whose fixture starts the site";
    // Before the first connection: Wine keeps its verdict on a server for the process.
    TrustedCertificate trusted(site.dir + "/tls/ca.pem");
    ASSERT_TRUE(trusted.ok());
    const size_t before = site.LogLines();
    const Fetched f = Fetch(site.Https("/away.html"), WebRules::kCurrent, 0);
    EXPECT_EQ(f.result, 1);
    EXPECT_TRUE(f.text == site.File("new.html")) << f.text.size() << " bytes";
    EXPECT_EQ(f.answer.status, 200u);
    EXPECT_EQ(std::string(f.answer.finalUrl), site.Https("/new.html"));
    EXPECT_TRUE(f.boxes.empty());
    const auto [bytes, encoding] = site.Sent(before, "/new.html");
    EXPECT_EQ(encoding, "gzip");
    EXPECT_LT(bytes, site.File("new.html").size());
}

#else

// Every byte outside the unreserved set as %XX, for an address inside a query.
std::string Encoded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || strchr("-._~/", c) != nullptr) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += "0123456789ABCDEF"[c >> 4];
            out += "0123456789ABCDEF"[c & 15];
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
    // hops redirections on the test server, 301, 302, 303, 307 and 308 in turn, that end at
    // target (a path or a whole address).
    std::string Chain(int hops, const std::string& target, const std::string& name) const {
        std::string next = target;
        for (int i = hops; i > 0; --i) {
            next = Path("/redirect", name + std::to_string(i)) + "?status=" + "30" +
                   "12378"[i % 5] + "&to=" + Encoded(next);
        }
        return Url(next);
    }

    TlsSite site_;
};

// A chain is followed under the current rules (the page's text and the file are the last
// hop's, and so is the address it came from), not under the classic ones; a chain that cannot
// be followed is a page that cannot be opened and a download whose failure is told.
TEST_F(CurrentWeb, Redirections) {
    const std::string end = Path("/exact", "end") + "?size=1000";
    const std::string endUrl = Url(end);
    const std::string pattern = PatternBytes(0, 1000);
    const std::string page = site_.File("new.html");
    const std::string noLocation = Url(Path("/status", "nowhere") + "?code=302&body=stays");
    const struct {
        const char* name;
        std::string url;
        WebRules rules;
        std::string finalUrl;      // empty: the chain fails
        const std::string* bytes;  // of the page and the file; null: the answer is a 3xx
    } kCases[] = {
        {"classic", Chain(1, end, "classic"), WebRules::kClassic, Chain(1, end, "classic"),
         nullptr},
        {"a path", Chain(1, end, "path"), WebRules::kCurrent, endUrl, &pattern},
        {"scheme-relative",
         Chain(1, "//127.0.0.1:" + std::to_string(server_->Port()) + end, "relative"),
         WebRules::kCurrent, endUrl, &pattern},
        {"ten", Chain(10, endUrl, "ten"), WebRules::kCurrent, endUrl, &pattern},
        {"eleven", Chain(11, endUrl, "eleven"), WebRules::kCurrent, "", nullptr},
        {"to mailto", Chain(1, "mailto:someone@example.com", "mailto"), WebRules::kCurrent, "",
         nullptr},
        {"to ftp", Chain(1, "ftp://127.0.0.1/end", "ftp"), WebRules::kCurrent, "", nullptr},
        {"no Location", noLocation, WebRules::kCurrent, noLocation, nullptr},
        {"to https", Chain(2, site_.Https("/new.html"), "https"), WebRules::kCurrent,
         site_.Https("/new.html"), &page},
    };
    TrustedCertificate trusted(site_.dir + "/tls/ca.pem");
    TempFolder folder;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const Fetched f = Fetch(c.url, c.rules);
        EXPECT_EQ(f.result, c.finalUrl.empty() ? 0 : 1);
        EXPECT_EQ(std::string(f.answer.finalUrl), c.finalUrl);
        if (c.bytes != nullptr) {
            EXPECT_EQ(f.text, c.bytes->substr(0, c.bytes->find('\0')));
        } else {
            EXPECT_EQ(f.answer.status / 100, c.finalUrl.empty() ? 0u : 3u);
        }
        EXPECT_TRUE(f.boxes.empty());

        const std::string file = folder.File(std::string(c.name) + ".bin");
        RecordingMessageBox boxes(IDCANCEL);
        RecordingWindow window;
        DownloadOutcome outcome;
        const DownloadControl control{.rules = c.rules};
        RunDownload(c.url.c_str(), file.c_str(), nullptr, 0, window, &outcome, &control);
        EXPECT_EQ(outcome.end, c.finalUrl.empty()   ? DownloadEnd::kNoRequest
                               : c.bytes != nullptr ? DownloadEnd::kDone
                                                    : DownloadEnd::kBadStatus);
        EXPECT_TRUE(c.bytes != nullptr ? ReadFileBytes(file) == *c.bytes : !FileExists(file));
        ASSERT_EQ(boxes.Boxes().size(), c.finalUrl.empty() ? 1u : 0u);
        if (c.finalUrl.empty()) {
            EXPECT_EQ(boxes.Boxes()[0].text, InternetErrorText(ERROR_HTTP_REDIRECT_FAILED));
            EXPECT_EQ(window.Kinds(), "");
            EXPECT_EQ(g_bStopSearch.exchange(0), 1);
        }
    }
}

// https only with the test authority trusted; otherwise the page fails as any page fails and
// the download says that the certificate is not trusted.
TEST_F(CurrentWeb, HttpsNeedsATrustedCertificate) {
    const std::string page = site_.File("new.html");
    const std::string untrusted = InternetErrorText(ERROR_INTERNET_INVALID_CA);
    ASSERT_NE(untrusted.find("certificate is not trusted"), std::string::npos) << untrusted;
    const struct {
        const char* name;
        std::string authorities;
        bool trusted;
    } kCases[] = {
        {"the test authority", site_.dir + "/tls/ca.pem", true},
        {"the system's only", "/etc/ssl/certs/ca-certificates.crt", false},
        {"none readable", site_.dir + "/tls/missing.pem", false},
    };
    TempFolder folder;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        TrustedCertificate authorities(c.authorities);
        const Fetched f = Fetch(site_.Https("/new.html"), WebRules::kCurrent, 0);
        EXPECT_EQ(f.result, c.trusted ? 1 : 0);
        EXPECT_EQ(f.text, c.trusted ? page : "left alone");
        const std::string file = folder.File("secure.html");
        RecordingMessageBox boxes(IDCANCEL);
        RecordingWindow window;
        const DownloadControl control{.rules = WebRules::kCurrent};
        EXPECT_EQ(RunDownload(site_.Https("/new.html").c_str(), file.c_str(), nullptr, 0, window,
                              nullptr, &control),
                  c.trusted ? 1 : 0);
        EXPECT_TRUE(c.trusted ? ReadFileBytes(file) == page : !FileExists(file));
        for (const auto& shown : {f.boxes, boxes.Boxes()}) {
            ASSERT_EQ(shown.size(), c.trusted ? 0u : 1u);
            if (!c.trusted) {
                EXPECT_EQ(shown[0].text, untrusted);
            }
        }
        FileRemove(file);
        g_bStopSearch = 0;
    }
}

// Pages ask for gzip under the current rules only, and read the plain text either way; the cap
// counts decoded bytes, also where the compressed size is announced as the Content-Length.
TEST_F(CurrentWeb, CompressedPages) {
    const struct {
        const char* name;
        std::string url;
        WebRules rules;
        const char* file;
        const char* encoding;
        std::string finalUrl;
    } kCases[] = {
        {"classic", site_.Http("/new.html"), WebRules::kClassic, "new.html", "-",
         site_.Http("/new.html")},
        {"current", site_.Http("/new.html"), WebRules::kCurrent, "new.html", "gzip",
         site_.Http("/new.html")},
        {"current, to https", site_.Http("/old.html"), WebRules::kCurrent, "new.html", "gzip",
         site_.Https("/new.html")},
        {"classic, past the cap", site_.Http("/big.html"), WebRules::kClassic, "big.html", "-",
         site_.Http("/big.html")},
        {"current, past the cap", site_.Http("/big.html"), WebRules::kCurrent, "big.html", "gzip",
         site_.Http("/big.html")},
    };
    ASSERT_EQ(site_.File("big.html").size(), kPageMaxBytes + 1);
    TrustedCertificate trusted(site_.dir + "/tls/ca.pem");
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const size_t before = site_.LogLines();
        const Fetched f = Fetch(c.url, c.rules);
        const std::string want = site_.File(c.file).substr(0, kPageMaxBytes);
        EXPECT_EQ(f.result, 1);
        EXPECT_EQ(f.text.size(), want.size());
        EXPECT_TRUE(f.text == want);
        EXPECT_EQ(std::string(f.answer.finalUrl), c.finalUrl);
        const auto [bytes, encoding] = site_.Sent(before, std::string("/") + c.file);
        EXPECT_EQ(encoding, c.encoding);
        EXPECT_EQ(bytes < want.size() / 4, encoding == "gzip") << bytes;
    }
}

#endif

}  // namespace
}  // namespace quor::test
