#include "quor_inet/transfer/download.h"

#include <cstdio>
#include <memory>

#include "afx/exceptions.h"
#include "afx/inet/internet_call.h"
#include "afx/inet/internet_session.h"
#include "maker/sndcore/sndcore.h"
#include "quor_inet/transfer/http_request.h"

namespace {

// The size to show and check space for: the announced length when the response has one,
// else what can be read at once.
int32_t FindTotal(CHttpFile& request) {
    try {
        const int64_t end = request.Seek(0, CFile::end);
        request.Seek(0, CFile::begin);
        return static_cast<int32_t>(static_cast<uint32_t>(end));
    } catch (CInternetException* e) {
        e->Delete();
    } catch (CFileException* e) {
        e->ReportError(MB_OK);
        e->Delete();
        return 0;
    }
    try {
        return static_cast<int32_t>(request.GetLength());
    } catch (CInternetException* e) {
        e->Delete();
        return 0;
    }
}

// total + margin as the 32-bit value the free-space test takes; a total near 4 GiB asks for
// all it can rather than wrapping round to a small number.
uint32_t BytesNeeded(int32_t total) {
    const uint64_t needed = uint64_t{static_cast<uint32_t>(total)} + kFreeSpaceMargin;
    return needed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(needed);
}

// Only a response that delivers the resource is copied: an error page or a redirection is no
// file.
bool DeliversResource(const CHttpFile& request, uint32_t& statusOut) {
    return request.QueryInfoStatusCode(statusOut) && statusOut >= 200 && statusOut <= 299;
}

// Every way out after the request was sent closes in this order; the progress window goes
// between the closing and the deleting.
constexpr CallCloseStep kDownloadCloseOrder[] = {
    CallCloseStep::kCloseFile,  CallCloseStep::kCloseSession,     CallCloseStep::kCloseConnection,
    CallCloseStep::kAfterClose, CallCloseStep::kDeleteConnection, CallCloseStep::kDeleteFile,
};

}  // namespace

int RunDownload(const char* url, const char* path, DownloadProgressProc callback, int userValue,
                DownloadProgressWindow& window, DownloadOutcome* outcomeOut) {
    DownloadOutcome unused;
    DownloadOutcome& outcome = outcomeOut != nullptr ? *outcomeOut : unused;
    outcome = DownloadOutcome{};
    if (url == nullptr || path == nullptr) {
        return 0;
    }
    InternetCall call(kDownloadCloseOrder);
    if (call.Session() == nullptr) {
        return 0;
    }
    CHttpConnection* connection = nullptr;
    CHttpFile* request = nullptr;
    if (!OpenHttpRequest(url, *call.Session(), connection, request, 0)) {
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
    const int32_t total = FindTotal(*request);
    outcome.total = static_cast<uint32_t>(total);
    if (!AL_CheckFreeSpace(BytesNeeded(total), static_cast<unsigned char>(path[0]))) {
        outcome.end = DownloadEnd::kNoFreeSpace;
        return 0;
    }
    if (callback == nullptr) {
        window.UpdateProgressWindow(0, total);
    }
    request->SetReadBufferSize(kDownloadChunkSize);

    int handle = AL_lcreat(path);
    if (handle < 0) {
        outcome.end = DownloadEnd::kCannotCreate;
        return 0;
    }
    // Closes the file on the way out unless the loop has dealt with it.
    struct FileGuard {
        int& handle;
        ~FileGuard() {
            if (handle >= 0) {
                _lclose(handle);
            }
        }
    } fileGuard{handle};

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
                e->Delete();
                broken = true;
                return 0;
            }
        };
        for (unsigned count = read(); count > 0; count = read()) {
            if (!AL_lwrite(handle, buffer.get(), count)) {
                _lclose(handle);
                std::remove(path);
                handle = -1;
                outcome.end = DownloadEnd::kWriteFailed;
                break;
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
    if (broken && handle >= 0) {
        _lclose(handle);
        std::remove(path);
        handle = -1;
        outcome.end = DownloadEnd::kBrokenOff;
    }
    if (handle < 0) {
        return 0;
    }
    outcome.end = cancelled ? DownloadEnd::kCancelled : DownloadEnd::kDone;
    return cancelled ? 0 : 1;
}
