// The insert formatter on arbitrary messages: it must stay within the three texts and within
// the 1024-byte message field.
#include <cstdint>
#include <cstring>
#include <string>

#include "launcher/launch_failure.h"
#include "launcher/text_field.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string message(reinterpret_cast<const char*>(data), size);
    message = message.substr(0, std::strlen(message.c_str()));
    std::string file(259, 'f');
    const char* const inserts[3] = {file.c_str(), "4294967295", "The system text.\r\n"};
    struct {
        char out[launcher::kMessageSize];
        char guard[8];
    } field;
    std::memset(field.guard, 0x5A, sizeof(field.guard));
    launcher::FormatInserts(message.c_str(), inserts, field.out, sizeof(field.out));
    if (std::strlen(field.out) >= launcher::kMessageSize) {
        __builtin_trap();
    }
    for (char g : field.guard) {
        if (g != 0x5A) {
            __builtin_trap();
        }
    }
    char lines[launcher::kMessageSize];
    launcher::CopyField(lines, message.c_str());
    launcher::ExpandLineBreaks(lines);
    return 0;
}
