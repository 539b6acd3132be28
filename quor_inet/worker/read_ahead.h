#pragma once
// The crawl's requests made ahead of the walk: while the worker works through one page, the
// next entries of the crawl list and the tag reads of the files it found are under way on a few
// connections, so that their waits overlap. What the walk shows does not change: it still takes
// every page and file in its own turn and order, and whatever would show a message (a failed
// start page, the connect prompt) is left to that turn.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "afx/cstring.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/state/web_rules.h"
#include "quor_inet/transfer/page_fetch.h"
#include "quor_inet/worker/ahead_pool.h"

struct CrawlEntry;

// Requests held ahead at most (queued, under way or done and not yet taken): each holds at
// most one page's text.
inline constexpr size_t kHeldAhead = 32;
// Of which pages at most, so that the tag reads of the page in hand find room.
inline constexpr size_t kPagesAhead = 8;

class ReadAhead : public AudioInfoSource {
  public:
    // connections: requests under way at once, the worker's own included (at least 2).
    ReadAhead(unsigned connections, const CrawlEntry* head, WebRules rules);
    // Drops what was not started; waits for what is under way (a raised stop flag ends it
    // within a moment).
    ~ReadAhead() override;

    // The walk is at entry number index (1 for the head): queues the entries after it.
    void Reached(const CrawlEntry& entry, uint32_t index);
    // The page of entry, as FetchPage(entry.strUrl, ..., bQuiet 1) gives it, read ahead where it
    // was.
    int FetchPage(const CrawlEntry& entry, CString* textOut, PageAnswer* answerOut);
    // The files the page in hand will add, in order: their reads are queued ahead.
    void WillRead(std::vector<std::pair<CString, bool>> files);

    uint32_t Read(const CString& url, CString& title, CString& artist,
                  uint32_t* secondsOut) override;

  private:
    struct Page {
        int fetched = 0;
        CString text;
        PageAnswer answer;
        bool ownTurn = false;  // to be fetched again in the walk's turn
    };
    struct Tag {
        uint32_t size = 0;
        CString title;
        CString artist;
        uint32_t seconds = 0;
        bool wantTags = false;
        bool ownTurn = false;
    };

    void TopUp();
    // Takes key's result, passing the search's Stop on to what runs meanwhile.
    bool Take(const std::string& key);
    bool QueuePage(const CrawlEntry& entry, uint32_t index);

    // What ends the requests under way: raised once a wait sees the search's Stop, and when
    // the walk ends, however it ends.
    std::atomic<int32_t> m_stop{0};
    const WebRules m_rules;
    // Results (and the flag) first: the pool is destroyed before them, so no work outlives
    // what it uses.
    std::unordered_map<std::string, std::shared_ptr<Page>> m_pages;
    std::unordered_map<std::string, std::shared_ptr<Tag>> m_tags;
    size_t m_pagesHeld = 0;
    const CrawlEntry* m_lastQueued = nullptr;  // the last entry whose page was queued
    uint32_t m_lastQueuedIndex = 0;
    uint32_t m_current = 0;  // the walk's entry number
    std::vector<std::pair<CString, bool>> m_files;  // of the page in hand: url, tag wanted
    size_t m_filesQueued = 0;
    AheadPool m_pool;
};
