#pragma once
// The start address of a search as the user typed it, made into the address the worker starts
// from: "http://" in front of a text without any ':', and "/" behind an http address that names
// a server only.

#include "afx/cstring.h"

struct StartAddress {
    CString shown;    // what the URL field shows: the text, with "http://" put in front if needed
    CString address;  // what the worker gets: shown, with the server's "/" if needed
};

StartAddress NormalizeStartAddress(const char* text);

// Whether text begins with "http://", compared letter by letter without regard to case.
bool BeginsWithHttp(const char* text);
