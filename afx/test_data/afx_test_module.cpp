// A second module for the Windows tests: resources for the chain, and strings made and
// destroyed on this side of the module boundary, with its own copy of the string code.
#include "afx/cstring.h"

extern "C" __declspec(dllexport) void afx_test_module_assign(CString* target, const char* text) {
    *target = CString(text);
}

extern "C" __declspec(dllexport) void afx_test_module_destroy(CString* target) {
    target->~CString();
}
