#include "quor_inet/tags/audio_network_reader.h"

#include "afx/inet/internet_call.h"
#include "afx/inet/internet_session.h"
#include "quor_inet/state/time_limits.h"
#include "quor_inet/tags/audio_byte_reader.h"
#include "quor_inet/tags/id3_tag.h"

namespace {

// The remote file as the tag reader sees it: the size from the response head, reads at any
// offset.
class RemoteAudioSource : public AudioByteSource {
  public:
    explicit RemoteAudioSource(CStdioFile& file) : m_file(file) {}

    bool GetSize(uint32_t& sizeOut) override {
        // An error page or a redirection stands in for the file; it tells nothing about it.
        if (const auto* http = dynamic_cast<const CHttpFile*>(&m_file); http != nullptr) {
            uint32_t status = 0;
            if (!http->QueryInfoStatusCode(status) || status < 200 || status > 299) {
                return false;
            }
        }
        try {
            const int64_t end = m_file.Seek(0, CFile::end);
            m_file.Seek(0, CFile::begin);
            if (end < 0 || end > int64_t{0xFFFFFFFF}) {
                return false;  // not a size this call can report
            }
            sizeOut = static_cast<uint32_t>(end);
            return true;
        } catch (CInternetException* e) {
            e->Delete();
            return false;
        }
    }

    uint32_t ReadAt(uint32_t offset, uint8_t* buffer, uint32_t count) override {
        // Reaching the audio behind a huge tag would mean reading all of it.
        if (const auto* internet = dynamic_cast<const CInternetFile*>(&m_file);
            internet != nullptr && internet->SeeksByReading() &&
            uint64_t{offset} > uint64_t{kTagHeaderSize} + kUnrangedSkipLimit) {
            return 0;
        }
        uint32_t got = 0;
        try {
            if (m_file.Seek(offset, CFile::begin) != int64_t{offset}) {
                return 0;
            }
            while (got < count) {
                const unsigned n = m_file.Read(buffer + got, count - got);
                if (n == 0 || n > count - got) {
                    break;
                }
                got += n;
            }
        } catch (CInternetException* e) {
            e->Delete();  // what came before the failure is all there is
        }
        return got;
    }

    bool SeeksCheaply() override {
        const auto* internet = dynamic_cast<const CInternetFile*>(&m_file);
        return internet == nullptr || !internet->SeeksByReading();
    }

  private:
    CStdioFile& m_file;
};

}  // namespace

uint32_t ReadAudioFileInfo(CString url, CString& title, CString& artist, uint32_t* secondsOut,
                           const std::atomic<int32_t>* stopFlag, WebRules rules) {
    InternetCall call({.stopFlag = stopFlag, .totalMs = kTagReadLimitMs});
    if (call.Session() == nullptr) {
        return 0;
    }
    CStdioFile* file = nullptr;
    try {
        file = call.Session()->OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII, nullptr, 0);
    } catch (CInternetException* e) {
        e->Delete();
    }
    if (file == nullptr) {
        return 0;
    }
    call.Adopt(nullptr, file);
    RemoteAudioSource source(*file);
    return ReadAudioInfoFromSource(source, title, artist, secondsOut, rules);
}
