// The crawl list's and the found-files list's cost per call with 1,000 and with 100,000 entries
// already listed: AddCrawlEntry for new addresses and for duplicates in another letter case,
// AddFoundFile for duplicates that it rejects, new names that are no audio files, and new audio
// names that do not split (taken without any traffic: the tag reader cannot open them). A list
// that is walked per call would cost about 100 times as much at 100,000 entries; the ratio of
// the two sizes is printed per case and should stay near that of a bare hash set, measured as
// the reference, which grows only as far as its table outgrows the caches.
//
// Calls are timed in blocks of kBlock, by the thread's processor time; a list that new entries
// make grow is built anew (outside the timed blocks) once it holds a tenth more than the size
// measured. The table's Time column is per block; its CPU column counts the rebuilds too.
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include <benchmark/benchmark.h>

#include "quor_inet/worker/crawl_worker.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/state/search_state.h"

namespace {

constexpr int kBlock = 100;
constexpr int kVariants = 4096;

std::string CrawlUrl(int i) {
    char text[96];
    std::snprintf(text, sizeof text, "http://www.music-archive.example/section-%03d/page-%06d.html",
                  i % 997, i);
    return text;
}

// An audio file name that AfxParseURL does not split.
std::string LooseAudioName(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "n%06d.mp3", i);
    return text;
}

std::string PictureUrl(int i) {
    char text[96];
    std::snprintf(text, sizeof text, "http://www.music-archive.example/covers/c%06d.jpg", i);
    return text;
}

// The same text in another letter case: all capitals, or every other letter a capital.
std::string OtherCase(std::string text, int i) {
    for (size_t k = 0; k < text.size(); ++k) {
        if (i % 2 == 0 || k % 2 == 0) {
            text[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[k])));
        }
    }
    return text;
}

std::vector<std::string> Names(std::string (*name)(int), int from, int count) {
    std::vector<std::string> names;
    names.reserve(count);
    for (int i = from; i < from + count; ++i) {
        names.push_back(name(i));
    }
    return names;
}

// Listed entries picked at random, each in another letter case.
std::vector<std::string> Duplicates(std::string (*name)(int), int listed) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pick(0, listed - 1);
    std::vector<std::string> names;
    for (int i = 0; i < kVariants; ++i) {
        names.push_back(OtherCase(name(pick(random)), i));
    }
    return names;
}

std::string LowerCase(const char* text) {
    std::string key(text);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

// A list that only grows takes its memory fresh from the heap; without the trim, the new
// entries of a list built anew would take the cold chunks that the old list freed.
void FillCrawlList(const std::vector<std::string>& urls, int count) {
    FreeCrawlList();
    malloc_trim(0);
    for (int i = 0; i < count; ++i) {
        AddCrawlEntry(urls[i].c_str(), 1, 0);
    }
}

void FillFoundFiles(int count) {
    FreeFoundFiles();
    malloc_trim(0);
    for (int i = 0; i < count; ++i) {
        AddFoundFile(LooseAudioName(i).c_str());
    }
}

// The thread's own processor time: the machine is shared, and waiting for it is no cost of
// the lists. Reading it costs about as much as one or two calls; per call that is a few
// nanoseconds at either size.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Times kBlock calls of add over names from next on (the caller leaves that many), for the
// manual timer.
template <typename Add>
void TimeBlock(benchmark::State& state, Add add, const std::vector<std::string>& names,
               size_t& next) {
    const double start = ThreadSeconds();
    for (int k = 0; k < kBlock; ++k) {
        add(names[next++].c_str());
    }
    state.SetIterationTime(ThreadSeconds() - start);
}

// Names that are taken over and over start again from the first when too few are left.
void Rewind(const std::vector<std::string>& names, size_t& next) {
    if (next + kBlock > names.size()) {
        next = 0;
    }
}

// The list is filled at level 1; new entries come one level deeper, duplicates at the same one.
void AddAtLevel1(const char* url) {
    AddCrawlEntry(url, 1, 0);
}
void AddAtLevel2(const char* url) {
    AddCrawlEntry(url, 2, 0);
}

void Prepare() {
    g_nMaxLevel = 8;
    g_bReadID3 = 0;
    g_pSearchView = nullptr;
}

void BM_AddCrawlEntryNew(benchmark::State& state) {
    Prepare();
    const int listed = static_cast<int>(state.range(0));
    const int growth = std::max(kBlock, listed / 10);
    const std::vector<std::string> urls = Names(CrawlUrl, 0, listed + growth);
    FillCrawlList(urls, listed);
    size_t next = listed;
    for (auto _ : state) {
        if (next + kBlock > urls.size()) {
            FillCrawlList(urls, listed);
            next = listed;
        }
        TimeBlock(state, AddAtLevel2, urls, next);
    }
    if (CrawlEntryCount() != next) {
        state.SkipWithError("a new address was not listed");
    }
    FreeCrawlList();
}

void BM_AddCrawlEntryDuplicate(benchmark::State& state) {
    Prepare();
    const int listed = static_cast<int>(state.range(0));
    FillCrawlList(Names(CrawlUrl, 0, listed), listed);
    const std::vector<std::string> duplicates = Duplicates(CrawlUrl, listed);
    size_t next = 0;
    for (auto _ : state) {
        Rewind(duplicates, next);
        TimeBlock(state, AddAtLevel1, duplicates, next);
    }
    if (CrawlEntryCount() != static_cast<uint32_t>(listed)) {
        state.SkipWithError("a duplicate was listed");
    }
    FreeCrawlList();
}

void BM_AddFoundFileDuplicate(benchmark::State& state) {
    Prepare();
    const int listed = static_cast<int>(state.range(0));
    FillFoundFiles(listed);
    const std::vector<std::string> duplicates = Duplicates(LooseAudioName, listed);
    size_t next = 0;
    for (auto _ : state) {
        Rewind(duplicates, next);
        TimeBlock(state, AddFoundFile, duplicates, next);
    }
    if (FoundFileCount() != static_cast<uint32_t>(listed)) {
        state.SkipWithError("a duplicate was listed");
    }
    FreeFoundFiles();
}

void BM_AddFoundFileNotAudio(benchmark::State& state) {
    Prepare();
    const int listed = static_cast<int>(state.range(0));
    FillFoundFiles(listed);
    const std::vector<std::string> pictures = Names(PictureUrl, 0, kVariants);
    size_t next = 0;
    for (auto _ : state) {
        Rewind(pictures, next);
        TimeBlock(state, AddFoundFile, pictures, next);
    }
    if (FoundFileCount() != static_cast<uint32_t>(listed)) {
        state.SkipWithError("a picture was listed");
    }
    FreeFoundFiles();
}

void BM_AddFoundFileNew(benchmark::State& state) {
    Prepare();
    const int listed = static_cast<int>(state.range(0));
    const int growth = std::max(kBlock, listed / 10);
    const std::vector<std::string> names = Names(LooseAudioName, 0, listed + growth);
    FillFoundFiles(listed);
    size_t next = listed;
    for (auto _ : state) {
        if (next + kBlock > names.size()) {
            FillFoundFiles(listed);
            next = listed;
        }
        TimeBlock(state, AddFoundFile, names, next);
    }
    if (FoundFileCount() != next) {
        state.SkipWithError("a new name was not listed");
    }
    FreeFoundFiles();
}

// The reference for duplicates: what one costs at the least, a lower-cased copy looked up in a bare
// hash set. It too grows dearer with the size, as its table outgrows the caches.
void BM_HashSetFindReference(benchmark::State& state) {
    const int listed = static_cast<int>(state.range(0));
    std::unordered_set<std::string> keys;
    for (int i = 0; i < listed; ++i) {
        keys.insert(CrawlUrl(i));
    }
    const std::vector<std::string> duplicates = Duplicates(CrawlUrl, listed);
    size_t next = 0;
    size_t hits = 0;
    auto find = [&](const char* text) { hits += keys.count(LowerCase(text)); };
    for (auto _ : state) {
        Rewind(duplicates, next);
        TimeBlock(state, find, duplicates, next);
    }
    benchmark::DoNotOptimize(hits);
}

// The reference for new entries: a lower-cased copy put into a bare hash set, emptied and
// filled anew as the list is.
void BM_HashSetInsertReference(benchmark::State& state) {
    const int listed = static_cast<int>(state.range(0));
    const int growth = std::max(kBlock, listed / 10);
    const std::vector<std::string> urls = Names(CrawlUrl, 0, listed + growth);
    std::unordered_set<std::string> keys;
    auto insert = [&](const char* text) { keys.insert(LowerCase(text)); };
    auto fill = [&] {
        keys.clear();
        malloc_trim(0);
        for (int i = 0; i < listed; ++i) {
            insert(urls[i].c_str());
        }
    };
    fill();
    size_t next = listed;
    for (auto _ : state) {
        if (next + kBlock > urls.size()) {
            fill();
            next = listed;
        }
        TimeBlock(state, insert, urls, next);
    }
    if (keys.size() != next) {
        state.SkipWithError("a new key was not taken");
    }
}

// Prints, after the usual table, the cost per call at each size and the ratio of the sizes.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    // Colours only on a terminal, so that a saved report reads plainly.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.iterations > 0) {
                // Nanoseconds per block (the default unit), so per call after dividing.
                m_perCall[run.run_name.function_name][run.run_name.args] =
                    run.GetAdjustedRealTime() / kBlock;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        static const std::pair<const char*, const char*> kCases[] = {
            {"BM_AddCrawlEntryNew", "AddCrawlEntry, new address"},
            {"BM_AddCrawlEntryDuplicate", "AddCrawlEntry, duplicate, other case"},
            {"BM_AddFoundFileDuplicate", "AddFoundFile, duplicate (rejected)"},
            {"BM_AddFoundFileNotAudio", "AddFoundFile, new, no audio (ignored)"},
            {"BM_AddFoundFileNew", "AddFoundFile, new, does not split"},
            {"BM_HashSetFindReference", "reference: lower-case + hash set find"},
            {"BM_HashSetInsertReference", "reference: lower-case + hash set insert"},
        };
        std::printf("\nper call, with the entries already listed   %11s %11s %8s\n", "1,000",
                    "100,000", "ratio");
        for (const auto& [function, label] : kCases) {
            const auto found = m_perCall.find(function);
            if (found == m_perCall.end()) {
                continue;
            }
            const auto small = found->second.find("1000");
            const auto large = found->second.find("100000");
            if (small == found->second.end() || large == found->second.end()) {
                continue;
            }
            std::printf("  %-41s %8.1f ns %8.1f ns %7.2fx\n", label, small->second, large->second,
                        large->second / small->second);
        }
        std::printf(
            "  (goal: flat, a ratio near the reference's; a walk of the list per call "
            "would be near 100x)\n");
    }

  private:
    std::map<std::string, std::map<std::string, double>> m_perCall;
};

}  // namespace

BENCHMARK(BM_AddCrawlEntryNew)->Arg(1000)->Arg(100000)->UseManualTime();
BENCHMARK(BM_AddCrawlEntryDuplicate)->Arg(1000)->Arg(100000)->UseManualTime();
BENCHMARK(BM_AddFoundFileDuplicate)->Arg(1000)->Arg(100000)->UseManualTime();
BENCHMARK(BM_AddFoundFileNotAudio)->Arg(1000)->Arg(100000)->UseManualTime();
BENCHMARK(BM_AddFoundFileNew)->Arg(1000)->Arg(100000)->UseManualTime();
BENCHMARK(BM_HashSetFindReference)->Arg(1000)->Arg(100000)->UseManualTime();
BENCHMARK(BM_HashSetInsertReference)->Arg(1000)->Arg(100000)->UseManualTime();

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
