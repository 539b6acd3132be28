#pragma once

// Settings store of the maker's programs: text and 32-bit numbers by section and key.
//
// The last argument of every call selects the store: kQuorProfUser (1) the current user's,
// kQuorProfMachine (0) the machine's, shared by every user (on Windows writing it needs the
// rights to HKEY_LOCAL_MACHINE). Any other value is refused like a missing value. On Windows
// a store is the registry key Software\Quor\<section> under HKEY_CURRENT_USER or
// HKEY_LOCAL_MACHINE, values typed REG_SZ and REG_DWORD. Natively it is a text file: the user's
// is $QUOR_PROF_FILE, else $XDG_CONFIG_HOME/quor/quor_prof.ini, else
// ~/.config/quor/quor_prof.ini; the machine's is $QUOR_PROF_MACHINE_FILE, else
// /etc/quor/quor_prof.ini. Section and key names compare without regard to ASCII case.
//
// A value missing, of the other type, or unreadable gives the call's default. Nothing is
// shown to the user and nothing is thrown.

#include <cstdint>

#include "afx/cstring.h"

#if defined(_WIN32) && !defined(QUOR_PROF_STATIC)
#if defined(QUOR_PROF_BUILDING)
#define QUOR_PROF_API __declspec(dllexport)
#else
#define QUOR_PROF_API __declspec(dllimport)
#endif
#else
#define QUOR_PROF_API
#endif

inline constexpr int kQuorProfMachine = 0;
inline constexpr int kQuorProfUser = 1;

extern "C" {

// Fills valueOut with the stored text, or with defaultValue (null: empty) when there is none.
// Returns 1 when a stored value was found, 0 when the default was used.
QUOR_PROF_API int Quor_GetRegistryString(const char* section, const char* key, CString& valueOut,
                                         const char* defaultValue, int store);

// The stored number, or defaultValue when there is none.
QUOR_PROF_API uint32_t Quor_GetRegistryDWord(const char* section, const char* key,
                                             uint32_t defaultValue, int store);

// Store a value, replacing one of either type under that key. Return 1 when stored, else 0.
QUOR_PROF_API int Quor_WriteRegistryString(const char* section, const char* key, const char* value,
                                           int store);
QUOR_PROF_API int Quor_WriteRegistryDWord(const char* section, const char* key, uint32_t value,
                                          int store);
}
