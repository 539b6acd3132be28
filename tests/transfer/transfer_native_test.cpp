// Cases that need the in-process server: a server that comes up on a port while the connect
// prompt is open, and bodies past 2 and 4 GiB.
#include <gtest/gtest.h>

#include <string>

#include "afx/inet/internet_session.h"
#include "maker/sndcore/sndcore.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/transfer/download.h"
#include "quor_inet/transfer/http_request.h"
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
    ScriptedMessageBox boxes({IDOK});
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

// Totals past 2 GiB arrive as negative 32-bit counts; past 4 GiB they wrap. Nothing crashes,
// the free-space check asks for what the total says (never a wrapped small number), and the
// figures the window would show are made for every update.
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

            const bool fits = uint64_t(c.freeBytes) >=
                              std::min<uint64_t>((c.size & 0xFFFFFFFFu) + 1048576, 0xFFFFFFFFu);
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

}  // namespace
}  // namespace quor::test
