#include "quor_inet/worker/robots_cache.h"

#include <string_view>

#include "afx/ascii.h"
#include "afx/parse_url.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/transfer/page_fetch.h"

bool RobotsCache::Allows(const CString& url) {
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    if (!AfxParseURL(url, service, server, object, port) || server.IsEmpty() ||
        (service != AFX_INET_SERVICE_HTTP && service != AFX_INET_SERVICE_HTTPS)) {
        return true;
    }
    CString origin;
    origin.Format("%s://%s:%u", service == AFX_INET_SERVICE_HTTPS ? "https" : "http",
                  static_cast<const char*>(server), static_cast<unsigned>(port));
    std::string key(origin, static_cast<size_t>(origin.GetLength()));
    for (char& c : key) {
        c = afx::AsciiLower(c);
    }
    auto found = m_servers.find(key);
    if (found == m_servers.end()) {
        if (m_servers.size() >= kMaxServers) {
            m_servers.clear();
        }
        CString text;
        PageAnswer answer;
        bool wouldTell = false;
        RobotsRules rules;
        // Never a message of its own: a server without robots.txt is the usual case.
        if (FetchPageUntold(origin + "/robots.txt", &text, &g_bStopSearch, &answer, wouldTell,
                            WebRules::kCurrent) &&
            answer.status >= 200 && answer.status <= 299) {
            rules = RobotsRules::Parse(
                std::string_view(text, static_cast<size_t>(text.GetLength())), m_agent);
        }
        found = m_servers.emplace(std::move(key), std::move(rules)).first;
    }
    return found->second.Allows(std::string_view(object, static_cast<size_t>(object.GetLength())));
}
