#include "quor_inet/crawler/start_address.h"

#include <cstring>
#include <string_view>

#include "afx/ascii.h"

namespace {

constexpr char kHttpPrefix[] = "http://";
constexpr int kHttpPrefixLength = 7;

}  // namespace

bool BeginsWithHttp(const char* text) {
    // Only the prefix's length is looked at: a dropped text may be long.
    return afx::StartsWithNoCase(std::string_view(text, strnlen(text, kHttpPrefixLength)),
                                 kHttpPrefix);
}

StartAddress NormalizeStartAddress(const char* text) {
    StartAddress start;
    const CString typed(text != nullptr ? text : "");
    if (typed.Find(':') < 0) {
        start.shown = kHttpPrefix;
        start.shown += typed;
    } else {
        start.shown = typed;
    }
    start.address = start.shown;
    if (BeginsWithHttp(start.address) && start.address.Find('/', kHttpPrefixLength) < 0) {
        start.address += "/";
    }
    return start;
}
