// Download throughput: RunDownload with a host callback against curl fetching the same URL
// into a file, both measured in this run. With a URL argument that server is used (the
// run-download-bench script serves a 256 MiB file with nginx on loopback); without one, the
// in-process test server generates the body.
//
//   download_bench [url] [--runs N]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "quor_inet/transfer/download.h"
#include "tests/server/test_http_server.h"

extern char** environ;

namespace {

constexpr uint64_t kBodyBytes = uint64_t{256} << 20;

class NoWindow : public DownloadProgressWindow {
  public:
    int OpenProgressWindow(const char*, const char*) override { return 1; }
    int UpdateProgressWindow(int32_t, int32_t) override { return 1; }
    void CloseProgressWindow() override {}
};

int g_lastDone = 0;
int CountingCallback(int done, int, int) {
    g_lastDone = done;
    return 1;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Seconds for one copy, or a negative value when it failed.
double TimeRunDownload(const std::string& url, const std::string& file) {
    NoWindow window;
    const auto start = std::chrono::steady_clock::now();
    const int result = RunDownload(url.c_str(), file.c_str(), CountingCallback, 0, window);
    const double seconds = Seconds(start);
    return result == 1 ? seconds : -1;
}

double TimeCurl(const std::string& url, const std::string& file) {
    std::vector<std::string> args = {"curl", "-s", "-f", "--noproxy", "*", "-o", file, url};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = Seconds(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// The best of runs copies, in MB/s (10^6 bytes); 0 when any copy failed or came out short.
double BestRate(double (*copy)(const std::string&, const std::string&), const std::string& url,
                const std::string& file, uint64_t bytes, int runs) {
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        std::filesystem::remove(file);
        const double seconds = copy(url, file);
        std::error_code error;
        if (seconds <= 0 || std::filesystem::file_size(file, error) != bytes) {
            return 0;
        }
        best = std::max(best, bytes / seconds / 1e6);
    }
    std::filesystem::remove(file);
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::string url;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            url = argv[i];
        }
    }
    std::unique_ptr<quor::test::TestHttpServer> server;
    std::string serverName = "given";
    if (url.empty()) {
        quor::test::TestHttpServer::Options options;
        options.maxBodyBytes = kBodyBytes;
        server = std::make_unique<quor::test::TestHttpServer>(options);
        if (!server->Start()) {
            std::fprintf(stderr, "download_bench: %s\n", server->LastError().c_str());
            return 1;
        }
        url = server->Url("/exact/bench.bin?size=" + std::to_string(kBodyBytes));
        serverName = "in-process test server";
    }
    setenv("NO_PROXY", "127.0.0.1", 1);

    // The size the server announces, found the way the download finds it.
    const std::string file =
        (std::filesystem::temp_directory_path() / ("download_bench." + std::to_string(getpid())))
            .string();
    NoWindow window;
    g_lastDone = 0;
    if (RunDownload(url.c_str(), file.c_str(), CountingCallback, 0, window) != 1) {
        std::fprintf(stderr, "download_bench: cannot download %s\n", url.c_str());
        return 1;
    }
    const uint64_t bytes = std::filesystem::file_size(file);

    const double ours = BestRate(TimeRunDownload, url, file, bytes, runs);
    const double curl = BestRate(TimeCurl, url, file, bytes, runs);
    std::printf("download of %.1f MiB from %s (%s), best of %d\n", bytes / 1048576.0, url.c_str(),
                serverName.c_str(), runs);
    std::printf("  %-32s %9.1f MB/s\n", "RunDownload (libcurl, callback)", ours);
    std::printf("  %-32s %9.1f MB/s\n", "curl -o file", curl);
    if (ours > 0 && curl > 0) {
        std::printf("  %-32s %9.2fx  (goal >= 0.90x)\n", "ratio", ours / curl);
    }
    return ours > 0 && curl > 0 ? 0 : 1;
}
