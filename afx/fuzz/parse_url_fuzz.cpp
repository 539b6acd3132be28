// Feeds arbitrary text to AfxParseURL; the copy has no slack, so any read past the
// terminator is caught, and a success must give parts that come from the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "afx/exceptions.h"
#include "afx/parse_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    memcpy(text.get(), data, size);
    text[size] = '\0';
    uint32_t service = 0;
    CString server, object;
    uint16_t port = 0;
    if (AfxParseURL(text.get(), service, server, object, port)) {
        if (server.GetLength() > int(size) || object.GetLength() > int(size) + 1) {
            abort();
        }
        if (!server.IsEmpty() && strstr(text.get(), server) == nullptr) {
            abort();
        }
    } else if (service != AFX_INET_SERVICE_UNK || !server.IsEmpty() || !object.IsEmpty() ||
               port != 0) {
        abort();
    }
    return 0;
}
