// The Internet classes over libcurl: one multi handle per session, whose connection cache lets
// the session's requests share kept-alive connections; one easy handle per request, read on
// demand through a write callback that pauses the transfer while the reader's buffer is full.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "afx/inet/backend.h"
#include "afx/inet/curl/curl_errors.h"
#include "afx/inet/http_headers.h"
#include "afx/inet/inet_constants.h"

namespace afx::inet {

namespace {

constexpr long kReceiveBufferBytes = 65536;

using Clock = std::chrono::steady_clock;

constexpr uint32_t kDefaultConnectTimeoutMs = 60000;
constexpr uint32_t kDefaultSendTimeoutMs = 30000;
constexpr uint32_t kDefaultReceiveTimeoutMs = 30000;
constexpr int kPollSliceMs = 1000;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
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

struct Options {
    uint32_t connectTimeoutMs = kDefaultConnectTimeoutMs;
    uint32_t sendTimeoutMs = kDefaultSendTimeoutMs;
    uint32_t receiveTimeoutMs = kDefaultReceiveTimeoutMs;
};

class CurlRequest;

// What a session's connections and requests share; lives as long as any of them.
class CurlCore {
  public:
    CurlCore(CURLM* multi, SessionSettings settings)
        : multi_(multi), settings_(std::move(settings)) {}
    ~CurlCore() { curl_multi_cleanup(multi_); }
    CurlCore(const CurlCore&) = delete;
    CurlCore& operator=(const CurlCore&) = delete;

    CURLM* multi() const { return multi_; }
    const SessionSettings& settings() const { return settings_; }
    Options options;

    // Lets every transfer of the session make progress, then hands out finished results.
    void Perform();
    // Waits for socket activity (or curl's own timers) for at most ms.
    void Poll(int ms) { curl_multi_poll(multi_, nullptr, 0, ms, nullptr); }

  private:
    CURLM* multi_;
    SessionSettings settings_;
};

class CurlRequest : public BackendRequest {
  public:
    CurlRequest(std::shared_ptr<CurlCore> core, std::string url, std::string verb,
                std::string referer, std::string accept, bool http10, std::string user,
                std::string password)
        : core_(std::move(core)),
          url_(std::move(url)),
          verb_(std::move(verb)),
          referer_(std::move(referer)),
          accept_(std::move(accept)),
          http10_(http10),
          user_(std::move(user)),
          password_(std::move(password)) {}

    ~CurlRequest() override {
        Detach();
        if (easy_ != nullptr) {
            curl_easy_cleanup(easy_);
        }
        curl_slist_free_all(headerList_);
    }

    bool AddHeaders(std::string_view headers, uint32_t& errorOut) override {
        if (easy_ != nullptr) {
            errorOut = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
            return false;
        }
        if (!AppendHeaderLines(headerList_, headers)) {
            errorOut = kInternetErrorNotEnoughMemory;
            return false;
        }
        return true;
    }

    bool Send(std::string_view headers, const void* body, size_t bodyLength,
              uint32_t& errorOut) override;

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
            if (EqualsNoCase(n, name)) {
                valueOut = v;
                return true;
            }
        }
        return false;
    }

    bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) override;
    bool QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) override;

    void SetBufferSize(uint32_t bytes) override { capacity_ = std::max<uint32_t>(bytes, 1024); }

    // Called by the core when curl reports the transfer finished.
    void Finished(CURLcode code) {
        done_ = true;
        result_ = code;
        Detach();
    }

  private:
    static size_t WriteCallback(char* data, size_t size, size_t count, void* self) {
        return static_cast<CurlRequest*>(self)->Write(data, size * count);
    }
    static size_t HeaderCallback(char* data, size_t size, size_t count, void* self) {
        static_cast<CurlRequest*>(self)->HeaderLine(std::string_view(data, size * count));
        return size * count;
    }

    size_t Write(const char* data, size_t n);
    void HeaderLine(std::string_view line);

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
    uint32_t DoneError() const {
        return abortError_ != 0 ? abortError_ : InternetErrorFromCurl(result_);
    }

    // Drives the session until ready() or the transfer ends; false when it waited longer
    // than limitMs without any data arriving (the transfer is then aborted with 12002).
    template <typename Ready>
    bool WaitFor(Ready ready, uint32_t limitMs);

    size_t PendingSize() const { return pending_.size() - pendingHead_; }
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
    std::string url_;
    std::string verb_;
    std::string referer_;
    std::string accept_;
    bool http10_;
    std::string user_;
    std::string password_;
    std::string body_;

    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    bool attached_ = false;
    bool done_ = false;
    CURLcode result_ = CURLE_OK;
    uint32_t abortError_ = 0;
    Clock::time_point lastActivity_;

    bool headersDone_ = false;
    uint32_t status_ = 0;
    std::vector<std::pair<std::string, std::string>> responseHeaders_;

    uint32_t capacity_ = 16384;
    std::string pending_;  // body bytes received and not yet read
    size_t pendingHead_ = 0;
    bool paused_ = false;
    uint8_t* direct_ = nullptr;  // the reader's own buffer while it waits
    size_t directRoom_ = 0;
    size_t directFilled_ = 0;
};

void CurlCore::Perform() {
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
            reinterpret_cast<CurlRequest*>(owner)->Finished(msg->data.result);
        }
    }
}

size_t CurlRequest::Write(const char* data, size_t n) {
    size_t toReader = std::min(n, directRoom_ - directFilled_);
    size_t rest = n - toReader;
    // Hold no more than the read buffer ahead of the reader; curl keeps the chunk meanwhile.
    if (rest > 0 && PendingSize() > 0 && PendingSize() + rest > capacity_) {
        paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (toReader > 0) {
        memcpy(direct_ + directFilled_, data, toReader);
        directFilled_ += toReader;
    }
    if (rest > 0) {
        if (pendingHead_ > 0 && pendingHead_ >= pending_.size() / 2) {
            pending_.erase(0, pendingHead_);
            pendingHead_ = 0;
        }
        pending_.append(data + toReader, rest);
    }
    lastActivity_ = Clock::now();
    return n;
}

void CurlRequest::HeaderLine(std::string_view line) {
    if (headersDone_) {
        return;  // trailers of a chunked body
    }
    lastActivity_ = Clock::now();
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
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    responseHeaders_.emplace_back(std::string(line.substr(0, colon)), std::string(value));
}

template <typename Ready>
bool CurlRequest::WaitFor(Ready ready, uint32_t limitMs) {
    for (;;) {
        core_->Perform();
        if (ready() || done_) {
            return true;
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

bool CurlRequest::Send(std::string_view headers, const void* body, size_t bodyLength,
                       uint32_t& errorOut) {
    if (easy_ != nullptr) {
        errorOut = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
        return false;
    }
    easy_ = curl_easy_init();
    if (easy_ == nullptr || !AppendHeaderLines(headerList_, headers) ||
        (!accept_.empty() && !AppendHeaderLines(headerList_, "Accept: " + accept_))) {
        errorOut = kInternetErrorNotEnoughMemory;
        return false;
    }
    const SessionSettings& settings = core_->settings();
    const Options& options = core_->options;
    curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
    // The object goes on the request line as it is (no dot segments removed); a proxy gets
    // the whole URL from it.
    curl_easy_setopt(easy_, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, settings.agent.c_str());
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeoutMs));
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
    // Fewer, larger receives: the write callback still hands the reader at most the read
    // buffer ahead of it, plus the one receive that curl holds while paused.
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlRequest::WriteCallback);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlRequest::HeaderCallback);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION,
                     http10_ ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    if (!referer_.empty()) {
        curl_easy_setopt(easy_, CURLOPT_REFERER, referer_.c_str());
    }
    if (!user_.empty()) {
        curl_easy_setopt(easy_, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, password_.c_str());
    }
    switch (settings.accessType) {
        case INTERNET_OPEN_TYPE_DIRECT:
            curl_easy_setopt(easy_, CURLOPT_PROXY, "");
            break;
        case INTERNET_OPEN_TYPE_PROXY:
            curl_easy_setopt(easy_, CURLOPT_PROXY, settings.proxyName.c_str());
            curl_easy_setopt(easy_, CURLOPT_NOPROXY, settings.proxyBypass.c_str());
            break;
        default:
            break;  // libcurl reads http_proxy, no_proxy and the like itself
    }
    if (verb_ == "HEAD") {
        curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    } else if (verb_ != "GET" || body != nullptr) {
        if (verb_ != "POST") {
            curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, verb_.c_str());
        }
        if (body != nullptr || verb_ == "POST") {
            body_.assign(static_cast<const char*>(body), body != nullptr ? bodyLength : 0);
            curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(body_.size()));
            curl_easy_setopt(easy_, CURLOPT_COPYPOSTFIELDS, body_.c_str());
        }
    }
    if (curl_multi_add_handle(core_->multi(), easy_) != CURLM_OK) {
        errorOut = ERROR_INTERNET_INTERNAL_ERROR;
        return false;
    }
    attached_ = true;
    lastActivity_ = Clock::now();
    // Connecting and the server's first answer share one allowance.
    WaitFor([this] { return headersDone_; }, options.connectTimeoutMs + options.receiveTimeoutMs);
    if (!headersDone_) {
        errorOut = done_ ? DoneError() : ERROR_INTERNET_TIMEOUT;
        if (errorOut == 0) {
            errorOut = ERROR_HTTP_INVALID_SERVER_RESPONSE;  // ended without a response head
        }
        return false;
    }
    return true;
}

bool CurlRequest::Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) {
    readOut = 0;
    if (easy_ == nullptr || !headersDone_) {
        errorOut = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
        return false;
    }
    if (count == 0) {
        return true;
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
        WaitFor([this] { return directFilled_ > 0 || PendingSize() > 0; },
                core_->options.receiveTimeoutMs);
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

bool CurlRequest::QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) {
    availableOut = 0;
    if (easy_ == nullptr || !headersDone_) {
        errorOut = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
        return false;
    }
    if (PendingSize() == 0) {
        Resume();
        if (PendingSize() == 0 && !done_) {
            WaitFor([this] { return PendingSize() > 0; }, core_->options.receiveTimeoutMs);
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

class CurlConnection : public BackendConnection {
  public:
    CurlConnection(std::shared_ptr<CurlCore> core, std::string origin, std::string user,
                   std::string password)
        : core_(std::move(core)),
          origin_(std::move(origin)),
          user_(std::move(user)),
          password_(std::move(password)) {}

    std::unique_ptr<BackendRequest> OpenRequest(const char* verb, const char* object,
                                                const char* referer, const char** acceptTypes,
                                                const char* version, uint32_t /*flags*/,
                                                uint32_t /*context*/, uint32_t& errorOut) override {
        if (verb == nullptr || *verb == '\0' || strpbrk(verb, " \t\r\n") != nullptr) {
            errorOut = ERROR_INTERNET_INVALID_OPERATION;
            return nullptr;
        }
        std::string accept;
        for (const char** type = acceptTypes; type != nullptr && *type != nullptr; ++type) {
            if (!accept.empty()) {
                accept += ", ";
            }
            accept += *type;
        }
        bool http10 = version != nullptr && strcmp(version, "HTTP/1.0") == 0;
        return std::make_unique<CurlRequest>(
            core_, origin_ + RequestTarget(object != nullptr ? object : "/"), verb,
            referer != nullptr ? referer : "", accept, http10, user_, password_);
    }

  private:
    std::shared_ptr<CurlCore> core_;
    std::string origin_;
    std::string user_;
    std::string password_;
};

class CurlSession : public BackendSession {
  public:
    explicit CurlSession(std::shared_ptr<CurlCore> core) : core_(std::move(core)) {}

    std::unique_ptr<BackendConnection> Connect(const char* server, uint16_t port, const char* user,
                                               const char* password, uint32_t /*context*/,
                                               uint32_t& errorOut) override {
        // The name goes into a URL: anything that could change its meaning is refused.
        if (server == nullptr || *server == '\0' || strpbrk(server, "/?#@\\ \t\r\n%") != nullptr) {
            errorOut = ERROR_INTERNET_INVALID_URL;
            return nullptr;
        }
        std::string host = server;
        if (host.find(':') != std::string::npos && host.front() != '[') {
            host = "[" + host + "]";
        }
        return std::make_unique<CurlConnection>(
            core_, "http://" + host + ":" + std::to_string(port), user != nullptr ? user : "",
            password != nullptr ? password : "");
    }

    bool SetOption(uint32_t option, uint32_t value) override {
        switch (option) {
            case INTERNET_OPTION_CONNECT_TIMEOUT:
                core_->options.connectTimeoutMs = value;
                return true;
            case INTERNET_OPTION_SEND_TIMEOUT:
                core_->options.sendTimeoutMs = value;
                return true;
            case INTERNET_OPTION_RECEIVE_TIMEOUT:
                core_->options.receiveTimeoutMs = value;
                return true;
            default:
                return false;
        }
    }

    bool QueryOption(uint32_t option, uint32_t& valueOut) override {
        switch (option) {
            case INTERNET_OPTION_CONNECT_TIMEOUT:
                valueOut = core_->options.connectTimeoutMs;
                return true;
            case INTERNET_OPTION_SEND_TIMEOUT:
                valueOut = core_->options.sendTimeoutMs;
                return true;
            case INTERNET_OPTION_RECEIVE_TIMEOUT:
                valueOut = core_->options.receiveTimeoutMs;
                return true;
            default:
                return false;
        }
    }

  private:
    std::shared_ptr<CurlCore> core_;
};

}  // namespace

std::unique_ptr<BackendSession> OpenBackendSession(const SessionSettings& settings,
                                                   uint32_t& errorOut) {
    GlobalInit();
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) {
        errorOut = kInternetErrorNotEnoughMemory;
        return nullptr;
    }
    return std::make_unique<CurlSession>(std::make_shared<CurlCore>(multi, settings));
}

std::string DefaultAgentName() {
    return "quor_inet";
}

bool PlatformConnectedState() {
    return true;
}

bool PlatformErrorMessage(uint32_t /*error*/, char* /*buffer*/, unsigned /*maxLength*/) {
    return false;
}

}  // namespace afx::inet
