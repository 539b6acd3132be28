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

// base: the playlist's own address under kCurrent, against which other entries resolve;
// empty under kClassic.
void HandleLine(std::string_view line, std::string_view base, std::string& scratch,
                CStringList& fileRefs) {
    if (line.empty() || line[0] == '#') {
        return;
    }
    scratch.assign(line);
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    if (!AfxParseURL(scratch.c_str(), service, server, object, port)) {
        service = AFX_INET_SERVICE_UNK;
    }
    if (service == AFX_INET_SERVICE_HTTP || service == AFX_INET_SERVICE_HTTPS ||
        service == AFX_INET_SERVICE_FTP) {
        fileRefs.AddTail(scratch.c_str());
    } else if (service == AFX_INET_SERVICE_FILE) {
        fileRefs.AddTail(object);
    } else if (!base.empty() && url_text::ResolveCurrent(base, line, scratch)) {
        fileRefs.AddTail(scratch.c_str());
    }
}

}  // namespace

void ReadPlaylist(const CString& text, const CString& base, CStringList& fileRefs,
                  WebRules rules) {
    const std::string_view all = url_text::View(text);
    const bool current = rules == WebRules::kCurrent;
    const std::string_view resolveBase = current ? url_text::View(base) : std::string_view();
    std::string scratch;
    size_t at = current && all.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (at < all.size()) {
        while (at < all.size() && IsSkipped(all[at])) {
            ++at;
        }
        const size_t start = at;
        while (at < all.size() && all[at] != '\r' && all[at] != '\n') {
            ++at;
        }
        HandleLine(all.substr(start, at - start), resolveBase, scratch, fileRefs);
        // Past the line end; the LF of a CR LF pair is skipped as a control character.
        ++at;
    }
}
