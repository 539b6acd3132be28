// The page scanner on a 128 KiB link-dense page, against a bare walk from "<" to ">" over the
// same text (the least any tag scanner must do) measured in the same run.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include <benchmark/benchmark.h>

#include "quor_inet/crawler/reference_scanner.h"

namespace {

constexpr size_t kPageSize = 128 * 1024;

// Links to files and pages, images, tags without a keyword, tags without a blank, and text.
const CString& LinkDensePage() {
    static const CString page = [] {
        std::string text = "<html><head><title>Music</title></head><body background=\"bg.gif\">\n";
        for (int i = 0; text.size() < kPageSize; ++i) {
            const std::string n = std::to_string(i);
            text += "<p class=\"t\">Track " + n + " of the collection</p>\n";
            text += "<a href=\"music/track" + n + ".mp3\">Listen</a> ";
            text += "<img src=\"img/cover" + n + ".jpg\" width=\"40\" alt=\"cover\">";
            text += "<a href=\"../pages/page" + n + ".html\" target=\"_top\">more</a>";
            text += "<br><b>new</b> <span class=\"s\">" + n + "</span>\n";
        }
        text.resize(kPageSize);
        return CString(text.c_str());
    }();
    return page;
}

// rules: 0 the classic scanner, 1 the current web's (quotes, comments, browser resolution).
void BM_ScanPageReferences(benchmark::State& state) {
    const CString& page = LinkDensePage();
    const WebRules rules = WebRulesOf(static_cast<int32_t>(state.range(0)));
    const CString base(rules == WebRules::kCurrent ? "http://10.0.0.1/site/dir/index.html"
                                                   : "http://10.0.0.1/site/dir/");
    size_t found = 0;
    for (auto _ : state) {
        CStringList pages;
        CStringList files;
        ScanPageReferences(page, base, pages, files, rules);
        found = size_t(pages.GetCount() + files.GetCount());
        benchmark::DoNotOptimize(found);
    }
    state.counters["references"] = double(found);
    state.SetBytesProcessed(int64_t(state.iterations()) * page.GetLength());
}

void BM_TagWalkReference(benchmark::State& state) {
    const CString& page = LinkDensePage();
    const char* begin = page;
    const char* end = begin + page.GetLength();
    for (auto _ : state) {
        size_t tags = 0;
        for (const char* p = begin;;) {
            const char* open = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
            if (open == nullptr) {
                break;
            }
            const char* close =
                static_cast<const char*>(std::memchr(open, '>', size_t(end - open)));
            if (close == nullptr) {
                break;
            }
            ++tags;
            p = close;
        }
        benchmark::DoNotOptimize(tags);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * page.GetLength());
}

// Prints, after the usual table, the scanner's speed in MB/s and as a share of the bare walk.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end()) {
                m_rates[run.benchmark_name()] = rate->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto walk = m_rates.find("BM_TagWalkReference");
        if (walk == m_rates.end() || walk->second <= 0) {
            return;
        }
        for (const auto& [name, label] : {std::pair{"BM_ScanPageReferences/0", "scan"},
                                          std::pair{"BM_ScanPageReferences/1", "current-web scan"}}) {
            const auto scan = m_rates.find(name);
            if (scan != m_rates.end()) {
                std::printf("%s: %.0f MB/s, %.2f of the bare tag walk (%.0f MB/s)\n", label,
                            scan->second / 1e6, scan->second / walk->second, walk->second / 1e6);
            }
        }
    }

  private:
    std::map<std::string, double> m_rates;
};

}  // namespace

BENCHMARK(BM_ScanPageReferences)->Arg(0)->Arg(1);
BENCHMARK(BM_TagWalkReference);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
