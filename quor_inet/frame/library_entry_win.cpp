// Load and unload of quor_inet.dll.
#include <windows.h>

#include "afx/resources.h"
#include "quor_inet/transfer/download_progress_dlg_win.h"

// A static object, so the C runtime constructs it before DllMain sees the attach and
// destroys it after DllMain has handled the detach.
CDownloadProgressDlg g_dlgDownloadProgress;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // Lookups by id made through the host's chain find this library's strings and
            // dialog templates after the host's own. Without that entry the library could
            // show nothing, so the load fails.
            try {
                AfxAddResourceModule(instance);
            } catch (...) {
                return FALSE;
            }
            break;
        case DLL_PROCESS_DETACH:
            AfxRemoveResourceModule(instance);
            break;
        default:
            break;
    }
    return TRUE;
}
