#pragma once

// The audio library's file calls that the download relies on: a free-space test, creating a
// file for writing and writing to it. A handle is closed with the platform's _lclose.

#include <cstdint>

#if defined(_WIN32) && !defined(SNDCORE_STATIC)
#if defined(SNDCORE_BUILDING)
#define SNDCORE_API __declspec(dllexport)
#else
#define SNDCORE_API __declspec(dllimport)
#endif
#else
#define SNDCORE_API
#endif

extern "C" {

// Non-zero when the drive has at least bytesNeeded bytes free for the caller. driveLetter is
// the first character of the destination path: on Windows a letter names its drive, and
// anything else (or a drive that cannot be asked) means the current directory's drive;
// natively '/' means the root file system and anything else the current directory's. 0 when
// the free space cannot be found. Tells the user nothing.
SNDCORE_API int AL_CheckFreeSpace(uint32_t bytesNeeded, int driveLetter);

// Non-zero when the file system that holds path (the folder it lies in, or the current one for
// a bare name) has at least bytesNeeded bytes free for the caller; 0 when it has not or when
// that cannot be found. A size past 4 GiB is checked as it is. Tells the user nothing.
SNDCORE_API int AL_CheckFreeSpaceOfPath(uint64_t bytesNeeded, const char* path);

// Creates path for writing, emptying a file that exists. Returns a handle >= 0, or a negative
// value when the file cannot be created.
SNDCORE_API int AL_lcreat(const char* path);

// Writes count bytes of buffer. Non-zero when all of them were written, 0 otherwise (some
// may have been written then).
SNDCORE_API int AL_lwrite(int handle, const void* buffer, uint32_t count);

// Hooks for tests, which also reach programs the test starts (they set environment
// variables, SNDCORE_TEST_FREE_BYTES and SNDCORE_TEST_WRITE_LIMIT). A negative value removes
// the hook.
// AL_CheckFreeSpace and AL_CheckFreeSpaceOfPath see this many free bytes everywhere:
SNDCORE_API void AL_TestSetFreeBytes(int64_t bytes);
// AL_lwrite fails once this many bytes have gone into the file last made by AL_lcreat (the
// bytes up to the limit are written), as a full disk would:
SNDCORE_API void AL_TestSetWriteLimit(int64_t bytes);
}

// _lclose: on Windows kernel32's (declared as <windows.h> declares it); natively a stand-in
// of this library that closes the file. Returns 0, or -1 on failure.
#if defined(_WIN32)
extern "C" __declspec(dllimport) int __stdcall _lclose(int handle);
#else
extern "C" int _lclose(int handle);
#endif
