#include "afx/exceptions.h"

#include "afx/ascii.h"
#include "afx/message_box.h"

void CException::Delete() noexcept {
    delete this;
}

int CException::GetErrorMessage(char* buffer, unsigned maxLength, unsigned* helpContext) const {
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    afx::CopyBounded(buffer, maxLength, "");
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
    afx::CopyBounded(buffer, maxLength, "Out of memory.");
    return 1;
}

void AfxThrowMemoryException() {
    // operator new for so small an object failing too leaves nothing better to do.
    throw new CMemoryException();
}
