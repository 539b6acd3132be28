#pragma once
// How long the library waits on a server that is slow or broken, in one place. A limit that
// passes ends the transfer like a connection that broke off there.

#include <cstdint>

// A page (or playlist) fetch, connecting and waiting included: what arrived by then is the page.
inline constexpr uint32_t kPageFetchLimitMs = 60000;
// The reading of one found file's size, tag and playing time: what arrived by then is used.
inline constexpr uint32_t kTagReadLimitMs = 60000;
// A download fails once it has received less than a byte a second for this long.
inline constexpr uint32_t kDownloadLowSpeedMs = 60000;
// A server that ignores ranges sends a file from its start: the tag reader reads on at most
// this far past the tag's header to reach the audio, else the file keeps only its size.
inline constexpr uint32_t kUnrangedSkipLimit = 1048576;
