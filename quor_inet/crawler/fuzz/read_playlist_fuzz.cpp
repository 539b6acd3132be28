// The input is a playlist text, zero bytes included.
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
    return 0;
}
