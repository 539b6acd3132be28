// Cases that need the in-process server: a server that comes up on a port while the connect
// prompt is open, bodies past 2 and 4 GiB, servers slow for a minute, a server without ranges.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "afx/inet/internet_session.h"
#include "afx/recording_message_box.h"
#include "maker/sndcore/sndcore.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/tags/audio_network_reader.h"
#include "quor_inet/transfer/download.h"
#include "quor_inet/transfer/http_request.h"
#include "quor_inet/transfer/page_fetch.h"
#include "tests/server/test_http_server.h"
#include "tests/server/loopback_server.h"
#include "tests/transfer/transfer_test_support.h"

namespace quor::test {
namespace {

// OK in the prompt makes a new attempt on the same server, port and object; this time the
// server is there and the request goes through.
TEST(TransferNative, OfflinePromptOkRetriesTheSameAddress) {
    const uint16_t port = TestHttpServer::RefusingPort();
    ASSERT_NE(port, 0);
    TestHttpServer::Options options;
    options.port = port;
    TestHttpServer server(options);

    g_bStopSearch = 0;
    OfflineScope offline;
    RecordingMessageBox boxes({IDOK}, IDCANCEL);
    bool started = false;
    boxes.onShow = [&](size_t) { started = started || server.Start(); };

    CInternetSession session;
    CHttpConnection* connection = nullptr;
    CHttpFile* request = nullptr;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/exact/retry?size=77";
    const int result = OpenHttpRequest(url.c_str(), session, connection, request, 1);
    ASSERT_TRUE(started) << server.LastError();
    EXPECT_EQ(result, 1);
    ASSERT_NE(request, nullptr);
    ASSERT_NE(connection, nullptr);
    std::string body(100, '\0');
    body.resize(request->Read(body.data(), 100));
    EXPECT_EQ(body, PatternBytes(0, 77));
    request->Close();
    delete request;
    connection->Close();
    delete connection;
    session.Close();

    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].type, MB_OKCANCEL | MB_ICONINFORMATION);
    EXPECT_EQ(server.RequestCount("/exact/retry"), 1u);
    EXPECT_EQ(g_bStopSearch.load(), 0);
}

// Totals past 2 GiB reach the host and the window as negative 32-bit counts; past 4 GiB they
// wrap. Nothing crashes, the free-space check asks for the whole 64-bit total and the margin,
// and the figures the window would show are made for every update.
TEST(TransferNative, TotalsPastTwoGigabytes) {
    std::string whyNot;
    LoopbackServer* server = LoopbackServer::Get(whyNot);
    ASSERT_NE(server, nullptr) << whyNot;
    TempFolder folder;
    struct Case {
        const char* name;
        uint64_t size;
        int64_t freeBytes;
        int result;
    };
    const Case cases[] = {
        {"3 GiB, room enough", 3221225472u, int64_t{4} << 30, 0},
        {"3 GiB, room for the body only", 3221225472u, 3221225472 + 1048575, 0},
        {"4 GiB - 1, room for less than 4 GiB", 4294967295u, 4294967294, 0},
        {"5 GiB, room enough", 5368709120u, int64_t{6} << 30, 0},
        // Cut to 32 bits this would ask for 1,000 bytes and the margin.
        {"4 GiB + 1000, room for 1 GiB", 4294968296u, int64_t{1} << 30, 0},
    };
    for (const Case& c : cases) {
        for (bool withCallback : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (withCallback ? ", callback" : ", window"));
            AL_TestSetFreeBytes(c.freeBytes);
            const std::string file =
                folder.File(std::to_string(c.size) + "-" + std::to_string(c.freeBytes) +
                            (withCallback ? "-callback.bin" : "-window.bin"));
            CallbackLog log;
            log.cancelAt = 0;
            CurrentCallbackLog() = &log;
            RecordingWindow window;
            window.cancelAt = 1;  // after the first chunk
            const int result =
                RunDownload(server->Url("/exact/big?size=" + std::to_string(c.size)).c_str(),
                            file.c_str(), withCallback ? RecordingCallback : nullptr, 1, window);
            CurrentCallbackLog() = nullptr;
            AL_TestSetFreeBytes(-1);
            EXPECT_EQ(result, 0);

            const bool fits = uint64_t(c.freeBytes) >= c.size + 1048576;
            const int32_t total32 = static_cast<int32_t>(static_cast<uint32_t>(c.size));
            if (withCallback) {
                ASSERT_EQ(log.calls.size(), fits ? 1u : 0u);
                if (fits) {
                    EXPECT_EQ(log.calls[0].total, total32);
                    EXPECT_EQ(log.calls[0].done, 16384);
                }
            } else {
                EXPECT_EQ(window.Kinds(), fits ? "ouuc" : "oc");
                for (const ProgressTexts& t : window.texts) {
                    EXPECT_LT(std::string(t.remaining).size(), kProgressTextSize);
                }
            }
            EXPECT_EQ(FileExists(file), fits);
            if (fits) {
                EXPECT_EQ(ReadFileBytes(file).size(), 16384u);
            }
        }
    }
}

// Servers that keep a transfer waiting are given up on, each in its own time, with what came:
// a page whose body stalls (the receive time-out), a page that trickles on (the page's time
// limit), and a download slower than a byte a second (its least speed). About a minute.
TEST(TransferNative, SlowServersAreGivenUp) {
    std::string whyNot;
    LoopbackServer* server = LoopbackServer::Get(whyNot);
    ASSERT_NE(server, nullptr) << whyNot;
    const std::string page =
        ReadFileBytes(QUOR_SOURCE_ROOT "/tests/transfer/fixtures/page-131073.html");
    const std::string file = "&file=tests/transfer/fixtures/page-131073.html";
    TempFolder folder;
    const std::string kept = folder.File("kept.bin");
    WriteFileBytes(kept, "the user's own");

    std::string stalled;
    std::string trickled;
    int stalledResult = -1;
    int trickledResult = -1;
    DownloadOutcome outcome;
    std::thread stall([&] {
        CString text;
        std::atomic<int32_t> stop{0};
        stalledResult = FetchPage(
            server->Url("/stall/native-stalled.html?after=20000" + file).c_str(), &text, &stop, 1);
        stalled.assign(text, text.GetLength());
    });
    std::thread trickle([&] {
        CString text;
        std::atomic<int32_t> stop{0};
        trickledResult =
            FetchPage(server->Url("/trickle/native-trickled.html?delay_ms=4000" + file).c_str(),
                      &text, &stop, 1);
        trickled.assign(text, text.GetLength());
    });
    RecordingWindow window;
    const int downloaded =
        RunDownload(server->Url("/trickle/native-slow.bin?size=100000&delay_ms=2000").c_str(),
                    kept.c_str(), nullptr, 0, window, &outcome);
    stall.join();
    trickle.join();

    EXPECT_EQ(stalledResult, 1);
    EXPECT_TRUE(stalled == page.substr(0, 20000));
    EXPECT_EQ(trickledResult, 1);
    EXPECT_GE(trickled.size(), 5u);
    EXPECT_LE(trickled.size(), 20u);
    EXPECT_TRUE(trickled == page.substr(0, trickled.size()));
    EXPECT_EQ(downloaded, 0);
    EXPECT_EQ(outcome.end, DownloadEnd::kBrokenOff);
    EXPECT_GT(outcome.written, 0);
    EXPECT_EQ(ReadFileBytes(kept), "the user's own");
}

// A server that ignores ranges sends a file from its start: the audio behind a tag that claims
// 255 MiB is not worth reading the file for. The size is still reported.
TEST(TransferNative, UnrangedTagReadStopsAfterAMegabyte) {
    TempFolder folder;
    // An ID3 v2.4 header (a version that is skipped, not read) with a syncsafe size of 255 MiB.
    std::string bytes = std::string("ID3\x04\x00\x00", 6) + "\x7F\x70\x00\x00";
    bytes.resize(size_t{64} << 20, '\0');
    WriteFileBytes(folder.File("big.mp3"), bytes);
    TestHttpServer::Options options;
    options.root = folder.File("");
    TestHttpServer server(options);
    ASSERT_TRUE(server.Start());
    CString title, artist;
    uint32_t seconds = 77;
    // The whole body in one go, then the connection held: no ranges.
    const std::string url =
        server.Url("/stall/big.mp3?file=big.mp3&after=" + std::to_string(bytes.size()));
    EXPECT_EQ(ReadAudioFileInfo(url.c_str(), title, artist, &seconds), bytes.size());
    EXPECT_EQ(seconds, 0u);
    ASSERT_TRUE(server.WaitIdle(30000));
    EXPECT_LT(server.BodyBytesSent("/stall/big.mp3"), uint64_t{16} << 20);
}

}  // namespace
}  // namespace quor::test
