// The input holds base, tag and keyword separated by zero bytes; each of the three operations
// runs on them, and the sorting is asked twice: the text may gain another "/", the answer stays.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quor_inet/crawler/url_resolution.h"

namespace {

// Next field up to a zero byte or the end; the field's own text keeps no zero byte.
CString NextField(const char*& at, const char* end) {
    const void* zero = std::memchr(at, '\0', static_cast<size_t>(end - at));
    const char* stop = zero ? static_cast<const char*>(zero) : end;
    CString field(at, static_cast<int>(stop - at));
    at = stop < end ? stop + 1 : end;
    return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* at = reinterpret_cast<const char*>(data);
    const char* end = at + size;
    const CString base = NextField(at, end);
    const CString tag = NextField(at, end);
    const CString keyword = NextField(at, end);

    const CString pageBase = PageBaseAddress(base);
    if (pageBase.GetLength() > base.GetLength()) {
        __builtin_trap();
    }

    CString value("unchanged");
    ResolveReference(base, tag, keyword, value);
    if (value.IsEmpty()) {
        __builtin_trap();
    }

    CString url = value;
    const int first = ClassifyReference(url);
    if (ClassifyReference(url) != first) {
        __builtin_trap();
    }
    CString raw = tag;
    ClassifyReference(raw);
    return 0;
}
