#pragma once
// What the crawl worker and the found-files list show of a running search, as one small
// interface: the Win32 search dialog implements it with its controls (every update reaches the
// dialog's thread as a window message), tests record it, and the command-line tool writes it
// to the terminal. Every call comes from the worker thread, one at a time.

#include <cstdint>

struct FoundFileEntry;

// The two lists of a search that are held to a limit.
enum class SearchList { kCrawl, kFound };

class SearchView {
  public:
    virtual ~SearchView() = default;

    // The status line.
    virtual void SetStatusText(const char* text) = 0;
    // The progress bar's range, 0 to maximum (the low 16 bits of the count, as the bar takes it).
    virtual void SetProgressRange(uint16_t maximum) = 0;
    virtual void SetProgressPos(uint32_t position) = 0;
    // Appends a line to the list of found files; the line carries its entry.
    virtual void AddFoundLine(const char* line, FoundFileEntry* entry) = 0;
    // The search has ended: the Search button is enabled again and labelled searchLabel (the
    // worker's own copy of the text), then OK and Cancel are enabled.
    virtual void EndSearch(const char* searchLabel) = 0;
    // A list has reached its limit: further references are passed over and the search goes
    // on. Told once per list until the list is emptied. The dialog shows nothing for it.
    virtual void ListLimitReached(SearchList /*list*/, uint32_t /*limit*/) {}
};
