#pragma once
// One search as the dialog starts it (the worker on a thread of its own, joined at its end),
// shown in a view that only counts: what the crawl benchmarks time natively and under Wine.

#include <cstdint>

#include "afx/thread.h"
#include "quor_inet/worker/crawl_worker.h"
#include "quor_inet/worker/worker_start.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/state/search_view.h"

namespace quor::bench {

class CountingView : public SearchView {
  public:
    // Every entry the worker takes up gets a status line; the last one, empty, ends the search.
    void SetStatusText(const char* text) override {
        if (text != nullptr && text[0] != '\0') {
            ++pages;
        }
    }
    void SetProgressRange(uint16_t) override {}
    void SetProgressPos(uint32_t) override {}
    void AddFoundLine(const char*, FoundFileEntry*) override { ++audioFiles; }
    void EndSearch(const char*) override { ended = true; }

    uint32_t pages = 0;       // entries visited: pages and playlists
    uint32_t audioFiles = 0;  // lines listed
    bool ended = false;
};

// Searches from url to depth with tag reading off and every server allowed, into an empty
// found-files list. False when the worker did not start or the search stopped before its end.
inline bool RunCountingSearch(const char* url, int32_t depth, CountingView& view) {
    FreeFoundFiles();
    g_nMaxLevel = depth;
    g_bAnyServer = 1;
    g_bReadID3 = 0;
    g_bStopSearch = 0;
    g_pSearchView = &view;
    g_strSearchUrl() = url;
    CWinThread* worker = StartCrawlWorker(CrawlThreadProc, g_strSearchUrl());
    bool ok = false;
    if (worker != nullptr) {
        worker->Join();
        ok = worker->GetExitCode() == 1 && view.ended && g_bStopSearch.load() == 0;
        delete worker;
    }
    g_pSearchView = nullptr;
    return ok;
}

}  // namespace quor::bench
