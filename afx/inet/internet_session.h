#pragma once
// The class library's Internet session classes: a session, a connection to one HTTP server, a
// request whose response is read as a file, and OpenURL, which opens an http, https, ftp or
// file URL as a file to read. Redirections are followed by OpenURL only.
//
// Ownership is the caller's: every object handed out is closed and deleted by whoever asked
// for it, in any order (a file may outlive its connection and its session).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "afx/cstring.h"
#include "afx/inet/file.h"
#include "afx/inet/inet_constants.h"
#include "afx/inet/internet_exception.h"
#include "afx/inet/transfer_guard.h"
#include "afx/parse_url.h"

namespace afx::inet {
class BackendSession;
class BackendConnection;
class BackendRequest;
class BodyReader;
}  // namespace afx::inet

class CHttpConnection;
class CHttpFile;

class CInternetSession {
  public:
    // agent: the user agent; null sends the host program's name (its file name without
    // extension). Every session has the system's configured access, whatever accessType,
    // proxyName, proxyBypass and flags say (the library passes preconfigured access and none
    // of the others): the system's proxy settings, on Windows the Internet options, elsewhere
    // the usual proxy environment variables. Throws CInternetException* when no session can
    // be made.
    // Servers spoken to over TLS (https) must show a certificate that the platform trusts,
    // for the name in the URL: on Windows as the system's certificate stores decide;
    // elsewhere against the system's authorities, or only those in the file named by the
    // environment variable CURL_CA_BUNDLE or, without it, SSL_CERT_FILE (as the curl tool and
    // OpenSSL read them), looked at when the session is made. Verification is never skipped.
    explicit CInternetSession(const char* agent = nullptr, uint32_t context = 1,
                              uint32_t accessType = PRE_CONFIG_INTERNET_ACCESS,
                              const char* proxyName = nullptr, const char* proxyBypass = nullptr,
                              uint32_t flags = 0);
    virtual ~CInternetSession();  // Close()
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // A connection to server:port; nothing is sent yet. Null on failure (nothing thrown).
    // Requests carry no user name and password (the library passes none).
    CHttpConnection* GetHttpConnection(const char* server,
                                       uint16_t port = INTERNET_DEFAULT_HTTP_PORT,
                                       const char* user = nullptr, const char* password = nullptr);

    // Opens a URL for reading. The file is deleted by the caller; every failure of opening
    // it, and of reading or seeking in it later, throws CInternetException*. Text that is no
    // URL throws 12005.
    // - http and https (port 443 unless the URL names one; the certificate is checked, see
    //   the constructor): sends the request; the response's body is the file (a CHttpFile,
    //   whatever its status). Redirections are followed (at most 10, between http and https)
    //   unless flags has INTERNET_FLAG_NO_AUTO_REDIRECT. Only what is read is transferred:
    //   the resource is fetched in ranged blocks of the file's read buffer size, and Seek
    //   moves freely; a server that ignores ranges is read as one stream. headers: more
    //   request header lines (CR LF ended), headersLength -1 or 0 for a zero-terminated text.
    //   A failed request throws its error (12029, 12007, 12045 an untrusted certificate...).
    // - ftp: logs in (the URL's user and password, else anonymously) in passive mode and
    //   reads the file from its start, always as binary (an ASCII transfer would change an
    //   audio file's bytes, and many servers refuse to tell its size). The file is a
    //   CInternetFile: Seek from the end uses the size the server told, without reading
    //   anything; it moves forward by reading and dropping, and back within the last 4 KiB
    //   read.
    //   Throws 12015 when the login is refused, 12003 when the server refuses the file
    //   (missing, not readable), 12029 when no connection can be made.
    // - file (file:///path, file://localhost/path, on Windows also file:///C:/path,
    //   file://C:/path and file://server/share/path; escapes decoded): the local file,
    //   read-only, read and sought anywhere; GetLength is its size. Throws 12028 when it is
    //   missing, is a folder or cannot be opened.
    // Returns null for a URL of any other scheme (gopher, mailto, news, ...), without
    // traffic.
    CStdioFile* OpenURL(const char* url, uint32_t context = 1,
                        uint32_t flags = INTERNET_FLAG_TRANSFER_ASCII,
                        const char* headers = nullptr, uint32_t headersLength = 0);

    // For connections made afterwards; false for any other option:
    // - INTERNET_OPTION_RECEIVE_TIMEOUT in milliseconds (default 30 s: a wait for data longer
    //   than this fails with 12002). Connecting may take 60 s.
    // - INTERNET_OPTION_HTTP_DECODING, non-zero: requests sent by CHttpFile::SendRequest ask
    //   for gzip ("Accept-Encoding: gzip") and a compressed body is read decoded; its size is
    //   then unknown (GetLength and a seek from the end do not use the announced length).
    //   Default off: the body as the server sent it.
    bool SetOption(uint32_t option, uint32_t value);

    // Ends the transfers of this session early (set it before the first request): once the
    // stop flag is raised, the time limit has passed or the speed has stayed too low, the call
    // under way (connecting, waiting for the response, reading) throws CInternetException*
    // within about kGuardPollMs, and so does every later one: 12017 for the stop flag, 12002
    // for the limits. Whatever a read had received before stays the caller's.
    void SetTransferLimits(const afx::inet::TransferLimits& limits);

    // Releases the session; connections and files made from it stay usable until closed.
    virtual void Close();

  private:
    CStdioFile* OpenHttpUrl(CString server, CString object, uint16_t port, bool secure,
                            uint32_t context, bool followRedirects, const std::string& headers);
    CStdioFile* OpenFtpUrl(const char* url, const CString& server, const CString& object,
                           uint16_t port, uint32_t context);

    std::shared_ptr<afx::inet::BackendSession> m_session;
};

class CHttpConnection {
  public:
    enum { HTTP_VERB_GET = 1 };

    virtual ~CHttpConnection();  // Close()
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // A GET of object ("/path?query") on this connection; nothing is sent until
    // CHttpFile::SendRequest. Requests of one session share its open connections to the
    // server. Redirections are never followed; with INTERNET_FLAG_SECURE in flags the request
    // goes over TLS. A request carries no referrer, no accepted types and the default HTTP
    // version, whatever is passed (the library passes none). Null on failure, and for any
    // verb but HTTP_VERB_GET.
    CHttpFile* OpenRequest(int verb, const char* object, const char* referer = nullptr,
                           uint32_t context = 1, const char** acceptTypes = nullptr,
                           const char* version = nullptr,
                           uint32_t flags = INTERNET_FLAG_EXISTING_CONNECT |
                                            INTERNET_FLAG_NO_AUTO_REDIRECT);

    virtual void Close();

  private:
    friend class CInternetSession;
    explicit CHttpConnection(std::shared_ptr<afx::inet::BackendConnection> connection);

    std::shared_ptr<afx::inet::BackendConnection> m_connection;
};

// A remote file: the body of one response, read from its start.
class CInternetFile : public CStdioFile {
  public:
    ~CInternetFile() override;  // Close()

    // Reads up to count bytes, waiting until they are there or the body ends; 0 at the end.
    // Throws CInternetException* when the transfer fails, a body that ends before its
    // announced length among them (12030); a read that fails after some bytes arrived returns
    // those, and the next read throws.
    unsigned Read(void* buffer, unsigned count) override;

    // Returns the new position. The end is the size the response announced (Content-Length,
    // or the total of Content-Range) or the FTP server told; nothing of the body is
    // transferred to find it, and
    // without an announced size a seek from the end throws CInternetException* (12016).
    // A request's file can move forward (the bytes between are read and dropped) and back
    // within the last 4 KiB read; further back throws (12016). A file of OpenURL can
    // move anywhere. A negative position throws (12016).
    int64_t Seek(int64_t offset, unsigned from) override;

    // The bytes that can be read at once: waits until at least one is there or the body ends.
    uint32_t GetLength() const override;

    // The size of the read buffer: how far the transfer may run ahead of the reader (natively
    // never less than 256 KiB, so that a page is never held back: what libcurl keeps of a
    // held-back transfer is lost when the transfer then fails), and the block size of a file
    // from OpenURL. 0 restores the default (16 KiB). False for more than 16 MiB.
    bool SetReadBufferSize(unsigned size);

    // Whether a forward seek reads and drops the bytes between: true for a body streamed from
    // its start (a request's file, an FTP file, a server that ignored the range); false for a
    // file fetched in ranged blocks, where a seek only moves.
    bool SeeksByReading() const;

    void Close() override;

  protected:
    friend class CInternetSession;  // makes the files of ftp URLs
    explicit CInternetFile(uint32_t context);
    void Attach(std::unique_ptr<afx::inet::BodyReader> reader);
    afx::inet::BodyReader* Reader() const { return m_reader.get(); }

    uint32_t m_dwContext;

  private:
    std::unique_ptr<afx::inet::BodyReader> m_reader;
};

class CHttpFile : public CInternetFile {
  public:
    // Sends the request with more header lines (CR LF ended; headersLength -1 or 0 for a
    // zero-terminated text) and waits for the response head. Returns non-zero. A GET has no
    // body: optional is not sent (the library passes none). Throws CInternetException* when
    // it cannot be sent or answered (12029 cannot connect, 12007 unknown name, 12002
    // time-out, 12152 not an HTTP response, ...). The status is not examined: an error page
    // or a redirection is the body to read.
    int SendRequest(const char* headers = nullptr, uint32_t headersLength = 0,
                    const void* optional = nullptr, uint32_t optionalLength = 0);

    // The response's status code; false before a response.
    int QueryInfoStatusCode(uint32_t& statusOut) const;
    // HTTP_QUERY_LOCATION: the response's Location header as it stands. 0 before a response,
    // without the header, and for every other level.
    int QueryInfo(uint32_t infoLevel, CString& valueOut) const;

  private:
    friend class CHttpConnection;
    friend class CInternetSession;
    CHttpFile(std::shared_ptr<afx::inet::BackendConnection> connection,
              std::unique_ptr<afx::inet::BackendRequest> request, uint32_t context);
};

// Whether the machine has a connection to the Internet (Windows: InternetGetConnectedState;
// elsewhere always true), unless a test has put its own answer in place.
bool AfxInternetGetConnectedState();
// Replaces the answer of AfxInternetGetConnectedState on every thread; an empty function
// restores the platform's.
void AfxSetConnectedStateForTesting(std::function<bool()> state);

// What the Internet classes of this process have done, for tests.
struct InternetCounters {
    uint64_t requestsSent = 0;   // requests handed to the network, ranged blocks included
    uint64_t bodyBytesRead = 0;  // response body bytes received from the network
};
InternetCounters AfxGetInternetCounters();
