#include "afx/inet/internet_exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "afx/inet/backend.h"

namespace {

TEST(InternetException, EveryCodeTheClassesRaiseHasAText) {
    for (uint32_t code :
         {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_INVALID_URL, ERROR_INTERNET_NAME_NOT_RESOLVED,
          ERROR_INTERNET_INVALID_OPERATION, ERROR_INTERNET_INCORRECT_HANDLE_STATE,
          ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
          ERROR_HTTP_INVALID_SERVER_RESPONSE, ERROR_INTERNET_INTERNAL_ERROR,
          kInternetErrorNotEnoughMemory, ERROR_INTERNET_ITEM_NOT_FOUND,
          ERROR_INTERNET_LOGIN_FAILURE, ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_INVALID_CA,
          ERROR_INTERNET_SECURITY_CHANNEL_ERROR}) {
        SCOPED_TRACE(code);
        CInternetException e(code, 7);
        char text[260];
        ASSERT_TRUE(e.GetErrorMessage(text, sizeof text));
        EXPECT_GT(strlen(text), 5u);
        EXPECT_EQ(e.m_dwContext, 7u);
    }
}

TEST(InternetException, MessageStaysInsideTheBuffer) {
    CInternetException e(ERROR_INTERNET_CANNOT_CONNECT);
    char full[260];
    ASSERT_TRUE(e.GetErrorMessage(full, sizeof full));
    const size_t length = strlen(full);
    ASSERT_GT(length, 10u);
    for (unsigned size : {1u, 2u, 10u, unsigned(length), unsigned(length + 1)}) {
        SCOPED_TRACE(size);
        std::string buffer(size + 8, '#');
        unsigned help = 99;
        e.GetErrorMessage(buffer.data(), size, &help);
        EXPECT_EQ(help, 0u);
        const size_t written = strlen(buffer.c_str());
        EXPECT_EQ(written, std::min<size_t>(length, size - 1));
        EXPECT_EQ(buffer.compare(0, written, full, written), 0);
        EXPECT_EQ(buffer.substr(size), std::string(8, '#'));  // nothing past the size
    }
    EXPECT_EQ(e.GetErrorMessage(nullptr, 10), 0);
}

// Where the platform has no wording of its own (Wine has none for most of these, libcurl none
// at all), a person still learns that the server was not trusted; where it has one, it speaks
// the user's language.
TEST(InternetException, CertificateFailuresSayTheServerIsNotTrusted) {
    for (uint32_t code : {ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_CN_INVALID,
                          ERROR_INTERNET_INVALID_CA, ERROR_INTERNET_SEC_CERT_ERRORS,
                          ERROR_INTERNET_SEC_CERT_REV_FAILED, ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                          ERROR_INTERNET_SEC_INVALID_CERT, ERROR_INTERNET_SEC_CERT_REVOKED}) {
        SCOPED_TRACE(code);
        char text[260];
        ASSERT_TRUE(CInternetException(code).GetErrorMessage(text, sizeof text));
        char platform[260];
        if (!afx::inet::PlatformErrorMessage(code, platform, sizeof platform)) {
            EXPECT_NE(std::string(text).find("certificate is not trusted"), std::string::npos)
                << text;
        }
    }
}

TEST(InternetException, UnknownCodeStillDescribed) {
    CInternetException e(12345);
    char text[64];
    ASSERT_TRUE(e.GetErrorMessage(text, sizeof text));
    EXPECT_NE(std::string(text).find("12345"), std::string::npos) << text;
}

TEST(InternetException, ThrownByPointerAndCaughtAsBase) {
    try {
        AfxThrowInternetException(3, ERROR_INTERNET_TIMEOUT);
    } catch (CException* e) {
        auto* internet = dynamic_cast<CInternetException*>(e);
        ASSERT_NE(internet, nullptr);
        EXPECT_EQ(internet->m_dwError, ERROR_INTERNET_TIMEOUT);
        EXPECT_EQ(internet->m_dwContext, 3u);
        e->Delete();
    }
}

}  // namespace
