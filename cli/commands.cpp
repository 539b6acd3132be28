#include "cli/commands.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "afx/ascii.h"
#include "afx/message_box.h"
#include "afx/parse_url.h"
#include "afx/thread.h"
#include "cli/display.h"
#include "cli/terminal.h"
#include "host/download_name.h"
#include "quor_inet/worker/crawl_worker.h"
#include "quor_inet/worker/worker_start.h"
#include "quor_inet/crawler/start_address.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/state/search_view.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

// What most file systems take for one name.
constexpr size_t kMaxFileName = 255;

std::atomic<bool> g_interrupted{false};

// Ctrl-C is the Stop button of a search and a confirmed Cancel of a download.
void OnInterrupt() {
    g_interrupted = true;
    g_bStopSearch = 1;
}

bool IsWebAddress(const char* url, WebRules rules) {
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    return AfxParseURL(url, service, server, object, port) &&
           (service == AFX_INET_SERVICE_HTTP ||
            (rules == WebRules::kCurrent && service == AFX_INET_SERVICE_HTTPS));
}

// The reason the first write to standard output failed, kept before anything else can change
// errno.
int g_outputError = 0;

void WriteOut(const char* data, size_t size) {
    if (std::fwrite(data, 1, size, stdout) != size && g_outputError == 0) {
        g_outputError = errno != 0 ? errno : EIO;
    }
}

void WriteLine(const std::string& line) {
    WriteOut(line.data(), line.size());
    WriteOut("\n", 1);
}

// Standard output once everything is written to it: false (and said) when that failed, as on
// a full disk.
bool OutputWritten(const char* what) {
    errno = 0;
    if (std::fflush(stdout) != 0 && g_outputError == 0) {
        g_outputError = errno != 0 ? errno : EIO;
    }
    if (g_outputError == 0 && std::ferror(stdout) == 0) {
        return true;
    }
    std::fprintf(stderr, "quor-inet: could not write %s to standard output: %s\n", what,
                 std::strerror(g_outputError != 0 ? g_outputError : EIO));
    return false;
}

// The port an http address names, 0 without one; -1 when it is no number of 1 to 65535.
long PortOf(const std::string& url) {
    const size_t start = url.find("://");
    if (start == std::string::npos) {
        return 0;
    }
    const std::string authority =
        url.substr(start + 3, url.find_first_of("/?#", start + 3) - (start + 3));
    const size_t host = authority.rfind('@');
    const std::string hostPort = host == std::string::npos ? authority : authority.substr(host + 1);
    const size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos || hostPort.find(']', colon) != std::string::npos) {
        return 0;
    }
    const std::string digits = hostPort.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    const long port = std::stol(digits);
    return port >= 1 && port <= 65535 ? port : -1;
}

// The library's message boxes on the terminal: the text on stderr, a question answered there;
// without a terminal a question gets Cancel (or No).
class TerminalMessageBox : public MessageBoxService {
  public:
    TerminalMessageBox() : m_previous(AfxSetMessageBoxService(this)) {}
    ~TerminalMessageBox() override { AfxSetMessageBoxService(m_previous); }

    int Show(const char* text, unsigned type) override {
        std::fprintf(stderr, "%s\n", ForTerminal(text != nullptr ? text : "", true).c_str());
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
        const char first = answer.empty() ? '\0' : afx::AsciiLower(answer[0]);
        if (yesNo) {
            return first == 'y' ? IDYES : IDNO;
        }
        return first == 'o' ? IDOK : IDCANCEL;
    }

  private:
    MessageBoxService* m_previous;
};

// One line of stderr redrawn in place on a terminal, fitted to its width; with escape
// sequences where they work, else padded over what was there.
class StatusLine {
  public:
    StatusLine() : m_tty(IsTerminal(stderr)), m_escapes(m_tty && EnableEscapes(stderr)) {}
    bool OnTerminal() const { return m_tty; }
    // head stays whole; the middle of tail gives way when the line is too wide.
    void Draw(const std::string& head, const std::string& tail) {
        const int columns = TerminalColumns(stderr);
        const size_t width = columns > 1 ? static_cast<size_t>(columns - 1) : 79;
        const std::string line = FitLine(head, tail, width, OutputCoding());
        const size_t shown = DisplayWidth(line, OutputCoding());
        std::string out = "\r" + line;
        if (m_escapes) {
            out += "\033[K";
        } else if (shown < m_shown) {
            out += std::string(m_shown - shown, ' ') + "\r" + line;
        }
        std::fputs(out.c_str(), stderr);
        std::fflush(stderr);
        m_shown = shown;
    }
    void Clear() {
        if (m_shown == 0) {
            return;
        }
        std::fputs(m_escapes ? "\r\033[K" : ("\r" + std::string(m_shown, ' ') + "\r").c_str(),
                   stderr);
        std::fflush(stderr);
        m_shown = 0;
    }

  private:
    const bool m_tty;
    const bool m_escapes;
    size_t m_shown = 0;
};

// A found line: the name at its end is the address's own last part (bytes to pass on) or a
// title and artist of the tag (text of the library).
std::string FoundLineForTerminal(const char* line, const FoundFileEntry* entry) {
    const std::string text(line != nullptr ? line : "");
    if (entry != nullptr) {
        const std::string url(entry->strUrl, static_cast<size_t>(entry->strUrl.GetLength()));
        const std::string tail = url.substr(url.rfind('/') + 1);
        if (!tail.empty() && text.size() >= tail.size() &&
            text.compare(text.size() - tail.size(), tail.size(), tail) == 0) {
            return ForTerminal(text.substr(0, text.size() - tail.size())) + BytesForTerminal(tail);
        }
    }
    return ForTerminal(text);
}

// A search on the terminal: found lines on stdout; the status line on stderr, redrawn in place
// on a terminal, as plain lines otherwise.
class TerminalSearchView : public SearchView {
  public:
    void SetStatusText(const char* text) override {
        // "Analysing page 1 from 1 at level 0\n<address>": the address is bytes.
        const std::string status(text != nullptr ? text : "");
        const size_t split = status.find('\n');
        m_head = ForTerminal(status.substr(0, split));
        m_tail = split == std::string::npos ? "" : " " + BytesForTerminal(status.substr(split + 1));
        if (m_line.OnTerminal()) {
            Draw();
        } else if (!status.empty()) {
            std::fprintf(stderr, "%s%s\n", m_head.c_str(), m_tail.c_str());
        }
    }
    void SetProgressRange(uint16_t) override {}
    void SetProgressPos(uint32_t) override {}
    void AddFoundLine(const char* line, FoundFileEntry* entry) override {
        m_line.Clear();
        WriteLine(FoundLineForTerminal(line, entry));
        if (std::fflush(stdout) != 0 && g_outputError == 0) {
            g_outputError = errno != 0 ? errno : EIO;
        }
        Draw();
    }
    void EndSearch(const char*) override { m_line.Clear(); }
    void ListLimitReached(SearchList list, uint32_t limit) override {
        m_line.Clear();
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
        if (m_line.OnTerminal() && !m_head.empty()) {
            m_line.Draw(m_head, m_tail);
        }
    }

    StatusLine m_line;
    std::string m_head;
    std::string m_tail;
};

unsigned SearchThread(void* startUrl) {
    UseLanguage("");
    return CrawlThreadProc(startUrl);
}

// A download's progress on the terminal, in the chosen language, redrawn at most five times a
// second; nothing but the end without a terminal.
class TerminalProgress : public DownloadProgressWindow {
  public:
    explicit TerminalProgress(const DownloadOutcome& outcome) : m_outcome(outcome) {}

    int OpenProgressWindow(const char* url, const char* path) override {
        m_start = Clock::now();
        if (m_line.OnTerminal()) {
            std::fprintf(stderr, "%s\n  -> %s\n", BytesForTerminal(url).c_str(),
                         BytesForTerminal(path).c_str());
        }
        return 1;
    }
    int UpdateProgressWindow(int32_t done, int32_t) override {
        const Clock::time_point now = Clock::now();
        if (done == 0) {
            m_start = now;
        }
        // The 32-bit count of the window, widened again past 4 GiB.
        m_done = done == 0 ? 0 : static_cast<uint64_t>(m_outcome.written);
        m_updated = true;
        if (m_line.OnTerminal() &&
            (!m_drawn || now - m_lastDraw >= std::chrono::milliseconds(200))) {
            Draw(now);
            m_lastDraw = now;
        }
        return g_interrupted ? 0 : 1;
    }
    void CloseProgressWindow() override {
        if (m_line.OnTerminal() && m_updated) {
            Draw(Clock::now());
            std::fputs("\n", stderr);
        }
    }

  private:
    using Clock = std::chrono::steady_clock;
    void Draw(Clock::time_point now) {
        const auto elapsed = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start).count());
        const int64_t total = m_outcome.totalAnnounced ? m_outcome.total : -1;
        std::string line = ForTerminal(ProgressLine(ChosenLanguage(), m_done, total, elapsed));
        // Too wide with its labels: the figures alone.
        const int columns = TerminalColumns(stderr);
        if (columns > 1 && DisplayWidth(line, OutputCoding()) >= static_cast<size_t>(columns)) {
            line = ForTerminal(ProgressLine(ChosenLanguage(), m_done, total, elapsed, true));
        }
        m_line.Draw(line, "");
        m_drawn = true;
    }

    const DownloadOutcome& m_outcome;
    StatusLine m_line;
    Clock::time_point m_start;
    Clock::time_point m_lastDraw;
    uint64_t m_done = 0;
    bool m_updated = false;
    bool m_drawn = false;
};

std::string TroubleText(FileTrouble trouble) {
    switch (trouble) {
        case FileTrouble::kIsFolder:
            return "it is a folder";
        case FileTrouble::kNotAFile:
            return "it is a device or a pipe, not a file";
        case FileTrouble::kNoFolder:
            return "its folder does not exist";
        case FileTrouble::kNotAllowed:
            return "permission denied";
        case FileTrouble::kDiskFull:
            return "the disk is full";
        case FileTrouble::kNone:
        case FileTrouble::kOther:
            break;
    }
    return "the system refused it";
}

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

Address AddressOf(const std::string& typed, WebRules rules) {
    Address address;
    // A host with a port has a ':' too, which the dialog's rule reads as a scheme.
    const std::string text = typed.find("://") == std::string::npos &&
                                     typed.find(':') != std::string::npos &&
                                     PortOf("http://" + typed) > 0
                                 ? "http://" + typed
                                 : typed;
    const StartAddress start = NormalizeStartAddress(text.c_str(), rules);
    address.url.assign(start.address, static_cast<size_t>(start.address.GetLength()));
    if (PortOf(address.url) < 0) {
        address.problem = "the port in " + address.url + " is not a number from 1 to 65535";
        address.usage = true;
    } else if (!IsWebAddress(address.url.c_str(), rules)) {
        address.problem =
            rules == WebRules::kCurrent
                ? address.url +
                      " is not an http:// or https:// address; only web servers are searched "
                      "and downloaded from (for example https://host/page.html)"
                : address.url +
                      " is not an http:// address; with --classic only http:// servers are "
                      "searched and downloaded from (for example http://host/page.html)";
    }
    return address;
}

int RunSearch(const SearchOptions& options) {
    const WebRules rules = options.classic ? WebRules::kClassic : WebRules::kCurrent;
    const Address start = AddressOf(options.url, rules);
    if (!start.problem.empty()) {
        std::fprintf(stderr, "quor-inet: %s\n", BytesForTerminal(start.problem).c_str());
        return start.usage ? kExitUsage : kExitFailed;
    }
    g_nMaxLevel = options.depth;
    g_bAnyServer = options.sameServer ? 0 : 1;
    g_bReadID3 = options.readId3 ? 1 : 0;
    g_nSearchConnections = options.connections;
    g_nCurrentWeb = static_cast<int32_t>(rules);
    TerminalMessageBox boxes;
    TerminalSearchView view;
    g_pSearchView = &view;
    g_strSearchUrl() = start.url.c_str();
    g_bStopSearch = 0;
    CatchInterrupt(OnInterrupt);

    CWinThread* worker = StartCrawlWorker(SearchThread, g_strSearchUrl());
    if (worker == nullptr) {
        std::fputs("quor-inet: could not start the search (no thread)\n", stderr);
        return kExitFailed;
    }
    worker->Join();
    delete worker;
    g_pSearchView = nullptr;

    const uint32_t found = FoundFileCount();
    int code = kExitOk;
    if (options.wantResult) {
        const auto past = std::find_if(options.select.begin(), options.select.end(),
                                       [found](uint32_t n) { return n >= found; });
        if (!options.selectAll && past != options.select.end()) {
            std::fprintf(stderr,
                         found == 0 ? "quor-inet: --select %u: no files were found\n"
                                    : "quor-inet: --select %u: the list goes from 0 to %u\n",
                         *past, found - 1);
            code = kExitUsage;
        } else {
            CString result;
            uint32_t number = 0;
            for (const FoundFileEntry* entry = g_pFoundFiles; entry != nullptr;
                 entry = entry->pNext, ++number) {
                if (options.selectAll || std::find(options.select.begin(), options.select.end(),
                                                   number) != options.select.end()) {
                    AppendResultUrl(result, *entry);
                }
            }
            WriteLine(BytesForTerminal(std::string_view(result, result.GetLength())));
        }
    }
    FreeFoundFiles();
    if (!OutputWritten("the list")) {
        return kExitFailed;
    }
    if (code == kExitUsage) {
        return code;
    }
    if (g_interrupted) {
        std::fprintf(stderr, "quor-inet: search stopped; %u files found so far\n", found);
        return kExitInterrupted;
    }
    const PageAnswer answer = StartPageAnswer();
    const std::string shown = BytesForTerminal(start.url);
    if (g_bStopSearch.load() != 0) {
        std::fprintf(stderr,
                     "quor-inet: the start page %s could not be fetched; check the address and "
                     "that the server is running\n",
                     shown.c_str());
        return kExitFailed;
    }
    if (found == 0 && answer.status != 0 && (answer.status < 200 || answer.status > 299)) {
        std::fprintf(stderr,
                     "quor-inet: the server answered %u for the start page %s; 0 files "
                     "found\n",
                     answer.status, shown.c_str());
        return kExitFailed;
    }
    if (found == 0 && answer.brokenOff && answer.bytes == 0) {
        std::fprintf(stderr,
                     "quor-inet: the start page %s broke off before any of it arrived; 0 files "
                     "found\n",
                     shown.c_str());
        return kExitFailed;
    }
    std::fprintf(stderr, "quor-inet: %u files found\n", found);
    return code;
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
            return "cannot write " + path + ": " + TroubleText(outcome.fileTrouble);
        case DownloadEnd::kWriteFailed:
            return "writing " + path + " failed after " + written +
                   " bytes: " + TroubleText(outcome.fileTrouble) + "; nothing was saved";
        case DownloadEnd::kBrokenOff:
            return "the transfer broke off after " + written + " of " +
                   (outcome.totalAnnounced ? std::to_string(outcome.total) : "?") +
                   " bytes; nothing was saved; try again";
        case DownloadEnd::kCancelled:
            return "cancelled after " + written + " bytes; nothing was saved";
    }
    return {};
}

int RunDownloadCommand(const std::string& url, const std::string& path, bool classic) {
    const WebRules rules = classic ? WebRules::kClassic : WebRules::kCurrent;
    const Address source = AddressOf(url, rules);
    if (!source.problem.empty()) {
        std::fprintf(stderr, "quor-inet: %s\n", BytesForTerminal(source.problem).c_str());
        return source.usage ? kExitUsage : kExitFailed;
    }
    const bool toOutput = path == "-";
    std::string file = path;
    std::error_code error;
    if (toOutput) {
        // Copied there once complete, so that a broken transfer never reaches the reader.
        file = (fs::temp_directory_path(error) /
                ("quor-inet-" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                 ".download"))
                   .string();
    } else if (file.empty()) {
        file = quor_host::DownloadFileName(source.url, kMaxFileName);
    } else if (fs::is_directory(file, error)) {
        file = (fs::path(file) / quor_host::DownloadFileName(source.url, kMaxFileName)).string();
    }
    TerminalMessageBox boxes;
    DownloadOutcome outcome;
    TerminalProgress progress(outcome);
    g_bStopSearch = 0;
    CatchInterrupt(OnInterrupt);
    // Nothing half-written is left behind by a Ctrl-C, and a Ctrl-C ends any wait at once.
    const DownloadControl control{
        .stopFlag = &g_bStopSearch, .keepPartOnCancel = false, .rules = rules};
    const int done =
        RunDownload(source.url.c_str(), file.c_str(), nullptr, 0, progress, &outcome, &control);
    const std::string shownUrl = BytesForTerminal(source.url);
    const std::string shownPath = toOutput ? "standard output" : BytesForTerminal(file);
    if (done != 1) {
        std::fprintf(stderr, "quor-inet: %s\n",
                     DownloadFailureText(outcome, shownUrl, shownPath).c_str());
        return outcome.end == DownloadEnd::kCancelled && g_interrupted ? kExitInterrupted
                                                                       : kExitFailed;
    }
    if (toOutput) {
        UseBinaryOutput();
        bool copied = false;
        {
            std::ifstream in(file, std::ios::binary);
            char buffer[65536];
            copied = static_cast<bool>(in);
            while (copied && g_outputError == 0 && in.read(buffer, sizeof buffer).gcount() > 0) {
                WriteOut(buffer, static_cast<size_t>(in.gcount()));
            }
        }
        fs::remove(file, error);
        if (!copied || !OutputWritten("the file")) {
            return kExitFailed;
        }
    }
    std::fprintf(stderr, "quor-inet: saved %lld bytes to %s\n",
                 static_cast<long long>(outcome.written), shownPath.c_str());
    return kExitOk;
}

}  // namespace cli
