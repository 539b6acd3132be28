#pragma once

#include <cstdint>

#include "afx/exceptions.h"
#include "afx/inet/inet_constants.h"

// An error of the Internet classes, thrown by pointer and released with Delete(). The code is
// numbered as the platform's Internet services number their errors (12029 cannot connect,
// 12007 name not resolved, 12002 time-out, 12030 connection aborted, ...), whichever backend
// raised it.
class CInternetException : public CException {
  public:
    explicit CInternetException(uint32_t error, uint32_t context = 1)
        : m_dwError(error), m_dwContext(context) {}

    // The description of m_dwError, cut to maxLength-1 characters and always terminated when
    // maxLength > 0. Returns non-zero when a description was written.
    int GetErrorMessage(char* buffer, unsigned maxLength,
                        unsigned* helpContext = nullptr) const override;

    uint32_t m_dwError;
    uint32_t m_dwContext;
};

[[noreturn]] void AfxThrowInternetException(uint32_t context, uint32_t error);

// The fixed English description of an Internet error code; null when the code has none.
const char* AfxInternetErrorText(uint32_t error) noexcept;
