#include "quor_inet/crawler/start_address.h"

#include <cstring>
#include <string_view>

#include "afx/ascii.h"

namespace {

constexpr char kHttpPrefix[] = "http://";
constexpr char kHttpsPrefix[] = "https://";

// The length of text's http:// (or on the current web https://) prefix; 0 without one.
int WebPrefixLength(const char* text, WebRules rules) {
    // Only the prefix's length is looked at: a dropped text may be long.
    const std::string_view start(text, strnlen(text, sizeof kHttpsPrefix - 1));
    if (afx::StartsWithNoCase(start, kHttpPrefix)) {
        return sizeof kHttpPrefix - 1;
    }
    return rules == WebRules::kCurrent && afx::StartsWithNoCase(start, kHttpsPrefix)
               ? static_cast<int>(sizeof kHttpsPrefix - 1)
               : 0;
}

}  // namespace

bool BeginsWithHttp(const char* text, WebRules rules) {
    return WebPrefixLength(text, rules) != 0;
}

StartAddress NormalizeStartAddress(const char* text, WebRules rules) {
    StartAddress start;
    const CString typed(text != nullptr ? text : "");
    if (typed.Find(':') < 0) {
        start.shown = kHttpPrefix;
        start.shown += typed;
    } else {
        start.shown = typed;
    }
    start.address = start.shown;
    if (const int prefix = WebPrefixLength(start.address, rules);
        prefix != 0 && start.address.Find('/', prefix) < 0) {
        start.address += "/";
    }
    return start;
}
