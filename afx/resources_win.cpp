#include <windows.h>

#include <string>

#include "afx/resources_internal.h"

void* AfxHostModule() noexcept {
    return GetModuleHandleA(nullptr);
}

bool AfxLoadModuleString(void* module, unsigned id, CString& text) {
    HINSTANCE instance = static_cast<HINSTANCE>(module);
    // A string table entry holds at most 65535 characters; grow until the text fits, so a
    // long text is never cut and never written past the buffer.
    int size = 256;
    for (;;) {
        CString buffer;
        char* chars = buffer.GetBuffer(size);
        int n = LoadStringA(instance, id, chars, size + 1);
        if (n <= 0) {
            return false;
        }
        if (n < size || size >= 0x20000) {
            buffer.ReleaseBuffer(n);
            text = std::move(buffer);
            return true;
        }
        size *= 4;
    }
}

bool AfxModuleHasResource(void* module, const char* name, const char* type) noexcept {
    return FindResourceA(static_cast<HMODULE>(module), name, type) != nullptr;
}
