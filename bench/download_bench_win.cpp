// The Windows half of the download benchmark: RunDownload with a host callback on WinINet,
// run under Wine by bench/run-download-bench against the same loopback server as the native
// figures.
//
//   download_bench_win.exe url file [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "quor_inet/transfer/download.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: download_bench_win url file [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        DeleteFileA(argv[2]);
        NoWindow window;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const int result = RunDownload(argv[1], argv[2], CountingCallback, 0, window);
        QueryPerformanceCounter(&end);
        const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (result != 1 || seconds <= 0) {
            std::fprintf(stderr, "download_bench_win: download failed\n");
            return 1;
        }
        best = std::max(best, double(uint32_t(g_lastDone)) / seconds / 1e6);
    }
    DeleteFileA(argv[2]);
    std::printf("%.1f\n", best);
    return 0;
}
