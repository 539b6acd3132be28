// The Internet classes over WinINet: a session handle (InternetOpen), a connection handle per
// server (InternetConnect, which connects lazily; WinINet keeps and shares the sockets), one
// request handle per request; an FTP file is a connection of its own (which logs in at once)
// and the file handle of FtpOpenFile. Each handle keeps its parent alive until it is closed
// itself.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "afx/ascii.h"
#include "afx/inet/backend.h"
#include "afx/inet/inet_constants.h"
#include "afx/inet/transfer_guard.h"
#include "afx/inet/wininet/watched_call_win.h"

namespace afx::inet {

namespace {

// No status callback is installed: the context value of a handle means nothing.
constexpr DWORD_PTR kNoContext = 0;

// Owns one HINTERNET; parents are held by the children that need them.
class Handle {
  public:
    explicit Handle(HINTERNET h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return h_.load(); }
    // Once: by the owner, or by a caller that gives up on a call under way on it.
    void Close() {
        if (HINTERNET h = h_.exchange(nullptr); h != nullptr) {
            InternetCloseHandle(h);
        }
    }

  private:
    std::atomic<HINTERNET> h_;
};

// Wine lets some socket errors through where Windows reports its own codes.
uint32_t LastError() {
    DWORD e = GetLastError();
    switch (e) {
        case 0:
            return ERROR_INTERNET_INTERNAL_ERROR;
        case WSAETIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case WSAECONNABORTED:
            return ERROR_INTERNET_CONNECTION_ABORTED;
        case WSAECONNRESET:
            return ERROR_INTERNET_CONNECTION_RESET;
        case WSAECONNREFUSED:
            return ERROR_INTERNET_CANNOT_CONNECT;
        default:
            return static_cast<uint32_t>(e);
    }
}

// The same waits as elsewhere; Wine would otherwise wait for a silent server as long as it
// keeps the connection open. Wine takes them only on request handles, so every connection and
// request gets them again when it is opened.
struct Timeouts {
    DWORD connectMs = 60000;
    DWORD sendMs = 30000;
    DWORD receiveMs = 30000;

    void ApplyTo(HINTERNET handle) const {
        for (auto [option, value] : {std::pair{INTERNET_OPTION_CONNECT_TIMEOUT, connectMs},
                                     std::pair{INTERNET_OPTION_SEND_TIMEOUT, sendMs},
                                     std::pair{INTERNET_OPTION_RECEIVE_TIMEOUT, receiveMs}}) {
            InternetSetOptionA(handle, option, &value, sizeof value);
        }
    }
};

// The body of a request or an FTP file. With a guard, the waits (InternetQueryDataAvailable)
// run watched and every read takes only what is there, so that a stalled or trickling server
// is noticed while it keeps the read waiting.
class HandleBody {
  public:
    HandleBody(std::shared_ptr<Handle> handle, std::shared_ptr<TransferGuard> guard)
        : handle_(std::move(handle)), guard_(std::move(guard)) {}

    const std::shared_ptr<Handle>& handle() const { return handle_; }
    const std::shared_ptr<TransferGuard>& guard() const { return guard_; }

    bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) {
        readOut = 0;
        if (failed_ != 0) {
            errorOut = failed_;
            return false;
        }
        if (guard_) {
            uint32_t available = 0;
            if (!Available(available, errorOut)) {
                return false;
            }
            if (available == 0) {
                return true;  // the end
            }
            count = std::min(count, available);
        }
        DWORD n = 0;
        if (!InternetReadFile(handle_->get(), buffer, count, &n)) {
            // WinINet hands over what it had received before the failure: it is the
            // caller's, and the failure waits for the next read.
            failed_ = LastError();
            if (n == 0) {
                errorOut = failed_;
                return false;
            }
        }
        readOut = std::min<uint32_t>(n, count);
        if (guard_) {
            guard_->Arrived(readOut);
        }
        return true;
    }

    bool Available(uint32_t& availableOut, uint32_t& errorOut) {
        availableOut = 0;
        if (failed_ != 0) {
            errorOut = failed_;
            return false;
        }
        if (!guard_) {
            DWORD n = 0;
            if (!InternetQueryDataAvailable(handle_->get(), &n, 0, 0)) {
                errorOut = LastError();
                return false;
            }
            availableOut = n;
            return true;
        }
        struct Answer {
            BOOL ok = FALSE;
            DWORD available = 0;
            uint32_t error = 0;
        };
        auto answer = std::make_shared<Answer>();
        std::shared_ptr<Handle> handle = handle_;
        uint32_t verdict = 0;
        if (!RunWatched(
                *guard_,
                [answer, handle] {
                    answer->ok =
                        InternetQueryDataAvailable(handle->get(), &answer->available, 0, 0);
                    answer->error = answer->ok ? 0 : LastError();
                },
                [handle] { handle->Close(); }, verdict)) {
            failed_ = verdict;
            errorOut = verdict;
            return false;
        }
        if (!answer->ok) {
            errorOut = answer->error;
            return false;
        }
        availableOut = answer->available;
        return true;
    }

  private:
    std::shared_ptr<Handle> handle_;
    std::shared_ptr<TransferGuard> guard_;
    uint32_t failed_ = 0;
};

class WinInetRequest : public BackendRequest {
  public:
    WinInetRequest(std::shared_ptr<Handle> connection, HINTERNET request,
                   std::shared_ptr<TransferGuard> guard, bool decoding)
        : connection_(std::move(connection)),
          body_(std::make_shared<Handle>(request), std::move(guard)),
          decoding_(decoding) {}

    bool Send(std::string_view headers, uint32_t& errorOut) override {
        // A copy, so that a send given up on reads nothing of the caller's.
        struct Sending {
            std::string headers;
            BOOL ok = FALSE;
            uint32_t error = 0;
        };
        auto sending = std::make_shared<Sending>();
        // WinINet decodes but never asks for a coding itself.
        if (decoding_) {
            sending->headers = "Accept-Encoding: gzip\r\n";
        }
        sending->headers.append(headers.data(), headers.size());
        std::shared_ptr<Handle> handle = body_.handle();
        auto send = [sending, handle] {
            sending->ok = HttpSendRequestA(
                handle->get(), sending->headers.empty() ? nullptr : sending->headers.data(),
                static_cast<DWORD>(sending->headers.size()), nullptr, 0);
            sending->error = sending->ok ? 0 : LastError();
        };
        if (body_.guard()) {
            uint32_t verdict = 0;
            if (!RunWatched(
                    *body_.guard(), send, [handle] { handle->Close(); }, verdict)) {
                errorOut = verdict;
                return false;
            }
        } else {
            send();
        }
        if (!sending->ok) {
            errorOut = sending->error;
            return false;
        }
        return true;
    }

    bool QueryStatusCode(uint32_t& statusOut) override {
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!HttpQueryInfoA(Request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                            &size, nullptr)) {
            return false;
        }
        statusOut = status;
        return true;
    }

    bool QueryHeader(const char* name, std::string& valueOut) override {
        if (name == nullptr || *name == '\0') {
            return false;
        }
        // HTTP_QUERY_CUSTOM takes the header's name in the buffer and returns its value there.
        const size_t nameSize = strlen(name) + 1;
        std::vector<char> buffer(std::max<size_t>(nameSize, 256));
        for (int attempt = 0; attempt < 2; ++attempt) {
            memcpy(buffer.data(), name, nameSize);
            DWORD size = static_cast<DWORD>(buffer.size());
            if (HttpQueryInfoA(Request(), HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr)) {
                valueOut.assign(buffer.data(), std::min<size_t>(size, buffer.size()));
                return true;
            }
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
                return false;
            }
            buffer.resize(std::max<size_t>(size_t(size) + 1, nameSize));
        }
        return false;
    }

    bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) override {
        return body_.Read(buffer, count, readOut, errorOut);
    }

    bool QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) override {
        return body_.Available(availableOut, errorOut);
    }

    // WinINet sizes its own buffers.
    void SetBufferSize(uint32_t) override {}

    // The codings WinINet decodes.
    bool BodyDecoded() override {
        std::string coding;
        if (!decoding_ || !QueryHeader("Content-Encoding", coding)) {
            return false;
        }
        while (!coding.empty() && (coding.back() == ' ' || coding.back() == '\t')) {
            coding.pop_back();
        }
        const size_t start = coding.find_first_not_of(" \t");
        coding.erase(0, start == std::string::npos ? coding.size() : start);
        return afx::EqualsNoCase(coding, "gzip") || afx::EqualsNoCase(coding, "x-gzip") ||
               afx::EqualsNoCase(coding, "deflate");
    }

  private:
    HINTERNET Request() const { return body_.handle()->get(); }

    std::shared_ptr<Handle> connection_;  // declared first: closed after the request
    HandleBody body_;
    bool decoding_;
};

class WinInetFtpFile : public BackendStream {
  public:
    WinInetFtpFile(std::shared_ptr<Handle> session, std::shared_ptr<Handle> connection,
                   std::shared_ptr<Handle> file, std::shared_ptr<TransferGuard> guard)
        : session_(std::move(session)),
          connection_(std::move(connection)),
          body_(std::move(file), std::move(guard)) {}

    bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) override {
        return body_.Read(buffer, count, readOut, errorOut);
    }

    bool QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) override {
        return body_.Available(availableOut, errorOut);
    }

    void SetBufferSize(uint32_t) override {}

  private:
    // Declared parent first: each is closed after its child.
    std::shared_ptr<Handle> session_;
    std::shared_ptr<Handle> connection_;
    HandleBody body_;
};

// The size of path as the server answers SIZE (RFC 3659, 4), asked in binary mode before the
// transfer starts. FtpGetFileSize is not used: Wine's answers 0 for every file.
std::optional<uint64_t> FtpServerFileSize(HINTERNET connection, const char* path) {
    if (!FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, "TYPE I", kNoContext, nullptr)) {
        return std::nullopt;
    }
    const std::string command = std::string("SIZE ") + path;
    if (!FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), kNoContext,
                     nullptr)) {
        return std::nullopt;
    }
    char answer[512] = {};
    DWORD code = 0;
    DWORD length = sizeof answer - 1;
    if (!InternetGetLastResponseInfoA(&code, answer, &length) || strncmp(answer, "213 ", 4) != 0) {
        return std::nullopt;
    }
    uint64_t size = 0;
    const char* digit = answer + 4;
    if (*digit < '0' || *digit > '9') {
        return std::nullopt;
    }
    for (int count = 0; *digit >= '0' && *digit <= '9'; ++digit, ++count) {
        if (count == 18) {
            return std::nullopt;  // beyond any real file
        }
        size = size * 10 + static_cast<uint64_t>(*digit - '0');
    }
    return size;
}

class WinInetConnection : public BackendConnection {
  public:
    WinInetConnection(std::shared_ptr<Handle> session, Timeouts timeouts,
                      std::shared_ptr<TransferGuard> guard, bool decoding, HINTERNET connection)
        : session_(std::move(session)),
          timeouts_(timeouts),
          guard_(std::move(guard)),
          decoding_(decoding),
          connection_(std::make_shared<Handle>(connection)) {}

    std::unique_ptr<BackendRequest> OpenRequest(const char* object, bool secure,
                                                uint32_t& errorOut) override {
        // Redirections stay the caller's to follow; the platform's URL cache would only keep
        // copies of what the caller reads itself.
        const DWORD flags = INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_AUTO_REDIRECT |
                            INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                            (secure ? INTERNET_FLAG_SECURE : 0);
        HINTERNET request = HttpOpenRequestA(connection_->get(), "GET", object, nullptr, nullptr,
                                             nullptr, flags, kNoContext);
        if (request == nullptr) {
            errorOut = LastError();
            return nullptr;
        }
        timeouts_.ApplyTo(request);
        // Taken on request handles only.
        BOOL decode = decoding_ ? TRUE : FALSE;
        if (decoding_ &&
            !InternetSetOptionA(request, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof decode)) {
            errorOut = LastError();
            InternetCloseHandle(request);
            return nullptr;
        }
        return std::make_unique<WinInetRequest>(connection_, request, guard_, decoding_);
    }

  private:
    std::shared_ptr<Handle> session_;
    Timeouts timeouts_;
    std::shared_ptr<TransferGuard> guard_;
    bool decoding_;
    std::shared_ptr<Handle> connection_;
};

// What an FTP open leaves behind. A watched open that was given up on closes what it made
// itself once it has finished.
struct FtpOpening {
    std::mutex mutex;
    bool abandoned = false;
    bool finished = false;
    HINTERNET connection = nullptr;
    HINTERNET file = nullptr;
    std::optional<uint64_t> size;
    uint32_t error = 0;

    void Run(HINTERNET session, const std::string& server, uint16_t port, const std::string& user,
             const std::string& password, bool withUser, const std::string& path,
             const Timeouts& timeouts) {
        HINTERNET c =
            InternetConnectA(session, server.c_str(), port, withUser ? user.c_str() : nullptr,
                             withUser ? password.c_str() : nullptr, INTERNET_SERVICE_FTP,
                             INTERNET_FLAG_PASSIVE, kNoContext);
        std::optional<uint64_t> s;
        HINTERNET f = nullptr;
        uint32_t e = 0;
        if (c == nullptr) {
            e = LastError();
        } else {
            timeouts.ApplyTo(c);
            s = FtpServerFileSize(c, path.c_str());
            f = FtpOpenFileA(c, path.c_str(), GENERIC_READ,
                             FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, kNoContext);
            if (f == nullptr) {
                e = LastError();
            }
        }
        std::lock_guard lock(mutex);
        finished = true;
        if (abandoned) {
            CloseBoth(c, f);
            return;
        }
        connection = c;
        file = f;
        size = s;
        error = e;
    }
    // On the caller's side, after a verdict.
    void Abandon() {
        std::lock_guard lock(mutex);
        abandoned = true;
        if (finished) {
            CloseBoth(connection, file);
            connection = nullptr;
            file = nullptr;
        }
    }
    static void CloseBoth(HINTERNET c, HINTERNET f) {
        if (f != nullptr) {
            InternetCloseHandle(f);
        }
        if (c != nullptr) {
            InternetCloseHandle(c);
        }
    }
};

// Connection handles keep the session handle alive through this holder.
class WinInetSession : public BackendSession {
  public:
    explicit WinInetSession(HINTERNET session) : session_(std::make_shared<Handle>(session)) {}

    std::unique_ptr<BackendConnection> Connect(const char* server, uint16_t port,
                                               uint32_t& errorOut) override {
        HINTERNET connection = InternetConnectA(session_->get(), server, port, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, kNoContext);
        if (connection == nullptr) {
            errorOut = LastError();
            return nullptr;
        }
        timeouts_.ApplyTo(connection);
        // A copy: later changes apply to later connections only.
        return std::make_unique<WinInetConnection>(session_, timeouts_, guard_, decoding_,
                                                   connection);
    }

    std::unique_ptr<BackendStream> OpenFtpFile(const char* server, uint16_t port, const char* user,
                                               const char* password, const char* path,
                                               std::optional<uint64_t>& sizeOut,
                                               uint32_t& errorOut) override {
        // The FTP connection logs in at once: connecting, logging in and opening all wait.
        auto opening = std::make_shared<FtpOpening>();
        auto open = [opening, session = session_, timeouts = timeouts_,
                     server = std::string(server != nullptr ? server : ""), port,
                     user = std::string(user != nullptr ? user : ""),
                     password = std::string(password != nullptr ? password : ""),
                     withUser = user != nullptr, path = std::string(path)] {
            opening->Run(session->get(), server, port, user, password, withUser, path, timeouts);
        };
        if (guard_) {
            uint32_t verdict = 0;
            if (!RunWatched(*guard_, open, {}, verdict)) {
                opening->Abandon();
                errorOut = verdict;
                return nullptr;
            }
        } else {
            open();
        }
        auto connection = opening->connection != nullptr
                              ? std::make_shared<Handle>(opening->connection)
                              : nullptr;
        if (opening->file == nullptr) {
            errorOut = opening->error;
            return nullptr;
        }
        sizeOut = opening->size;
        return std::make_unique<WinInetFtpFile>(session_, std::move(connection),
                                                std::make_shared<Handle>(opening->file), guard_);
    }

    void SetReceiveTimeout(uint32_t ms) override {
        DWORD v = ms;
        InternetSetOptionA(session_->get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &v, sizeof v);
        timeouts_.receiveMs = v;
    }

    void SetGuard(std::shared_ptr<TransferGuard> guard) override { guard_ = std::move(guard); }

    void SetDecoding(bool decode) override { decoding_ = decode; }

  private:
    std::shared_ptr<Handle> session_;
    Timeouts timeouts_;
    std::shared_ptr<TransferGuard> guard_;
    bool decoding_ = false;
};

}  // namespace

std::unique_ptr<BackendSession> OpenBackendSession(const std::string& agent, uint32_t& errorOut) {
    HINTERNET session =
        InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session == nullptr) {
        errorOut = LastError();
        return nullptr;
    }
    return std::make_unique<WinInetSession>(session);
}

std::string DefaultAgentName() {
    // The host program's file name without its extension, as the class library names an
    // application by default.
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, n < MAX_PATH ? n : MAX_PATH);
    size_t slash = name.find_last_of("\\/:");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name.empty() ? std::string("quor_inet") : name;
}

bool PlatformConnectedState() {
    DWORD flags = 0;
    return InternetGetConnectedState(&flags, 0) != FALSE;
}

bool PlatformErrorMessage(uint32_t error, char* buffer, unsigned maxLength) {
    if (buffer == nullptr || maxLength == 0) {
        return false;
    }
    HMODULE wininet = GetModuleHandleA("wininet.dll");
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                 FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             wininet, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    if (n == 0 || text == nullptr) {
        return false;
    }
    // Message texts end in a line break, which a message box would show as an empty line.
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) {
        --n;
    }
    const size_t copied = CopyBounded(buffer, maxLength, std::string_view(text, n));
    LocalFree(text);
    return copied > 0;
}

}  // namespace afx::inet
