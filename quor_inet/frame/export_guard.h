#pragma once

#include "afx/exceptions.h"

// The exports' boundary: nothing thrown inside reaches the host, and the host sees exactly 1
// (success) or 0 (every other outcome).
template <typename Body>
int ExportGuard(Body&& body) noexcept {
    try {
        return body() == 1 ? 1 : 0;
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return 0;
}
