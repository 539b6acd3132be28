// The input is a playlist text, zero bytes included, read under both rule sets. The classic
// rules give nothing longer than the text; the current ones resolve, which may add the base.
#include <cstddef>
#include <cstdint>

#include "quor_inet/crawler/playlist_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    CStringList refs;
    ReadPlaylist(text, "http://host/lists/", refs);
    for (POSITION pos = refs.GetHeadPosition(); pos != nullptr;) {
        if (refs.GetNext(pos).GetLength() > static_cast<int>(size)) {
            __builtin_trap();
        }
    }
    CStringList current;
    ReadPlaylist(text, "http://host/lists/all.m3u", current, WebRules::kCurrent);
    for (POSITION pos = current.GetHeadPosition(); pos != nullptr;) {
        // Percent-encoding triples a byte at most.
        if (current.GetNext(pos).GetLength() > 3 * static_cast<int>(size) + 64) {
            __builtin_trap();
        }
    }
    return 0;
}
