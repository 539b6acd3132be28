#pragma once

#include <cstdint>

#include "afx/cstring.h"
#include "afx/message_box.h"

// Errors of the class library arrive as exceptions thrown by pointer (`throw new X`) and
// are released by the catcher: `catch (CFileException* e) { ...; e->Delete(); }`.
class CException {
  public:
    virtual ~CException() = default;

    // Frees the exception; every catcher calls it once.
    virtual void Delete() noexcept;

    // Copies the description into buffer, cut to maxLength-1 characters and always
    // terminated when maxLength > 0. Returns non-zero when there is a description.
    virtual int GetErrorMessage(char* buffer, unsigned maxLength,
                                unsigned* helpContext = nullptr) const;

    // Shows the description (or, without one, the string messageId or a fixed text) in a
    // message box and returns the box's answer.
    virtual int ReportError(unsigned type = MB_OK | MB_ICONEXCLAMATION,
                            unsigned messageId = 0) const;

  protected:
    CException() = default;
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;
};

class CMemoryException : public CException {
  public:
    CMemoryException() = default;
    int GetErrorMessage(char* buffer, unsigned maxLength,
                        unsigned* helpContext = nullptr) const override;
};

class CFileException : public CException {
  public:
    // Causes, numbered as the class library numbers them.
    enum {
        none = 0,
        generic = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    explicit CFileException(int cause = none, int32_t osError = -1, const char* fileName = nullptr);

    int GetErrorMessage(char* buffer, unsigned maxLength,
                        unsigned* helpContext = nullptr) const override;

    // Maps an operating-system error code to a cause (Win32 codes; errno values natively).
    static int OsErrorToException(int32_t osError);

    int m_cause;
    int32_t m_lOsError;
    CString m_strFileName;
};

// Throws `new CMemoryException`.
[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowFileException(int cause, int32_t osError = -1,
                                        const char* fileName = nullptr);
