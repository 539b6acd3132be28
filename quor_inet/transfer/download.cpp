#include "quor_inet/transfer/download.h"

#include <memory>
#include <string>

#include "afx/exceptions.h"
#include "afx/inet/internet_call.h"
#include "afx/inet/internet_session.h"
#include "maker/sndcore/sndcore.h"
#include "quor_inet/state/time_limits.h"
#include "quor_inet/transfer/destination_file.h"
#include "quor_inet/transfer/http_request.h"

namespace {

// The size to show and check space for: the announced length when the response has one,
// else what can be read at once.
int64_t FindTotal(CHttpFile& request, bool& announcedOut) {
    announcedOut = false;
    try {
        const int64_t end = request.Seek(0, CFile::end);
        request.Seek(0, CFile::begin);
        announcedOut = true;
        return end < 0 ? 0 : end;
    } catch (CInternetException* e) {
        e->Delete();
    } catch (CFileException* e) {
        e->ReportError(MB_OK);
        e->Delete();
        return 0;
    }
    try {
        return request.GetLength();
    } catch (CInternetException* e) {
        e->Delete();
        return 0;
    }
}

// Only a response that delivers the resource is copied: an error page or a redirection is no
// file.
bool DeliversResource(const CHttpFile& request, uint32_t& statusOut) {
    return request.QueryInfoStatusCode(statusOut) && statusOut >= 200 && statusOut <= 299;
}

// The copy on its way: a new file beside the destination, removed on every way out unless it
// was put in the destination's place.
class PartFile {
  public:
    ~PartFile() {
        Close();
        if (!m_path.empty()) {
            RemoveFile(m_path);
        }
    }
    bool Create(const char* destination) {
        if (!MakeFileBeside(destination, m_path)) {
            m_path.clear();
            return false;
        }
        m_handle = AL_lcreat(m_path.c_str());
        return m_handle >= 0;
    }
    bool Write(const void* data, uint32_t count) { return AL_lwrite(m_handle, data, count) != 0; }
    bool Close() {
        const int handle = m_handle;
        m_handle = -1;
        return handle < 0 || _lclose(handle) == 0;
    }
    // Closes the file and puts it in place of destination.
    bool PutInPlaceOf(const char* destination) {
        if (!Close() || !PutFileInPlace(m_path, destination)) {
            return false;
        }
        m_path.clear();
        return true;
    }

  private:
    std::string m_path;
    int m_handle = -1;
};

}  // namespace

int RunDownload(const char* url, const char* path, DownloadProgressProc callback, int userValue,
                DownloadProgressWindow& window, DownloadOutcome* outcomeOut,
                const DownloadControl* control) {
    const DownloadControl none;
    const DownloadControl& how = control != nullptr ? *control : none;
    DownloadOutcome unused;
    DownloadOutcome& outcome = outcomeOut != nullptr ? *outcomeOut : unused;
    outcome = DownloadOutcome{};
    if (url == nullptr || path == nullptr || *path == '\0') {
        outcome.end = DownloadEnd::kCannotCreate;
        outcome.fileTrouble = FileTrouble::kNoFolder;
        return 0;
    }
    // A folder or a device is never a download's destination; nothing is fetched for it.
    const DestinationKind destination = KindOfDestination(path);
    if (destination == DestinationKind::kFolder || destination == DestinationKind::kOther) {
        outcome.end = DownloadEnd::kCannotCreate;
        outcome.fileTrouble = destination == DestinationKind::kFolder ? FileTrouble::kIsFolder
                                                                      : FileTrouble::kNotAFile;
        return 0;
    }
    InternetCall call({.stopFlag = how.stopFlag, .lowSpeedMs = kDownloadLowSpeedMs});
    if (call.Session() == nullptr) {
        return 0;
    }
    CHttpConnection* connection = nullptr;
    CHttpFile* request = nullptr;
    CString answered;
    if (!OpenFollowingRedirects(url, *call.Session(), connection, request, 0, how.rules,
                                answered)) {
        return 0;
    }
    call.Adopt(connection, request, [&window] { window.CloseProgressWindow(); });

    if (callback == nullptr) {
        window.OpenProgressWindow(url, path);
    }
    if (!DeliversResource(*request, outcome.httpStatus)) {
        outcome.end = DownloadEnd::kBadStatus;
        return 0;
    }
    outcome.total = FindTotal(*request, outcome.totalAnnounced);
    // The host and the window see the size as the 32-bit count they take.
    const auto total = static_cast<int32_t>(static_cast<uint32_t>(outcome.total));
    const uint64_t needed = static_cast<uint64_t>(outcome.total) + kFreeSpaceMargin;
    if (!AL_CheckFreeSpaceOfPath(needed, path)) {
        outcome.end = DownloadEnd::kNoFreeSpace;
        return 0;
    }
    if (callback == nullptr) {
        window.UpdateProgressWindow(0, total);
    }
    request->SetReadBufferSize(kDownloadChunkSize);

    PartFile part;
    if (!part.Create(path)) {
        outcome.end = DownloadEnd::kCannotCreate;
        outcome.fileTrouble = LastFileTrouble();
        return 0;
    }

    bool cancelled = false;
    bool broken = false;  // the response ended before its end: the copy is not the file
    {
        auto buffer = std::make_unique<uint8_t[]>(kDownloadChunkSize);
        // Counted unsigned so that passing 2 GiB wraps instead of overflowing; the host and
        // the window get the 32-bit value.
        uint32_t done = 0;
        auto read = [&]() -> unsigned {
            try {
                unsigned n = request->Read(buffer.get(), kDownloadChunkSize);
                return n > kDownloadChunkSize ? kDownloadChunkSize : n;
            } catch (CInternetException* e) {
                // A stop raised while the read waited is a cancel, not a broken copy.
                (e->m_dwError == ERROR_INTERNET_OPERATION_CANCELLED ? cancelled : broken) = true;
                e->Delete();
                return 0;
            }
        };
        for (unsigned count = read(); count > 0; count = read()) {
            if (!part.Write(buffer.get(), count)) {
                outcome.end = DownloadEnd::kWriteFailed;
                outcome.fileTrouble = LastFileTrouble();
                return 0;
            }
            done += count;
            outcome.written += count;
            const int32_t done32 = static_cast<int32_t>(done);
            const int answer = callback != nullptr ? callback(done32, total, userValue)
                                                   : window.UpdateProgressWindow(done32, total);
            if (answer == 0) {
                cancelled = true;
                break;
            }
        }
    }
    if (broken) {
        outcome.end = DownloadEnd::kBrokenOff;
        return 0;
    }
    if (cancelled) {
        // The part written so far stays, where it takes the place of nothing the user had.
        outcome.end = DownloadEnd::kCancelled;
        if (how.keepPartOnCancel && destination == DestinationKind::kMissing &&
            KindOfDestination(path) == DestinationKind::kMissing) {
            part.PutInPlaceOf(path);
        }
        return 0;
    }
    if (!part.PutInPlaceOf(path)) {
        outcome.end = DownloadEnd::kCannotCreate;
        outcome.fileTrouble = LastFileTrouble();
        return 0;
    }
    outcome.end = DownloadEnd::kDone;
    return 1;
}
