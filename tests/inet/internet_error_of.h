// The Internet error a call raised, for the tests of the Internet classes.
#pragma once

#include <cstdint>

#include "afx/inet/internet_exception.h"

namespace quor::test {

// The error number of the CInternetException that call raised; 0 when it raised none.
template <typename F>
uint32_t InternetErrorOf(F&& call) {
    try {
        call();
    } catch (CInternetException* e) {
        uint32_t code = e->m_dwError;
        e->Delete();
        return code;
    }
    return 0;
}

}  // namespace quor::test
