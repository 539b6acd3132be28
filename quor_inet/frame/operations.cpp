// The two operations the host calls. Their work arrives with the search dialog and the
// download; until then they report "nothing done".
#include "quor_inet/frame/export_guard.h"
#include "quor_inet/include/quor_inet.h"

int INet_DoInternetDlg(const char* url, uint32_t reserved, CString* result) {
    (void)url;
    (void)reserved;
    (void)result;
    return ExportGuard([] { return 0; });
}

int INet_Download(const char* url, const char* path, DownloadProgressProc progress, int userValue) {
    (void)url;
    (void)path;
    (void)progress;
    (void)userValue;
    return ExportGuard([] { return 0; });
}
