#pragma once

#include <cstdint>

#include "afx/cstring.h"

// Service types as the class library numbers them.
inline constexpr uint32_t AFX_INET_SERVICE_FTP = 1;
inline constexpr uint32_t AFX_INET_SERVICE_GOPHER = 2;
inline constexpr uint32_t AFX_INET_SERVICE_HTTP = 3;
inline constexpr uint32_t AFX_INET_SERVICE_UNK = 0x1000;
inline constexpr uint32_t AFX_INET_SERVICE_FILE = AFX_INET_SERVICE_UNK + 1;
inline constexpr uint32_t AFX_INET_SERVICE_MAILTO = AFX_INET_SERVICE_UNK + 2;
inline constexpr uint32_t AFX_INET_SERVICE_MID = AFX_INET_SERVICE_UNK + 3;
inline constexpr uint32_t AFX_INET_SERVICE_CID = AFX_INET_SERVICE_UNK + 4;
inline constexpr uint32_t AFX_INET_SERVICE_NEWS = AFX_INET_SERVICE_UNK + 5;
inline constexpr uint32_t AFX_INET_SERVICE_NNTP = AFX_INET_SERVICE_UNK + 6;
inline constexpr uint32_t AFX_INET_SERVICE_PROSPERO = AFX_INET_SERVICE_UNK + 7;
inline constexpr uint32_t AFX_INET_SERVICE_TELNET = AFX_INET_SERVICE_UNK + 8;
inline constexpr uint32_t AFX_INET_SERVICE_WAIS = AFX_INET_SERVICE_UNK + 9;
inline constexpr uint32_t AFX_INET_SERVICE_AFS = AFX_INET_SERVICE_UNK + 10;
inline constexpr uint32_t AFX_INET_SERVICE_HTTPS = AFX_INET_SERVICE_UNK + 11;

// As <wininet.h> has them (and may already have defined them).
#ifndef INTERNET_DEFAULT_HTTP_PORT
inline constexpr uint16_t INTERNET_INVALID_PORT_NUMBER = 0;
inline constexpr uint16_t INTERNET_DEFAULT_FTP_PORT = 21;
inline constexpr uint16_t INTERNET_DEFAULT_GOPHER_PORT = 70;
inline constexpr uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr uint16_t INTERNET_DEFAULT_HTTPS_PORT = 443;
inline constexpr uint16_t INTERNET_DEFAULT_SOCKS_PORT = 1080;
#endif

// Splits an absolute address "scheme://[user[:password]@]server[:port][/object]" into its
// service type, server name (without user, password and port), object and port.
//
// - The scheme is matched without regard to case (HTTP://HOST/A.HTML is HTTP). Known schemes:
//   http, https, ftp, gopher, file, mailto, news, nntp, telnet, wais, mid, cid, prospero, afs.
// - object is everything after the server: path, query and fragment unchanged; "/" when the
//   address has none, and a "/" is put in front of a query or fragment that follows the
//   server directly ("http://h?q" gives "/?q").
// - port is the address's own (1 to 65535), else the service's default (HTTP 80, HTTPS 443,
//   FTP 21, gopher 70, telnet 23, news and NNTP 119, WAIS 210, otherwise 0).
// - file addresses may have an empty server; their object is the local path as written:
//   "file:///D:/x" and "file://D:/x" both give server "" and object "D:/x" (the slash in
//   front of a drive letter belongs to the address, not to the path); "file://host/x" gives
//   server "host" and object "/x". Nothing is decoded.
// - mailto and news addresses have no server: "mailto:a@b" gives server "" and object "a@b".
//
// Returns non-zero on success. Returns 0 for text that is not such an address: null, empty,
// relative names ("a.mp3", "..\x"), no "//" after the scheme ("http:/x"), an unknown scheme,
// an empty server where the service needs one, a port that is not a number from 1 to 65535.
// On failure serviceType is AFX_INET_SERVICE_UNK, server and object are empty and port is 0.
// Reads the text up to its terminating zero and no further.
int AfxParseURL(const char* url, uint32_t& serviceType, CString& server, CString& object,
                uint16_t& port);
