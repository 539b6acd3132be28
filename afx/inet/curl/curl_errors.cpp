#include "afx/inet/curl/curl_errors.h"

#include "afx/inet/inet_constants.h"

namespace afx::inet {

uint32_t InternetErrorFromCurl(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return 0;
        case CURLE_COULDNT_CONNECT:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_OPERATION_TIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL:  // an HTTP/0.9 answer among others
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_URL_MALFORMAT:
            return ERROR_INTERNET_INVALID_URL;
        case CURLE_OUT_OF_MEMORY:
            return kInternetErrorNotEnoughMemory;
        case CURLE_ABORTED_BY_CALLBACK:
        case CURLE_WRITE_ERROR:
            return ERROR_INTERNET_OPERATION_CANCELLED;
        case CURLE_LOGIN_DENIED:
            return ERROR_INTERNET_LOGIN_FAILURE;
        // The FTP server refused the file; the platform keeps its answer as extended error
        // information.
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_FTP_COULDNT_RETR_FILE:
            return ERROR_INTERNET_EXTENDED_ERROR;
        case CURLE_FTP_CANT_GET_HOST:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return ERROR_INTERNET_INVALID_CA;
        case CURLE_SSL_CONNECT_ERROR:
            return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        case CURLE_UNKNOWN_OPTION:
        case CURLE_BAD_FUNCTION_ARGUMENT:
            return ERROR_INTERNET_INVALID_OPTION;
        default:
            return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

}  // namespace afx::inet
