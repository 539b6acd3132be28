// The input holds base, tag and keyword separated by zero bytes; each of the three operations
// runs on them, and the sorting is asked twice: the text may gain another "/", the answer stays.
// The current web's resolution takes the tag as the reference: what it gives is printable
// ASCII, absolute, and resolves to itself.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

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

    std::string current;
    if (url_text::ResolveCurrent(url_text::View(base), url_text::View(tag), current)) {
        for (char c : current) {
            if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
                __builtin_trap();
            }
        }
        std::string again;
        if (!url_text::ResolveCurrent("", current, again) || again != current ||
            !url_text::ResolveCurrent(current, "", again) || again != current) {
            __builtin_trap();
        }
    }
    return 0;
}
