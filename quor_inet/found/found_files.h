#pragma once
// The found-files list: every audio file that the searches of one dialog accept, numbered from 0
// in the order found, from the first entry until the dialog has closed.

#include <cstdint>
#include <string>
#include <unordered_set>

#include "afx/cstring.h"

struct FoundFileEntry {
    FoundFileEntry* pNext = nullptr;
    CString strUrl;  // exactly as the worker found it
};

// Head of the list. Written only by the worker while a search runs, read only while none runs.
extern FoundFileEntry* g_pFoundFiles;

// The most entries the list holds: a list box of the oldest Windows holds 32,767 lines.
inline constexpr uint32_t kMaxFoundFiles = 32000;

// Takes url when it names an ".mp3", ".wav" or ".wma" file (the whole text after its last ".",
// any letter case) of an http, https, ftp or file address or of one that does not split, and
// is not listed yet (compared with '\' read as '/' and without regard to case). Appends it,
// reads its size (for MP3 files while g_bReadID3 is on also its tag and playing time) and adds
// its numbered line to g_pSearchView. Anything else is ignored without a trace, and so is a
// new file once the list holds kMaxFoundFiles (the view is told the first time).
void AddFoundFile(const char* url);

// Where the list learns a new file's size and tag: ReadAudioFileInfo, unless the crawl worker
// has them read ahead. Set by the worker thread only, while it runs.
class AudioInfoSource {
  public:
    virtual ~AudioInfoSource() = default;
    // As ReadAudioFileInfo(url, title, artist, secondsOut, &g_bStopSearch).
    virtual uint32_t Read(const CString& url, CString& title, CString& artist,
                          uint32_t* secondsOut) = 0;
};
void SetAudioInfoSource(AudioInfoSource* source);  // null: ReadAudioFileInfo

// The files that AddFoundFile will take, foreseen before it is called for them in turn.
struct FoundFilePlan {
    std::unordered_set<std::string> keys;  // of the foreseen files, as the list stores them
    uint32_t count = 0;
};
// Whether AddFoundFile(url) would take url (and read it) once the files in plan have been
// added; if so, url joins plan, and wantTagsOut says whether its tag would be read.
bool WillAddFoundFile(const char* url, FoundFilePlan& plan, bool& wantTagsOut);

// The name of a listed file: "title - artist", the one of them there is, or else the part of
// the URL after its last '/'.
CString FoundLineName(const CString& url, const CString& title, const CString& artist);
// Its line: "%u: %s" without a size, "%u: [%uKB] %s" without a playing time, else
// "%u: [%uKB - %02u:%02u] %s"; sizes in KiB rounded up, minutes not limited to two digits.
CString FoundLine(uint32_t number, uint32_t size, uint32_t seconds, const CString& name);

// Destroys every entry; the list is empty and the numbering starts again from 0.
void FreeFoundFiles();

// How many entries the list holds.
uint32_t FoundFileCount();

// The result text: the URL of entry appended to result, after a "*" when result is not empty.
void AppendResultUrl(CString& result, const FoundFileEntry& entry);
