#pragma once
// The search itself: a walk of the web breadth first from the start address, on a thread of its
// own, to the depth g_nMaxLevel and, unless g_bAnyServer, on the start server only. Pages are
// scanned for references and playlists read for entries; pages and playlists within the depth
// are queued, every other file reference goes to the found-files list. Progress goes to
// g_pSearchView; g_bStopSearch ends the walk early.
//
// On the current web (g_nCurrentWeb) redirections are followed: a page's links are resolved
// against the address it was read from, and a page that two entries reach is read once. The
// depth and the same-server rule still judge each reference by the address it names. Pages and
// playlists that a server's robots.txt keeps out are not queued (the start address excepted:
// the user asked for it).

#include <cstdint>

#include "afx/cstring.h"
#include "quor_inet/transfer/page_fetch.h"

// One address to visit. The crawl list is a queue: appended at the tail, walked from the head.
struct CrawlEntry {
    CrawlEntry* pNext = nullptr;
    CString strUrl;
    int32_t nLevel = 0;     // 0 for the start address, one more than the page it was found on
    int32_t bPlaylist = 0;  // 1: read with the playlist reader; 0: scanned as a page
    // 1 once its page has been read (or is being read): by its own visit, or, on the current
    // web, by another entry whose address was redirected to this one's.
    int32_t bVisited = 0;
};

// Head of the crawl list: null while no search runs. Touched by the worker thread only.
extern CrawlEntry* g_pCrawlList;

// The most entries the crawl list holds: a site of endless new links would otherwise take all
// memory.
inline constexpr uint32_t kMaxCrawlEntries = 100000;

// Queues url at level unless level is above g_nMaxLevel. An entry for the same address (whole
// text, any letter case) is not added again; its level is lowered to level when that is lower.
// A new address past kMaxCrawlEntries is passed over (the view is told the first time).
void AddCrawlEntry(const char* url, int32_t level, int32_t bPlaylist);

// How many entries the crawl list holds.
uint32_t CrawlEntryCount();

// Destroys every entry; the list is empty afterwards. The worker does it at its end.
void FreeCrawlList();

// What the server answered for the start page of the latest search (nothing: no answer). Read
// once the worker has ended.
PageAnswer StartPageAnswer();

// The worker's thread procedure. startUrl points to the characters of the normalized start
// address, unchanged until the worker ends. Ends by emptying the status line (unless stopped),
// freeing the crawl list, clearing g_pSearchThread and restoring the view, however the walk
// ended (a failed allocation included: the search then ends where it was). Returns 1.
unsigned CrawlThreadProc(void* startUrl);
