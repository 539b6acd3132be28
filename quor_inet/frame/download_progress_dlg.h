#pragma once

#include <cstdint>

// The library's one progress window for downloads without a host callback. Only its shell
// exists here: the object with its state, alive from library load to unload. The window
// behaviour (template IDD_DOWNLOAD_PROGRESS) is built on top of it.

// Stands in for the class library's dialog base: the window while one is open, and the
// template it is made from.
class CDialogShell {
  public:
    explicit CDialogShell(unsigned templateId) noexcept : m_nIDTemplate(templateId) {}
    virtual ~CDialogShell() = default;
    CDialogShell(const CDialogShell&) = delete;
    CDialogShell& operator=(const CDialogShell&) = delete;

    unsigned TemplateId() const noexcept { return m_nIDTemplate; }

    void* m_hWnd = nullptr;  // an HWND while the window exists

  private:
    unsigned m_nIDTemplate;
};

class CDownloadProgressDlg : public CDialogShell {
  public:
    CDownloadProgressDlg() noexcept;
    ~CDownloadProgressDlg() override;

    void* m_pProgressCtrl = nullptr;  // the progress bar's window while the window is open
    int32_t m_bCancel = 0;            // the user confirmed Cancel; cleared when the window opens
    uint32_t m_dwLastTick = 0;        // tick count of the latest update
    uint32_t m_dwStartTick = 0;       // tick count at which the transfer started
};

// The percentage last shown: -1 at library load and never reset, so it carries over from one
// download to the next.
extern int32_t s_nLastPercent;

// The library's one progress-window object, constructed at load before the library's entry
// point runs and destroyed after its unload code; defined by the library module.
extern CDownloadProgressDlg g_dlgDownloadProgress;
