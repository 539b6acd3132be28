#pragma once

// The platform half of sndcore (sndcore_win.cpp, sndcore_native.cpp).

#include <cstdint>
#include <string>

// Free bytes for the caller on the drive of that letter (see AL_CheckFreeSpace).
bool SndFreeBytes(int driveLetter, uint64_t& freeBytesOut);
// Free bytes for the caller on the file system that holds path (see AL_CheckFreeSpaceOfPath).
bool SndFreeBytesOfPath(const char* path, uint64_t& freeBytesOut);
// A handle >= 0 of the created file, or -1.
int SndCreate(const char* path);
// True when every byte was written.
bool SndWrite(int handle, const void* buffer, uint32_t count);
// The system's own error of a full disk, for the write-limit hook.
void SndSetDiskFullError();

// The process environment as programs started later inherit it; null value removes.
bool SndReadVariable(const char* name, std::string& valueOut);
void SndSetVariable(const char* name, const char* value);
