#pragma once

#include <curl/curl.h>

#include <cstdint>

namespace afx::inet {

// The Internet error code (as the platform's Internet services number them) for a libcurl
// result, so that callers see the same codes on every platform.
uint32_t InternetErrorFromCurl(CURLcode code);

}  // namespace afx::inet
