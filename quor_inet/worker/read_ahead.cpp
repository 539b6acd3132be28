#include "quor_inet/worker/read_ahead.h"

#include "afx/exceptions.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/tags/audio_network_reader.h"
#include "quor_inet/worker/crawl_worker.h"

namespace {

// Keys: one page or file per address, the two apart.
std::string PageKey(const CString& url) {
    return "P" + std::string(url, static_cast<size_t>(url.GetLength()));
}
std::string TagKey(const CString& url) {
    return "T" + std::string(url, static_cast<size_t>(url.GetLength()));
}

// Started in the walk's order: an entry's page before the files of the entry after it, the
// files of a page in the order it lists them.
uint64_t PageOrder(uint32_t index) {
    return uint64_t{index} << 32;
}
uint64_t TagOrder(uint32_t index, size_t file) {
    return (uint64_t{index} << 32) | (file + 1);
}

}  // namespace

ReadAhead::ReadAhead(unsigned connections, const CrawlEntry* head, WebRules rules)
    : m_rules(rules),
      m_lastQueued(head),  // the start page is the walk's own: it may show a message
      m_lastQueuedIndex(1),
      m_pool(connections > 1 ? connections - 1 : 1) {
    SetAudioInfoSource(this);
}

ReadAhead::~ReadAhead() {
    SetAudioInfoSource(nullptr);
    m_stop = 1;
}

bool ReadAhead::Take(const std::string& key) {
    return m_pool.Take(key, [this] {
        if (g_bStopSearch.load() != 0) {
            m_stop = 1;
        }
    });
}

void ReadAhead::Reached(const CrawlEntry& entry, uint32_t index) {
    m_current = index;
    m_files.clear();
    m_filesQueued = 0;
    if (m_lastQueuedIndex < index) {
        // Passed before it could be queued: the walk fetches it itself.
        m_lastQueued = &entry;
        m_lastQueuedIndex = index;
    }
    TopUp();
}

void ReadAhead::WillRead(std::vector<std::pair<CString, bool>> files) {
    m_files = std::move(files);
    m_filesQueued = 0;
    TopUp();
}

void ReadAhead::TopUp() {
    while (m_filesQueued < m_files.size() && m_pool.Held() < kHeldAhead) {
        const auto& [url, wantTags] = m_files[m_filesQueued];
        const std::string key = TagKey(url);
        if (m_tags.count(key) == 0) {
            auto tag = std::make_shared<Tag>();
            tag->wantTags = wantTags;
            m_tags.emplace(key, tag);
            const bool queued =
                m_pool.Queue(TagOrder(m_current, m_filesQueued), key, [this, tag, url = url] {
                    try {
                        tag->size = ReadAudioFileInfo(url, tag->title, tag->artist,
                                                      tag->wantTags ? &tag->seconds : nullptr,
                                                      &m_stop, m_rules);
                    } catch (CException* e) {
                        e->Delete();
                        tag->ownTurn = true;
                    }
                });
            if (!queued) {
                m_tags.erase(key);
            }
        }
        ++m_filesQueued;
    }
    while (m_pool.Held() < kHeldAhead && m_pagesHeld < kPagesAhead && m_lastQueued != nullptr &&
           m_lastQueued->pNext != nullptr) {
        const CrawlEntry* next = m_lastQueued->pNext;
        QueuePage(*next, m_lastQueuedIndex + 1);
        m_lastQueued = next;
        ++m_lastQueuedIndex;
    }
}

bool ReadAhead::QueuePage(const CrawlEntry& entry, uint32_t index) {
    const std::string key = PageKey(entry.strUrl);
    // An entry read through a redirection of another is not read again.
    if (entry.bVisited || m_pages.count(key) != 0) {
        return false;
    }
    auto page = std::make_shared<Page>();
    m_pages.emplace(key, page);
    const bool queued = m_pool.Queue(PageOrder(index), key, [this, page, url = entry.strUrl] {
        try {
            bool wouldTell = false;
            page->fetched =
                FetchPageUntold(url, &page->text, &m_stop, &page->answer, wouldTell, m_rules);
            page->ownTurn = wouldTell;
        } catch (CException* e) {
            e->Delete();
            page->ownTurn = true;
        }
    });
    if (!queued) {
        m_pages.erase(key);
        return false;
    }
    ++m_pagesHeld;
    return true;
}

int ReadAhead::FetchPage(const CrawlEntry& entry, CString* textOut, PageAnswer* answerOut) {
    const std::string key = PageKey(entry.strUrl);
    if (auto found = m_pages.find(key); found != m_pages.end()) {
        const std::shared_ptr<Page> page = found->second;
        m_pages.erase(found);
        --m_pagesHeld;
        if (Take(key) && !page->ownTurn) {
            *textOut = std::move(page->text);
            *answerOut = page->answer;
            return page->fetched;
        }
    }
    return ::FetchPage(entry.strUrl, textOut, &g_bStopSearch, 1, answerOut, m_rules);
}

uint32_t ReadAhead::Read(const CString& url, CString& title, CString& artist,
                         uint32_t* secondsOut) {
    TopUp();
    const std::string key = TagKey(url);
    if (auto found = m_tags.find(key); found != m_tags.end()) {
        const std::shared_ptr<Tag> tag = found->second;
        m_tags.erase(found);
        if (Take(key) && !tag->ownTurn && tag->wantTags == (secondsOut != nullptr)) {
            title = std::move(tag->title);
            artist = std::move(tag->artist);
            if (secondsOut != nullptr) {
                *secondsOut = tag->seconds;
            }
            return tag->size;
        }
    }
    return ReadAudioFileInfo(url, title, artist, secondsOut, &g_bStopSearch, m_rules);
}
