#include "quor_inet/transfer/audio_file_info.h"

#include <memory>

#include "afx/inet/internet_session.h"
#include "quor_inet/tags/audio_info.h"

namespace {

// The remote file as the tag reader sees it: the size from the response head, reads at any
// offset.
class RemoteAudioSource : public AudioByteSource {
  public:
    explicit RemoteAudioSource(CStdioFile& file) : m_file(file) {}

    bool GetSize(uint32_t& sizeOut) override {
        try {
            const long end = m_file.Seek(0, CFile::end);
            m_file.Seek(0, CFile::begin);
            if (end < 0 || static_cast<unsigned long>(end) > 0xFFFFFFFFu) {
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
        uint32_t got = 0;
        try {
            if (m_file.Seek(static_cast<long>(offset), CFile::begin) != static_cast<long>(offset)) {
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

  private:
    CStdioFile& m_file;
};

}  // namespace

uint32_t ReadAudioFileInfo(CString url, CString& title, CString& artist, uint32_t* secondsOut) {
    std::unique_ptr<CInternetSession> session;
    std::unique_ptr<CStdioFile> file;
    try {
        session = std::make_unique<CInternetSession>(nullptr, 1, PRE_CONFIG_INTERNET_ACCESS,
                                                     nullptr, nullptr, 0);
        file.reset(session->OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII, nullptr, 0));
    } catch (CInternetException* e) {
        e->Delete();
    }
    if (!file) {
        if (session) {
            session->Close();
        }
        return 0;
    }

    // Closed on every way out, an exception of the reader included.
    struct CleanUp {
        CStdioFile& file;
        CInternetSession& session;
        ~CleanUp() {
            file.Close();
            session.Close();
        }
    } cleanUp{*file, *session};

    RemoteAudioSource source(*file);
    return ReadAudioInfoFromSource(source, title, artist, secondsOut);
}
