#pragma once
// The narrow interface under the Internet classes: one implementation over the platform's
// Internet services (Windows) and one over libcurl (elsewhere), chosen at build time. The
// classes of internet_session.h are written once over it, and it offers what they pass on:
// a connection to a server and port, a GET of an object (over TLS or not) sent with header
// lines, a file opened on an FTP server.
//
// Every failure is reported as an error code numbered as the platform's Internet services
// number theirs (inet_constants.h), so that both backends give the same codes. Objects may
// outlive the object that made them: a request keeps what it needs of its connection and
// session alive until it is destroyed.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace afx::inet {

class TransferGuard;

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

// A GET, never redirected: sent once, then its response is read.
class BackendRequest : public BackendStream {
  public:
    // Sends the request with header lines ("Name: value", each ended by CR LF; may be empty)
    // and waits for the response head.
    virtual bool Send(std::string_view headers, uint32_t& errorOut) = 0;

    // After a successful Send.
    virtual bool QueryStatusCode(uint32_t& statusOut) = 0;
    // The value of the response header `name` (case-insensitive; the first of several).
    virtual bool QueryHeader(const char* name, std::string& valueOut) = 0;
    // After a successful Send: whether the body is read decoded from the content coding the
    // response names (see SetDecoding), so that its Content-Length counts other bytes.
    virtual bool BodyDecoded() = 0;
};

class BackendConnection {
  public:
    virtual ~BackendConnection() = default;
    // A GET of object (the path and query as they go on the request line); nothing is sent
    // yet. secure: over TLS (HTTPS), the server's certificate checked against the trusted
    // authorities. Null on failure.
    virtual std::unique_ptr<BackendRequest> OpenRequest(const char* object, bool secure,
                                                        uint32_t& errorOut) = 0;
};

class BackendSession {
  public:
    virtual ~BackendSession() = default;
    // Nothing goes over the network yet; the connection is made when a request is sent.
    virtual std::unique_ptr<BackendConnection> Connect(const char* server, uint16_t port,
                                                       uint32_t& errorOut) = 0;
    // Logs in to the FTP server (passive mode; anonymous when user is null or empty) and
    // starts the binary transfer of path (relative to the login folder, as FtpPathOf gives
    // it). sizeOut: the file's size as the server tells it, nullopt when it does not; nothing
    // of the body is read for it. Null on failure: 12015 login refused, 12003 the server
    // refused the file (its answer, e.g. 550 for a missing one), 12029 no connection, ...
    virtual std::unique_ptr<BackendStream> OpenFtpFile(const char* server, uint16_t port,
                                                       const char* user, const char* password,
                                                       const char* path,
                                                       std::optional<uint64_t>& sizeOut,
                                                       uint32_t& errorOut) = 0;
    // How long a wait for data may last (ms, default 30 s) before it fails with 12002; for
    // connections made afterwards. Connecting keeps its own 60 s.
    virtual void SetReceiveTimeout(uint32_t ms) = 0;
    // What ends the session's transfers early; set before the session's first request. A
    // connect, a wait for the response and a read fail with the guard's verdict soon after it
    // is given, and body bytes are told to it as they arrive.
    virtual void SetGuard(std::shared_ptr<TransferGuard> guard) = 0;
    // For connections made afterwards: their requests ask for a gzip-compressed response
    // ("Accept-Encoding: gzip") and hand its body over decoded.
    virtual void SetDecoding(bool decode) = 0;
};

// A session with the system's configured access (its proxy settings) that sends agent as the
// user agent.
std::unique_ptr<BackendSession> OpenBackendSession(const std::string& agent, uint32_t& errorOut);

// The user agent sent when the caller names none.
std::string DefaultAgentName();
// Whether the machine has a connection to the Internet, as the platform sees it.
bool PlatformConnectedState();
// The platform's own description of an Internet error into buffer (bounded, terminated);
// false when it has none.
bool PlatformErrorMessage(uint32_t error, char* buffer, unsigned maxLength);

}  // namespace afx::inet
