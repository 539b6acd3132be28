#pragma once
// Copying one web resource into a local file, with progress shown in a window or reported to
// the host's callback. Written once over the Internet classes; the window is an interface so
// the Win32 dialog and other front ends (and tests) plug in.

#include <cstdint>

#include "quor_inet/include/quor_inet.h"

inline constexpr uint32_t kDownloadChunkSize = 16384;
// Room asked for on the destination drive on top of the total size.
inline constexpr uint32_t kFreeSpaceMargin = 1048576;

// The progress window of a download without a callback. The download calls, in this order:
// OpenProgressWindow once (after the request has been sent), UpdateProgressWindow(0, total)
// before the first read once the free-space check has passed, UpdateProgressWindow after each
// chunk written, and CloseProgressWindow once at the end of every download whose request was
// sent, also when a callback was given (the host's main window is enabled again then too).
class DownloadProgressWindow {
  public:
    virtual ~DownloadProgressWindow() = default;
    // Shows the window with the source and the destination. Returns 1.
    virtual int OpenProgressWindow(const char* url, const char* path) = 0;
    // Shows the figures for done of total bytes. Returns 0 when the user has cancelled, else 1.
    virtual int UpdateProgressWindow(int32_t done, int32_t total) = 0;
    // Closes the window if one is open.
    virtual void CloseProgressWindow() = 0;
};

// How a download ended, for front ends that tell the user more than 0 or 1.
enum class DownloadEnd {
    kDone,          // every byte written
    kNoRequest,     // not sent: no http address, the server unreachable, the prompt cancelled
    kBadStatus,     // answered outside 200-299; httpStatus says how
    kNoFreeSpace,   // the destination's drive lacks the total and the margin
    kCannotCreate,  // the destination file could not be made
    kWriteFailed,   // a write failed; the file was removed
    kBrokenOff,     // the response ended before its end; the file was removed
    kCancelled,     // the callback or the window said stop; the file keeps what was written
};

struct DownloadOutcome {
    DownloadEnd end = DownloadEnd::kNoRequest;
    uint32_t httpStatus = 0;  // the response's status, once there is one
    int64_t total = 0;        // the size announced (or available at once), once known
    int64_t written = 0;      // bytes written to the file
};

// Copies url into path. Without a callback the progress goes to window; with one, callback
// gets (bytes written so far, total, userValue) after every chunk written, never with 0 bytes,
// and its 0 cancels.
//
// Returns 1 when the whole response was written and nobody cancelled, else 0:
// - the request cannot be sent (as OpenHttpRequest reports it, not quiet): no window, no file;
// - the response's status is outside 200-299 (an error page, a redirection): no file; the
//   window, if one was asked for, opens and closes again;
// - too little free space (total + kFreeSpaceMargin) or the file cannot be created: no file;
// - a write fails: the file is closed and deleted;
// - the callback or the window cancels: the file keeps the bytes written so far;
// - the response breaks off before its end (a read fails): the file is closed and deleted,
//   because a cut-off copy must not pass for the file.
// The total is the response's announced size, or without one the bytes available at once;
// the bytes written are not compared with it. Nothing is thrown (but an allocation failure).
// With outcomeOut, says how the download ended.
int RunDownload(const char* url, const char* path, DownloadProgressProc callback, int userValue,
                DownloadProgressWindow& window, DownloadOutcome* outcomeOut = nullptr);
