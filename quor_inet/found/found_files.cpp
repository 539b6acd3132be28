#include "quor_inet/found/found_files.h"

#include <memory>
#include <string_view>

#include "afx/parse_url.h"
#include "quor_inet/crawler/address_list.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/state/search_view.h"
#include "quor_inet/tags/audio_network_reader.h"

FoundFileEntry* g_pFoundFiles = nullptr;

namespace {

// The stored URLs as the duplicate test compares them, so a candidate is found without a walk.
AddressList<FoundFileEntry> g_foundList(g_pFoundFiles, kMaxFoundFiles);

std::string_view TextOf(const CString& text) {
    return std::string_view(text, static_cast<size_t>(text.GetLength()));
}

enum class AudioKind { kNone, kMp3, kOther };

AudioKind KindByExtension(std::string_view url) {
    if (HasExtension(url, ".mp3")) {
        return AudioKind::kMp3;
    }
    if (HasExtension(url, ".wav") || HasExtension(url, ".wma")) {
        return AudioKind::kOther;
    }
    return AudioKind::kNone;
}

bool ServiceTaken(const char* url) {
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    if (!AfxParseURL(url, service, server, object, port)) {
        return true;
    }
    return service == AFX_INET_SERVICE_HTTP || service == AFX_INET_SERVICE_HTTPS ||
           service == AFX_INET_SERVICE_FTP || service == AFX_INET_SERVICE_FILE;
}

AudioInfoSource* g_pAudioInfoSource = nullptr;

// What stands between an address and its entry: the kind it names, and whether the list
// holds it already (compared with '\\' read as '/'; the copy whole, however long: two addresses
// that differ only far out are two files).
AudioKind Candidate(const char* url, const CString& text, bool& listedOut,
                    std::string* slashKeyOut = nullptr) {
    listedOut = false;
    const AudioKind kind = KindByExtension(TextOf(text));
    if (kind == AudioKind::kNone || !ServiceTaken(url)) {
        return AudioKind::kNone;
    }
    CString copy = text;
    copy.Replace('\\', '/');
    CaseBlindKey key(TextOf(copy));
    listedOut = g_foundList.Find(key) != nullptr;
    if (slashKeyOut != nullptr) {
        *slashKeyOut = key.Text();
    }
    return kind;
}

bool WantsTags(AudioKind kind) {
    return kind == AudioKind::kMp3 && g_bReadID3.load() != 0;
}

}  // namespace

void SetAudioInfoSource(AudioInfoSource* source) {
    g_pAudioInfoSource = source;
}

bool WillAddFoundFile(const char* url, FoundFilePlan& plan, bool& wantTagsOut) {
    if (url == nullptr) {
        return false;
    }
    const CString text(url);
    bool listed = false;
    std::string slashKey;
    const AudioKind kind = Candidate(url, text, listed, &slashKey);
    if (kind == AudioKind::kNone || listed || plan.keys.count(slashKey) != 0 ||
        g_foundList.Count() + plan.count >= kMaxFoundFiles) {
        return false;
    }
    // Stored as the list stores it: the text itself.
    plan.keys.insert(CaseBlindKey(TextOf(text)).Text());
    ++plan.count;
    wantTagsOut = WantsTags(kind);
    return true;
}

CString FoundLineName(const CString& url, const CString& title, const CString& artist) {
    if (!title.IsEmpty() && !artist.IsEmpty()) {
        CString name;
        name.Format("%s - %s", static_cast<const char*>(title), static_cast<const char*>(artist));
        return name;
    }
    if (!artist.IsEmpty()) {
        return artist;
    }
    if (!title.IsEmpty()) {
        return title;
    }
    const int slash = url.ReverseFind('/');
    return slash < 0 ? url : url.Mid(slash + 1);
}

CString FoundLine(uint32_t number, uint32_t size, uint32_t seconds, const CString& name) {
    // In 64 bits, so that sizes near 4 GiB do not wrap round to a few KiB.
    const auto kb = static_cast<unsigned>((uint64_t{size} + 1023) / 1024);
    CString line;
    if (size == 0) {
        line.Format("%u: %s", number, static_cast<const char*>(name));
    } else if (seconds == 0) {
        line.Format("%u: [%uKB] %s", number, kb, static_cast<const char*>(name));
    } else {
        line.Format("%u: [%uKB - %02u:%02u] %s", number, kb, seconds / 60, seconds % 60,
                    static_cast<const char*>(name));
    }
    return line;
}

void AddFoundFile(const char* url) {
    if (url == nullptr) {
        return;
    }
    const CString text(url);
    bool listed = false;
    const AudioKind kind = Candidate(url, text, listed);
    if (kind == AudioKind::kNone || listed) {
        return;
    }

    if (g_foundList.IsFull()) {
        if (g_foundList.FirstTimeFull()) {
            if (SearchView* view = g_pSearchView.load(); view != nullptr) {
                view->ListLimitReached(SearchList::kFound, kMaxFoundFiles);
            }
        }
        return;
    }

    auto owned = std::make_unique<FoundFileEntry>();
    owned->strUrl = text;
    // A stored text that holds '\' is found only by the same text with '/' in its place.
    const uint32_t number = g_foundList.Count();
    FoundFileEntry* entry = g_foundList.Append(std::move(owned), CaseBlindKey(TextOf(text)));

    const bool wantTags = WantsTags(kind);
    CString title;
    CString artist;
    uint32_t seconds = 0;
    uint32_t* secondsOut = wantTags ? &seconds : nullptr;
    const uint32_t size =
        g_pAudioInfoSource != nullptr
            ? g_pAudioInfoSource->Read(text, title, artist, secondsOut)
            : ReadAudioFileInfo(text, title, artist, secondsOut, &g_bStopSearch,
                                SearchWebRules());

    const CString line = FoundLine(number, size, seconds, FoundLineName(text, title, artist));
    if (SearchView* view = g_pSearchView.load(); view != nullptr) {
        view->AddFoundLine(line, entry);
    }
}

void FreeFoundFiles() {
    g_foundList.Clear();
}

uint32_t FoundFileCount() {
    return g_foundList.Count();
}

void AppendResultUrl(CString& result, const FoundFileEntry& entry) {
    if (!result.IsEmpty()) {
        result += "*";
    }
    result += entry.strUrl;
}
