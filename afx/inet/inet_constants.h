#pragma once

#include <cstdint>

// Values as <wininet.h> numbers them. That header defines them as macros, so each group is
// declared here only when it has not been included first.

#ifndef INTERNET_FLAG_SECURE
inline constexpr uint32_t INTERNET_FLAG_TRANSFER_ASCII = 0x00000001;
inline constexpr uint32_t INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
inline constexpr uint32_t INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr uint32_t INTERNET_FLAG_EXISTING_CONNECT = 0x20000000;
#endif

// The class library's name of the system's configured access.
#ifndef PRE_CONFIG_INTERNET_ACCESS
inline constexpr uint32_t PRE_CONFIG_INTERNET_ACCESS = 0;
#endif

#ifndef INTERNET_OPTION_RECEIVE_TIMEOUT
inline constexpr uint32_t INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
inline constexpr uint32_t INTERNET_OPTION_HTTP_DECODING = 65;
#endif

#ifndef HTTP_QUERY_LOCATION
inline constexpr uint32_t HTTP_QUERY_LOCATION = 33;
#endif

#ifndef ERROR_INTERNET_TIMEOUT
inline constexpr uint32_t INTERNET_ERROR_BASE = 12000;
inline constexpr uint32_t ERROR_INTERNET_OUT_OF_HANDLES = 12001;
inline constexpr uint32_t ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr uint32_t ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr uint32_t ERROR_INTERNET_PROTOCOL_NOT_FOUND = 12008;
inline constexpr uint32_t ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr uint32_t ERROR_INTERNET_SHUTDOWN = 12012;
inline constexpr uint32_t ERROR_INTERNET_LOGIN_FAILURE = 12015;
inline constexpr uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr uint32_t ERROR_INTERNET_INVALID_OPERATION = 12016;
inline constexpr uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr uint32_t ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr uint32_t ERROR_INTERNET_ITEM_NOT_FOUND = 12028;
inline constexpr uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr uint32_t ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr uint32_t ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_REV_FAILED = 12057;
inline constexpr uint32_t ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr uint32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr uint32_t ERROR_HTTP_INVALID_HEADER = 12153;
inline constexpr uint32_t ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
inline constexpr uint32_t ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
inline constexpr uint32_t ERROR_INTERNET_SEC_INVALID_CERT = 12169;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_REVOKED = 12170;
#endif

// Win32's code for an allocation that failed, as the Internet services report it.
inline constexpr uint32_t kInternetErrorNotEnoughMemory = 8;
