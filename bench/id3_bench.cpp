// The ID3 frame walk over a 32 KiB tag body, against copying the same bytes as the reference
// measured in the same run.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "quor_inet/tags/id3_tag.h"

namespace {

constexpr size_t kBodySize = 32 * 1024;

void AppendFrame(std::vector<uint8_t>& body, const char* id, const std::string& text) {
    const uint32_t size = static_cast<uint32_t>(text.size() + 2);
    body.insert(body.end(), id, id + 4);
    for (int shift = 24; shift >= 0; shift -= 8) {
        body.push_back(static_cast<uint8_t>(size >> shift));
    }
    body.insert(body.end(), {0, 0, 0});
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0);
}

// Many small text frames, the wanted ones spread among them, then padding: every frame header
// of the body is visited.
std::vector<uint8_t> ManyFramesBody() {
    std::vector<uint8_t> body;
    AppendFrame(body, "TRCK", "3/12");
    for (int i = 0; body.size() + 64 < kBodySize; ++i) {
        if (i % 100 == 50) {
            AppendFrame(body, "TPE1", "Lead Performer " + std::to_string(i));
        } else if (i % 100 == 99) {
            AppendFrame(body, "TIT2", "Title " + std::to_string(i));
        } else {
            AppendFrame(body, "TXXX", "comment " + std::to_string(i));
        }
    }
    body.resize(kBodySize, 0);
    return body;
}

// A typical tag: a few text frames and a picture filling the rest.
std::vector<uint8_t> PictureBody() {
    std::vector<uint8_t> body;
    AppendFrame(body, "TIT2", "Title");
    AppendFrame(body, "TPE1", "Lead Performer");
    AppendFrame(body, "TALB", "Album");
    AppendFrame(body, "APIC", std::string(kBodySize - body.size() - 200, '\xFF'));
    body.resize(kBodySize, 0);
    return body;
}

void WalkBody(benchmark::State& state, const std::vector<uint8_t>& body) {
    for (auto _ : state) {
        CString title, artist;
        WalkTagFrames(body.data(), static_cast<uint32_t>(body.size()), 3, 0, title, artist);
        benchmark::DoNotOptimize(title.GetLength() + artist.GetLength());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}

void BM_Id3WalkManyFrames(benchmark::State& state) {
    WalkBody(state, ManyFramesBody());
}
void BM_Id3WalkPicture(benchmark::State& state) {
    WalkBody(state, PictureBody());
}

void BM_CopyBodyReference(benchmark::State& state) {
    const std::vector<uint8_t> body = ManyFramesBody();
    std::vector<uint8_t> copy(body.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), body.data(), body.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}

}  // namespace

BENCHMARK(BM_Id3WalkManyFrames);
BENCHMARK(BM_Id3WalkPicture);
BENCHMARK(BM_CopyBodyReference);
BENCHMARK_MAIN();
