#pragma once

#include "afx/cstring.h"
#include "afx/string_list.h"
#include "quor_inet/state/web_rules.h"

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
// kCurrent reads the page as a browser does: a tag name runs to white space, "/" or ">" and
// attributes are name, "=" and a value in double, single or no quotes ("&amp;", "&#39;" ...
// decoded), so a quoted ">" stays in its value; comments and the content of script, style,
// textarea and title are passed over, a tag the page does not close gives nothing. Besides the
// tags above, audio, source, embed and iframe give their src=; the first base href= becomes
// the base for what follows; a meta gives only its refresh address (http-equiv="refresh",
// content="5; url=next.html"). Values are resolved with url_text::ResolveCurrent and sorted
// as above; the navigation state follows the same rule, onChange in any case.
//
// The page text ends at its first zero byte. The lists are appended to, never emptied.
void ScanPageReferences(const CString& pageText, const CString& baseUrl, CStringList& pageRefs,
                        CStringList& fileRefs, WebRules rules = WebRules::kClassic);
