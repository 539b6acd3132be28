#pragma once
// Opening a web resource as a sent HTTP GET request, with the connect prompt when the machine
// is offline. Page fetches and downloads go through it, each on a session of its own.

#include <cstdint>

#include "afx/inet/inet_constants.h"

class CInternetSession;
class CHttpConnection;
class CHttpFile;

// Reuse an existing connection to the server; do not follow redirections.
inline constexpr uint32_t kHttpRequestFlags =
    INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_AUTO_REDIRECT;

// The error text of one attempt: 259 characters and the terminator.
inline constexpr unsigned kRequestErrorTextSize = 260;

// Splits url once and sends a GET for it on session. Returns 1 with both outs live (the
// caller reads the response from requestOut, then closes and deletes both); the status is not
// looked at, so an error page or a redirection is the response. Returns 0 otherwise, with both
// outs null:
// - url is no URL or not http: at once, silently, g_bStopSearch untouched;
// - the attempt fails while the machine is online: bQuiet set: silently; bQuiet clear: the
//   error's description in an OK box (when there is one), then g_bStopSearch = 1;
// - the attempt fails while the machine is offline (whatever bQuiet): the error and the
//   connect prompt in an OK/Cancel box; OK tries again with the same server, port and object,
//   anything else sets g_bStopSearch = 1.
// A file error while sending shows its own report first and then counts as a failed attempt.
// A send that the session's stop flag ended returns 0 at once, silently (the flag is the
// user's own Stop).
int OpenHttpRequest(const char* url, CInternetSession& session, CHttpConnection*& connectionOut,
                    CHttpFile*& requestOut, int bQuiet);

// One attempt as OpenHttpRequest makes it with bQuiet set, for a request made ahead of its
// turn: shows nothing and never touches g_bStopSearch. Where OpenHttpRequest would have shown
// something (a file error, or the connect prompt while the machine is offline), wouldTellOut
// is set and the caller leaves the request to OpenHttpRequest in its turn.
int OpenHttpRequestUntold(const char* url, CInternetSession& session,
                          CHttpConnection*& connectionOut, CHttpFile*& requestOut,
                          bool& wouldTellOut);
