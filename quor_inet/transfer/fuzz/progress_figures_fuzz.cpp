// Any done, total and elapsed time give figures without overflow or division by zero, and
// texts that fit their buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quor_inet/transfer/progress_figures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t bytes[12] = {};
    std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);
    int32_t done;
    int32_t total;
    uint32_t elapsed;
    std::memcpy(&done, bytes, 4);
    std::memcpy(&total, bytes + 4, 4);
    std::memcpy(&elapsed, bytes + 8, 4);

    const ProgressFigures f = ComputeProgressFigures(done, total, elapsed);
    if (f.percent < 0) {
        std::abort();
    }
    if (static_cast<uint32_t>(done) != 0 &&
        static_cast<uint32_t>(done) >= static_cast<uint32_t>(total) && f.remainingSeconds != 0) {
        std::abort();
    }
    const ProgressTexts texts = MakeProgressTexts(f);
    if (std::strlen(texts.percent) >= kProgressTextSize ||
        std::strlen(texts.speed) >= kProgressTextSize ||
        std::strlen(texts.remaining) >= kProgressTextSize) {
        std::abort();
    }
    // A buffer as short as the input says stays terminated and unharmed behind its end.
    char small[kProgressTextSize + 1];
    const size_t limit = size > 12 ? data[12] % (kProgressTextSize + 1) : kProgressTextSize;
    std::memset(small, 0x55, sizeof small);
    FormatRemainingText(f, small, limit);
    if (small[limit] != 0x55 || (limit > 0 && std::strlen(small) >= limit)) {
        std::abort();
    }
    return 0;
}
