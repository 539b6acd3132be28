#include "afx/inet/internet_session.h"

#include <atomic>
#include <mutex>

#include "afx/inet/backend.h"
#include "afx/inet/body_reader.h"
#include "afx/inet/http_headers.h"
#include "afx/inet/local_file.h"
#include "afx/inet/url_parts.h"
#include "afx/parse_url.h"

namespace afx::inet {

namespace {

std::atomic<uint64_t> g_requestsSent{0};
std::atomic<uint64_t> g_bodyBytesRead{0};

std::mutex g_connectedStateMutex;
std::function<bool()> g_connectedState;

}  // namespace

constexpr int kMaxRedirects = 10;

#ifdef _WIN32
constexpr PathStyle kLocalPathStyle = PathStyle::kWindows;
#else
constexpr PathStyle kLocalPathStyle = PathStyle::kPosix;
#endif

static bool IsRedirect(uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void CountRequestSent() {
    g_requestsSent.fetch_add(1, std::memory_order_relaxed);
}

void CountBodyBytes(uint64_t count) {
    g_bodyBytesRead.fetch_add(count, std::memory_order_relaxed);
}

}  // namespace afx::inet

using afx::inet::BodyReader;
using afx::inet::IsRedirect;
using afx::inet::kLocalPathStyle;
using afx::inet::kMaxRedirects;

CInternetSession::CInternetSession(const char* agent, uint32_t context, uint32_t /*accessType*/,
                                   const char* /*proxyName*/, const char* /*proxyBypass*/,
                                   uint32_t /*flags*/) {
    uint32_t error = 0;
    std::unique_ptr<afx::inet::BackendSession> session = afx::inet::OpenBackendSession(
        agent != nullptr && *agent != '\0' ? std::string(agent) : afx::inet::DefaultAgentName(),
        error);
    if (!session) {
        AfxThrowInternetException(context, error != 0 ? error : ERROR_INTERNET_INTERNAL_ERROR);
    }
    m_session = std::move(session);
}

CInternetSession::~CInternetSession() {
    Close();
}

void CInternetSession::Close() {
    m_session.reset();
}

bool CInternetSession::SetOption(uint32_t option, uint32_t value) {
    if (!m_session) {
        return false;
    }
    switch (option) {
        case INTERNET_OPTION_RECEIVE_TIMEOUT:
            m_session->SetReceiveTimeout(value);
            return true;
        case INTERNET_OPTION_HTTP_DECODING:
            m_session->SetDecoding(value != 0);
            return true;
        default:
            return false;
    }
}

void CInternetSession::SetTransferLimits(const afx::inet::TransferLimits& limits) {
    if (!m_session) {
        return;
    }
    const bool any = limits.stopFlag != nullptr || limits.totalMs != 0 || limits.lowSpeedMs != 0;
    m_session->SetGuard(any ? std::make_shared<afx::inet::TransferGuard>(limits) : nullptr);
}

CHttpConnection* CInternetSession::GetHttpConnection(const char* server, uint16_t port,
                                                     const char* /*user*/,
                                                     const char* /*password*/) {
    if (!m_session || server == nullptr || *server == '\0') {
        return nullptr;
    }
    if (port == INTERNET_INVALID_PORT_NUMBER) {
        port = INTERNET_DEFAULT_HTTP_PORT;
    }
    uint32_t error = 0;
    std::unique_ptr<afx::inet::BackendConnection> connection =
        m_session->Connect(server, port, error);
    if (!connection) {
        return nullptr;
    }
    return new CHttpConnection(std::move(connection));
}

CStdioFile* CInternetSession::OpenURL(const char* url, uint32_t context, uint32_t flags,
                                      const char* headers, uint32_t headersLength) {
    if (!m_session) {
        AfxThrowInternetException(context, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    uint32_t service = 0;
    CString server;
    CString object;
    uint16_t port = 0;
    if (!AfxParseURL(url, service, server, object, port)) {
        AfxThrowInternetException(context, ERROR_INTERNET_INVALID_URL);
    }
    switch (service) {
        case AFX_INET_SERVICE_HTTP:
        case AFX_INET_SERVICE_HTTPS:
            return OpenHttpUrl(server, object, port, service == AFX_INET_SERVICE_HTTPS, context,
                               (flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0,
                               afx::inet::HeaderLines(headers, headersLength));
        case AFX_INET_SERVICE_FTP:
            return OpenFtpUrl(url, server, object, port, context);
        case AFX_INET_SERVICE_FILE: {
            std::optional<std::string> path = afx::inet::LocalPathOfFileUrl(
                server.operator const char*(), object.operator const char*(), kLocalPathStyle);
            if (!path) {
                AfxThrowInternetException(context, ERROR_INTERNET_ITEM_NOT_FOUND);
            }
            return afx::inet::LocalUrlFile::Open(*path, context);
        }
        default:
            return nullptr;
    }
}

CStdioFile* CInternetSession::OpenHttpUrl(CString server, CString object, uint16_t port,
                                          bool secure, uint32_t context, bool followRedirects,
                                          const std::string& extra) {
    const uint32_t blockSize = BodyReader::kDefaultBufferSize;
    for (int hop = 0;; ++hop) {
        // Redirections are followed here, hop by hop, so that each hop is fetched by ranges
        // too; the scheme of each hop decides whether it goes over TLS.
        uint32_t error = 0;
        std::shared_ptr<afx::inet::BackendConnection> connection =
            m_session->Connect(server, port, error);
        if (!connection) {
            AfxThrowInternetException(context, error != 0 ? error : ERROR_INTERNET_CANNOT_CONNECT);
        }
        std::unique_ptr<afx::inet::BackendRequest> request =
            connection->OpenRequest(object, secure, error);
        if (!request) {
            AfxThrowInternetException(context, error != 0 ? error : ERROR_INTERNET_INTERNAL_ERROR);
        }
        afx::inet::CountRequestSent();
        if (!request->Send(BodyReader::FirstBlockHeaders(blockSize, extra), error)) {
            AfxThrowInternetException(context, error);
        }
        uint32_t status = 0;
        std::string location;
        if (followRedirects && hop < kMaxRedirects && request->QueryStatusCode(status) &&
            IsRedirect(status) && request->QueryHeader("Location", location) && !location.empty()) {
            std::string target =
                afx::inet::ResolveLocation(server.operator const char*(), port,
                                           object.operator const char*(), location, secure);
            uint32_t nextService = 0;
            CString nextServer;
            CString nextObject;
            uint16_t nextPort = 0;
            // Only HTTP can be followed; anything else leaves the redirection as the answer.
            if (AfxParseURL(target.c_str(), nextService, nextServer, nextObject, nextPort) &&
                (nextService == AFX_INET_SERVICE_HTTP || nextService == AFX_INET_SERVICE_HTTPS)) {
                server = nextServer;
                object = nextObject;
                port = nextPort;
                secure = nextService == AFX_INET_SERVICE_HTTPS;
                continue;
            }
        }
        std::unique_ptr<BodyReader> reader = BodyReader::FromFirstBlock(
            connection, std::move(request), object.operator const char*(), extra, secure, context,
            blockSize);
        auto* file = new CHttpFile(std::move(connection), nullptr, context);
        file->Attach(std::move(reader));
        return file;
    }
}

CStdioFile* CInternetSession::OpenFtpUrl(const char* url, const CString& server,
                                         const CString& object, uint16_t port, uint32_t context) {
    std::optional<std::string> path = afx::inet::FtpPathOf(object.operator const char*());
    if (!path) {
        AfxThrowInternetException(context, ERROR_INTERNET_INVALID_URL);
    }
    const afx::inet::UrlCredentials credentials = afx::inet::CredentialsOf(url);
    std::optional<uint64_t> size;
    uint32_t error = 0;
    afx::inet::CountRequestSent();
    std::unique_ptr<afx::inet::BackendStream> stream = m_session->OpenFtpFile(
        server, port, credentials.user.empty() ? nullptr : credentials.user.c_str(),
        credentials.user.empty() ? nullptr : credentials.password.c_str(), path->c_str(), size,
        error);
    if (!stream) {
        AfxThrowInternetException(context, error != 0 ? error : ERROR_INTERNET_INTERNAL_ERROR);
    }
    auto* file = new CInternetFile(context);
    file->Attach(BodyReader::FromStream(std::move(stream), size, context));
    return file;
}

CHttpConnection::CHttpConnection(std::shared_ptr<afx::inet::BackendConnection> connection)
    : m_connection(std::move(connection)) {}

CHttpConnection::~CHttpConnection() {
    Close();
}

void CHttpConnection::Close() {
    m_connection.reset();
}

CHttpFile* CHttpConnection::OpenRequest(int verb, const char* object, const char* /*referer*/,
                                        uint32_t context, const char** /*acceptTypes*/,
                                        const char* /*version*/, uint32_t flags) {
    if (!m_connection || verb != HTTP_VERB_GET) {
        return nullptr;
    }
    if (object == nullptr || *object == '\0') {
        object = "/";
    }
    uint32_t error = 0;
    std::unique_ptr<afx::inet::BackendRequest> request =
        m_connection->OpenRequest(object, (flags & INTERNET_FLAG_SECURE) != 0, error);
    if (!request) {
        return nullptr;
    }
    return new CHttpFile(m_connection, std::move(request), context);
}

CInternetFile::CInternetFile(uint32_t context) : m_dwContext(context) {}

CInternetFile::~CInternetFile() {
    Close();
}

void CInternetFile::Attach(std::unique_ptr<BodyReader> reader) {
    m_reader = std::move(reader);
}

unsigned CInternetFile::Read(void* buffer, unsigned count) {
    if (!m_reader) {
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    if (count == 0) {
        return 0;
    }
    return m_reader->Read(buffer, count);
}

int64_t CInternetFile::Seek(int64_t offset, unsigned from) {
    if (!m_reader) {
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    return m_reader->Seek(offset, from);
}

uint32_t CInternetFile::GetLength() const {
    if (!m_reader) {
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    return m_reader->Available();
}

bool CInternetFile::SetReadBufferSize(unsigned size) {
    return m_reader && m_reader->SetBufferSize(size);
}

bool CInternetFile::SeeksByReading() const {
    return m_reader && !m_reader->Ranged();
}

void CInternetFile::Close() {
    if (m_reader) {
        m_reader->Close();
    }
}

CHttpFile::CHttpFile(std::shared_ptr<afx::inet::BackendConnection> connection,
                     std::unique_ptr<afx::inet::BackendRequest> request, uint32_t context)
    : CInternetFile(context) {
    if (request) {
        Attach(std::make_unique<BodyReader>(std::move(connection), std::move(request), context));
    }
}

int CHttpFile::SendRequest(const char* headers, uint32_t headersLength, const void* /*optional*/,
                           uint32_t /*optionalLength*/) {
    if (Reader() == nullptr) {
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    Reader()->Send(afx::inet::HeaderLines(headers, headersLength));
    return 1;
}

int CHttpFile::QueryInfoStatusCode(uint32_t& statusOut) const {
    return Reader() != nullptr && Reader()->StatusCode(statusOut) ? 1 : 0;
}

int CHttpFile::QueryInfo(uint32_t infoLevel, CString& valueOut) const {
    std::string value;
    if (infoLevel != HTTP_QUERY_LOCATION || Reader() == nullptr ||
        !Reader()->Header("Location", value)) {
        return 0;
    }
    valueOut = value.c_str();
    return 1;
}

bool AfxInternetGetConnectedState() {
    std::function<bool()> state;
    {
        std::lock_guard lock(afx::inet::g_connectedStateMutex);
        state = afx::inet::g_connectedState;
    }
    return state ? state() : afx::inet::PlatformConnectedState();
}

void AfxSetConnectedStateForTesting(std::function<bool()> state) {
    std::lock_guard lock(afx::inet::g_connectedStateMutex);
    afx::inet::g_connectedState = std::move(state);
}

InternetCounters AfxGetInternetCounters() {
    InternetCounters c;
    c.requestsSent = afx::inet::g_requestsSent.load(std::memory_order_relaxed);
    c.bodyBytesRead = afx::inet::g_bodyBytesRead.load(std::memory_order_relaxed);
    return c;
}
