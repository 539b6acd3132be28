// The input is a robots.txt body; it is parsed for our agent and asked about a few paths and
// about its own lines as paths. A rule set without rules allows everything.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "quor_inet/crawler/robots_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RobotsRules rules = RobotsRules::Parse(text, "QuorBot/1.0");
    for (std::string_view path : {"/", "/a/b.mp3?x=1", "", "/robots.txt"}) {
        rules.Allows(path);
    }
    if (!rules.Allows("/robots.txt") || !RobotsRules::Parse(text, "").Allows("/robots.txt")) {
        __builtin_trap();
    }
    size_t at = 0;
    for (int i = 0; i < 8 && at < text.size(); ++i) {
        const size_t end = text.find('\n', at);
        rules.Allows(text.substr(at, end == std::string_view::npos ? end : end - at));
        at = end == std::string_view::npos ? text.size() : end + 1;
    }
    return 0;
}
