// The two operations the host calls.
#include "quor_inet/dialog/search_dialog_win.h"
#include "quor_inet/transfer/download_progress_dlg_win.h"
#include "quor_inet/frame/export_guard.h"
#include "quor_inet/include/quor_inet.h"
#include "quor_inet/transfer/download.h"
#include "maker/quor_prof/quor_prof.h"
#include "quor_inet/state/search_state.h"

namespace {

// What a download with a callback has instead of the window: nothing to show, and at the end
// the main window enabled, as after a download with the window. While another download's
// window is open (the host re-entered from that download's message pumping), that window and
// the disabled main window are left to their own download.
class NoProgressWindow : public DownloadProgressWindow {
  public:
    int OpenProgressWindow(const char*, const char*) override { return 1; }
    int UpdateProgressWindow(int32_t, int32_t) override { return 1; }
    void CloseProgressWindow() override {
        if (!g_dlgDownloadProgress.InUse()) {
            g_dlgDownloadProgress.CloseProgressWindow();
        }
    }
};

}  // namespace

int INet_DoInternetDlg(const char* url, uint32_t reserved, CString* result) {
    (void)reserved;
    return ExportGuard([&] { return DoInternetSearchDialog(url, result); });
}

int INet_Download(const char* url, const char* path, DownloadProgressProc progress, int userValue) {
    return ExportGuard([&] {
        // Read at every download: a host may change it between two, with or without a search.
        DownloadControl control;
        control.rules = WebRulesOf(static_cast<int32_t>(Quor_GetRegistryDWord(
            kSettingsSection, kKeyCurrentWeb, kDefaultCurrentWeb, kQuorProfUser)));
        if (progress != nullptr) {
            NoProgressWindow none;
            return RunDownload(url, path, progress, userValue, none, nullptr, &control);
        }
        // There is one progress window: a second download that would show it while it is open
        // is refused before it sends anything.
        if (g_dlgDownloadProgress.InUse()) {
            return 0;
        }
        return RunDownload(url, path, nullptr, userValue, g_dlgDownloadProgress, nullptr, &control);
    });
}
