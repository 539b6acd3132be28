#pragma once
// Opening a web resource as a sent HTTP GET request, with the connect prompt when the machine
// is offline. Page fetches and downloads go through it, each on a session of its own.

#include <cstdint>

#include "afx/cstring.h"
#include "afx/inet/inet_constants.h"
#include "quor_inet/state/web_rules.h"

class CInternetSession;
class CHttpConnection;
class CHttpFile;

// Reuse an existing connection to the server; do not follow redirections.
inline constexpr uint32_t kHttpRequestFlags =
    INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_AUTO_REDIRECT;

// The error text of one attempt: 259 characters and the terminator.
inline constexpr unsigned kRequestErrorTextSize = 260;

// Splits url once and sends a GET for it on session. Under WebRules::kCurrent an https url is
// taken too: the request goes over TLS (port 443 unless the url names one) and the server's
// certificate is checked as the session checks it; a certificate that fails is a failed attempt
// like any other (its description says that the certificate is not trusted).
// Returns 1 with both outs live (the caller reads the response from requestOut, then closes
// and deletes both); the status is not looked at, so an error page or a redirection is the
// response. Returns 0 otherwise, with both outs null:
// - url is no URL or not http (nor https under kCurrent): at once, silently, g_bStopSearch
//   untouched;
// - the attempt fails while the machine is online: bQuiet set: silently; bQuiet clear: the
//   error's description in an OK box (when there is one), then g_bStopSearch = 1;
// - the attempt fails while the machine is offline (whatever bQuiet): the error and the
//   connect prompt in an OK/Cancel box; OK tries again with the same server, port and object,
//   anything else sets g_bStopSearch = 1.
// A file error while sending shows its own report first and then counts as a failed attempt.
// A send that the session's stop flag ended returns 0 at once, silently (the flag is the
// user's own Stop).
int OpenHttpRequest(const char* url, CInternetSession& session, CHttpConnection*& connectionOut,
                    CHttpFile*& requestOut, int bQuiet, WebRules rules = WebRules::kClassic);

// One attempt as OpenHttpRequest makes it with bQuiet set, for a request made ahead of its
// turn: shows nothing and never touches g_bStopSearch. Where OpenHttpRequest would have shown
// something (a file error, or the connect prompt while the machine is offline), wouldTellOut
// is set and the caller leaves the request to OpenHttpRequest in its turn.
int OpenHttpRequestUntold(const char* url, CInternetSession& session,
                          CHttpConnection*& connectionOut, CHttpFile*& requestOut,
                          bool& wouldTellOut, WebRules rules = WebRules::kClassic);

// The most redirections one page or download follows under kCurrent.
inline constexpr int kMaxRedirects = 10;

// OpenHttpRequest (with bQuiet) for a page or a download. Under kClassic exactly that, the
// response (a redirection too) the caller's. Under kCurrent a response 301, 302, 303, 307 or
// 308 with a Location is closed and its Location, resolved against the address that answered
// (url_text::ResolveCurrent), opened in its place, up to kMaxRedirects times; each hop is a
// request of its own on session, so the session's stop flag and time limits hold over the
// whole chain, and a hop that cannot be opened ends it as OpenHttpRequest ends. A Location that
// leads elsewhere than http or https, and one redirection more than kMaxRedirects, fail the
// chain: bQuiet set: silently; bQuiet clear: the description of 12156 (the redirection failed)
// in an OK box, then g_bStopSearch = 1.
// finalUrlOut: the address whose response the caller reads (url itself when nothing was
// redirected); untouched when 0 is returned.
int OpenFollowingRedirects(const CString& url, CInternetSession& session,
                           CHttpConnection*& connectionOut, CHttpFile*& requestOut, int bQuiet,
                           WebRules rules, CString& finalUrlOut);

// The same over OpenHttpRequestUntold: nothing shown; a failed chain is a quiet failure.
int OpenFollowingRedirectsUntold(const CString& url, CInternetSession& session,
                                 CHttpConnection*& connectionOut, CHttpFile*& requestOut,
                                 bool& wouldTellOut, WebRules rules, CString& finalUrlOut);
