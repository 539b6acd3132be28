// The Windows half of the crawl benchmark: the search on WinINet with a view that counts, run
// under Wine by bench/run-crawl-bench against the same loopback site as the native figures.
// Prints the best time of the runs in seconds, with the pages visited and the audio files
// listed in that run.
//
//   crawl_bench_win.exe url [depth] [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/counting_search.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: crawl_bench_win url [depth] [runs]\n");
        return 2;
    }
    const int depth = argc > 2 ? std::max(0, std::atoi(argv[2])) : 3;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 0;
    quor::bench::CountingView bestView;
    for (int i = 0; i < runs; ++i) {
        quor::bench::CountingView view;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const bool ok = quor::bench::RunCountingSearch(argv[1], depth, view);
        QueryPerformanceCounter(&end);
        const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (!ok || seconds <= 0) {
            std::fprintf(stderr, "crawl_bench_win: the search did not run to its end\n");
            return 1;
        }
        if (i == 0 || seconds < best) {
            best = seconds;
            bestView = view;
        }
    }
    FreeFoundFiles();
    std::printf("%.3f %u %u\n", best, bestView.pages, bestView.audioFiles);
    return 0;
}
