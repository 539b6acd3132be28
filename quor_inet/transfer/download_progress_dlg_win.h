#pragma once

// Windows only: the library's one progress window, shown by a download without a host callback
// (dialog template IDD_DOWNLOAD_PROGRESS). The object lives from library load to unload; it has
// a window only while a download shows it.

#include <windows.h>

#include <cstdint>

#include "afx/win/dialog.h"
#include "quor_inet/transfer/download.h"

class CDownloadProgressDlg : public CDialog, public DownloadProgressWindow {
  public:
    CDownloadProgressDlg() noexcept;
    ~CDownloadProgressDlg() override;

    // The template the window is made from (also before it has ever been shown).
    UINT TemplateId() const noexcept { return GetTemplateId(); }

    // True from OpenProgressWindow to CloseProgressWindow, with or without a window on screen.
    bool InUse() const noexcept;

    // Clears m_bCancel, disables the calling thread's main window and shows the window with
    // "0 %", the URL and the path. Returns 1, also when the window could not be made (the
    // download then runs without one).
    int OpenProgressWindow(const char* url, const char* path) override;
    // Shows the figures of done of total bytes, lets the thread's messages through (a click on
    // Cancel is answered here) and returns 0 once the user has confirmed Cancel, else 1.
    int UpdateProgressWindow(int32_t done, int32_t total) override;
    // Enables the main window again, then destroys the window if one is open.
    void CloseProgressWindow() override;

    // Dispatches every message waiting in the calling thread's queue. A WM_QUIT among them is
    // kept back and posted again when the window closes, for the host's own message loop.
    static void PumpMessages();

    CWnd* m_pProgressCtrl = nullptr;  // the progress bar while the window is open
    BOOL m_bCancel = FALSE;           // the user confirmed Cancel; cleared when the window opens
    DWORD m_dwLastTick = 0;           // tick count of the latest update
    DWORD m_dwStartTick = 0;          // tick count at which the transfer started

  protected:
    // Cancel (id 2) asks the user to confirm; no command closes or changes the window.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;
};

// The percentage last shown: -1 at library load and never reset, so it carries over from one
// download to the next.
extern int32_t s_nLastPercent;

// The library's one progress-window object, constructed at load before the library's entry
// point runs and destroyed after its unload code; defined by the library module.
extern CDownloadProgressDlg g_dlgDownloadProgress;
