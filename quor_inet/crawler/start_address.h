#pragma once
// The start address of a search as the user typed it, made into the address the worker starts
// from: "http://" in front of a text without any ':', and "/" behind an http address (on the
// current web an https one too) that names a server only.

#include "afx/cstring.h"
#include "quor_inet/state/web_rules.h"

struct StartAddress {
    CString shown;    // what the URL field shows: the text, with "http://" put in front if needed
    CString address;  // what the worker gets: shown, with the server's "/" if needed
};

StartAddress NormalizeStartAddress(const char* text, WebRules rules = WebRules::kClassic);

// Whether text begins with "http://" (on the current web "https://" too), compared letter by
// letter without regard to case.
bool BeginsWithHttp(const char* text, WebRules rules = WebRules::kClassic);
