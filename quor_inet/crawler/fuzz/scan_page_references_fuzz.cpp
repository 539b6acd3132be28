// The input is a page; it is scanned against a fixed base and, split at its first zero byte,
// with its own head as the base, under both rule sets. The current rules give only printable
// absolute addresses.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "quor_inet/crawler/reference_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* chars = reinterpret_cast<const char*>(data);
    const CString page(chars, static_cast<int>(size));
    for (WebRules rules : {WebRules::kClassic, WebRules::kCurrent}) {
        CStringList pages;
        CStringList files;
        ScanPageReferences(page, "http://host/a/b/", pages, files, rules);

        const void* zero = std::memchr(chars, '\0', size);
        if (zero != nullptr) {
            const size_t split = static_cast<size_t>(static_cast<const char*>(zero) - chars);
            const CString base(chars, static_cast<int>(split));
            const CString rest(chars + split + 1, static_cast<int>(size - split - 1));
            ScanPageReferences(rest, base, pages, files, rules);
        }
        // Every value goes to exactly one list and is never empty.
        for (CStringList* list : {&pages, &files}) {
            for (POSITION pos = list->GetHeadPosition(); pos != nullptr;) {
                const CString& value = list->GetNext(pos);
                if (value.IsEmpty()) {
                    __builtin_trap();
                }
                if (rules == WebRules::kCurrent) {
                    for (const char* c = value; *c != '\0'; ++c) {
                        if (static_cast<unsigned char>(*c) <= 0x20 ||
                            static_cast<unsigned char>(*c) >= 0x7f) {
                            __builtin_trap();
                        }
                    }
                    if (std::strstr(value, "://") == nullptr) {
                        __builtin_trap();
                    }
                }
            }
        }
    }
    return 0;
}
