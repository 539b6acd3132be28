#pragma once
// Small pure pieces of HTTP that both backends share: header values the file classes
// interpret, the request target as it goes on the wire, and where a redirection points.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace afx::inet {

// value without the optional whitespace around it (space and tab, RFC 9110 5.6.3).
std::string_view TrimOptionalWhitespace(std::string_view value);

// A Content-Length value: decimal digits with optional surrounding blanks. nullopt for
// anything else (signs, other characters, more than 18 digits).
std::optional<uint64_t> ParseContentLength(std::string_view value);

// A Content-Range value (RFC 9110, 14.4): "bytes first-last/total" or "bytes */total", with
// "*" for an unknown total. Unit compared without regard to case.
struct ContentRange {
    bool satisfied = false;  // false for "bytes */total"
    uint64_t first = 0;
    uint64_t last = 0;
    std::optional<uint64_t> total;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);

// "Range: bytes=first-last\r\n" for count bytes from first (count > 0).
std::string RangeHeaderLine(uint64_t first, uint64_t count);

// Whether a Transfer-Encoding value ends in "chunked" (then Content-Length does not count).
bool IsChunkedEncoding(std::string_view value);

// The object as it goes on the request line: "/" in front when missing, and spaces, control
// characters and bytes above 0x7E percent-encoded, so nothing the caller passes can end the
// line or add a header.
std::string RequestTarget(std::string_view object);

// The absolute address a Location value points to, seen from http://server:port object (or
// https:// when secure). Absolute URLs come back as they are; "//host/x" takes the scheme of
// the object; "/x" stays on the server; anything else is relative to the object's directory.
// Query and fragment of the object are not part of its directory.
std::string ResolveLocation(std::string_view server, uint16_t port, std::string_view object,
                            std::string_view location, bool secure);

// Header lines as a caller hands them over: length 0 or (uint32_t)-1 means zero-terminated.
// The result ends in CR LF unless it is empty.
std::string HeaderLines(const char* headers, uint32_t length);

}  // namespace afx::inet
