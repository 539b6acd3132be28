#pragma once
// Size, ID3 title and artist, and playing time of an audio file on a web server, read from
// the start of the file only.

#include <atomic>
#include <cstdint>

#include "afx/cstring.h"
#include "quor_inet/state/web_rules.h"

// Opens url on a session of its own and returns the file's size (from the response head, the
// body is never read for it), or 0 when the URL cannot be opened, the size cannot be found or
// it is below 128 bytes. Without secondsOut only the size is found. With it, *secondsOut is
// set to 0 once the file is open and then title, artist and the playing time are read from
// the ID3 tag and the first audio frame after the tag (ReadAudioInfoFromSource says which
// bytes and what each of the `rules` reads). The file is read in ranged blocks, so a tag that
// is skipped is never transferred, and the version 1 tag of kCurrent costs one more ranged
// request of 128 bytes; a server that ignores ranges would send the whole file for it, so there
// it is not read. A response whose status is outside 200-299 counts as a file that cannot be read
// (0). A read that fails counts as the end of the file. A server that ignores ranges is read
// on at most kUnrangedSkipLimit past the tag's header; a file whose audio lies further keeps
// its size alone. The whole reading ends after kTagReadLimitMs, or soon after *stopFlag (when
// given) is raised, with what had arrived.
uint32_t ReadAudioFileInfo(CString url, CString& title, CString& artist, uint32_t* secondsOut,
                           const std::atomic<int32_t>* stopFlag = nullptr,
                           WebRules rules = WebRules::kClassic);
