#pragma once

#include "afx/cstring.h"
#include "afx/string_list.h"

// Walks a page tag by tag and collects the addresses of the attributes that matter:
//
//   a, area: href=   body, table, td: background=   meta: url=   img, frame: src=
//   option: value=, only after a "select" whose tag holds "onChange" (a navigation menu)
//
// A tag is the text from a "<" to the next ">"; its name runs from after the "<" to the first
// blank (only the character 32) and is compared in lower case. A tag without a blank has no
// name and changes nothing; "select" turns the navigation state on or off, any other unknown
// name turns it off. Each value is made absolute against baseUrl (ResolveReference) and sorted
// (ClassifyReference): pages are appended to pageRefs, other files to fileRefs, in the order of
// their tags, duplicates kept. Comments, scripts and quoting are not recognised: a ">" inside a
// value ends the tag.
//
// The page text ends at its first zero byte. The lists are appended to, never emptied.
void ScanPageReferences(const CString& pageText, const CString& baseUrl, CStringList& pageRefs,
                        CStringList& fileRefs);
