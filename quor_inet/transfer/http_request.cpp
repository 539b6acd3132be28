#include "quor_inet/transfer/http_request.h"

#include <string>

#include "afx/cstring.h"
#include "afx/exceptions.h"
#include "afx/inet/internet_session.h"
#include "afx/message_box.h"
#include "afx/parse_url.h"
#include "quor_inet/crawler/url_resolution.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/resources/string_lookup.h"
#include "quor_inet/resources/resource.h"

namespace {

struct Target {
    CString server;
    CString object;
    uint16_t port = 0;
    bool secure = false;
};

// kUntold: failed with a file error that the caller asked not to be shown.
enum class AttemptEnd { kSent, kFailed, kStopped, kUntold };

// One connection, one request, one send. kSent when sent; otherwise both outs are null again
// and errorText holds the Internet error's description, if there was one. kStopped: the
// session's stop flag ended the send, which is no failure to tell anybody about.
AttemptEnd Attempt(const Target& target, CInternetSession& session, CHttpConnection*& connectionOut,
                   CHttpFile*& requestOut, char (&errorText)[kRequestErrorTextSize],
                   bool tellFileErrors = true) {
    errorText[0] = '\0';
    // Whatever leaves this attempt but a sent request (a failed allocation among it) takes the
    // attempt's objects with it.
    struct Unsent {
        CHttpConnection*& connection;
        CHttpFile*& request;
        bool sent = false;
        ~Unsent() {
            if (!sent) {
                Drop();
            }
        }
        void Drop() {
            delete request;
            request = nullptr;
            if (connection != nullptr) {
                connection->Close();
                delete connection;
                connection = nullptr;
            }
        }
    } unsent{connectionOut, requestOut};
    connectionOut = session.GetHttpConnection(target.server, target.port, nullptr, nullptr);
    if (connectionOut == nullptr) {
        return AttemptEnd::kFailed;
    }
    requestOut = connectionOut->OpenRequest(
        CHttpConnection::HTTP_VERB_GET, target.object, nullptr, 1, nullptr, nullptr,
        target.secure ? kHttpRequestFlags | INTERNET_FLAG_SECURE : kHttpRequestFlags);
    if (requestOut == nullptr) {
        return AttemptEnd::kFailed;
    }
    try {
        if (requestOut->SendRequest(nullptr, 0, nullptr, 0)) {
            unsent.sent = true;
            return AttemptEnd::kSent;
        }
        unsent.Drop();  // not sent, nothing raised: a failure without a description
    } catch (CInternetException* e) {
        unsent.Drop();
        const bool stopped = e->m_dwError == ERROR_INTERNET_OPERATION_CANCELLED;
        e->GetErrorMessage(errorText, kRequestErrorTextSize);
        e->Delete();
        if (stopped) {
            return AttemptEnd::kStopped;
        }
    } catch (CFileException* e) {
        if (tellFileErrors) {
            e->ReportError(MB_OK);
        }
        unsent.Drop();
        e->Delete();
        if (!tellFileErrors) {
            return AttemptEnd::kUntold;
        }
    }
    return AttemptEnd::kFailed;
}

}  // namespace

namespace {

bool SplitHttpUrl(const char* url, WebRules rules, Target& target) {
    uint32_t service = 0;
    if (url == nullptr || !AfxParseURL(url, service, target.server, target.object, target.port)) {
        return false;
    }
    target.secure = service == AFX_INET_SERVICE_HTTPS;
    return service == AFX_INET_SERVICE_HTTP || (target.secure && rules == WebRules::kCurrent);
}

bool IsRedirect(uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void CloseBoth(CHttpConnection*& connection, CHttpFile*& request) {
    request->Close();
    delete request;
    request = nullptr;
    connection->Close();
    delete connection;
    connection = nullptr;
}

// Where the redirection of a sent request leads; false when the response is the answer.
bool RedirectionOf(CHttpFile& request, CString& locationOut) {
    uint32_t status = 0;
    return request.QueryInfoStatusCode(status) && IsRedirect(status) &&
           request.QueryInfo(HTTP_QUERY_LOCATION, locationOut) && !locationOut.IsEmpty();
}

// The chain written once for both openers: open sends one hop, failed tells of a chain that
// cannot go on.
template <typename Open, typename Failed>
int FollowRedirects(const CString& url, WebRules rules, CHttpConnection*& connectionOut,
                    CHttpFile*& requestOut, CString& finalUrlOut, Open open, Failed failed) {
    CString current = url;
    for (int hop = 0;; ++hop) {
        if (!open(static_cast<const char*>(current))) {
            return 0;
        }
        std::string next;
        Target target;
        bool followable = false;
        // Until the caller has the request, a failed allocation must not take it along.
        try {
            CString location;
            if (rules != WebRules::kCurrent || !RedirectionOf(*requestOut, location)) {
                finalUrlOut = current;
                return 1;
            }
            followable =
                url_text::ResolveCurrent(url_text::View(current), url_text::View(location), next) &&
                SplitHttpUrl(next.c_str(), WebRules::kCurrent, target);
        } catch (...) {
            CloseBoth(connectionOut, requestOut);
            throw;
        }
        CloseBoth(connectionOut, requestOut);
        if (!followable || hop == kMaxRedirects) {
            failed();
            return 0;
        }
        current = next.c_str();
    }
}

}  // namespace

int OpenHttpRequest(const char* url, CInternetSession& session, CHttpConnection*& connectionOut,
                    CHttpFile*& requestOut, int bQuiet, WebRules rules) {
    connectionOut = nullptr;
    requestOut = nullptr;

    Target target;
    if (!SplitHttpUrl(url, rules, target)) {
        return 0;
    }

    char errorText[kRequestErrorTextSize];
    for (;;) {
        const AttemptEnd end = Attempt(target, session, connectionOut, requestOut, errorText);
        if (end == AttemptEnd::kSent) {
            return 1;
        }
        if (end == AttemptEnd::kStopped) {
            return 0;
        }
        if (AfxInternetGetConnectedState()) {
            if (bQuiet) {
                return 0;
            }
            if (errorText[0] != '\0') {
                AfxMessageBox(errorText, MB_OK | MB_ICONINFORMATION);
            }
            g_bStopSearch = 1;
            return 0;
        }
        // The lookup buffer is shared with other threads: take the text over at once.
        const char* promptText = LoadResString(IDS_CONNECT_PROMPT);
        CString prompt(promptText != nullptr ? promptText : "");
        if (errorText[0] != '\0') {
            CString joined;
            joined.Format("%s\n%s", errorText, static_cast<const char*>(prompt));
            prompt = joined;
        }
        if (AfxMessageBox(prompt, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
            g_bStopSearch = 1;
            return 0;
        }
    }
}

int OpenHttpRequestUntold(const char* url, CInternetSession& session,
                          CHttpConnection*& connectionOut, CHttpFile*& requestOut,
                          bool& wouldTellOut, WebRules rules) {
    connectionOut = nullptr;
    requestOut = nullptr;
    wouldTellOut = false;
    Target target;
    if (!SplitHttpUrl(url, rules, target)) {
        return 0;
    }
    char errorText[kRequestErrorTextSize];
    switch (Attempt(target, session, connectionOut, requestOut, errorText, false)) {
        case AttemptEnd::kSent:
            return 1;
        case AttemptEnd::kStopped:
            return 0;
        case AttemptEnd::kUntold:
            wouldTellOut = true;
            return 0;
        case AttemptEnd::kFailed:
            break;
    }
    // Offline, the quiet opener would ask to connect.
    wouldTellOut = !AfxInternetGetConnectedState();
    return 0;
}

int OpenFollowingRedirects(const CString& url, CInternetSession& session,
                           CHttpConnection*& connectionOut, CHttpFile*& requestOut, int bQuiet,
                           WebRules rules, CString& finalUrlOut) {
    return FollowRedirects(
        url, rules, connectionOut, requestOut, finalUrlOut,
        [&](const char* address) {
            return OpenHttpRequest(address, session, connectionOut, requestOut, bQuiet, rules);
        },
        [bQuiet] {
            if (bQuiet) {
                return;
            }
            char text[kRequestErrorTextSize] = {};
            CInternetException(ERROR_HTTP_REDIRECT_FAILED).GetErrorMessage(text, sizeof text);
            AfxMessageBox(text, MB_OK | MB_ICONINFORMATION);
            g_bStopSearch = 1;
        });
}

int OpenFollowingRedirectsUntold(const CString& url, CInternetSession& session,
                                 CHttpConnection*& connectionOut, CHttpFile*& requestOut,
                                 bool& wouldTellOut, WebRules rules, CString& finalUrlOut) {
    wouldTellOut = false;
    return FollowRedirects(
        url, rules, connectionOut, requestOut, finalUrlOut,
        [&](const char* address) {
            return OpenHttpRequestUntold(address, session, connectionOut, requestOut, wouldTellOut,
                                         rules);
        },
        [] {});
}
