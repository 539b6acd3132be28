#include "quor_inet/transfer/page_fetch.h"

#include <memory>

#include "afx/inet/internet_call.h"
#include "afx/inet/internet_session.h"
#include "quor_inet/state/time_limits.h"
#include "quor_inet/transfer/http_request.h"

namespace {

bool StopRequested(const std::atomic<int32_t>* stopFlag) {
    return stopFlag != nullptr && stopFlag->load() != 0;
}

// The page fetch itself; open sends the request on the session, as one of the two openers.
template <typename Open>
int ReadPage(const CString& url, CString* pageTextOut, const std::atomic<int32_t>* stopFlag,
             PageAnswer* answerOut, WebRules rules, Open open) {
    PageAnswer unused;
    PageAnswer& answer = answerOut != nullptr ? *answerOut : unused;
    answer = PageAnswer{};
    // A stalled or trickling server is given up on, and a Stop is seen within a moment, also
    // while a read waits.
    InternetCall call({.stopFlag = stopFlag, .totalMs = kPageFetchLimitMs});
    if (call.Session() == nullptr) {
        return 0;
    }
    // Pages only: a download or a tag read takes the bytes as the server has them.
    if (rules == WebRules::kCurrent) {
        call.Session()->SetOption(INTERNET_OPTION_HTTP_DECODING, 1);
    }
    CHttpConnection* connection = nullptr;
    CHttpFile* request = nullptr;
    CString finalUrl;
    if (!open(url, *call.Session(), connection, request, finalUrl)) {
        // Stopped while it was being sent: as stopped before the first read.
        if (StopRequested(stopFlag)) {
            pageTextOut->Empty();
        }
        return 0;
    }
    call.Adopt(connection, request);
    request->QueryInfoStatusCode(answer.status);
    answer.finalUrl = finalUrl;

    request->SetReadBufferSize(kPageChunkSize);
    auto buffer = std::make_unique_for_overwrite<char[]>(kPageBufferSize);
    uint32_t filled = 0;
    while (!StopRequested(stopFlag)) {
        const uint32_t room = kPageMaxBytes - filled;
        if (room == 0) {
            break;
        }
        const uint32_t ask = room >= kPageChunkSize ? kPageChunkSize : room;
        unsigned got = 0;
        try {
            got = request->Read(buffer.get() + filled, ask);
        } catch (CInternetException* e) {
            // The response broke off: what came so far is the page.
            answer.brokenOff = true;
            e->Delete();
            break;
        }
        if (got > ask) {
            got = ask;
        }
        filled += got;
        if (got == 0) {
            break;
        }
    }
    buffer[filled] = '\0';
    answer.bytes = filled;
    *pageTextOut = buffer.get();
    return StopRequested(stopFlag) ? 0 : 1;
}

}  // namespace

int FetchPage(CString url, CString* pageTextOut, const std::atomic<int32_t>* stopFlag, int bQuiet,
              PageAnswer* answerOut, WebRules rules) {
    return ReadPage(
        url, pageTextOut, stopFlag, answerOut, rules,
        [bQuiet, rules](const CString& address, CInternetSession& session,
                        CHttpConnection*& connection, CHttpFile*& request, CString& finalUrl) {
            return OpenFollowingRedirects(address, session, connection, request, bQuiet, rules,
                                          finalUrl);
        });
}

int FetchPageUntold(const CString& url, CString* pageTextOut, const std::atomic<int32_t>* stopFlag,
                    PageAnswer* answerOut, bool& wouldTellOut, WebRules rules) {
    wouldTellOut = false;
    return ReadPage(url, pageTextOut, stopFlag, answerOut, rules,
                    [&wouldTellOut, rules](const CString& address, CInternetSession& session,
                                           CHttpConnection*& connection, CHttpFile*& request,
                                           CString& finalUrl) {
                        return OpenFollowingRedirectsUntold(address, session, connection, request,
                                                            wouldTellOut, rules, finalUrl);
                    });
}
