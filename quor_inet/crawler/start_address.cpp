#include "quor_inet/crawler/start_address.h"

#include <cctype>

namespace {

constexpr char kHttpPrefix[] = "http://";
constexpr int kHttpPrefixLength = 7;

}  // namespace

bool BeginsWithHttp(const char* text) {
    // Stops at the first difference, so a shorter text ends the walk at its terminator.
    for (int i = 0; i < kHttpPrefixLength; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(kHttpPrefix[i]))) {
            return false;
        }
    }
    return true;
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
