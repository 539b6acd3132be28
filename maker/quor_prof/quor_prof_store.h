#pragma once

// The platform half of quor_prof (quor_prof_win.cpp, quor_prof_native.cpp). Arguments are
// checked before: section and key non-empty, store 0 or 1. May throw.

#include <cstdint>

#include "afx/cstring.h"

bool ProfReadString(bool perUser, const char* section, const char* key, CString& valueOut);
bool ProfReadNumber(bool perUser, const char* section, const char* key, uint32_t& valueOut);
bool ProfWriteString(bool perUser, const char* section, const char* key, const char* value);
bool ProfWriteNumber(bool perUser, const char* section, const char* key, uint32_t value);
