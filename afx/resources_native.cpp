#include "afx/resources_internal.h"

// Without a resource loader the modules of the chain hold nothing.

void* AfxHostModule() noexcept {
    return nullptr;
}

bool AfxLoadModuleString(void*, unsigned, CString&) {
    return false;
}

bool AfxModuleHasResource(void*, const char*, const char*) noexcept {
    return false;
}
