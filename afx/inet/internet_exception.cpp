#include "afx/inet/internet_exception.h"

#include <cstdio>

#include "afx/ascii.h"
#include "afx/inet/backend.h"

namespace {

struct ErrorText {
    uint32_t code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {kInternetErrorNotEnoughMemory, "Not enough memory is available to complete the request."},
    {ERROR_INTERNET_OUT_OF_HANDLES, "No more handles could be generated at this time."},
    {ERROR_INTERNET_TIMEOUT, "The operation timed out."},
    {ERROR_INTERNET_EXTENDED_ERROR, "The server returned extended information."},
    {ERROR_INTERNET_INTERNAL_ERROR, "An internal error occurred."},
    {ERROR_INTERNET_INVALID_URL, "The URL is invalid."},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME,
     "The URL scheme could not be recognized or is not "
     "supported."},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name or address could not be resolved."},
    {ERROR_INTERNET_PROTOCOL_NOT_FOUND,
     "A protocol with the required capabilities was not "
     "found."},
    {ERROR_INTERNET_INVALID_OPTION, "The option is invalid."},
    {ERROR_INTERNET_SHUTDOWN, "The Internet session has been closed."},
    {ERROR_INTERNET_LOGIN_FAILURE,
     "The request to connect and log on to an FTP server "
     "failed."},
    {ERROR_INTERNET_INVALID_OPERATION, "The requested operation is invalid."},
    {ERROR_INTERNET_OPERATION_CANCELLED, "The operation was canceled."},
    {ERROR_INTERNET_INCORRECT_HANDLE_TYPE,
     "The type of handle supplied is incorrect for this "
     "operation."},
    {ERROR_INTERNET_INCORRECT_HANDLE_STATE,
     "The requested operation cannot be carried out "
     "because the handle supplied is not in the correct "
     "state."},
    {ERROR_INTERNET_ITEM_NOT_FOUND, "The requested item could not be located."},
    {ERROR_INTERNET_CANNOT_CONNECT, "A connection with the server could not be established."},
    {ERROR_INTERNET_CONNECTION_ABORTED,
     "The connection with the server was terminated "
     "abnormally."},
    {ERROR_INTERNET_CONNECTION_RESET, "The connection with the server was reset."},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID,
     "The server's certificate is not trusted: it has expired or is not valid yet."},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID,
     "The server's certificate is not trusted: it was issued for another name."},
    {ERROR_INTERNET_INVALID_CA,
     "The server's certificate is not trusted: no trusted certificate authority issued it."},
    {ERROR_INTERNET_SEC_CERT_ERRORS, "The server's certificate is not trusted: it has errors."},
    // What Wine reports for a certificate of an authority it does not trust.
    {ERROR_INTERNET_SEC_CERT_REV_FAILED,
     "The server's certificate is not trusted: whether it was revoked could not be checked."},
    {ERROR_HTTP_HEADER_NOT_FOUND, "The requested header could not be located."},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server response could not be parsed."},
    {ERROR_HTTP_INVALID_HEADER, "The supplied header is invalid."},
    {ERROR_HTTP_INVALID_QUERY_REQUEST, "The request made to HttpQueryInfo is invalid."},
    {ERROR_HTTP_REDIRECT_FAILED, "The redirection failed."},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
     "The secure connection failed: the server's certificate is not trusted, or no secure "
     "channel could be agreed on."},
    {ERROR_INTERNET_SEC_INVALID_CERT, "The server's certificate is not trusted: it is invalid."},
    {ERROR_INTERNET_SEC_CERT_REVOKED, "The server's certificate is not trusted: it was revoked."},
};

}  // namespace

const char* AfxInternetErrorText(uint32_t error) noexcept {
    for (const ErrorText& e : kErrorTexts) {
        if (e.code == error) {
            return e.text;
        }
    }
    return nullptr;
}

int CInternetException::GetErrorMessage(char* buffer, unsigned maxLength,
                                        unsigned* helpContext) const {
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    if (buffer == nullptr || maxLength == 0) {
        return 0;
    }
    buffer[0] = '\0';
    // The platform's own wording first (Windows); the fixed texts where it has none.
    if (afx::inet::PlatformErrorMessage(m_dwError, buffer, maxLength)) {
        return 1;
    }
    const char* text = AfxInternetErrorText(m_dwError);
    char unknown[64];
    if (text == nullptr) {
        snprintf(unknown, sizeof unknown, "Internet error %u.", static_cast<unsigned>(m_dwError));
        text = unknown;
    }
    afx::CopyBounded(buffer, maxLength, text);
    return 1;
}

void AfxThrowInternetException(uint32_t context, uint32_t error) {
    throw new CInternetException(error, context);
}
