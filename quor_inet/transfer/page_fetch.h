#pragma once
// Reading one web page (or playlist) into text for the crawl worker.

#include <atomic>
#include <cstdint>

#include "afx/cstring.h"
#include "quor_inet/state/web_rules.h"

inline constexpr uint32_t kPageChunkSize = 16384;
inline constexpr uint32_t kPageMaxBytes = 131072;
inline constexpr uint32_t kPageBufferSize = 132096;

// Reads at most kPageMaxBytes of url's response in chunks of kPageChunkSize into
// *pageTextOut, which ends at the first zero byte of the data. stopFlag is read before every
// chunk (the first included), and a raised flag ends a connect, a wait or a read under way
// within about a second. bQuiet goes to OpenHttpRequest.
//
// Returns 1 when the page was read and the stop flag is 0 at the end. Returns 0 when the
// request cannot be opened (the text is then unchanged) or when the stop flag is set at the
// end (the text then holds what was read). A response that breaks off midway (reset, shorter
// than announced, bad chunks, silent for the receive time-out, or still coming after
// kPageFetchLimitMs) counts as ended there: the text holds what came.
// With answerOut, says what the server answered, for front ends that tell more than the worker.
//
// Under WebRules::kCurrent the request goes as OpenFollowingRedirects opens it (https,
// redirections followed) and asks for gzip; a compressed body is decoded as it is read, and
// kPageMaxBytes counts the decoded text. A chain that cannot be followed is a page that cannot
// be opened.
struct PageAnswer {
    uint32_t status = 0;     // the response's status; 0 when there was none
    uint32_t bytes = 0;      // the bytes read into the page
    bool brokenOff = false;  // a read failed before the end
    CString finalUrl;        // the address the text was read from; empty when none answered
};

int FetchPage(CString url, CString* pageTextOut, const std::atomic<int32_t>* stopFlag, int bQuiet,
              PageAnswer* answerOut = nullptr, WebRules rules = WebRules::kClassic);

// As FetchPage with bQuiet set, for a page fetched ahead of the worker's turn: shows nothing and
// never touches g_bStopSearch. When FetchPage would have shown something (see
// OpenHttpRequestUntold), returns 0 with wouldTellOut set: the page is then FetchPage's in its
// turn.
int FetchPageUntold(const CString& url, CString* pageTextOut, const std::atomic<int32_t>* stopFlag,
                    PageAnswer* answerOut, bool& wouldTellOut, WebRules rules = WebRules::kClassic);
