#pragma once

// The one header a host includes: the two operations of quor_inet, the progress callback type
// and the data classes the host shares with the library. Text crosses as CString; host and
// library share the C runtime's heap, so either side may free what the other made.

#include <cstddef>
#include <cstdint>

#include "afx/cstring.h"

// The DLL's exports come from its .def file (fixed ordinals, nothing else exported), so the
// build of the DLL itself marks nothing; a host imports. Natively, and where a program links
// these pieces statically (QUOR_INET_STATIC), there is nothing to import.
#if defined(_WIN32) && !defined(QUOR_INET_BUILDING) && !defined(QUOR_INET_STATIC)
#define QUOR_INET_API __declspec(dllimport)
#else
#define QUOR_INET_API
#endif

// Called after every chunk written by INet_Download: bytes written so far (never 0), the
// total, and the user value given to the call. Returns non-zero to go on, 0 to cancel.
typedef int (*DownloadProgressProc)(int bytesDone, int bytesTotal, int userValue);

extern "C" {

// Shows the modal Internet search dialog. `reserved` is never read. On OK the URLs of the
// chosen files, joined by "*", are assigned to *result and the call returns 1; every other
// outcome returns 0 and leaves *result alone.
QUOR_INET_API int INet_DoInternetDlg(const char* url, uint32_t reserved, CString* result);

// Copies url into the file path. Without a callback a progress window is shown and the
// calling thread's main window is disabled meanwhile. Returns 1 when the whole response was
// written and nobody cancelled, else 0.
QUOR_INET_API int INet_Download(const char* url, const char* path, DownloadProgressProc progress,
                                int userValue);
}

// The host's data classes. The library never uses them; it exports the members below so that
// the host calls them instead of making its own, so field order and widths are binary
// interface. Integers are copied as whole 32-bit words.

class Audio {
  public:
    Audio() = default;
    QUOR_INET_API Audio(const Audio& other);
    QUOR_INET_API Audio& operator=(const Audio& other);
    ~Audio() = default;

    CString m_strName;
    int32_t m_anHead[8];
    uint8_t m_byFlag;
    int32_t m_anTail[13];
};

struct cTocInfo {
    QUOR_INET_API cTocInfo();  // the two strings empty; everything else left as it is
    QUOR_INET_API cTocInfo(const cTocInfo& other);
    QUOR_INET_API cTocInfo& operator=(const cTocInfo& other);
    QUOR_INET_API ~cTocInfo();

    CString m_strFirst;
    CString m_strSecond;
    int32_t m_nFirst;
    int32_t m_nSecond;
    int32_t m_anFirst[100];
    int32_t m_anSecond[100];
    uint8_t m_abyFirst[100];
    uint8_t m_abySmall[10];
    uint8_t m_abyLast[20];
};

class DA {
  public:
    static constexpr int kBlockSize = 104;

    DA() = default;
    DA(const DA& other) = default;
    QUOR_INET_API DA& operator=(const DA& other);  // all of it, the block included
    ~DA() = default;

    // Every integer 0; the block keeps its bytes.
    QUOR_INET_API void Zero();

    int32_t m_anHead[13];
    uint8_t m_abyBlock[kBlockSize];
    int32_t m_nTail1;
    int32_t m_nTail2;
};

// The layouts the host was compiled against: one pointer per string, 32-bit integers, bytes.
static_assert(sizeof(CString) == sizeof(void*));
static_assert(offsetof(Audio, m_anHead) == sizeof(void*));
static_assert(offsetof(Audio, m_byFlag) == sizeof(void*) + 8 * 4);
static_assert(offsetof(Audio, m_anTail) == sizeof(void*) + 9 * 4);
static_assert(sizeof(Audio) ==
              (sizeof(void*) + 22 * 4 + alignof(void*) - 1) / alignof(void*) * alignof(void*));

static_assert(offsetof(cTocInfo, m_strSecond) == sizeof(void*));
static_assert(offsetof(cTocInfo, m_nFirst) == 2 * sizeof(void*));
static_assert(offsetof(cTocInfo, m_anFirst) == 2 * sizeof(void*) + 8);
static_assert(offsetof(cTocInfo, m_anSecond) == 2 * sizeof(void*) + 408);
static_assert(offsetof(cTocInfo, m_abyFirst) == 2 * sizeof(void*) + 808);
static_assert(offsetof(cTocInfo, m_abySmall) == 2 * sizeof(void*) + 908);
static_assert(offsetof(cTocInfo, m_abyLast) == 2 * sizeof(void*) + 918);
static_assert(sizeof(cTocInfo) ==
              (2 * sizeof(void*) + 938 + alignof(void*) - 1) / alignof(void*) * alignof(void*));

static_assert(offsetof(DA, m_abyBlock) == 13 * 4);
static_assert(offsetof(DA, m_nTail1) == 13 * 4 + DA::kBlockSize);
static_assert(offsetof(DA, m_nTail2) == 13 * 4 + DA::kBlockSize + 4);
static_assert(sizeof(DA) == 164);
