#include "afx/exceptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "afx/message_box.h"

namespace {

// Copies text into buffer, cut to fit, always terminated when there is room for anything.
void CopyBounded(char* buffer, unsigned maxLength, const char* text) {
    if (buffer == nullptr || maxLength == 0) {
        return;
    }
    size_t n = strlen(text);
    if (n > maxLength - 1) {
        n = maxLength - 1;
    }
    memcpy(buffer, text, n);
    buffer[n] = '\0';
}

const char* FileCauseText(int cause) {
    switch (cause) {
        case CFileException::none:
            return "No error occurred while accessing %s.";
        case CFileException::fileNotFound:
            return "The file %s was not found.";
        case CFileException::badPath:
            return "The path of %s is invalid.";
        case CFileException::tooManyOpenFiles:
            return "The file %s could not be opened: too many files are open.";
        case CFileException::accessDenied:
            return "Access to %s was denied.";
        case CFileException::invalidFile:
            return "An invalid file handle was associated with %s.";
        case CFileException::removeCurrentDir:
            return "The directory %s could not be removed: it is the current directory.";
        case CFileException::directoryFull:
            return "The file %s could not be created: the directory is full.";
        case CFileException::badSeek:
            return "Seek failed on %s.";
        case CFileException::hardIO:
            return "A hardware I/O error was reported while accessing %s.";
        case CFileException::sharingViolation:
            return "A sharing violation occurred while accessing %s.";
        case CFileException::lockViolation:
            return "A locking violation occurred while accessing %s.";
        case CFileException::diskFull:
            return "Disk full while accessing %s.";
        case CFileException::endOfFile:
            return "An attempt was made to access %s past its end.";
        default:
            return "An unexpected error occurred while accessing %s.";
    }
}

}  // namespace

void CException::Delete() noexcept {
    delete this;
}

int CException::GetErrorMessage(char* buffer, unsigned maxLength, unsigned* helpContext) const {
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    CopyBounded(buffer, maxLength, "");
    return 0;
}

int CException::ReportError(unsigned type, unsigned messageId) const {
    char message[1024];
    if (GetErrorMessage(message, sizeof message)) {
        return AfxMessageBox(message, type);
    }
    if (messageId != 0) {
        return AfxMessageBox(messageId, type);
    }
    return AfxMessageBox("No error message is available.", type);
}

int CMemoryException::GetErrorMessage(char* buffer, unsigned maxLength,
                                      unsigned* helpContext) const {
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    CopyBounded(buffer, maxLength, "Out of memory.");
    return 1;
}

CFileException::CFileException(int cause, int32_t osError, const char* fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

int CFileException::GetErrorMessage(char* buffer, unsigned maxLength, unsigned* helpContext) const {
    if (helpContext != nullptr) {
        *helpContext = unsigned(m_cause);
    }
    const char* name = m_strFileName.IsEmpty() ? "(unnamed)" : (const char*)m_strFileName;
    // The name is the caller's text of any length: size the message to it.
    const char* format = FileCauseText(m_cause);
    int needed = snprintf(nullptr, 0, format, name);
    if (needed < 0) {
        CopyBounded(buffer, maxLength, "");
        return 0;
    }
    char small[512];
    if (size_t(needed) < sizeof small) {
        snprintf(small, sizeof small, format, name);
        CopyBounded(buffer, maxLength, small);
    } else {
        char* big = static_cast<char*>(malloc(size_t(needed) + 1));
        if (big == nullptr) {
            CopyBounded(buffer, maxLength, "");
            return 0;
        }
        snprintf(big, size_t(needed) + 1, format, name);
        CopyBounded(buffer, maxLength, big);
        free(big);
    }
    return 1;
}

void AfxThrowMemoryException() {
    // operator new for so small an object failing too leaves nothing better to do.
    throw new CMemoryException();
}

void AfxThrowFileException(int cause, int32_t osError, const char* fileName) {
    throw new CFileException(cause, osError, fileName);
}
