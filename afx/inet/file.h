#pragma once

#include <cstdint>

// The read side of the class library's file classes, as far as remote files need it: what
// CInternetSession::OpenURL hands out is used through this base.
class CFile {
  public:
    enum SeekPosition : unsigned { begin = 0, current = 1, end = 2 };

    virtual ~CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Up to count bytes; fewer only at the end. 0 at the end.
    virtual unsigned Read(void* buffer, unsigned count) = 0;
    // Moves the position by offset from begin, current or end; returns the new position. 64-bit
    // on every platform (a 32-bit long would end at 2 GiB on Windows).
    virtual int64_t Seek(int64_t offset, unsigned from) = 0;
    virtual uint32_t GetLength() const = 0;
    virtual void Close() = 0;

  protected:
    CFile() = default;
};

class CStdioFile : public CFile {
  protected:
    CStdioFile() = default;
};
