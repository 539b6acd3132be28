#include "quor_inet/worker/crawl_worker.h"

#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "afx/ascii.h"
#include "afx/exceptions.h"
#include "afx/inet/backend.h"
#include "afx/parse_url.h"
#include "afx/string_list.h"
#include "quor_inet/crawler/address_list.h"
#include "quor_inet/crawler/playlist_reader.h"
#include "quor_inet/crawler/reference_scanner.h"
#include "quor_inet/crawler/url_resolution.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/resources/resource.h"
#include "quor_inet/resources/string_lookup.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/state/search_view.h"
#include "quor_inet/transfer/page_fetch.h"
#include "quor_inet/worker/read_ahead.h"
#include "quor_inet/worker/robots_cache.h"

CrawlEntry* g_pCrawlList = nullptr;

namespace {

// Every queued address by its case-blind text, so a duplicate is found without a walk.
AddressList<CrawlEntry> g_crawlList(g_pCrawlList, kMaxCrawlEntries);
PageAnswer g_startPageAnswer;

bool StopRequested() {
    return g_bStopSearch.load() != 0;
}

// A reference is followed when it is an address with a server name on an allowed server; the
// server names alone are compared, not the scheme or the port.
bool PassesReferenceTest(const CString& reference, const CString& startServer) {
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    if (!AfxParseURL(reference, service, server, object, port) || server.IsEmpty()) {
        return false;
    }
    return g_bAnyServer.load() != 0 || server.CompareNoCase(startServer) == 0;
}

bool IsPlaylistAddress(const CString& reference) {
    return HasExtension(std::string_view(reference, static_cast<size_t>(reference.GetLength())),
                        ".m3u");
}

class ViewCalls {
  public:
    ViewCalls() : m_view(g_pSearchView.load()) {}
    void Status(const char* text) const {
        if (m_view != nullptr) {
            m_view->SetStatusText(text);
        }
    }
    void Range(uint32_t total) const {
        if (m_view != nullptr) {
            m_view->SetProgressRange(static_cast<uint16_t>(total));
        }
    }
    void Pos(uint32_t position) const {
        if (m_view != nullptr) {
            m_view->SetProgressPos(position);
        }
    }
    void End(const char* label) const {
        if (m_view != nullptr) {
            m_view->EndSearch(label);
        }
    }

  private:
    SearchView* m_view;
};

// What one search's walk goes by.
struct WalkRules {
    WebRules web = WebRules::kClassic;
    CString startServer;
    RobotsCache* robots = nullptr;  // current web only
};

// Whether a page or playlist at level may be queued as far as robots.txt goes. Only what
// would be queued costs its server a robots.txt request.
bool RobotsAllow(const CString& reference, int32_t level, const WalkRules& walk) {
    return walk.robots == nullptr || level > g_nMaxLevel.load() || walk.robots->Allows(reference);
}

// A page read from another address than its entry's: the entry of that address is reached
// through this one. False when that page has been read already.
bool ClaimFinalAddress(CrawlEntry& entry, const CString& finalUrl) {
    CaseBlindKey key(std::string_view(finalUrl, static_cast<size_t>(finalUrl.GetLength())));
    CrawlEntry* listed = g_crawlList.Find(key);
    if (listed == nullptr) {
        g_crawlList.AddAlias(std::move(key), &entry);
        return true;
    }
    if (listed == &entry) {
        return true;
    }
    if (listed->bVisited) {
        return false;
    }
    listed->bVisited = 1;
    return true;
}

// One entry: fetch, scan or read, and hand on what passes.
void VisitEntry(CrawlEntry& entry, bool first, uint32_t pageIndex, uint32_t& total,
                const WalkRules& walk, CStringList& pageRefs, CStringList& fileRefs,
                const ViewCalls& view, ReadAhead* ahead) {
    entry.bVisited = 1;
    const CString& startServer = walk.startServer;
    CString status;
    status.Format("Analysing page %u from %u at level %u\n%s", pageIndex, total,
                  static_cast<unsigned>(entry.nLevel), static_cast<const char*>(entry.strUrl));
    view.Status(status);

    CString text;
    PageAnswer answer;
    const int fetched = first || ahead == nullptr
                            ? FetchPage(entry.strUrl, &text, &g_bStopSearch, first ? 0 : 1, &answer,
                                        walk.web)
                            : ahead->FetchPage(entry, &text, &answer);
    if (first) {
        g_startPageAnswer = answer;
    }
    if (!fetched) {
        return;
    }
    pageRefs.RemoveAll();
    fileRefs.RemoveAll();
    if (StopRequested()) {
        return;
    }
    const bool redirected = walk.web == WebRules::kCurrent && !answer.finalUrl.IsEmpty() &&
                            answer.finalUrl != entry.strUrl;
    if (redirected && !ClaimFinalAddress(entry, answer.finalUrl)) {
        view.Pos(pageIndex);
        return;
    }
    const CString base = PageBaseAddress(redirected ? answer.finalUrl : entry.strUrl, walk.web);
    if (entry.bPlaylist) {
        ReadPlaylist(text, base, fileRefs, walk.web);
    } else {
        ScanPageReferences(text, base, pageRefs, fileRefs, walk.web);
    }

    if (ahead != nullptr) {
        // The files this page will add, foreseen so that their reads can start at once.
        FoundFilePlan plan;
        std::vector<std::pair<CString, bool>> files;
        for (POSITION pos = fileRefs.GetHeadPosition(); pos != nullptr;) {
            const CString& reference = fileRefs.GetNext(pos);
            bool wantTags = false;
            if (PassesReferenceTest(reference, startServer) && !IsPlaylistAddress(reference) &&
                WillAddFoundFile(reference, plan, wantTags)) {
                files.emplace_back(reference, wantTags);
            }
        }
        ahead->WillRead(std::move(files));
    }
    for (POSITION pos = fileRefs.GetHeadPosition(); pos != nullptr && !StopRequested();) {
        const CString& reference = fileRefs.GetNext(pos);
        if (!PassesReferenceTest(reference, startServer)) {
            continue;
        }
        if (IsPlaylistAddress(reference)) {
            if (RobotsAllow(reference, entry.nLevel + 1, walk)) {
                AddCrawlEntry(reference, entry.nLevel + 1, 1);
            }
        } else {
            AddFoundFile(reference);
        }
    }
    for (POSITION pos = pageRefs.GetHeadPosition(); pos != nullptr && !StopRequested();) {
        const CString& reference = pageRefs.GetNext(pos);
        if (!PassesReferenceTest(reference, startServer)) {
            continue;
        }
        if (!RobotsAllow(reference, entry.nLevel + 1, walk)) {
            continue;
        }
        AddCrawlEntry(reference, entry.nLevel + 1, 0);
        total = CrawlEntryCount();
        view.Range(total);
    }
    view.Pos(pageIndex);
}

}  // namespace

void AddCrawlEntry(const char* url, int32_t level, int32_t bPlaylist) {
    if (url == nullptr || level > g_nMaxLevel.load()) {
        return;
    }
    CaseBlindKey key(url);
    if (CrawlEntry* listed = g_crawlList.Find(key); listed != nullptr) {
        if (listed->nLevel > level) {
            listed->nLevel = level;
        }
        return;
    }
    if (g_crawlList.IsFull()) {
        if (g_crawlList.FirstTimeFull()) {
            if (SearchView* view = g_pSearchView.load(); view != nullptr) {
                view->ListLimitReached(SearchList::kCrawl, kMaxCrawlEntries);
            }
        }
        return;
    }
    auto entry = std::make_unique<CrawlEntry>();
    entry->strUrl = url;
    entry->nLevel = level;
    entry->bPlaylist = bPlaylist;
    g_crawlList.Append(std::move(entry), std::move(key));
}

uint32_t CrawlEntryCount() {
    return g_crawlList.Count();
}

void FreeCrawlList() {
    g_crawlList.Clear();
}

namespace {

// The walk from the start address through the crawl list; may end early by an exception.
void Walk(const char* start, const ViewCalls& view) {
    AddCrawlEntry(start, 0, 0);

    uint32_t service = 0;
    WalkRules walk;
    walk.web = SearchWebRules();
    CString object;
    uint16_t port = 0;
    if (start == nullptr || !AfxParseURL(start, service, walk.startServer, object, port)) {
        return;
    }
    std::unique_ptr<RobotsCache> robots;
    if (walk.web == WebRules::kCurrent) {
        robots = std::make_unique<RobotsCache>(afx::inet::DefaultAgentName());
        walk.robots = robots.get();
    }
    CStringList pageRefs;
    CStringList fileRefs;
    uint32_t total = 1;
    uint32_t pageIndex = 1;
    const int32_t connections = g_nSearchConnections.load();
    std::unique_ptr<ReadAhead> ahead;
    if (connections > 1) {
        ahead = std::make_unique<ReadAhead>(static_cast<unsigned>(connections), g_pCrawlList,
                                            walk.web);
    }
    // Entries appended during the walk are reached in turn.
    for (CrawlEntry* entry = g_pCrawlList; entry != nullptr; entry = entry->pNext, ++pageIndex) {
        if (StopRequested()) {
            break;
        }
        if (ahead != nullptr) {
            ahead->Reached(*entry, pageIndex);
        }
        // Read already, through a redirection from an entry before it.
        if (entry->bVisited) {
            continue;
        }
        VisitEntry(*entry, entry == g_pCrawlList, pageIndex, total, walk, pageRefs, fileRefs, view,
                   ahead.get());
    }
}

}  // namespace

PageAnswer StartPageAnswer() {
    return g_startPageAnswer;
}

unsigned CrawlThreadProc(void* startUrl) {
    const ViewCalls view;
    g_startPageAnswer = PageAnswer{};
    // However the walk ends, the end steps follow: a dialog whose worker vanished without them
    // would stay searching, and could never be closed.
    try {
        Walk(static_cast<const char*>(startUrl), view);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }

    if (!StopRequested()) {
        view.Status("");
    }
    FreeCrawlList();
    // The label is copied before the marker is cleared: the lookup's buffer is shared with the
    // dialog's thread, which may look up texts again as soon as the search has ended. A fixed
    // buffer, so that the copy cannot fail.
    char searchLabel[kLookupBufferSize] = {};
    if (const char* label = LoadResString(IDS_SEARCH); label != nullptr) {
        afx::CopyBounded(searchLabel, sizeof searchLabel, label);
    }
    g_pSearchThread = nullptr;
    view.End(searchLabel);
    return 1;
}
