#pragma once

#include "afx/cstring.h"
#include "afx/string_list.h"
#include "quor_inet/state/web_rules.h"

// Reads an M3U playlist (plain or extended) line by line and appends the addresses it names to
// fileRefs, in the order of its lines, duplicates kept:
//
// - lines end at CR, LF or CR LF alike; leading characters with codes 1 to 32 are skipped,
//   trailing blanks stay part of the line;
// - empty lines and lines beginning with "#" (comments, "#EXTINF:" and the like) give nothing;
// - http, https and ftp addresses are appended as the line stands; a file address gives the
//   path that AfxParseURL yields for it; anything else (relative names, local paths, other
//   schemes) gives nothing. Entries are not resolved against base, which is unused.
//
// kCurrent: base is the playlist's own address; a UTF-8 byte order mark at the start is
// skipped, and entries that are neither http, https, ftp nor file addresses (relative and
// root-relative names, "//host/x") are resolved against base with url_text::ResolveCurrent
// and appended when that succeeds.
//
// The text ends at its first zero byte and is not changed. The call cannot fail.
void ReadPlaylist(const CString& text, const CString& base, CStringList& fileRefs,
                  WebRules rules = WebRules::kClassic);
