// The Internet classes over libcurl: one multi handle per session, whose connection cache lets
// the session's requests share kept-alive connections (and passes them on to later sessions to
// the same server); one easy handle per request (or FTP
// file), read on demand through a write callback that pauses the transfer while the reader's
// buffer is full.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "afx/ascii.h"
#include "afx/inet/backend.h"
#include "afx/inet/curl/curl_errors.h"
#include "afx/inet/http_headers.h"
#include "afx/inet/inet_constants.h"
#include "afx/inet/transfer_guard.h"

namespace afx::inet {

namespace {

constexpr long kReceiveBufferBytes = 65536;
// A page is at most 128 KiB: it is never paused.
constexpr size_t kLeastHeldAhead = 262144;

using Clock = std::chrono::steady_clock;

constexpr uint32_t kConnectTimeoutMs = 60000;
constexpr uint32_t kDefaultReceiveTimeoutMs = 30000;
// Short enough that a guard's verdict ends a wait within a fraction of a second.
constexpr int kPollSliceMs = kGuardPollMs;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Appends each non-empty line of CR LF separated header text to list.
bool AppendHeaderLines(curl_slist*& list, std::string_view text) {
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        curl_slist* grown = curl_slist_append(list, std::string(line).c_str());
        if (grown == nullptr) {
            return false;
        }
        list = grown;
    }
    return true;
}

// The authorities that TLS servers are checked against, named the way the curl tool and
// OpenSSL let a user name them; empty for the system's own.
std::string CaBundleFromEnvironment() {
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

// Where an address goes: its scheme, server and port, the URL up to its path.
std::string ServerOf(std::string_view url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return std::string(url);
    }
    const size_t path = url.find_first_of("/?#", scheme + 3);
    return std::string(url.substr(0, path));
}

// The multi handles of ended sessions, each with the kept-alive connections in its cache, for
// the next sessions to the same server: the requests of a search then go over a few connections
// instead of one each. A handle serves one session at a time.
class MultiPool {
  public:
    static MultiPool& Instance() {
        static MultiPool pool;
        return pool;
    }
    ~MultiPool() {
        for (auto& [server, multi] : idle_) {
            curl_multi_cleanup(multi);
        }
    }

    // One that last served server, else a new one; null when out of memory.
    CURLM* Take(const std::string& server) {
        {
            std::lock_guard lock(mutex_);
            for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
                if (it->first == server) {
                    CURLM* multi = it->second;
                    idle_.erase(std::next(it).base());
                    return multi;
                }
            }
        }
        return curl_multi_init();
    }

    void Give(CURLM* multi, std::string server) {
        CURLM* oldest = nullptr;
        {
            std::lock_guard lock(mutex_);
            try {
                idle_.emplace_back(std::move(server), multi);
                multi = nullptr;
            } catch (const std::bad_alloc&) {
            }
            if (idle_.size() > kIdleHandles) {
                oldest = idle_.front().second;
                idle_.erase(idle_.begin());
            }
        }
        for (CURLM* closing : {multi, oldest}) {
            if (closing != nullptr) {
                curl_multi_cleanup(closing);
            }
        }
    }

  private:
    // As many as a search has sessions at once, and a few more.
    static constexpr size_t kIdleHandles = 8;
    std::mutex mutex_;
    std::vector<std::pair<std::string, CURLM*>> idle_;  // the most recently given last
};

class CurlTransfer;

// What a session's connections and requests share; lives as long as any of them.
class CurlCore {
  public:
    explicit CurlCore(std::string agent)
        : agent_(std::move(agent)), caBundle_(CaBundleFromEnvironment()) {}
    // Every transfer has left the handle by now: its connections wait for the next session.
    ~CurlCore() {
        if (multi_ != nullptr) {
            MultiPool::Instance().Give(multi_, std::move(server_));
        }
    }
    CurlCore(const CurlCore&) = delete;
    CurlCore& operator=(const CurlCore&) = delete;

    // The session's multi handle, taken at its first transfer (to url) from the handles of
    // ended sessions; null when out of memory.
    CURLM* MultiFor(const std::string& url) {
        if (multi_ == nullptr) {
            server_ = ServerOf(url);
            multi_ = MultiPool::Instance().Take(server_);
        }
        return multi_;
    }
    CURLM* multi() const { return multi_; }
    const std::string& agent() const { return agent_; }
    const std::string& caBundle() const { return caBundle_; }
    uint32_t receiveTimeoutMs = kDefaultReceiveTimeoutMs;
    std::shared_ptr<TransferGuard> guard;  // null: nothing ends the transfers early
    bool decoding = false;                 // for requests opened from now on

    // 0 while the session's transfers may go on, else the error that ends them.
    uint32_t Verdict() const { return guard ? guard->Verdict() : 0; }
    void Arrived(size_t bytes) const {
        if (guard) {
            guard->Arrived(bytes);
        }
    }

    // Lets every transfer of the session make progress, then hands out finished results.
    void Perform();
    // Waits for socket activity (or curl's own timers) for at most ms.
    void Poll(int ms) {
        if (multi_ != nullptr) {
            curl_multi_poll(multi_, nullptr, 0, ms, nullptr);
        }
    }

  private:
    CURLM* multi_ = nullptr;
    std::string server_;  // of the first transfer
    std::string agent_;
    std::string caBundle_;
};

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

// One easy handle on the session's multi handle, and its body on the way to the reader: read
// on demand through a write callback that pauses the transfer while the reader's buffer is
// full.
class CurlTransfer {
  public:
    explicit CurlTransfer(std::shared_ptr<CurlCore> core) : core_(std::move(core)) {}
    ~CurlTransfer() {
        Detach();
        if (easy_ != nullptr) {
            curl_easy_cleanup(easy_);
        }
    }
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    CurlCore& core() const { return *core_; }
    CURL* easy() const { return easy_; }
    bool started() const { return easy_ != nullptr; }
    bool done() const { return done_; }
    size_t PendingSize() const { return pending_.size() - pendingHead_; }

    // The handle with what every transfer of the session has in common; false when out of
    // memory.
    bool Init(const std::string& url);
    // Hands the transfer to the session; the first answer is awaited with WaitFor.
    bool Start(uint32_t& errorOut);

    // Drives the session until ready() or the transfer ends; false when it waited longer
    // than limitMs without any data arriving (the transfer is then aborted with 12002).
    template <typename Ready>
    bool WaitFor(Ready ready, uint32_t limitMs);

    bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut);
    bool QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut);
    void SetCapacity(uint32_t bytes) { capacity_ = std::max<uint32_t>(bytes, 1024); }

    // Something arrived: the time-out counts from now.
    void Touch() { lastActivity_ = Clock::now(); }
    // Called by the core when curl reports the transfer finished.
    void Finished(CURLcode code) {
        done_ = true;
        result_ = code;
        Detach();
    }
    uint32_t DoneError() const {
        return abortError_ != 0 ? abortError_ : InternetErrorFromCurl(result_);
    }

  private:
    static size_t WriteCallback(char* data, size_t size, size_t count, void* self) {
        return static_cast<CurlTransfer*>(self)->Write(data, size * count);
    }
    size_t Write(const char* data, size_t n);

    // Removes the transfer from the session; an unfinished one loses its connection.
    void Detach() {
        if (attached_) {
            curl_multi_remove_handle(core_->multi(), easy_);
            attached_ = false;
        }
    }
    void Abort(uint32_t error) {
        Detach();
        done_ = true;
        abortError_ = error;
    }
    uint32_t TakePending(uint8_t* out, uint32_t count) {
        auto n = static_cast<uint32_t>(std::min<size_t>(count, PendingSize()));
        memcpy(out, pending_.data() + pendingHead_, n);
        pendingHead_ += n;
        if (pendingHead_ == pending_.size()) {
            pending_.clear();
            pendingHead_ = 0;
        }
        return n;
    }
    void Resume() {
        if (paused_ && attached_) {
            paused_ = false;
            curl_easy_pause(easy_, CURLPAUSE_CONT);
        }
    }

    std::shared_ptr<CurlCore> core_;
    CURL* easy_ = nullptr;
    std::string url_;
    bool attached_ = false;
    bool done_ = false;
    CURLcode result_ = CURLE_OK;
    uint32_t abortError_ = 0;
    Clock::time_point lastActivity_;

    uint32_t capacity_ = 16384;
    std::string pending_;  // body bytes received and not yet read
    size_t pendingHead_ = 0;
    bool paused_ = false;
    uint8_t* direct_ = nullptr;  // the reader's own buffer while it waits
    size_t directRoom_ = 0;
    size_t directFilled_ = 0;
};

void CurlCore::Perform() {
    if (multi_ == nullptr) {
        return;
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
        if (msg->msg != CURLMSG_DONE) {
            continue;
        }
        char* owner = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
        if (owner != nullptr) {
            reinterpret_cast<CurlTransfer*>(owner)->Finished(msg->data.result);
        }
    }
}

bool CurlTransfer::Init(const std::string& url) {
    easy_ = curl_easy_init();
    if (easy_ == nullptr) {
        return false;
    }
    // libcurl keeps its own copy of the URL, and takes proxies from the usual environment
    // variables itself.
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    url_ = url;
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kConnectTimeoutMs));
    // Fewer, larger receives: the write callback still hands the reader at most the read
    // buffer ahead of it, plus the one receive that curl holds while paused.
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::WriteCallback);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
    if (!core_->caBundle().empty()) {
        curl_easy_setopt(easy_, CURLOPT_CAINFO, core_->caBundle().c_str());
    }
    return true;
}

bool CurlTransfer::Start(uint32_t& errorOut) {
    CURLM* multi = core_->MultiFor(url_);
    if (multi == nullptr) {
        errorOut = kInternetErrorNotEnoughMemory;
        return false;
    }
    if (curl_multi_add_handle(multi, easy_) != CURLM_OK) {
        errorOut = ERROR_INTERNET_INTERNAL_ERROR;
        return false;
    }
    attached_ = true;
    Touch();
    return true;
}

size_t CurlTransfer::Write(const char* data, size_t n) {
    size_t toReader = std::min(n, directRoom_ - directFilled_);
    size_t rest = n - toReader;
    // Hold no more than the read buffer (or kLeastHeldAhead) ahead of the reader; curl keeps
    // the chunk meanwhile. Not less: what curl keeps while paused is lost when the transfer
    // then fails (a bad chunk further on), and a page must keep all that arrived.
    if (rest > 0 && PendingSize() > 0 &&
        PendingSize() + rest > std::max<size_t>(capacity_, kLeastHeldAhead)) {
        paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (toReader > 0) {
        memcpy(direct_ + directFilled_, data, toReader);
        directFilled_ += toReader;
    }
    core_->Arrived(n);
    if (rest > 0) {
        if (pendingHead_ > 0 && pendingHead_ >= pending_.size() / 2) {
            pending_.erase(0, pendingHead_);
            pendingHead_ = 0;
        }
        pending_.append(data + toReader, rest);
    }
    Touch();
    return n;
}

template <typename Ready>
bool CurlTransfer::WaitFor(Ready ready, uint32_t limitMs) {
    for (;;) {
        core_->Perform();
        if (ready() || done_) {
            return true;
        }
        if (uint32_t verdict = core_->Verdict(); verdict != 0) {
            Abort(verdict);
            return false;
        }
        auto idle =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity_);
        if (idle.count() >= static_cast<int64_t>(limitMs)) {
            Abort(ERROR_INTERNET_TIMEOUT);
            return false;
        }
        auto left = static_cast<int>(std::min<int64_t>(limitMs - idle.count(), kPollSliceMs));
        core_->Poll(std::max(left, 1));
    }
}

bool CurlTransfer::Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) {
    readOut = 0;
    if (count == 0) {
        return true;
    }
    if (uint32_t verdict = core_->Verdict(); verdict != 0) {
        Abort(verdict);
        errorOut = verdict;
        return false;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t got = TakePending(out, count);
    // While the reader waits, new data goes straight into its buffer.
    direct_ = out + got;
    directRoom_ = count - got;
    directFilled_ = 0;
    if (PendingSize() == 0) {
        Resume();
    }
    if (got == 0 && directFilled_ == 0 && !done_) {
        WaitFor([this] { return directFilled_ > 0 || PendingSize() > 0; }, core_->receiveTimeoutMs);
        if (directFilled_ == 0 && PendingSize() > 0) {
            got += TakePending(out, count);
        }
    }
    got += static_cast<uint32_t>(directFilled_);
    direct_ = nullptr;
    directRoom_ = 0;
    directFilled_ = 0;
    if (got > 0) {
        readOut = got;
        return true;
    }
    if (done_) {
        errorOut = DoneError();
        return errorOut == 0;
    }
    errorOut = ERROR_INTERNET_TIMEOUT;
    return false;
}

bool CurlTransfer::QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) {
    availableOut = 0;
    if (PendingSize() == 0) {
        Resume();
        if (PendingSize() == 0 && !done_) {
            WaitFor([this] { return PendingSize() > 0; }, core_->receiveTimeoutMs);
        }
    }
    if (PendingSize() > 0) {
        availableOut = static_cast<uint32_t>(std::min<size_t>(PendingSize(), UINT32_MAX));
        return true;
    }
    if (done_) {
        errorOut = DoneError();
        return errorOut == 0;
    }
    errorOut = ERROR_INTERNET_TIMEOUT;
    return false;
}

class CurlRequest : public BackendRequest {
  public:
    CurlRequest(std::shared_ptr<CurlCore> core, std::string url)
        : url_(std::move(url)), decoding_(core->decoding), transfer_(std::move(core)) {}

    bool Send(std::string_view headers, uint32_t& errorOut) override;

    bool QueryStatusCode(uint32_t& statusOut) override {
        if (!headersDone_) {
            return false;
        }
        statusOut = status_;
        return true;
    }

    bool QueryHeader(const char* name, std::string& valueOut) override {
        if (!headersDone_ || name == nullptr) {
            return false;
        }
        for (const auto& [n, v] : responseHeaders_) {
            if (afx::EqualsNoCase(n, name)) {
                valueOut = v;
                return true;
            }
        }
        return false;
    }

    bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) override {
        readOut = 0;
        if (!headersDone_) {
            errorOut = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
            return false;
        }
        return transfer_.Read(buffer, count, readOut, errorOut);
    }

    bool QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) override {
        availableOut = 0;
        if (!headersDone_) {
            errorOut = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
            return false;
        }
        return transfer_.QueryDataAvailable(availableOut, errorOut);
    }

    void SetBufferSize(uint32_t bytes) override { transfer_.SetCapacity(bytes); }

    // libcurl decodes every content coding it knows once decoding is asked for.
    bool BodyDecoded() override {
        std::string coding;
        return decoding_ && QueryHeader("Content-Encoding", coding) &&
               !TrimOptionalWhitespace(coding).empty() && !afx::EqualsNoCase(coding, "identity");
    }

  private:
    static size_t HeaderCallback(char* data, size_t size, size_t count, void* self) {
        static_cast<CurlRequest*>(self)->HeaderLine(std::string_view(data, size * count));
        return size * count;
    }
    void HeaderLine(std::string_view line);

    bool AppendHeaders(std::string_view text) {
        curl_slist* list = headerList_.release();
        bool ok = AppendHeaderLines(list, text);
        headerList_.reset(list);
        return ok;
    }

    std::string url_;
    bool decoding_;
    Slist headerList_;  // declared before the transfer: freed after its handle

    bool headersDone_ = false;
    uint32_t status_ = 0;
    std::vector<std::pair<std::string, std::string>> responseHeaders_;

    CurlTransfer transfer_;
};

void CurlRequest::HeaderLine(std::string_view line) {
    if (headersDone_) {
        return;  // trailers of a chunked body
    }
    transfer_.Touch();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.substr(0, 5) == "HTTP/") {
        // A new response head (after an interim 1xx one): start over.
        responseHeaders_.clear();
        status_ = 0;
        size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            for (size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
                if (line[i] < '0' || line[i] > '9') {
                    break;
                }
                status_ = status_ * 10 + static_cast<uint32_t>(line[i] - '0');
            }
        }
        return;
    }
    if (line.empty()) {
        if (status_ >= 200) {
            headersDone_ = true;
        }
        return;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return;
    }
    responseHeaders_.emplace_back(std::string(line.substr(0, colon)),
                                  std::string(TrimOptionalWhitespace(line.substr(colon + 1))));
}

bool CurlRequest::Send(std::string_view headers, uint32_t& errorOut) {
    if (transfer_.started()) {
        errorOut = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
        return false;
    }
    if (!transfer_.Init(url_) || !AppendHeaders(headers)) {
        errorOut = kInternetErrorNotEnoughMemory;
        return false;
    }
    CURL* easy = transfer_.easy();
    CurlCore& core = transfer_.core();
    // The object goes on the request line as it is (no dot segments removed); a proxy gets
    // the whole URL from it.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, core.agent().c_str());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlRequest::HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    // HTTP/1.1 as the platform's services speak it, over TLS too.
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    if (decoding_) {
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip");
    }
    if (!transfer_.Start(errorOut)) {
        return false;
    }
    // Connecting and the server's first answer share one allowance.
    transfer_.WaitFor([this] { return headersDone_; }, kConnectTimeoutMs + core.receiveTimeoutMs);
    if (!headersDone_) {
        errorOut = transfer_.done() ? transfer_.DoneError() : ERROR_INTERNET_TIMEOUT;
        if (errorOut == 0) {
            errorOut = ERROR_HTTP_INVALID_SERVER_RESPONSE;  // ended without a response head
        }
        return false;
    }
    return true;
}

// A file read from an FTP server: libcurl logs in, asks for the size (SIZE) and starts the
// transfer (passive mode, binary); the body is then read like a response's.
class CurlFtpFile : public BackendStream {
  public:
    explicit CurlFtpFile(std::shared_ptr<CurlCore> core) : transfer_(std::move(core)) {}

    bool Open(const std::string& url, const char* user, const char* password,
              std::optional<uint64_t>& sizeOut, uint32_t& errorOut) {
        if (!transfer_.Init(url)) {
            errorOut = kInternetErrorNotEnoughMemory;
            return false;
        }
        CURL* easy = transfer_.easy();
        if (user != nullptr && *user != '\0') {
            curl_easy_setopt(easy, CURLOPT_USERNAME, user);
            curl_easy_setopt(easy, CURLOPT_PASSWORD, password != nullptr ? password : "");
        }
        if (!transfer_.Start(errorOut)) {
            return false;
        }
        // The size is known once data flows (or the file turned out empty).
        transfer_.WaitFor([this] { return transfer_.PendingSize() > 0; },
                          kConnectTimeoutMs + transfer_.core().receiveTimeoutMs);
        if (transfer_.PendingSize() == 0) {  // ended, or failed, before any data
            errorOut = transfer_.done() ? transfer_.DoneError() : ERROR_INTERNET_TIMEOUT;
            if (errorOut != 0) {
                return false;
            }
        }
        curl_off_t size = -1;
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) == CURLE_OK &&
            size >= 0) {
            sizeOut = static_cast<uint64_t>(size);
        }
        return true;
    }

    bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) override {
        return transfer_.Read(buffer, count, readOut, errorOut);
    }
    bool QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) override {
        return transfer_.QueryDataAvailable(availableOut, errorOut);
    }
    void SetBufferSize(uint32_t bytes) override { transfer_.SetCapacity(bytes); }

  private:
    CurlTransfer transfer_;
};

// A name that goes into a URL, bracketed when it is an IPv6 address; empty when it could
// change the URL's meaning.
std::string UrlHost(const char* server) {
    if (server == nullptr || *server == '\0' || strpbrk(server, "/?#@\\ \t\r\n%") != nullptr) {
        return {};
    }
    std::string host = server;
    if (host.find(':') != std::string::npos && host.front() != '[') {
        host = "[" + host + "]";
    }
    return host;
}

class CurlConnection : public BackendConnection {
  public:
    CurlConnection(std::shared_ptr<CurlCore> core, std::string hostPort)
        : core_(std::move(core)), hostPort_(std::move(hostPort)) {}

    std::unique_ptr<BackendRequest> OpenRequest(const char* object, bool secure,
                                                uint32_t& /*errorOut*/) override {
        const char* scheme = secure ? "https://" : "http://";
        return std::make_unique<CurlRequest>(
            core_, scheme + hostPort_ + RequestTarget(object != nullptr ? object : "/"));
    }

  private:
    std::shared_ptr<CurlCore> core_;
    std::string hostPort_;
};

class CurlSession : public BackendSession {
  public:
    explicit CurlSession(std::shared_ptr<CurlCore> core) : core_(std::move(core)) {}

    std::unique_ptr<BackendConnection> Connect(const char* server, uint16_t port,
                                               uint32_t& errorOut) override {
        std::string host = UrlHost(server);
        if (host.empty()) {
            errorOut = ERROR_INTERNET_INVALID_URL;
            return nullptr;
        }
        return std::make_unique<CurlConnection>(core_, host + ":" + std::to_string(port));
    }

    std::unique_ptr<BackendStream> OpenFtpFile(const char* server, uint16_t port, const char* user,
                                               const char* password, const char* path,
                                               std::optional<uint64_t>& sizeOut,
                                               uint32_t& errorOut) override {
        std::string host = UrlHost(server);
        if (host.empty() || path == nullptr || *path == '\0') {
            errorOut = ERROR_INTERNET_INVALID_URL;
            return nullptr;
        }
        // libcurl takes the path from the URL, relative to the login folder as given.
        std::string url = "ftp://" + host + ":" + std::to_string(port) + FtpUrlPath(path);
        auto file = std::make_unique<CurlFtpFile>(core_);
        if (!file->Open(url, user, password, sizeOut, errorOut)) {
            return nullptr;
        }
        return file;
    }

    void SetReceiveTimeout(uint32_t ms) override { core_->receiveTimeoutMs = ms; }

    void SetGuard(std::shared_ptr<TransferGuard> guard) override {
        core_->guard = std::move(guard);
    }

    void SetDecoding(bool decode) override { core_->decoding = decode; }

  private:
    // The decoded path encoded again for the URL: "/" then every byte outside the unreserved
    // set and '/' as %XX, so that libcurl decodes exactly the path the caller named.
    static std::string FtpUrlPath(const char* path) {
        static const char kHex[] = "0123456789ABCDEF";
        std::string out = "/";
        for (const char* p = path; *p != '\0'; ++p) {
            auto c = static_cast<unsigned char>(*p);
            if (afx::IsAsciiLetter(*p) || (c >= '0' && c <= '9') || strchr("-._~/", c) != nullptr) {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
        }
        return out;
    }

    std::shared_ptr<CurlCore> core_;
};

}  // namespace

// The multi handle comes with the session's first transfer; nothing here can fail but memory.
std::unique_ptr<BackendSession> OpenBackendSession(const std::string& agent,
                                                   uint32_t& /*errorOut*/) {
    GlobalInit();
    return std::make_unique<CurlSession>(std::make_shared<CurlCore>(agent));
}

std::string DefaultAgentName() {
    // The program's own name, as on Windows, so that a program sends one name on both.
    std::string name = program_invocation_short_name;
    return name.empty() ? std::string("quor_inet") : name;
}

bool PlatformConnectedState() {
    return true;
}

bool PlatformErrorMessage(uint32_t /*error*/, char* /*buffer*/, unsigned /*maxLength*/) {
    return false;
}

}  // namespace afx::inet
