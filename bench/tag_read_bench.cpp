// The tag reader over the network on a 50 MB MP3: the bytes the server sent for one
// ReadAudioFileInfo, against the file's size (what reading it whole would send), and the time
// per call against fetching the first 64 KiB with one ranged request of the same client.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "afx/inet/internet_session.h"
#include "quor_inet/tags/audio_network_reader.h"
#include "tests/server/test_http_server.h"

namespace {

constexpr uint32_t kFileSize = 50000000;
constexpr uint64_t kGoalBytes = 64 * 1024;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The peer: one request for the first 64 KiB, read to its end.
bool ReadFirstBlock(const std::string& url) {
    CInternetSession session;
    std::unique_ptr<CStdioFile> file;
    try {
        file.reset(session.OpenURL(url.c_str(), 1, INTERNET_FLAG_TRANSFER_ASCII,
                                   "Range: bytes=0-65535\r\n", uint32_t(-1)));
        if (!file) {
            return false;
        }
        static char buffer[65536];
        uint32_t got = 0;
        while (got < sizeof buffer) {
            unsigned n = file->Read(buffer + got, sizeof buffer - got);
            if (n == 0) {
                break;
            }
            got += n;
        }
        file->Close();
        return got == sizeof buffer;
    } catch (CInternetException* e) {
        e->Delete();
        return false;
    }
}

}  // namespace

int main() {
    setenv("NO_PROXY", "127.0.0.1", 1);
    quor::test::TestHttpServer::Options options;
    options.root = QUOR_BENCH_SOURCE_ROOT;
    options.fixtureDir = QUOR_BENCH_SOURCE_ROOT;
    quor::test::TestHttpServer server(options);
    if (!server.Start()) {
        std::fprintf(stderr, "tag_read_bench: %s\n", server.LastError().c_str());
        return 1;
    }
    const std::string path = "/mp3/bench.mp3";
    const std::string url = server.Url(path + "?size=" + std::to_string(kFileSize) +
                                       "&tag=tests/transfer/fixtures/tag-v3-200.bin");

    CString title, artist;
    uint32_t seconds = 0;
    const uint32_t size = ReadAudioFileInfo(url.c_str(), title, artist, &seconds);
    server.WaitIdle(10000);
    const uint64_t sent = server.BodyBytesSent(path);
    if (size != kFileSize) {
        std::fprintf(stderr, "tag_read_bench: size %u, expected %u\n", size, kFileSize);
        return 1;
    }

    constexpr int kRuns = 200;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRuns; ++i) {
        ReadAudioFileInfo(url.c_str(), title, artist, &seconds);
    }
    const double perCall = Seconds(start) / kRuns;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRuns; ++i) {
        ReadFirstBlock(url);
    }
    const double perBlock = Seconds(start) / kRuns;

    std::printf("ReadAudioFileInfo of a %u-byte MP3 (\"%s\" by \"%s\", %u s)\n", size,
                static_cast<const char*>(title), static_cast<const char*>(artist), seconds);
    std::printf("  %-36s %10llu bytes (goal <= %llu)\n", "body bytes the server sent",
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(kGoalBytes));
    std::printf("  %-36s %10.5f of the file\n", "share of the file", double(sent) / kFileSize);
    std::printf("  %-36s %10.3f ms\n", "ReadAudioFileInfo per call", perCall * 1e3);
    std::printf("  %-36s %10.3f ms\n", "one 64 KiB ranged GET per call", perBlock * 1e3);
    std::printf("  %-36s %10.2fx\n", "ratio (tag read / ranged GET)", perCall / perBlock);
    return sent <= kGoalBytes ? 0 : 1;
}
