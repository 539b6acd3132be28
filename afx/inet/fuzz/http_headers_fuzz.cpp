// Header values and redirect targets come from any server: the parsers must take every text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "afx/inet/http_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    afx::inet::ParseContentLength(text);
    if (auto range = afx::inet::ParseContentRange(text)) {
        if (range->satisfied &&
            (range->last < range->first || (range->total && range->last >= *range->total))) {
            __builtin_trap();
        }
    }
    afx::inet::IsChunkedEncoding(text);
    std::string target = afx::inet::RequestTarget(text);
    for (char c : target) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\0') {
            __builtin_trap();  // the request line could be split
        }
    }
    size_t cut = size / 2;
    afx::inet::ResolveLocation("h", 8080, text.substr(0, cut), text.substr(cut), cut % 2 == 0);
    return 0;
}
