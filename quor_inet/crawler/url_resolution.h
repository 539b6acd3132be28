#pragma once

#include <string>
#include <string_view>

#include "afx/cstring.h"
#include "quor_inet/state/web_rules.h"

// String operations that turn what a page says into addresses the crawl can use. None
// touches the network or shared state; all are safe on any thread. Text ends at its first zero
// byte (pages arrive as zero-terminated text); nothing past it is read.

// The base against which a page's relative references are resolved: when the last segment of
// pageUrl (after its last "/" or "\") holds a ".", the address up to and including that
// separator ("http://host/a/page.html" gives "http://host/a/"); otherwise pageUrl itself.
// kCurrent: pageUrl without its fragment, as the current web's resolution takes the whole
// address for base.
CString PageBaseAddress(const CString& pageUrl, WebRules rules = WebRules::kClassic);

// Pulls the value of the attribute named by keyword (e.g. "href=") out of tagText and makes it
// absolute against baseUrl; the result goes to value.
//
// The keyword is looked for in lower case, then in upper case, nothing else. The character
// right after it is skipped unseen (normally the opening '"'); the value runs to the next '"'.
// A "#" and all after it is cut, blanks, line feeds and carriage returns are removed. Then:
// "http://", "ftp://", "gopher://" and "GROPHER:/" values are kept, "www." "www2." "www3." get
// "http://" in front, "../" climbs the base's directories, "/" goes behind the base's host
// prefix (up to the first "/" after the first "."), anything else goes behind the base (other
// schemes, https among them, included).
//
// value is left unchanged when the tag yields nothing: keyword missing, no closing '"', or an
// empty value after the cuts.
void ResolveReference(const CString& baseUrl, const CString& tagText, const CString& keyword,
                      CString& value);

// Sorts an absolute address: returns 1 for a page to follow (a query, no "." at all, a
// directory, a server alone, or a last segment ending in .htm .html .php .php3 .php4 .asp in any
// case) and 0 for any other file and for the empty text. A server alone and a last segment
// without "." get a closing "/" appended (the latter after trailing white space is trimmed).
int ClassifyReference(CString& url);

// The same operations over views and reusable buffers, for the page scanner's inner loop.
namespace url_text {

// Text up to its first zero byte, never past its length.
std::string_view View(const CString& text) noexcept;

std::string_view PageBase(std::string_view pageUrl) noexcept;

// keywordLower and keywordUpper are the keyword in both cases (equal lengths). Returns true and
// sets out to the absolute address (never empty); returns false when the tag yields nothing,
// leaving out in an unspecified state.
bool Resolve(std::string_view base, std::string_view tag, std::string_view keywordLower,
             std::string_view keywordUpper, std::string& out);

int Classify(std::string& url);

// Resolves reference (an attribute value as it stands, or a redirection's Location) against
// the absolute address base as browsers do. White space around the reference is trimmed, tabs
// and line breaks inside it removed, the fragment cut. http, https and ftp addresses stand on
// their own; "//host/x" takes base's scheme, "/x" goes behind base's scheme and authority,
// anything else is merged with base's directory; "?q" keeps base's path. Dot segments are
// removed (never above the root), a backslash in the path reads as "/", scheme and host are
// lower-cased, an empty port is dropped, and what a browser would escape (blanks, controls,
// bytes above 127, quotes and angle brackets...) is percent-encoded byte by byte; existing
// "%XX" stay.
//
// Returns false for other schemes (mailto:, javascript:, file: ...), an empty or invalid host
// or port, and a relative reference when base is not an absolute http, https or ftp address.
bool ResolveCurrent(std::string_view base, std::string_view reference, std::string& out);

}  // namespace url_text
