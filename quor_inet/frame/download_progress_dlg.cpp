#include "quor_inet/frame/download_progress_dlg.h"

#include "quor_inet/resources/resource.h"

// Constant-initialised, so it holds -1 before any code of the library runs.
int32_t s_nLastPercent = -1;

CDownloadProgressDlg::CDownloadProgressDlg() noexcept : CDialogShell(IDD_DOWNLOAD_PROGRESS) {}

CDownloadProgressDlg::~CDownloadProgressDlg() = default;
