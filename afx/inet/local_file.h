#pragma once
// The file OpenURL hands out for a file URL: a local file opened read-only and used through
// CStdioFile like the remote ones. It fails as they do (CInternetException*), so that one
// catch serves a caller for every scheme. Internal to afx/inet.

#include <cstdint>
#include <cstdio>
#include <string>

#include "afx/inet/file.h"

namespace afx::inet {

class LocalUrlFile : public CStdioFile {
  public:
    // Opens path for reading. Throws CInternetException* (12028) when it is missing, is a
    // folder or cannot be read.
    static LocalUrlFile* Open(const std::string& path, uint32_t context);
    ~LocalUrlFile() override;

    // Up to count bytes from the position; 0 at or past the end. A read error throws 12030.
    unsigned Read(void* buffer, unsigned count) override;
    // Any position from 0 up, past the end too; a negative one throws 12016.
    int64_t Seek(int64_t offset, unsigned from) override;
    // The file's size when it was opened (0xFFFFFFFF for 4 GiB and more).
    uint32_t GetLength() const override;
    // After Close, Read and Seek throw 12019.
    void Close() override;

  private:
    LocalUrlFile(std::FILE* file, uint64_t size, uint32_t context);
    void CheckOpen() const;

    std::FILE* m_file;
    uint64_t m_size;
    uint64_t m_position = 0;
    uint64_t m_filePosition = 0;  // where the C library's stream stands
    uint32_t m_dwContext;
};

}  // namespace afx::inet
