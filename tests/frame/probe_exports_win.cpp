// Extra exports of the tests' build of quor_inet.dll (quor_inet_probe.dll): the same library
// with the same resources, plus what tests need to see from inside it.
#include <windows.h>

#include "afx/resources.h"
#include "afx/test_hooks.h"
#include "quor_inet/transfer/download_progress_dlg_win.h"
#include "quor_inet/resources/string_lookup.h"

extern "C" const char* QuorProbe_LoadResString(unsigned id) {
    return LoadResString(id);
}

// The module of the library's own resource chain that holds the resource, or null.
extern "C" void* QuorProbe_FindResourceModule(unsigned id, unsigned type) {
    return AfxFindResourceHandle(MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
}

extern "C" int QuorProbe_LastPercent() {
    return s_nLastPercent;
}

// 0 until the progress window's object has been constructed.
extern "C" unsigned QuorProbe_ProgressTemplate() {
    return g_dlgDownloadProgress.TemplateId();
}

// The allocation hook of the library's own CString (see afx/test_hooks.h), for tests of the
// clean-up after a failed allocation inside it.
extern "C" void QuorProbe_FailAllocation(int n) {
    AfxTestFailAllocation(n);
}

extern "C" int QuorProbe_AllocationCountdown() {
    return AfxTestAllocationCountdown();
}
