// The crawl worker and the found-files list over the bundled sample site, natively: served by
// the in-process test server and by nginx, searched through a recording view. Every row gives
// the list lines and status texts a search shows, as literals; "@PORT@" stands for the port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "afx/recording_message_box.h"
#include "afx/test_hooks.h"
#include "afx/thread.h"
#include "quor_inet/worker/crawl_worker.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/state/search_view.h"
#include "tests/search/current_site.h"
#include "tests/search/sample_site_expectations.h"
#include "tests/server/test_http_server.h"

namespace quor::test {
namespace {

namespace fs = std::filesystem;

// What the worker showed, in order: "status <text>", "range <n>", "pos <n>", "line <text>",
// "end <label>".
class RecordingView : public SearchView {
  public:
    void SetStatusText(const char* text) override {
        Add("status " + std::string(text));
        if (onStatus) {
            onStatus();
        }
    }
    void SetProgressRange(uint16_t maximum) override { Add("range " + std::to_string(maximum)); }
    void SetProgressPos(uint32_t position) override { Add("pos " + std::to_string(position)); }
    void AddFoundLine(const char* line, FoundFileEntry* entry) override {
        Add("line " + std::string(line));
        entries.push_back(entry);
    }
    void EndSearch(const char* searchLabel) override { Add("end " + std::string(searchLabel)); }
    void ListLimitReached(SearchList list, uint32_t limit) override {
        Add(std::string(list == SearchList::kCrawl ? "full crawl " : "full found ") +
            std::to_string(limit) + " at " + std::to_string(CrawlEntryCount()));
        if (onFull) {
            onFull();
        }
    }

    std::vector<std::string> Of(const std::string& kind) const {
        std::vector<std::string> out;
        for (const std::string& e : events) {
            if (e.compare(0, kind.size() + 1, kind + " ") == 0) {
                out.push_back(e.substr(kind.size() + 1));
            }
        }
        return out;
    }

    std::vector<std::string> events;
    std::vector<FoundFileEntry*> entries;
    std::function<void()> onStatus;
    std::function<void()> onFull;

  private:
    void Add(std::string event) {
        std::lock_guard lock(mutex_);
        events.push_back(std::move(event));
    }
    std::mutex mutex_;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Runs one search as the dialog starts it, to its end; beforeStart runs just before the worker.
void Search(RecordingView& view, const std::string& start,
            const std::function<void()>& beforeStart = {}) {
    g_pSearchView = &view;
    g_strSearchUrl() = start.c_str();
    g_bStopSearch = 0;
    CWinThread* worker = AfxBeginThread(
        CrawlThreadProc, const_cast<char*>(static_cast<const char*>(g_strSearchUrl())), true);
    ASSERT_NE(worker, nullptr);
    g_pSearchThread = worker;
    if (beforeStart) {
        beforeStart();
    }
    worker->ResumeThread();
    worker->Join();
    EXPECT_EQ(worker->GetExitCode(), 1u);
    delete worker;
    EXPECT_EQ(g_pSearchThread.load(), nullptr);
    EXPECT_EQ(g_pCrawlList, nullptr);
    g_pSearchView = nullptr;
}

// The sample site laid out for a port, served by the in-process test server or by nginx.
class SiteServer {
  public:
    virtual ~SiteServer() = default;
    virtual uint16_t Port() const = 0;
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(Port()) + path;
    }
};

class TestServerSite : public SiteServer {
  public:
    TestServerSite() {
        port_ = TestHttpServer::RefusingPort();
        dir_ = fs::temp_directory_path() / ("quor-site-" + std::to_string(port_));
        fs::remove_all(dir_);
        const std::string command = std::string(QUOR_SOURCE_ROOT "/scripts/sample-site prepare ") +
                                    QUOR_SOURCE_ROOT "/samples/site " + dir_.string() + " " +
                                    std::to_string(port_);
        ok_ = std::system(command.c_str()) == 0;
        TestHttpServer::Options options;
        options.root = dir_.string();
        options.port = port_;
        server_ = std::make_unique<TestHttpServer>(options);
        ok_ = ok_ && server_->Start();
    }
    ~TestServerSite() override {
        server_.reset();
        fs::remove_all(dir_);
    }
    bool Ok() const { return ok_; }
    uint16_t Port() const override { return port_; }
    TestHttpServer& Server() const { return *server_; }

  private:
    uint16_t port_ = 0;
    fs::path dir_;
    std::unique_ptr<TestHttpServer> server_;
    bool ok_ = false;
};

class NginxSite : public SiteServer {
  public:
    NginxSite() {
        dir_ = fs::temp_directory_path() / ("quor-nginx-" + std::to_string(::getpid()));
        const std::string command =
            std::string(QUOR_SOURCE_ROOT "/scripts/sample-site start ") + dir_.string();
        if (FILE* out = ::popen(command.c_str(), "r"); out != nullptr) {
            char line[32] = {};
            if (std::fgets(line, sizeof line, out) != nullptr) {
                port_ = static_cast<uint16_t>(std::atoi(line));
            }
            ok_ = ::pclose(out) == 0 && port_ != 0;
        }
    }
    ~NginxSite() override {
        std::system(
            (std::string(QUOR_SOURCE_ROOT "/scripts/sample-site stop ") + dir_.string()).c_str());
        fs::remove_all(dir_);
    }
    bool Ok() const { return ok_; }
    uint16_t Port() const override { return port_; }

  private:
    fs::path dir_;
    uint16_t port_ = 0;
    bool ok_ = false;
};

class Crawl : public ::testing::Test {
  protected:
    void TearDown() override {
        FreeFoundFiles();
        g_nMaxLevel = kDefaultMaxLevel;
        g_bAnyServer = kDefaultAnyServer;
        g_bReadID3 = kDefaultReadID3;
        g_nSearchConnections = kDefaultSearchConnections;
        g_nCurrentWeb = kDefaultCurrentWeb;
        g_bStopSearch = 0;
    }
};

struct SiteCase {
    const char* name;
    const char* start;  // path on 127.0.0.1, or a whole address
    int32_t maxLevel;
    int32_t anyServer;
    std::vector<std::string> lines;
    std::vector<std::string> statuses;  // "" is the emptied status line at the end
    // The progress bar's "range N" and "pos N" in order; empty: not compared.
    std::vector<std::string> progress = {};
};

#define SITE "http://127.0.0.1:@PORT@/"
#define AWAY "http://localhost:@PORT@/"
#define STATUS(page, total, level, url) \
    "Analysing page " #page " from " #total " at level " #level "\n" url

const std::vector<std::string> kLinesDepth0 = {"0: [24KB - 00:03] Quiet Morning - Caf\xE9 Trio",
                                               "1: [19KB - 00:04] Old Tag - Version Two",
                                               "2: [17KB] wind.wma"};
const std::vector<std::string> kLinesDepth2 = {"0: [24KB - 00:03] Quiet Morning - Caf\xE9 Trio",
                                               "1: [19KB - 00:04] Old Tag - Version Two",
                                               "2: [17KB] wind.wma",
                                               "3: [13KB - 00:03] Slow River - Loopback Choir",
                                               "4: [13KB - 00:04] Evening Hum - Quor Ensemble",
                                               "5: [9KB - 00:03] level1.mp3",
                                               "6: [22KB - 00:04] notag.mp3",
                                               "7: [16KB] chime.wav",
                                               "8: [9KB - 00:03] level2.mp3",
                                               "9: [5KB - 00:05] vbr.mp3"};
const std::vector<std::string> kStatusesDepth1 = {
    STATUS(1, 1, 0, SITE "index.html"),         STATUS(2, 7, 1, SITE "lists/plain.m3u"),
    STATUS(3, 7, 1, SITE "lists/extended.m3u"), STATUS(4, 7, 1, SITE "music/notag.mp3?dl=1"),
    STATUS(5, 7, 1, SITE "frames.html"),        STATUS(6, 7, 1, SITE "chain/level1.html"),
    STATUS(7, 7, 1, SITE "old.html"),           ""};

const SiteCase kSiteCases[] = {
    {"depth 0", "index.html", 0, 0, kLinesDepth0, {STATUS(1, 1, 0, SITE "index.html"), ""}},
    {"depth 1",
     "index.html",
     1,
     0,
     {"0: [24KB - 00:03] Quiet Morning - Caf\xE9 Trio", "1: [19KB - 00:04] Old Tag - Version Two",
      "2: [17KB] wind.wma", "3: [13KB - 00:03] Slow River - Loopback Choir",
      "4: [13KB - 00:04] Evening Hum - Quor Ensemble", "5: [9KB - 00:03] level1.mp3"},
     kStatusesDepth1,
     // Set for every page reference that passes, whether queued or not; the position after
     // every page.
     {"range 4", "range 5", "range 6", "range 6", "range 7", "pos 1", "pos 2", "pos 3", "pos 4",
      "range 7", "range 7", "range 7", "pos 5", "range 7", "range 7", "pos 6", "range 7", "pos 7"}},
    {"depth 2",
     "index.html",
     2,
     0,
     kLinesDepth2,
     {STATUS(1, 1, 0, SITE "index.html"), STATUS(2, 7, 1, SITE "lists/plain.m3u"),
      STATUS(3, 7, 1, SITE "lists/extended.m3u"), STATUS(4, 7, 1, SITE "music/notag.mp3?dl=1"),
      STATUS(5, 7, 1, SITE "frames.html"), STATUS(6, 10, 1, SITE "chain/level1.html"),
      STATUS(7, 11, 1, SITE "old.html"), STATUS(8, 12, 2, SITE "lists/LIST.M3U"),
      STATUS(9, 12, 2, SITE "frames/menu.html"), STATUS(10, 12, 2, SITE "frames/main.html"),
      STATUS(11, 12, 2, SITE "chain/deep/level2.html"), STATUS(12, 12, 2, SITE "new.html"), ""}},
    {"depth 2, any server",
     "index.html",
     2,
     1,
     {"0: [24KB - 00:03] Quiet Morning - Caf\xE9 Trio", "1: [9KB - 00:03] song.mp3",
      "2: [19KB - 00:04] Old Tag - Version Two", "3: [17KB] wind.wma",
      "4: [13KB - 00:03] Slow River - Loopback Choir",
      "5: [13KB - 00:04] Evening Hum - Quor Ensemble", "6: [9KB - 00:03] level1.mp3",
      "7: [9KB - 00:03] away.mp3", "8: [22KB - 00:04] notag.mp3", "9: [16KB] chime.wav",
      "10: [9KB - 00:03] level2.mp3", "11: [5KB - 00:05] vbr.mp3"},
     {STATUS(1, 1, 0, SITE "index.html"), STATUS(2, 8, 1, SITE "lists/plain.m3u"),
      STATUS(3, 8, 1, SITE "lists/extended.m3u"), STATUS(4, 8, 1, SITE "music/notag.mp3?dl=1"),
      STATUS(5, 8, 1, SITE "frames.html"), STATUS(6, 11, 1, SITE "chain/level1.html"),
      STATUS(7, 12, 1, AWAY "other/index.html"), STATUS(8, 12, 1, SITE "old.html"),
      STATUS(9, 13, 2, SITE "lists/LIST.M3U"), STATUS(10, 13, 2, SITE "frames/menu.html"),
      STATUS(11, 13, 2, SITE "frames/main.html"), STATUS(12, 13, 2, SITE "chain/deep/level2.html"),
      STATUS(13, 13, 2, SITE "new.html"), ""}},
    // Above the slider's 8, as only the settings store can give it.
    {"stored depth 12",
     "index.html",
     12,
     0,
     [] {
         std::vector<std::string> lines = kLinesDepth2;
         lines.push_back("10: [9KB - 00:03] level3.mp3");
         lines.push_back("11: [9KB - 00:03] level4.mp3");
         return lines;
     }(),
     {STATUS(1, 1, 0, SITE "index.html"), STATUS(2, 7, 1, SITE "lists/plain.m3u"),
      STATUS(3, 7, 1, SITE "lists/extended.m3u"), STATUS(4, 7, 1, SITE "music/notag.mp3?dl=1"),
      STATUS(5, 7, 1, SITE "frames.html"), STATUS(6, 10, 1, SITE "chain/level1.html"),
      STATUS(7, 11, 1, SITE "old.html"), STATUS(8, 12, 2, SITE "lists/LIST.M3U"),
      STATUS(9, 12, 2, SITE "frames/menu.html"), STATUS(10, 12, 2, SITE "frames/main.html"),
      STATUS(11, 12, 2, SITE "chain/deep/level2.html"), STATUS(12, 13, 2, SITE "new.html"),
      STATUS(13, 13, 3, SITE "chain/deep/deeper/level3.html"),
      STATUS(14, 14, 4, SITE "chain/deep/deeper/deepest/level4.html"), ""}},
    // Even the start address lies beyond the limit.
    {"negative depth", "index.html", -1, 1, {}, {""}},
    {"start address that does not split", "::no address", 2, 1, {}, {""}},
    // The same machine under another name: its relative references stay on localhost, the
    // playlists' absolute 127.0.0.1 entries are another server's.
    {"start on localhost, same server",
     AWAY "index.html",
     1,
     0,
     {"0: [24KB - 00:03] Quiet Morning - Caf\xE9 Trio", "1: [9KB - 00:03] song.mp3",
      "2: [19KB - 00:04] Old Tag - Version Two", "3: [17KB] wind.wma",
      "4: [9KB - 00:03] level1.mp3", "5: [9KB - 00:03] away.mp3"},
     {STATUS(1, 1, 0, AWAY "index.html"), STATUS(2, 8, 1, AWAY "lists/plain.m3u"),
      STATUS(3, 8, 1, AWAY "lists/extended.m3u"), STATUS(4, 8, 1, AWAY "music/notag.mp3?dl=1"),
      STATUS(5, 8, 1, AWAY "frames.html"), STATUS(6, 8, 1, AWAY "chain/level1.html"),
      STATUS(7, 8, 1, AWAY "other/index.html"), STATUS(8, 8, 1, AWAY "old.html"), ""}},
};

std::vector<std::string> WithPort(const std::vector<std::string>& texts, uint16_t port) {
    std::vector<std::string> out;
    for (const std::string& t : texts) {
        out.push_back(Replace(t, "@PORT@", std::to_string(port)));
    }
    return out;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts) {
        out += "  \"" + Replace(t, "\n", "\\n") + "\"\n";
    }
    return out;
}

void CheckSite(const SiteServer& site, const SiteCase& c) {
    SCOPED_TRACE(c.name);
    FreeFoundFiles();
    g_nMaxLevel = c.maxLevel;
    g_bAnyServer = c.anyServer;
    g_bReadID3 = 1;
    RecordingView view;
    const std::string start = std::string(c.start).find(':') == std::string::npos
                                  ? site.Url("/" + std::string(c.start))
                                  : Replace(c.start, "@PORT@", std::to_string(site.Port()));
    Search(view, start);
    EXPECT_EQ(view.Of("line"), WithPort(c.lines, site.Port())) << Joined(view.Of("line"));
    EXPECT_EQ(view.Of("status"), WithPort(c.statuses, site.Port())) << Joined(view.Of("status"));
    if (!c.progress.empty()) {
        std::vector<std::string> progress;
        for (const std::string& e : view.events) {
            if (e.rfind("range ", 0) == 0 || e.rfind("pos ", 0) == 0) {
                progress.push_back(e);
            }
        }
        EXPECT_EQ(progress, c.progress) << Joined(progress);
    }
    ASSERT_FALSE(view.events.empty());
    EXPECT_EQ(view.events.back(), "end &Search");
}

TEST_F(Crawl, SampleSiteOnTheTestServer) {
    TestServerSite site;
    ASSERT_TRUE(site.Ok());
    for (const SiteCase& c : kSiteCases) {
        CheckSite(site, c);
    }
}

// Reading ahead changes nothing that the user sees, nor any request that a server gets: for
// every case of the table, the whole view and the server's log are those of the crawl that
// sends one request after the other.
TEST_F(Crawl, ReadingAheadMakesTheSequentialRequests) {
    TestServerSite site;
    ASSERT_TRUE(site.Ok());
    for (const SiteCase& c : kSiteCases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> events[2];
        std::multiset<std::string> requests[2];
        for (int32_t ahead : {0, 1}) {
            g_nSearchConnections = ahead ? kDefaultSearchConnections : 1;
            FreeFoundFiles();
            g_nMaxLevel = c.maxLevel;
            g_bAnyServer = c.anyServer;
            site.Server().ClearLog();
            RecordingView view;
            Search(view, std::string(c.start).find(':') == std::string::npos
                             ? site.Url("/" + std::string(c.start))
                             : Replace(c.start, "@PORT@", std::to_string(site.Port())));
            events[ahead] = view.events;
            for (const LoggedRequest& r : site.Server().Log()) {
                requests[ahead].insert(r.requestLine + " " + r.Header("Range"));
            }
        }
        EXPECT_EQ(events[1], events[0]) << Joined(events[1]);
        EXPECT_EQ(requests[1], requests[0]);
    }
}

// A Stop while pages read ahead are under way ends them all: nothing more is shown, and the
// worker ends at once rather than after any of them.
TEST_F(Crawl, StopWhileReadingAhead) {
    const fs::path root = fs::temp_directory_path() / ("quor-ahead-" + std::to_string(getpid()));
    fs::create_directories(root);
    std::string index;
    for (int i = 0; i < 12; ++i) {
        index += "<a href=\"/slow/p" + std::to_string(i) +
                 ".html?size=200000&chunk=500&delay_ms=50\">page</a>\n";
    }
    std::ofstream(root / "index.html") << index;
    TestHttpServer::Options options;
    options.root = root.string();
    TestHttpServer server(options);
    ASSERT_TRUE(server.Start());
    g_nMaxLevel = 1;
    RecordingView view;
    size_t shownAtStop = 0;
    std::chrono::steady_clock::time_point stoppedAt;
    view.onStatus = [&] {
        if (view.events.size() < 2 || shownAtStop != 0) {
            return;  // the start page
        }
        const auto slowRequests = [&] {
            size_t n = 0;
            for (const LoggedRequest& r : server.Log()) {
                n += r.path.rfind("/slow/", 0) == 0 ? 1 : 0;
            }
            return n;
        };
        for (int i = 0; i < 1000 && slowRequests() < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_GE(slowRequests(), 4u);
        shownAtStop = view.events.size();
        stoppedAt = std::chrono::steady_clock::now();
        g_bStopSearch = 1;
    };
    Search(view, server.Url("/index.html"));
    const auto took = std::chrono::steady_clock::now() - stoppedAt;
    ASSERT_NE(shownAtStop, 0u);
    EXPECT_EQ(std::vector<std::string>(view.events.begin() + shownAtStop, view.events.end()),
              (std::vector<std::string>{"end &Search"}));
    // Each page takes 20 s to come whole; a generous bound, far below one of them.
    EXPECT_LT(took, std::chrono::seconds(10));
    for (int i = 0; i < 12; ++i) {
        EXPECT_LT(server.BodyBytesSent("/slow/p" + std::to_string(i) + ".html"), 200000u);
    }
    server.Stop();
    fs::remove_all(root);
}

TEST_F(Crawl, SampleSiteOnNginx) {
    NginxSite site;
    ASSERT_TRUE(site.Ok());
    for (const SiteCase& c : kSiteCases) {
        CheckSite(site, c);
    }
}

// The second site under each rule set, in one table with the command-line tool's and the
// dialog's tests. On the current web a page that two links reach, one through a redirection,
// is fetched once when nothing reads ahead; a folder that robots.txt keeps out is never asked
// for, and robots.txt once for each of the three servers; pages come compressed.
TEST_F(Crawl, CurrentSiteUnderBothRules) {
    TlsSite site;
    ASSERT_TRUE(site.Ok());
    const struct {
        int32_t currentWeb;
        int32_t connections;
        const RuleSearch& expected;
    } rows[] = {{1, 1, kCurrentSiteOnTheCurrentWeb},
                {1, kDefaultSearchConnections, kCurrentSiteOnTheCurrentWeb},
                {0, kDefaultSearchConnections, kCurrentSiteOnClassicRules}};
    for (const auto& row : rows) {
        SCOPED_TRACE("CurrentWeb " + std::to_string(row.currentWeb) + ", connections " +
                     std::to_string(row.connections));
        FreeFoundFiles();
        g_nCurrentWeb = row.currentWeb;
        g_nSearchConnections = row.connections;
        g_nMaxLevel = 1;
        g_bAnyServer = 1;
        const int newPageBefore = site.Requests("/new.html");
        const int robotsBefore = site.Requests("/robots.txt");
        RecordingView view;
        Search(view, site.Ported(kCurrentSiteStart));
        EXPECT_EQ(view.Of("line"), row.expected.lines) << Joined(view.Of("line"));
        std::vector<std::string> urls;
        for (const FoundFileEntry* entry : view.entries) {
            urls.push_back(static_cast<const char*>(entry->strUrl));
        }
        std::vector<std::string> expectedUrls;
        for (const std::string& url : row.expected.urls) {
            expectedUrls.push_back(site.Ported(url));
        }
        EXPECT_EQ(urls, expectedUrls);
        if (row.currentWeb == 1) {
            EXPECT_EQ(site.Requests("/robots.txt") - robotsBefore, 3);
            if (row.connections == 1) {
                EXPECT_EQ(site.Requests("/new.html") - newPageBefore, 1);
            }
        }
    }
    EXPECT_EQ(site.Requests("/private/hidden.html"), 1);  // the classic search's alone
    EXPECT_GT(site.Requests("/based.html", true), 0);
}

// A Stop while a page trickles in ends the fetch after its current chunk and the search at the
// worker's next test; the status line keeps its text.
TEST_F(Crawl, StopDuringASlowPage) {
    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    const std::string path = "/slow/page.html";
    const std::string url = server.Url(path + "?size=200000&chunk=2000&delay_ms=20");
    std::thread stopper([&] {
        for (int i = 0; i < 2000 && server.BodyBytesSent(path) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        g_bStopSearch = 1;
    });
    RecordingView view;
    Search(view, url);
    stopper.join();
    EXPECT_EQ(view.Of("status"),
              (std::vector<std::string>{"Analysing page 1 from 1 at level 0\n" + url}));
    EXPECT_EQ(view.events.back(), "end &Search");
    EXPECT_LT(server.BodyBytesSent(path), 200000u);
}

// A page that breaks off is scanned for what arrived: links at 0, 20 and 40 KB of a page cut
// at 45 KB all count, however it ends.
TEST_F(Crawl, BrokenPagesKeepTheLinksThatArrived) {
    const fs::path root = fs::temp_directory_path() / ("quor-broken-" + std::to_string(getpid()));
    fs::create_directories(root);
    std::string page;
    for (int i = 0; i < 3; ++i) {
        page.resize(size_t(i) * 20480, ' ');
        page += "<a href=\"/song" + std::to_string(i) + ".mp3\">song</a>";
        std::ofstream(root / ("song" + std::to_string(i) + ".mp3")) << std::string(2000, 'x');
    }
    page.resize(65536, ' ');
    std::ofstream(root / "page.html") << page;
    TestHttpServer::Options options;
    options.root = root.string();
    TestHttpServer server(options);
    ASSERT_TRUE(server.Start());
    g_nMaxLevel = 0;
    for (const char* route : {"/reset", "/cut", "/badchunk"}) {
        SCOPED_TRACE(route);
        FreeFoundFiles();
        RecordingView view;
        Search(view, server.Url(std::string(route) + "/page.html?file=page.html&after=46080"));
        EXPECT_EQ(view.Of("line"),
                  (std::vector<std::string>{"0: [2KB] song0.mp3", "1: [2KB] song1.mp3",
                                            "2: [2KB] song2.mp3"}));
    }
    server.Stop();
    fs::remove_all(root);
}

// A site of endless new links fills the crawl list to its limit and no further; the view is
// told once, and here stops the search.
TEST_F(Crawl, EndlessLinksStopAtTheListsLimit) {
    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    g_nMaxLevel = 2;
    RecordingView view;
    view.onFull = [] { g_bStopSearch = 1; };
    Search(view, server.Url("/links/endless.html?n=4000"));
    const std::vector<std::string> full = view.Of("full");
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(full[0], "crawl 100000 at 100000");
    EXPECT_EQ(view.events.back(), "end &Search");
}

// The start page's failure is reported (the machine is online) and stops the search.
TEST_F(Crawl, FailingStartPage) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(TestHttpServer::RefusingPort()) + "/index.html";
    RecordingMessageBox boxes(IDCANCEL);
    RecordingView view;
    Search(view, url);
    EXPECT_EQ(view.Of("status"),
              (std::vector<std::string>{"Analysing page 1 from 1 at level 0\n" + url}));
    EXPECT_EQ(view.events.back(), "end &Search");
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(g_bStopSearch.load(), 1);
}

// A failed allocation anywhere in a search (each one in turn) ends it through the end steps:
// the marker cleared, the crawl list freed, the view back to idle, the found list whole.
TEST_F(Crawl, EveryFailedAllocationEndsTheSearchCleanly) {
    TestServerSite site;
    ASSERT_TRUE(site.Ok());
    g_nMaxLevel = 1;
    g_bAnyServer = 0;
    int runs = 0;
    for (int n = 1; n <= 5000; ++n, ++runs) {
        SCOPED_TRACE(n);
        FreeFoundFiles();
        RecordingView view;
        Search(view, site.Url("/index.html"), [n] { AfxTestFailAllocation(n); });
        const bool allRan = AfxTestAllocationCountdown() > 0;
        AfxTestFailAllocation(0);
        ASSERT_FALSE(view.events.empty());
        EXPECT_EQ(view.events.back().rfind("end ", 0), 0u) << view.events.back();
        uint32_t listed = 0;
        for (const FoundFileEntry* e = g_pFoundFiles; e != nullptr; e = e->pNext) {
            ++listed;
        }
        EXPECT_EQ(listed, FoundFileCount());
        EXPECT_LE(view.Of("line").size(), listed);
        if (allRan) {
            EXPECT_EQ(view.Of("line").size(), 6u) << "the search without a failure";
            break;
        }
    }
    EXPECT_GT(runs, 50);
}

// Duplicates are found whatever the letter case; a lower level replaces a higher one of an entry
// that waits; levels past the limit are not queued.
TEST_F(Crawl, CrawlListEntries) {
    g_nMaxLevel = 2;
    AddCrawlEntry("http://host/a.html", 2, 0);
    AddCrawlEntry("HTTP://HOST/A.HTML", 1, 1);
    AddCrawlEntry("http://host/a.html", 2, 1);
    AddCrawlEntry("http://host/b.m3u", 1, 1);
    AddCrawlEntry("http://host/c.html", 3, 0);
    ASSERT_NE(g_pCrawlList, nullptr);
    EXPECT_STREQ(g_pCrawlList->strUrl, "http://host/a.html");
    EXPECT_EQ(g_pCrawlList->nLevel, 1);
    EXPECT_EQ(g_pCrawlList->bPlaylist, 0);
    ASSERT_NE(g_pCrawlList->pNext, nullptr);
    EXPECT_STREQ(g_pCrawlList->pNext->strUrl, "http://host/b.m3u");
    EXPECT_EQ(g_pCrawlList->pNext->pNext, nullptr);
    EXPECT_EQ(CrawlEntryCount(), 2u);
    FreeCrawlList();
    EXPECT_EQ(g_pCrawlList, nullptr);
    EXPECT_EQ(CrawlEntryCount(), 0u);
}

}  // namespace
}  // namespace quor::test
