#pragma once

// The library's localized texts (ids in quor_inet/resources/resource.h).

inline constexpr int kLookupBufferSize = 256;

// Looks id up through the resource search chain (host first, then this library) in the
// language the platform picks, and returns it from one library-wide buffer of
// kLookupBufferSize bytes: the text stays valid only until the next lookup, on any thread.
// Null for id 0 and for ids nobody defines. A longer text (only a host defining one of our
// ids could give one) is cut to kLookupBufferSize - 1 bytes.
const char* LoadResString(unsigned id);
