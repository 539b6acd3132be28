#pragma once
// Copying one web resource into a local file, with progress shown in a window or reported to
// the host's callback. Written once over the Internet classes; the window is an interface so
// the Win32 dialog and other front ends (and tests) plug in.

#include <atomic>
#include <cstdint>

#include "quor_inet/include/quor_inet.h"
#include "quor_inet/state/web_rules.h"

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
    kDone,          // every byte written, the copy in the destination's place
    kNoRequest,     // not sent: no http address, the server unreachable, the prompt cancelled
    kBadStatus,     // answered outside 200-299; httpStatus says how
    kNoFreeSpace,   // the destination's file system lacks the total and the margin
    kCannotCreate,  // the copy could not be made or put in place, or the destination is a
                    // folder or a device
    kWriteFailed,   // a write failed (a full disk)
    kBrokenOff,     // the response ended before its end, or stayed below a byte a second
    kCancelled,     // the callback, the window or the stop flag said stop
};

// What was wrong with the destination when the copy could not be made, written or put in
// place.
enum class FileTrouble {
    kNone,
    kIsFolder,
    kNotAFile,    // a device, a pipe...
    kNoFolder,    // the folder to write in is missing
    kNotAllowed,  // no permission, or a read-only file system
    kDiskFull,
    kOther,
};

struct DownloadOutcome {
    DownloadEnd end = DownloadEnd::kNoRequest;
    FileTrouble fileTrouble = FileTrouble::kNone;
    uint32_t httpStatus = 0;  // the response's status, once there is one
    int64_t total = 0;        // the size announced (or available at once), once known
    bool totalAnnounced = false;  // total is the response's own size, not what was at hand
    int64_t written = 0;      // bytes that arrived and were written
};

struct DownloadControl {
    const std::atomic<int32_t>* stopFlag = nullptr;  // raised: cancel, also while a read waits
    bool keepPartOnCancel = true;                    // false: a cancel leaves path as it was
    // kCurrent: https, and redirections followed as OpenFollowingRedirects follows them (a
    // chain that cannot be followed is a request that cannot be sent).
    WebRules rules = WebRules::kClassic;
};

// Copies url into path. Without a callback the progress goes to window; with one, callback
// gets (bytes written so far, total, userValue) after every chunk written, never with 0 bytes,
// and its 0 cancels.
//
// The copy goes into a new file beside path and takes path's place only at the end, so that
// whatever was at path stays as it was on every other way out. Returns 1 when the whole
// response was written and nobody cancelled, else 0:
// - path is a folder or a device: at once, nothing fetched;
// - the request cannot be sent (as OpenHttpRequest reports it, not quiet): no window, no file;
// - the response's status is outside 200-299 (an error page, a redirection under kClassic):
//   no file; the window, if one was asked for, opens and closes again;
// - too little free space (total + kFreeSpaceMargin, in 64 bits, on the file system that
//   holds path) or the copy cannot be made: no file;
// - a write fails, or the response breaks off before its end (a read fails, or less than a
//   byte a second arrives for kDownloadLowSpeedMs): the copy is removed, because a cut-off
//   copy must not pass for the file;
// - the callback, the window or control's stop flag (also while a read waits) cancels: the part
//   written so far takes path's place where nothing was there and control allows it, else it
//   is removed.
// The total is the response's announced size, or without one the bytes available at once;
// the bytes written are not compared with it. Nothing is thrown (but an allocation failure).
// With outcomeOut, says how the download ended.
int RunDownload(const char* url, const char* path, DownloadProgressProc callback, int userValue,
                DownloadProgressWindow& window, DownloadOutcome* outcomeOut = nullptr,
                const DownloadControl* control = nullptr);
