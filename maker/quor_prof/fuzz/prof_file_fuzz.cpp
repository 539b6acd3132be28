// A settings file read, written and read again gives the same settings; texts survive the
// escaping whatever bytes they hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "maker/quor_prof/prof_file.h"

namespace {

bool Same(const ProfFile& a, const ProfFile& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].entries.size() != b[i].entries.size()) {
            return false;
        }
        for (size_t j = 0; j < a[i].entries.size(); ++j) {
            if (a[i].entries[j].key != b[i].entries[j].key ||
                a[i].entries[j].value != b[i].entries[j].value) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const ProfFile parsed = ParseProfFile(text);
    if (!Same(ParseProfFile(FormatProfFile(parsed)), parsed)) {
        std::abort();
    }

    const std::string escaped = EscapeProfText(text);
    if (escaped.find_first_of("\r\n") != std::string::npos || UnescapeProfText(escaped) != text) {
        std::abort();
    }

    // A text stored under a name the file can hold reads back unchanged.
    ProfFile file = parsed;
    if (ProfNamesFit("Internet", "url")) {
        SetProfValue(file, "Internet", "url", "sz:" + escaped);
        const ProfFile again = ParseProfFile(FormatProfFile(file));
        const std::string* value = FindProfValue(again, "INTERNET", "URL");
        if (value == nullptr || UnescapeProfText(value->substr(3)) != text) {
            std::abort();
        }
    }
    return 0;
}
