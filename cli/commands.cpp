#include "cli/commands.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "afx/message_box.h"
#include "afx/parse_url.h"
#include "afx/thread.h"
#include "cli/terminal.h"
#include "quor_inet/crawler/crawl_worker.h"
#include "quor_inet/crawler/start_address.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/state/search_view.h"
#include "quor_inet/transfer/progress_figures.h"

namespace cli {

namespace {

std::atomic<bool> g_interrupted{false};

// Ctrl-C is the Stop button of a search and a confirmed Cancel of a download.
void OnInterrupt() {
    g_interrupted = true;
    g_bStopSearch = 1;
}

bool IsHttpAddress(const char* url) {
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    return AfxParseURL(url, service, server, object, port) && service == AFX_INET_SERVICE_HTTP;
}

// The library's message boxes on the terminal: the text on stderr, a question answered there;
// without a terminal a question gets Cancel (or No).
class TerminalMessageBox : public MessageBoxService {
  public:
    TerminalMessageBox() : m_previous(AfxSetMessageBoxService(this)) {}
    ~TerminalMessageBox() override { AfxSetMessageBoxService(m_previous); }

    int Show(const char* text, unsigned type) override {
        std::fprintf(stderr, "%s\n", ForTerminal(text).c_str());
        const unsigned buttons = type & MB_TYPEMASK;
        if (buttons == MB_OK) {
            return IDOK;
        }
        const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
        std::fputs(yesNo ? "[y]es or [n]o? " : "[o]k or [c]ancel? ", stderr);
        std::fflush(stderr);
        std::string answer;
        if (!ReadAnswer(answer)) {
            std::fputs("\n", stderr);
            return yesNo ? IDNO : IDCANCEL;
        }
        const int first = answer.empty() ? 0 : std::tolower(static_cast<unsigned char>(answer[0]));
        if (yesNo) {
            return first == 'y' ? IDYES : IDNO;
        }
        return first == 'o' ? IDOK : IDCANCEL;
    }

  private:
    MessageBoxService* m_previous;
};

// A search on the terminal: found lines on stdout; the status line and the progress on stderr,
// redrawn in place on a terminal, as plain lines otherwise.
class TerminalSearchView : public SearchView {
  public:
    void SetStatusText(const char* text) override {
        m_status = ForTerminal(text);
        for (char& c : m_status) {
            if (c == '\n') {
                c = ' ';
            }
        }
        if (m_tty) {
            Draw();
        } else if (!m_status.empty()) {
            std::fprintf(stderr, "%s\n", m_status.c_str());
        }
    }
    void SetProgressRange(uint16_t maximum) override {
        m_range = maximum;
        Draw();
    }
    void SetProgressPos(uint32_t position) override {
        m_position = position;
        Draw();
    }
    void AddFoundLine(const char* line, FoundFileEntry*) override {
        Clear();
        std::printf("%s\n", ForTerminal(line).c_str());
        std::fflush(stdout);
        Draw();
    }
    void EndSearch(const char*) override { Clear(); }
    void ListLimitReached(SearchList list, uint32_t limit) override {
        Clear();
        std::fprintf(stderr,
                     list == SearchList::kCrawl
                         ? "quor-inet: %u pages are waiting to be searched, the most there may "
                           "be; further links are passed over\n"
                         : "quor-inet: %u files found, the most the list holds; further files "
                           "are passed over\n",
                     limit);
        Draw();
    }

  private:
    void Draw() {
        if (m_tty && !m_status.empty()) {
            std::fprintf(stderr, "\r\033[K[%u/%u] %s", m_position, m_range, m_status.c_str());
            std::fflush(stderr);
        }
    }
    void Clear() {
        if (m_tty) {
            std::fputs("\r\033[K", stderr);
        }
    }

    const bool m_tty = IsTerminal(stderr);
    std::string m_status;
    uint32_t m_range = 0;
    uint32_t m_position = 0;
};

unsigned SearchThread(void* startUrl) {
    UseLanguage("");
    return CrawlThreadProc(startUrl);
}

// A download's progress on the terminal: the progress window's own figures on one line,
// redrawn at most five times a second; nothing but the end without a terminal.
class TerminalProgress : public DownloadProgressWindow {
  public:
    int OpenProgressWindow(const char* url, const char* path) override {
        m_start = Clock::now();
        if (m_tty) {
            std::fprintf(stderr, "%s\n  -> %s\n", url, path);
        }
        return 1;
    }
    int UpdateProgressWindow(int32_t done, int32_t total) override {
        const Clock::time_point now = Clock::now();
        if (done == 0) {
            m_start = now;
        }
        const auto elapsed = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start).count());
        m_texts = MakeProgressTexts(ComputeProgressFigures(done, total, elapsed));
        m_updated = true;
        if (m_tty && (!m_drawn || now - m_lastDraw >= std::chrono::milliseconds(200))) {
            Draw();
            m_lastDraw = now;
        }
        return g_interrupted ? 0 : 1;
    }
    void CloseProgressWindow() override {
        if (m_tty && m_updated) {
            Draw();
            std::fputs("\n", stderr);
        }
    }

  private:
    using Clock = std::chrono::steady_clock;
    void Draw() {
        std::fprintf(stderr, "\r\033[K%s  %s  %s", m_texts.percent, m_texts.speed,
                     m_texts.remaining);
        std::fflush(stderr);
        m_drawn = true;
    }

    const bool m_tty = IsTerminal(stderr);
    Clock::time_point m_start;
    Clock::time_point m_lastDraw;
    ProgressTexts m_texts = {};
    bool m_updated = false;
    bool m_drawn = false;
};

}  // namespace

bool ParseSelection(const std::string& text, std::vector<uint32_t>& numbersOut) {
    numbersOut.clear();
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, end - at);
        const size_t dash = item.find('-');
        unsigned long first = 0;
        unsigned long last = 0;
        auto number = [](const std::string& digits, unsigned long& out) {
            if (digits.empty() || digits.size() > 9 ||
                digits.find_first_not_of("0123456789") != std::string::npos) {
                return false;
            }
            out = std::stoul(digits);
            return true;
        };
        if (dash == std::string::npos) {
            if (!number(item, first)) {
                return false;
            }
            last = first;
        } else if (!number(item.substr(0, dash), first) || !number(item.substr(dash + 1), last) ||
                   last < first || last - first > 100000) {
            return false;
        }
        for (unsigned long n = first; n <= last; ++n) {
            numbersOut.push_back(static_cast<uint32_t>(n));
        }
        at = end + 1;
    }
    return !numbersOut.empty();
}

int RunSearch(const SearchOptions& options) {
    const StartAddress start = NormalizeStartAddress(options.url.c_str());
    if (!IsHttpAddress(start.address)) {
        std::fprintf(stderr,
                     "quor-inet: %s is not an http:// address; only pages on http:// servers can "
                     "be searched (for example http://host/page.html)\n",
                     static_cast<const char*>(start.address));
        return kExitFailed;
    }
    g_nMaxLevel = options.depth;
    g_bAnyServer = options.sameServer ? 0 : 1;
    g_bReadID3 = options.readId3 ? 1 : 0;
    TerminalMessageBox boxes;
    TerminalSearchView view;
    g_pSearchView = &view;
    g_strSearchUrl() = start.address;
    g_bStopSearch = 0;
    CatchInterrupt(OnInterrupt);

    // Marked before it runs, as the dialog does: the worker clears the marker at its end.
    CWinThread* worker = AfxBeginThread(
        SearchThread, const_cast<char*>(static_cast<const char*>(g_strSearchUrl())), true);
    if (worker == nullptr) {
        std::fputs("quor-inet: could not start the search (no thread)\n", stderr);
        return kExitFailed;
    }
    g_pSearchThread = worker;
    worker->ResumeThread();
    worker->Join();
    delete worker;
    g_pSearchView = nullptr;

    if (options.wantResult) {
        CString result;
        uint32_t number = 0;
        for (const FoundFileEntry* entry = g_pFoundFiles; entry != nullptr;
             entry = entry->pNext, ++number) {
            if (options.selectAll || std::find(options.select.begin(), options.select.end(),
                                               number) != options.select.end()) {
                AppendResultUrl(result, *entry);
            }
        }
        std::printf("%s\n", ForTerminal(result).c_str());
    }
    const uint32_t found = FoundFileCount();
    FreeFoundFiles();
    if (g_interrupted) {
        std::fprintf(stderr, "quor-inet: search stopped; %u files found so far\n", found);
        return kExitFailed;
    }
    if (g_bStopSearch.load() != 0) {
        std::fprintf(stderr,
                     "quor-inet: the start page %s could not be fetched; check the address and "
                     "that the server is running\n",
                     static_cast<const char*>(start.address));
        return kExitFailed;
    }
    std::fprintf(stderr, "quor-inet: %u files found\n", found);
    return kExitOk;
}

std::string DownloadFailureText(const DownloadOutcome& outcome, const std::string& url,
                                const std::string& path) {
    const std::string written = std::to_string(outcome.written);
    switch (outcome.end) {
        case DownloadEnd::kDone:
            return {};
        case DownloadEnd::kNoRequest:
            return "could not fetch " + url + "; check the address and that the server is running";
        case DownloadEnd::kBadStatus:
            return "the server answered " + std::to_string(outcome.httpStatus) + " for " + url +
                   "; nothing was saved";
        case DownloadEnd::kNoFreeSpace:
            return "not enough free space for " + path + " (" + std::to_string(outcome.total) +
                   " bytes and 1 MiB to spare); free some space or choose another drive";
        case DownloadEnd::kCannotCreate:
            return "cannot create " + path +
                   "; check that its folder exists and that you may write there";
        case DownloadEnd::kWriteFailed:
            return "writing " + path + " failed after " + written +
                   " bytes; the incomplete file was removed; check the drive and try again";
        case DownloadEnd::kBrokenOff:
            return "the transfer broke off after " + written + " of " +
                   std::to_string(outcome.total) +
                   " bytes; the incomplete file was removed; try again";
        case DownloadEnd::kCancelled:
            return "cancelled; the " + written + " bytes written so far are kept in " + path;
    }
    return {};
}

int RunDownloadCommand(const std::string& url, const std::string& path) {
    if (!IsHttpAddress(url.c_str())) {
        std::fprintf(stderr,
                     "quor-inet: %s is not an http:// address; only files on http:// servers "
                     "can be downloaded\n",
                     url.c_str());
        return kExitFailed;
    }
    TerminalMessageBox boxes;
    TerminalProgress progress;
    g_bStopSearch = 0;
    CatchInterrupt(OnInterrupt);
    DownloadOutcome outcome;
    if (RunDownload(url.c_str(), path.c_str(), nullptr, 0, progress, &outcome) == 1) {
        std::fprintf(stderr, "quor-inet: saved %lld bytes to %s\n",
                     static_cast<long long>(outcome.written), path.c_str());
        return kExitOk;
    }
    std::fprintf(stderr, "quor-inet: %s\n", DownloadFailureText(outcome, url, path).c_str());
    return kExitFailed;
}

}  // namespace cli
