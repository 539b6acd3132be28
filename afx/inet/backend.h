#pragma once
// The narrow interface under the Internet classes: one implementation over the platform's
// Internet services (Windows) and one over libcurl (elsewhere), chosen at build time. The
// classes of internet_session.h are written once over it.
//
// Every failure is reported as an error code numbered as the platform's Internet services
// number theirs (inet_constants.h), so that both backends give the same codes. Objects may
// outlive the object that made them: a request keeps what it needs of its connection and
// session alive until it is destroyed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace afx::inet {

class TransferGuard;

struct SessionSettings {
    std::string agent;  // never empty
    uint32_t accessType = 0;
    std::string proxyName;
    std::string proxyBypass;
    uint32_t flags = 0;
};

// A body read from its start: an HTTP response, or a file opened on an FTP server.
class BackendStream {
  public:
    virtual ~BackendStream() = default;

    // Reads body bytes, waiting until at least one arrives or the body ends. True with
    // readOut = 0 at the end; false with errorOut when the transfer fails.
    virtual bool Read(void* buffer, uint32_t count, uint32_t& readOut, uint32_t& errorOut) = 0;
    // Bytes that can be read without waiting, after waiting for at least one or the end.
    virtual bool QueryDataAvailable(uint32_t& availableOut, uint32_t& errorOut) = 0;
    // How many body bytes the backend may hold ahead of the reader (a hint).
    virtual void SetBufferSize(uint32_t bytes) = 0;
};

class BackendRequest : public BackendStream {
  public:
    // Adds header lines ("Name: value", each ended by CR LF) to the request before it is sent.
    virtual bool AddHeaders(std::string_view headers, uint32_t& errorOut) = 0;
    // Sends the request with more header lines and a body, and waits for the response head.
    virtual bool Send(std::string_view headers, const void* body, size_t bodyLength,
                      uint32_t& errorOut) = 0;

    // After a successful Send.
    virtual bool QueryStatusCode(uint32_t& statusOut) = 0;
    // The value of the response header `name` (case-insensitive; the first of several).
    virtual bool QueryHeader(const char* name, std::string& valueOut) = 0;
};

class BackendConnection {
  public:
    virtual ~BackendConnection() = default;
    // object: the path and query as they go on the request line. flags with
    // INTERNET_FLAG_SECURE: the request goes over TLS (HTTPS), the server's certificate
    // checked against the trusted authorities. Null on failure.
    virtual std::unique_ptr<BackendRequest> OpenRequest(const char* verb, const char* object,
                                                        const char* referer,
                                                        const char** acceptTypes,
                                                        const char* version, uint32_t flags,
                                                        uint32_t context, uint32_t& errorOut) = 0;
};

class BackendSession {
  public:
    virtual ~BackendSession() = default;
    // Nothing goes over the network yet; the connection is made when a request is sent.
    virtual std::unique_ptr<BackendConnection> Connect(const char* server, uint16_t port,
                                                       const char* user, const char* password,
                                                       uint32_t context, uint32_t& errorOut) = 0;
    // Logs in to the FTP server (passive mode; anonymous when user is null or empty) and
    // starts the binary transfer of path (relative to the login folder, as FtpPathOf gives
    // it). sizeOut: the file's size as the server tells it, nullopt when it does not; nothing
    // of the body is read for it. Null on failure: 12015 login refused, 12003 the server
    // refused the file (its answer, e.g. 550 for a missing one), 12029 no connection, ...
    virtual std::unique_ptr<BackendStream> OpenFtpFile(const char* server, uint16_t port,
                                                       const char* user, const char* password,
                                                       const char* path, uint32_t context,
                                                       std::optional<uint64_t>& sizeOut,
                                                       uint32_t& errorOut) = 0;
    // Time-outs (INTERNET_OPTION_CONNECT_TIMEOUT, _SEND_TIMEOUT, _RECEIVE_TIMEOUT) in ms.
    virtual bool SetOption(uint32_t option, uint32_t value) = 0;
    virtual bool QueryOption(uint32_t option, uint32_t& valueOut) = 0;
    // What ends the session's transfers early; set before the session's first request. A
    // connect, a wait for the response and a read fail with the guard's verdict soon after it
    // is given, and body bytes are told to it as they arrive.
    virtual void SetGuard(std::shared_ptr<TransferGuard> guard) = 0;
};

std::unique_ptr<BackendSession> OpenBackendSession(const SessionSettings& settings,
                                                   uint32_t& errorOut);

// The user agent sent when the caller names none.
std::string DefaultAgentName();
// Whether the machine has a connection to the Internet, as the platform sees it.
bool PlatformConnectedState();
// The platform's own description of an Internet error into buffer (bounded, terminated);
// false when it has none.
bool PlatformErrorMessage(uint32_t error, char* buffer, unsigned maxLength);

}  // namespace afx::inet
