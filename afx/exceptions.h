#pragma once

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

// Raised by the platform's file classes. The library only catches it and shows its report,
// for which the base class suffices.
class CFileException : public CException {
  public:
    CFileException() = default;
};

// Throws `new CMemoryException`.
[[noreturn]] void AfxThrowMemoryException();
