#include "afx/inet/curl/curl_errors.h"

#include <gtest/gtest.h>

#include "afx/inet/inet_constants.h"

namespace afx::inet {
namespace {

// The codes callers tell apart, as the other platform reports them.
TEST(CurlErrors, MapToThePlatformNumbering) {
    const struct {
        CURLcode curl;
        uint32_t internet;
    } kCases[] = {
        {CURLE_OK, 0},
        {CURLE_COULDNT_CONNECT, ERROR_INTERNET_CANNOT_CONNECT},
        {CURLE_COULDNT_RESOLVE_HOST, ERROR_INTERNET_NAME_NOT_RESOLVED},
        {CURLE_OPERATION_TIMEDOUT, ERROR_INTERNET_TIMEOUT},
        {CURLE_PARTIAL_FILE, ERROR_INTERNET_CONNECTION_ABORTED},
        {CURLE_RECV_ERROR, ERROR_INTERNET_CONNECTION_ABORTED},
        {CURLE_GOT_NOTHING, ERROR_HTTP_INVALID_SERVER_RESPONSE},
        {CURLE_WEIRD_SERVER_REPLY, ERROR_HTTP_INVALID_SERVER_RESPONSE},
        {CURLE_UNSUPPORTED_PROTOCOL, ERROR_HTTP_INVALID_SERVER_RESPONSE},
        {CURLE_OUT_OF_MEMORY, kInternetErrorNotEnoughMemory},
        {CURLE_SSL_CONNECT_ERROR, ERROR_INTERNET_SECURITY_CHANNEL_ERROR},
        {CURLE_PEER_FAILED_VERIFICATION, ERROR_INTERNET_INVALID_CA},
        {CURLE_SSL_CACERT_BADFILE, ERROR_INTERNET_INVALID_CA},
        {CURLE_SSL_ISSUER_ERROR, ERROR_INTERNET_INVALID_CA},
        {CURLE_LOGIN_DENIED, ERROR_INTERNET_LOGIN_FAILURE},
        {CURLE_REMOTE_FILE_NOT_FOUND, ERROR_INTERNET_EXTENDED_ERROR},
        {CURLE_FILESIZE_EXCEEDED, ERROR_INTERNET_INTERNAL_ERROR},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(curl_easy_strerror(c.curl));
        EXPECT_EQ(InternetErrorFromCurl(c.curl), c.internet);
    }
}

}  // namespace
}  // namespace afx::inet
