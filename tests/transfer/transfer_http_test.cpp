// The request opener, the page fetch, the download and the tag reader against a real HTTP
// server on loopback: natively on libcurl, and as a Windows program under Wine on WinINet.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "afx/inet/internet_session.h"
#include "afx/recording_message_box.h"
#include "maker/sndcore/sndcore.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/resources/string_lookup.h"
#include "quor_inet/resources/resource.h"
#include "quor_inet/tags/audio_network_reader.h"
#include "quor_inet/transfer/download.h"
#include "quor_inet/transfer/http_request.h"
#include "quor_inet/transfer/page_fetch.h"
#include "tests/server/test_http_server.h"
#include "tests/server/loopback_fixture.h"
#include "tests/transfer/transfer_test_support.h"

namespace quor::test {
namespace {

const std::string kPageFixture = "tests/transfer/fixtures/page-131073.html";
const std::string kTagFixture = "tests/transfer/fixtures/tag-v3-200.bin";
const std::string kTagV4Fixture40000 = "tests/transfer/fixtures/tag-v4-40000.bin";
const std::string kTagV4Fixture200000 = "tests/transfer/fixtures/tag-v4-200000.bin";
constexpr uint32_t kTagBodySize = 200;

std::string Pattern(size_t count) {
    std::string s(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        s[i] = static_cast<char>(PatternByte(i));
    }
    return s;
}

// The text a generated body gives: its bytes up to the first zero byte.
std::string PatternText(size_t count) {
    std::string s = Pattern(count);
    return s.substr(0, s.find('\0'));
}

class Transfer : public LoopbackServerTest {
  protected:
    Transfer() : LoopbackServerTest("transfer") {}

    void SetUp() override {
        LoopbackServerTest::SetUp();
        g_bStopSearch = 0;
    }
    void TearDown() override {
        AL_TestSetFreeBytes(-1);
        AL_TestSetWriteLimit(-1);
        g_bStopSearch = 0;
    }

    std::string Url(const std::string& target) const { return server_->Url(target); }
    std::string ClosedUrl(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(RefusingPort()) + target;
    }

    static std::string PageFixture() { return ReadFileBytes(QUOR_SOURCE_ROOT "/" + kPageFixture); }
};

// What one OpenHttpRequest call gave, its objects closed and deleted.
struct Opened {
    int result = 0;
    bool connectionSet = false;
    bool requestSet = false;
    uint32_t status = 0;
    std::string body;
};

Opened OpenAndRead(const std::string& url, int bQuiet) {
    Opened o;
    CInternetSession session;
    auto* connection = reinterpret_cast<CHttpConnection*>(0x1);  // must be overwritten
    auto* request = reinterpret_cast<CHttpFile*>(0x1);
    o.result = OpenHttpRequest(url.c_str(), session, connection, request, bQuiet);
    o.connectionSet = connection != nullptr;
    o.requestSet = request != nullptr;
    if (o.result == 1 && connection != nullptr && request != nullptr) {
        request->QueryInfoStatusCode(o.status);
        char buffer[4096];
        for (int reads = 0; reads < 1000; ++reads) {
            unsigned n = request->Read(buffer, sizeof buffer);
            if (n == 0) {
                break;
            }
            o.body.append(buffer, n);
        }
        request->Close();
        delete request;
        connection->Close();
        delete connection;
    }
    session.Close();
    return o;
}

// ---------------------------------------------------------------------------------------------
// The request opener

TEST_F(Transfer, RequestRefusesAnythingButHttpWithoutTraffic) {
    const std::string path = Path("/exact", "scheme");
    const std::string hostPort = "127.0.0.1:" + std::to_string(server_->Port());
    const std::string urls[] = {
        "https://" + hostPort + path + "?size=10",
        "ftp://" + hostPort + path,
        "gopher://" + hostPort + path,
        "file:///" + hostPort + path,
        "mailto:someone@example.com",
        "http//" + hostPort + path,
        hostPort + path,
        "no address at all",
        "",
    };
    // Offline, so that any attempt would show the connect prompt.
    OfflineScope offline;
    for (const std::string& url : urls) {
        for (int quiet : {0, 1}) {
            SCOPED_TRACE("\"" + url + "\" quiet " + std::to_string(quiet));
            RecordingMessageBox boxes({IDOK, IDOK}, IDCANCEL);
            const Opened o = OpenAndRead(url, quiet);
            EXPECT_EQ(o.result, 0);
            EXPECT_FALSE(o.connectionSet);
            EXPECT_FALSE(o.requestSet);
            EXPECT_TRUE(boxes.Boxes().empty());
            EXPECT_EQ(g_bStopSearch.load(), 0);
        }
    }
    {
        RecordingMessageBox boxes(IDCANCEL);
        const Opened null = [] {
            Opened o;
            CInternetSession session;
            CHttpConnection* c = nullptr;
            CHttpFile* r = nullptr;
            o.result = OpenHttpRequest(nullptr, session, c, r, 0);
            return o;
        }();
        EXPECT_EQ(null.result, 0);
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    EXPECT_EQ(server_->Requests(path), 0u);
}

// The status is never looked at and redirections are not followed: the answer's own body is
// what the caller reads. Every address names the server's port explicitly.
TEST_F(Transfer, RequestTakesAnyStatusAsSent) {
    const std::string target = Path("/exact", "redirect-target");
    struct Case {
        const char* name;
        std::string target;
        uint32_t status;
        std::string body;  // empty: whatever the server says
    };
    const Case cases[] = {
        {"200", Path("/exact", "ok") + "?size=300", 200, Pattern(300)},
        {"404", Path("/status", "404") + "?code=404&body=missing", 404, "missing"},
        {"500", Path("/status", "500") + "?code=500&body=broken", 500, "broken"},
        {"301", Path("/redirect", "301") + "?status=301&to=" + target, 301, ""},
        {"302", Path("/redirect", "302") + "?status=302&to=" + target, 302, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingMessageBox boxes(IDCANCEL);
        const Opened o = OpenAndRead(Url(c.target), 0);
        EXPECT_EQ(o.result, 1);
        EXPECT_TRUE(o.connectionSet);
        EXPECT_TRUE(o.requestSet);
        EXPECT_EQ(o.status, c.status);
        if (!c.body.empty()) {
            EXPECT_EQ(o.body, c.body);
        }
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_EQ(g_bStopSearch.load(), 0);
    }
    EXPECT_EQ(server_->Requests(target), 0u);
}

TEST_F(Transfer, RequestToClosedPortWhileOnline) {
    const std::string error = InternetErrorText(ERROR_INTERNET_CANNOT_CONNECT);
    ASSERT_FALSE(error.empty());
    struct Case {
        int quiet;
        size_t boxes;
        int32_t stop;
    };
    for (const Case& c : {Case{0, 1, 1}, Case{1, 0, 0}}) {
        SCOPED_TRACE("quiet " + std::to_string(c.quiet));
        g_bStopSearch = 0;
        RecordingMessageBox boxes(IDCANCEL);
        const Opened o = OpenAndRead(ClosedUrl("/page.html"), c.quiet);
        EXPECT_EQ(o.result, 0);
        EXPECT_FALSE(o.connectionSet);
        EXPECT_FALSE(o.requestSet);
        ASSERT_EQ(boxes.Boxes().size(), c.boxes);
        if (c.boxes == 1) {
            EXPECT_EQ(boxes.Boxes()[0].text, error);
            EXPECT_EQ(boxes.Boxes()[0].type, MB_OK | MB_ICONINFORMATION);
        }
        EXPECT_EQ(g_bStopSearch.load(), c.stop);
    }
}

// Offline, the prompt comes whatever bQuiet says: OK tries again, Cancel gives up and stops
// the search. The prompt is the error on one line and the connect text below it.
TEST_F(Transfer, OfflinePromptRetriesUntilCancel) {
    const char* promptText = LoadResString(IDS_CONNECT_PROMPT);
    ASSERT_NE(promptText, nullptr);
    const std::string prompt = promptText;
    ASSERT_FALSE(prompt.empty());
    const std::string expected = InternetErrorText(ERROR_INTERNET_CANNOT_CONNECT) + "\n" + prompt;

    OfflineScope offline;
    for (int quiet : {0, 1}) {
        SCOPED_TRACE("quiet " + std::to_string(quiet));
        g_bStopSearch = 0;
        RecordingMessageBox boxes({IDOK, IDOK, IDCANCEL}, IDCANCEL);
        const Opened o = OpenAndRead(ClosedUrl("/offline.html"), quiet);
        EXPECT_EQ(o.result, 0);
        EXPECT_FALSE(o.connectionSet);
        EXPECT_FALSE(o.requestSet);
        const auto shown = boxes.Boxes();
        ASSERT_EQ(shown.size(), 3u);
        for (const auto& box : shown) {
            EXPECT_EQ(box.text, expected);
            EXPECT_EQ(box.type, MB_OKCANCEL | MB_ICONINFORMATION);
        }
        EXPECT_EQ(g_bStopSearch.load(), 1);
    }
}

// The prompt follows a failed attempt only: offline with a server that answers, nothing asks.
TEST_F(Transfer, OfflineButAnsweredNeedsNoPrompt) {
    OfflineScope offline;
    RecordingMessageBox boxes(IDCANCEL);
    const Opened o = OpenAndRead(Url(Path("/exact", "offline-ok") + "?size=20"), 0);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.body, Pattern(20));
    EXPECT_TRUE(boxes.Boxes().empty());
}

// ---------------------------------------------------------------------------------------------
// The page fetch

// Sizes around the chunk and the cap, from a page without zero bytes: the text is the first
// min(size, 131,072) bytes.
TEST_F(Transfer, PageSizesAroundChunkAndCap) {
    const std::string page = PageFixture();
    ASSERT_EQ(page.size(), 131073u);
    for (uint32_t size : {0u, 1u, 16383u, 16384u, 16385u, 131071u, 131072u, 131073u, 200000u}) {
        SCOPED_TRACE(size);
        const std::string target = Path("/mp3", "page-" + std::to_string(size) + ".html") +
                                   "?size=" + std::to_string(size) + "&tag=" + kPageFixture;
        CString text("before");
        std::atomic<int32_t> stop{0};
        RecordingMessageBox boxes(IDCANCEL);
        EXPECT_EQ(FetchPage(Url(target).c_str(), &text, &stop, 0), 1);
        const std::string got(text, text.GetLength());
        const size_t expected = std::min<size_t>(size, 131072);
        EXPECT_EQ(got.size(), expected);
        EXPECT_TRUE(got == page.substr(0, expected));
        EXPECT_EQ(got.find('Z'), std::string::npos);  // the 131,073rd byte never arrives
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

// Generated bodies hold zero bytes, so the text is what comes before the first; with or
// without a length, in chunks, endless or cut off. A body that breaks off counts as ended there.
TEST_F(Transfer, PageBodiesOfEveryShape) {
    struct Case {
        const char* name;
        std::string target;
    };
    const Case cases[] = {
        {"length", Path("/exact", "page") + "?size=1000"},
        {"no length", Path("/nolength", "page") + "?size=50000"},
        {"chunked", Path("/chunked", "page") + "?size=50000&chunk=700"},
        {"endless", Path("/endless", "page") + "?chunk=8192"},
        {"cut off", Path("/cut", "page") + "?size=50000&after=20000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CString text;
        std::atomic<int32_t> stop{0};
        EXPECT_EQ(FetchPage(Url(c.target).c_str(), &text, &stop, 0), 1);
        EXPECT_EQ(std::string(text), PatternText(1000));
    }
    // The endless body stopped once the reader went away.
    ASSERT_TRUE(server_->WaitIdle(30000));
    const uint64_t sent = server_->BodyBytes(Path("/endless", "page"));
    EXPECT_GE(sent, 131072u);
    EXPECT_LE(sent, uint64_t{32} << 20);
}

// However the body breaks off, what arrived before is the page: here 45 KiB of a page without
// zero bytes, far past the first chunk.
TEST_F(Transfer, PageThatBreaksOffKeepsWhatCame) {
    const std::string page = PageFixture();
    // The reset waits a moment: WinINet under Wine loses a response head that it had not
    // read when the reset came.
    const std::string from = "?file=" + kPageFixture + "&after=46080&delay_ms=300";
    for (const char* route : {"/reset", "/cut", "/badchunk"}) {
        SCOPED_TRACE(route);
        RecordingMessageBox boxes(IDCANCEL);
        CString text;
        std::atomic<int32_t> stop{0};
        EXPECT_EQ(FetchPage(Url(Path(route, "broken.html") + from).c_str(), &text, &stop, 0), 1);
        const std::string got(text, text.GetLength());
        EXPECT_EQ(got.size(), 46080u);
        EXPECT_TRUE(got == page.substr(0, got.size()));
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

// A Stop ends whatever the transfer waits for, well before any time-out: a server that never
// answers, one that sends its head and then nothing, one that stalls or trickles in the body;
// for a page, a download and a tag read alike.
TEST_F(Transfer, StopEndsAWaitAtOnce) {
    TempFolder folder;
    const std::string kept = folder.File("kept.bin");
    enum class What { kPage, kDownload, kTag };
    const struct {
        const char* name;
        What what;
        std::string target;
    } cases[] = {
        {"page, no answer", What::kPage, Path("/blackhole", "page.html")},
        {"page, head only", What::kPage, Path("/stall", "head.html") + "?size=100000&after=0"},
        {"page, stalled body", What::kPage,
         Path("/stall", "body.html") + "?size=100000&after=1000"},
        {"page, trickle", What::kPage, Path("/trickle", "t.html") + "?size=100000&delay_ms=500"},
        {"download, stalled body", What::kDownload,
         Path("/stall", "d.bin") + "?size=100000&after=1000"},
        {"tag, no answer", What::kTag, Path("/blackhole", "song.mp3")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.target.substr(0, c.target.find('?'));
        std::atomic<int32_t> stop{0};
        std::atomic<bool> running{true};
        std::chrono::steady_clock::time_point stoppedAt;
        std::thread stopper([&] {
            for (int i = 0; i < 500 && running && server_->RequestsFor(path).empty(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // well into the wait
            stoppedAt = std::chrono::steady_clock::now();
            stop = 1;
        });
        RecordingMessageBox boxes(IDCANCEL);
        WriteFileBytes(kept, "the user's own");
        int result = -1;
        DownloadOutcome outcome;
        if (c.what == What::kPage) {
            CString text;
            result = FetchPage(Url(c.target).c_str(), &text, &stop, 0);
        } else if (c.what == What::kDownload) {
            RecordingWindow window;
            const DownloadControl control{.stopFlag = &stop};
            result = RunDownload(Url(c.target).c_str(), kept.c_str(), nullptr, 0, window, &outcome,
                                 &control);
            EXPECT_EQ(outcome.end, DownloadEnd::kCancelled);
            EXPECT_EQ(ReadFileBytes(kept), "the user's own");
        } else {
            CString title, artist;
            uint32_t seconds = 0;
            result = static_cast<int>(
                ReadAudioFileInfo(Url(c.target).c_str(), title, artist, &seconds, &stop));
        }
        const auto returnedAt = std::chrono::steady_clock::now();
        running = false;
        stopper.join();
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(boxes.Boxes().empty()) << "a Stop is nothing to tell";
        // Generous against the hand-over, far below the 30 s a silent server would take.
        EXPECT_LT(returnedAt - stoppedAt, std::chrono::seconds(10));
    }
}

TEST_F(Transfer, PageStopSetBeforeFirstRead) {
    CString text("old text");
    std::atomic<int32_t> stop{1};
    EXPECT_EQ(FetchPage(Url(Path("/exact", "stopped") + "?size=5000").c_str(), &text, &stop, 0), 0);
    EXPECT_TRUE(text.IsEmpty());
}

// A Stop during a slow body ends the fetch after the chunk under way: far less than the page's
// 131,072 bytes crosses the wire.
TEST_F(Transfer, PageStopDuringSlowBody) {
    const std::string path = Path("/slow", "stop");
    std::atomic<int32_t> stop{0};
    std::atomic<bool> fetching{true};
    std::thread watcher([&] {
        for (int i = 0; i < 1000 && fetching; ++i) {  // at most about 20 s
            if (server_->BodyBytes(path) >= 8000) {
                stop = 1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    CString text;
    const int result =
        FetchPage(Url(path + "?size=300000&chunk=1000&delay_ms=20").c_str(), &text, &stop, 0);
    fetching = false;
    watcher.join();
    EXPECT_EQ(stop.load(), 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(text), PatternText(1000));
    ASSERT_TRUE(server_->WaitIdle(30000));
    EXPECT_LT(server_->BodyBytes(path), 100000u);
}

TEST_F(Transfer, PageNotOpenedLeavesTextAlone) {
    struct Case {
        const char* name;
        std::string url;
        int quiet;
    };
    const Case cases[] = {
        {"https", "https://127.0.0.1:" + std::to_string(server_->Port()) + "/x", 0},
        {"closed port, quiet", ClosedUrl("/x.html"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingMessageBox boxes(IDCANCEL);
        CString text("left alone");
        EXPECT_EQ(FetchPage(c.url.c_str(), &text, &g_bStopSearch, c.quiet), 0);
        EXPECT_EQ(std::string(text), "left alone");
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_EQ(g_bStopSearch.load(), 0);
    }
}

// ---------------------------------------------------------------------------------------------
// The download

struct DownloadRun {
    int result = 0;
    CallbackLog callback;
    RecordingWindow window;
    DownloadOutcome outcome;
};

DownloadRun Download(const std::string& url, const std::string& path, bool withCallback,
                     int cancelAt = -1) {
    DownloadRun run;
    if (withCallback) {
        run.callback.cancelAt = cancelAt;
        CurrentCallbackLog() = &run.callback;
    } else {
        run.window.cancelAt = cancelAt;
    }
    run.result = RunDownload(url.c_str(), path.c_str(), withCallback ? RecordingCallback : nullptr,
                             4711, run.window, &run.outcome);
    CurrentCallbackLog() = nullptr;
    return run;
}

// With a callback: the whole body lands in the file, the callback sees strictly growing
// counts of at most one chunk each and never 0, and no window opens (but it is closed).
TEST_F(Transfer, DownloadWithCallbackCopiesEveryByte) {
    TempFolder folder;
    for (uint32_t size : {0u, 1u, 127u, 128u, 16384u, 16385u, 100000u}) {
        SCOPED_TRACE(size);
        const std::string file = folder.File("copy-" + std::to_string(size) + ".bin");
        const DownloadRun run = Download(
            Url(Path("/exact", "dl-" + std::to_string(size)) + "?size=" + std::to_string(size)),
            file, true);
        EXPECT_EQ(run.result, 1);
        EXPECT_TRUE(ReadFileBytes(file) == Pattern(size));
        int previous = 0;
        for (const auto& call : run.callback.calls) {
            EXPECT_GT(call.done, previous);
            EXPECT_LE(call.done - previous, 16384);
            EXPECT_EQ(call.total, static_cast<int>(size));
            EXPECT_EQ(call.user, 4711);
            previous = call.done;
        }
        EXPECT_EQ(previous, static_cast<int>(size));
        EXPECT_EQ(run.window.Kinds(), "c");
    }
}

// Without one: open, an update at 0 before the first read, one per chunk, close.
TEST_F(Transfer, DownloadWithWindowReportsEveryChunk) {
    TempFolder folder;
    const std::string file = folder.File("window.bin");
    const std::string url = Url(Path("/exact", "window") + "?size=50000");
    const DownloadRun run = Download(url, file, false);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(ReadFileBytes(file) == Pattern(50000));
    const std::string kinds = run.window.Kinds();
    ASSERT_GE(kinds.size(), 7u);  // at least four chunks of 16 KiB
    EXPECT_EQ(kinds.front(), 'o');
    EXPECT_EQ(kinds.back(), 'c');
    EXPECT_EQ(kinds.find_first_not_of('u', 1), kinds.size() - 1);
    EXPECT_EQ(run.window.events[0].url, url);
    EXPECT_EQ(run.window.events[0].path, file);
    EXPECT_EQ(run.window.events[1].done, 0);
    int previous = 0;
    for (size_t i = 1; i + 1 < run.window.events.size(); ++i) {
        const auto& e = run.window.events[i];
        EXPECT_EQ(e.total, 50000);
        if (i > 1) {
            EXPECT_GT(e.done, previous);
            EXPECT_LE(e.done - previous, 16384);
        }
        previous = e.done;
    }
    EXPECT_EQ(previous, 50000);
    EXPECT_STREQ(run.window.texts.back().percent, "100 %");
}

// Without an announced length the total is what could be read at once; the copy still runs to
// the end of the body and the percentage may pass 100.
TEST_F(Transfer, DownloadWithoutLength) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::string target;
    };
    const Case cases[] = {
        {"no length", Path("/nolength", "dl") + "?size=100000"},
        {"chunked", Path("/chunked", "dl") + "?size=100000&chunk=1000"},
    };
    for (const Case& c : cases) {
        for (bool withCallback : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (withCallback ? ", callback" : ", window"));
            const std::string file = folder.File("nolength.bin");
            const DownloadRun run = Download(Url(c.target), file, withCallback);
            EXPECT_EQ(run.result, 1);
            EXPECT_TRUE(ReadFileBytes(file) == Pattern(100000));
            int32_t total = -1;
            int32_t last = 0;
            if (withCallback) {
                ASSERT_FALSE(run.callback.calls.empty());
                total = run.callback.calls.front().total;
                for (const auto& call : run.callback.calls) {
                    EXPECT_EQ(call.total, total);
                }
                last = run.callback.calls.back().done;
            } else {
                ASSERT_GE(run.window.events.size(), 3u);
                total = run.window.events[1].total;
                last = run.window.events[run.window.events.size() - 2].done;
                EXPECT_EQ(ProgressPercent(last, total), 100000LL * 100 / total);
            }
            EXPECT_GT(total, 0);
            EXPECT_LE(total, 100000);
            EXPECT_EQ(last, 100000);
        }
    }
}

// Every way a download can fail after its request was sent: result 0, the window closed, and
// the file as the table says.
TEST_F(Transfer, DownloadFailures) {
    TempFolder folder;
    enum class File { kNone, kDeleted, kPartial };
    struct Case {
        const char* name;
        std::string target;
        int64_t freeBytes;   // -1: the real free space
        int64_t writeLimit;  // -1: none
        bool inMissingFolder;
        bool withCallback;
        int cancelAt;
        File file;
        const char* kinds;     // window events; empty: not checked
        int64_t written = -1;  // the bytes the outcome counts; -1: not checked
    };
    const std::string size = "?size=100000";
    const Case cases[] = {
        {"cut off, window", Path("/cut", "w") + "?size=100000&after=40000", -1, -1, false, false,
         -1, File::kDeleted, "", 40000},
        {"cut off, callback", Path("/cut", "c") + "?size=100000&after=40000", -1, -1, false, true,
         -1, File::kDeleted, "c", 40000},
        {"reset, window", Path("/reset", "w") + "?size=100000&after=40000&delay_ms=300", -1, -1,
         false, false, -1, File::kDeleted, "", 40000},
        {"no room for total and margin", Path("/exact", "full") + size, 100000 + 1048575, -1, false,
         false, -1, File::kNone, "oc"},
        {"folder missing", Path("/exact", "nofolder") + size, -1, -1, true, false, -1, File::kNone,
         "ouc"},
        {"write fails", Path("/exact", "write") + size, -1, 20000, false, false, -1, File::kDeleted,
         ""},
        {"write fails, callback", Path("/exact", "writec") + size, -1, 40000, false, true, -1,
         File::kDeleted, "c"},
        {"callback cancels", Path("/exact", "cancelc") + size, -1, -1, false, true, 1,
         File::kPartial, "c"},
        {"window cancels", Path("/exact", "cancelw") + size, -1, -1, false, false, 2,
         File::kPartial, ""},
        // An error page or a redirection is no file: nothing is written.
        {"404, window", Path("/status", "404w") + "?code=404&body=missing", -1, -1, false, false,
         -1, File::kNone, "oc"},
        {"500, callback", Path("/status", "500c") + "?code=500&body=broken", -1, -1, false, true,
         -1, File::kNone, "c"},
        {"302, window", Path("/redirect", "302w") + "?status=302&to=" + Path("/exact", "t") + size,
         -1, -1, false, false, -1, File::kNone, "oc"},
    };
    // Each also over a file of the user's, which every failure leaves as it was.
    for (const Case& c : cases) {
        for (bool existing : {false, true}) {
            if (existing && c.inMissingFolder) {
                continue;
            }
            SCOPED_TRACE(std::string(c.name) + (existing ? ", over a file" : ""));
            const std::string file =
                c.inMissingFolder ? folder.File("missing/file.bin")
                                  : folder.File("failed-" + std::to_string(&c - cases) + ".bin");
            if (existing) {
                WriteFileBytes(file, "the user's own");
            }
            AL_TestSetFreeBytes(c.freeBytes);
            AL_TestSetWriteLimit(c.writeLimit);
            const DownloadRun run = Download(Url(c.target), file, c.withCallback, c.cancelAt);
            AL_TestSetFreeBytes(-1);
            AL_TestSetWriteLimit(-1);
            EXPECT_EQ(run.result, 0);
            const std::string kinds = run.window.Kinds();
            EXPECT_EQ(kinds.back(), 'c');
            EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 'c'), 1);
            if (*c.kinds != '\0') {
                EXPECT_EQ(kinds, c.kinds);
            }
            if (c.written >= 0) {
                EXPECT_EQ(run.outcome.written, c.written);
            }
            if (existing) {
                EXPECT_EQ(ReadFileBytes(file), "the user's own");
                FileRemove(file);
                continue;
            }
            switch (c.file) {
                case File::kNone:
                case File::kDeleted:
                    EXPECT_FALSE(FileExists(file));
                    break;
                case File::kPartial: {
                    // What was reported written is what the file holds.
                    const int32_t done = c.withCallback
                                             ? run.callback.calls.back().done
                                             : run.window.events[run.window.events.size() - 2].done;
                    EXPECT_GT(done, 0);
                    EXPECT_LT(done, 100000);
                    EXPECT_TRUE(ReadFileBytes(file) == Pattern(static_cast<size_t>(done)));
                    FileRemove(file);
                    break;
                }
            }
            EXPECT_EQ(g_bStopSearch.load(), 0);
        }
    }
    EXPECT_TRUE(FolderIsEmpty(folder.File(""))) << "no copy is left behind";
}

// A folder or a device is no destination: refused before anything is fetched, as a file that
// cannot be made.
TEST_F(Transfer, DownloadRefusesFoldersAndDevices) {
    TempFolder folder;
#ifdef _WIN32
    const std::string device = "NUL";
#else
    const std::string device = "/dev/null";
#endif
    for (const std::string& path : {folder.File(""), device}) {
        SCOPED_TRACE(path);
        const std::string target = Path("/exact", "refused") + "?size=1000";
        const DownloadRun run = Download(Url(target), path, false);
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.outcome.end, DownloadEnd::kCannotCreate);
        EXPECT_TRUE(run.window.events.empty());
        EXPECT_EQ(server_->Requests(target.substr(0, target.find('?'))), 0u);
    }
    EXPECT_TRUE(FolderIsEmpty(folder.File("")));
}

// Room for exactly the total and the margin is enough.
TEST_F(Transfer, DownloadFitsExactlyIntoFreeSpace) {
    TempFolder folder;
    AL_TestSetFreeBytes(10000 + 1048576);
    const std::string file = folder.File("fits.bin");
    const DownloadRun run = Download(Url(Path("/exact", "fits") + "?size=10000"), file, true);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(ReadFileBytes(file) == Pattern(10000));
}

// No request, no window, and the file is not touched; a failure that is not the scheme's is
// reported and stops a search.
TEST_F(Transfer, DownloadWithoutRequest) {
    TempFolder folder;
    const std::string file = folder.File("kept.bin");
    struct Case {
        const char* name;
        std::string url;
        size_t boxes;
        int32_t stop;
    };
    const Case cases[] = {
        {"https", "https://127.0.0.1:" + std::to_string(server_->Port()) + "/x.mp3", 0, 0},
        {"closed port", ClosedUrl("/x.mp3"), 1, 1},
    };
    for (const Case& c : cases) {
        for (bool withCallback : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (withCallback ? ", callback" : ", window"));
            g_bStopSearch = 0;
            WriteFileBytes(file, "old bytes");
            RecordingMessageBox boxes(IDCANCEL);
            const DownloadRun run = Download(c.url, file, withCallback);
            EXPECT_EQ(run.result, 0);
            EXPECT_TRUE(run.window.events.empty());
            EXPECT_TRUE(run.callback.calls.empty());
            EXPECT_EQ(ReadFileBytes(file), "old bytes");
            ASSERT_EQ(boxes.Boxes().size(), c.boxes);
            if (c.boxes == 1) {
                EXPECT_EQ(boxes.Boxes()[0].type, MB_OK | MB_ICONINFORMATION);
            }
            EXPECT_EQ(g_bStopSearch.load(), c.stop);
        }
    }
    RecordingMessageBox boxes(IDCANCEL);
    RecordingWindow window;
    EXPECT_EQ(RunDownload(nullptr, file.c_str(), nullptr, 0, window), 0);
    EXPECT_EQ(RunDownload(Url("/x").c_str(), nullptr, nullptr, 0, window), 0);
    EXPECT_TRUE(window.events.empty());
}

// ---------------------------------------------------------------------------------------------
// The tag reader over the network

// A 50 MB file: size from the response head, the tag from its start, and no more than the
// tag reader's bytes and a read buffer or two cross the wire. A tag of a version that is not
// read is skipped by a ranged request, however large it is.
TEST_F(Transfer, TagOfLargeFileReadsOnlyItsStart) {
    const uint32_t size = 50000000;
    struct Case {
        const char* name;
        const std::string& fixture;
        uint32_t bodySize;
        const char* title;
        const char* artist;
        uint64_t maxBytes;
    };
    const Case cases[] = {
        {"version 3", kTagFixture, kTagBodySize, "Song Title", "Lead Performer",
         10 + 32768 + 250 + 16384},
        {"version 4 of 200,000 bytes", kTagV4Fixture200000, 200000, "", "", 2 * 16384},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path("/mp3", std::string(c.name).substr(8, 1) + "-large.mp3");
        CString title, artist;
        uint32_t seconds = 99;
        EXPECT_EQ(ReadAudioFileInfo(
                      Url(path + "?size=" + std::to_string(size) + "&tag=" + c.fixture).c_str(),
                      title, artist, &seconds),
                  size);
        EXPECT_EQ(std::string(title), c.title);
        EXPECT_EQ(std::string(artist), c.artist);
        EXPECT_EQ(seconds, (size - c.bodySize - 5) / 16384 + 1);
        ASSERT_TRUE(server_->WaitIdle(30000));
        EXPECT_LE(server_->BodyBytes(path), c.maxBytes);
    }
}

TEST_F(Transfer, TagReaderCases) {
    struct Case {
        const char* name;
        std::string target;
        bool wantSeconds;
        uint32_t size;
        uint32_t seconds;  // when wanted
        const char* title;
        const char* artist;
    };
    // Title and artist are written only when a tag gives them.
    const Case cases[] = {
        {"no tag, 128 kbit/s frames", Path("/mp3", "plain.mp3") + "?size=1000000", true, 1000000,
         62, "untouched", "untouched"},
        {"size only", Path("/mp3", "size.mp3") + "?size=5000&tag=" + kTagFixture, false, 5000, 0,
         "untouched", "untouched"},
        {"127 bytes", Path("/mp3", "127.mp3") + "?size=127", true, 0, 0, "untouched", "untouched"},
        {"128 bytes", Path("/mp3", "128.mp3") + "?size=128", true, 128, 1, "untouched",
         "untouched"},
        {"no announced size", Path("/nolength", "tag.mp3") + "?size=5000", true, 0, 0, "untouched",
         "untouched"},
        {"error page", Path("/status", "404.mp3") + "?code=404&body=" + std::string(300, 'x'), true,
         0, 0, "untouched", "untouched"},
        // Tags that are not read are skipped whole, past the size limit of those that are.
        {"version 4 of 40,000 bytes",
         Path("/mp3", "v4-40000.mp3") + "?size=1000000&tag=" + kTagV4Fixture40000, true, 1000000,
         (1000000 - 40000 - 5) / 16384 + 1, "untouched", "untouched"},
        {"version 4 of 200,000 bytes",
         Path("/mp3", "v4-200000.mp3") + "?size=1000000&tag=" + kTagV4Fixture200000, true, 1000000,
         (1000000 - 200000 - 5) / 16384 + 1, "untouched", "untouched"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CString title("untouched"), artist("untouched");
        uint32_t seconds = 99;
        EXPECT_EQ(ReadAudioFileInfo(Url(c.target).c_str(), title, artist,
                                    c.wantSeconds ? &seconds : nullptr),
                  c.size);
        EXPECT_EQ(seconds, c.wantSeconds ? c.seconds : 99u);
        EXPECT_EQ(std::string(title), c.title);
        EXPECT_EQ(std::string(artist), c.artist);
    }
}

// A size between 2 and 4 GiB is a size like any other on both backends: the download's total
// is its 32-bit count, and a body that breaks off is no file; the tag reader reports it.
TEST_F(Transfer, SizesBetweenTwoAndFourGigabytes) {
    const uint64_t size = 3221225472u;
    const int32_t total32 = static_cast<int32_t>(static_cast<uint32_t>(size));
    TempFolder folder;
    AL_TestSetFreeBytes(int64_t{4} << 30);
    const std::string file = folder.File("3gib.bin");
    const DownloadRun run = Download(
        Url(Path("/cut", "3gib") + "?size=" + std::to_string(size) + "&after=262144"), file, true);
    EXPECT_EQ(run.result, 0);
    ASSERT_EQ(run.callback.calls.size(), 262144u / 16384u);
    EXPECT_EQ(run.callback.calls.front().total, total32);
    EXPECT_EQ(run.callback.calls.back().done, 262144);
    EXPECT_FALSE(FileExists(file));

    CString title, artist;
    uint32_t seconds = 0;
    EXPECT_EQ(ReadAudioFileInfo(Url(Path("/mp3", "3gib.mp3") + "?size=" + std::to_string(size) +
                                    "&tag=" + kTagFixture)
                                    .c_str(),
                                title, artist, &seconds),
              size);
    EXPECT_EQ(seconds, (size - kTagBodySize - 5) / 16384 + 1);
}

TEST_F(Transfer, TagReaderCannotOpen) {
    const std::string urls[] = {
        "https://127.0.0.1:" + std::to_string(RefusingPort()) + "/a.mp3",
        ClosedUrl("/a.mp3"),
        "no address",
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        RecordingMessageBox boxes(IDCANCEL);
        CString title("untouched"), artist("untouched");
        uint32_t seconds = 77;
        EXPECT_EQ(ReadAudioFileInfo(url.c_str(), title, artist, &seconds), 0u);
        EXPECT_EQ(seconds, 77u);
        EXPECT_EQ(std::string(title), "untouched");
        EXPECT_EQ(std::string(artist), "untouched");
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

}  // namespace
}  // namespace quor::test
