#include "quor_inet/crawler/playlist_reader.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "afx/parse_url.h"
#include "quor_inet/crawler/url_resolution.h"

namespace {

bool IsSkipped(char c) noexcept {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

void HandleLine(std::string_view line, std::string& scratch, CStringList& fileRefs) {
    if (line.empty() || line[0] == '#') {
        return;
    }
    scratch.assign(line);
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    if (!AfxParseURL(scratch.c_str(), service, server, object, port)) {
        return;
    }
    if (service == AFX_INET_SERVICE_HTTP || service == AFX_INET_SERVICE_HTTPS ||
        service == AFX_INET_SERVICE_FTP) {
        fileRefs.AddTail(scratch.c_str());
    } else if (service == AFX_INET_SERVICE_FILE) {
        fileRefs.AddTail(object);
    }
}

}  // namespace

void ReadPlaylist(const CString& text, const CString& /*base*/, CStringList& fileRefs) {
    const std::string_view all = url_text::View(text);
    std::string scratch;
    size_t at = 0;
    while (at < all.size()) {
        while (at < all.size() && IsSkipped(all[at])) {
            ++at;
        }
        const size_t start = at;
        while (at < all.size() && all[at] != '\r' && all[at] != '\n') {
            ++at;
        }
        HandleLine(all.substr(start, at - start), scratch, fileRefs);
        // Past the line end; the LF of a CR LF pair is skipped as a control character.
        ++at;
    }
}
