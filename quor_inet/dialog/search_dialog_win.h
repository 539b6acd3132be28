#pragma once

// Windows only: the search dialog that INet_DoInternetDlg shows (template IDD_INTERNET_SEARCH),
// with its drop target.

#include <windows.h>

#include <atomic>
#include <memory>

#include "afx/cstring.h"
#include "afx/win/dialog.h"
#include "quor_inet/dialog/url_drop_target_win.h"
#include "quor_inet/state/search_view.h"

class CWinThread;

// The start address shown when neither the host nor the settings store give one.
inline constexpr char kDefaultStartAddress[] = "www.freesound.org";

class CInternetSearchDlg : public CDialog, public SearchView {
  public:
    explicit CInternetSearchDlg(CWnd* parent);
    // Waits for a worker that has not ended yet.
    ~CInternetSearchDlg() override;

    // Reads the URL field and starts a search for it, or stops the running one.
    void OnSearchButton();
    // An empty text does nothing; while a search runs, asks it to stop; otherwise normalizes
    // the text ("http://" before a text without ':', "/" after a bare server) and starts the
    // worker on it.
    void StartOrStopSearch(const char* text);
    // Waits until the latest worker has ended, answering what it sends meanwhile.
    void JoinWorker();

    // The worker's updates, each delivered to the dialog's thread as a window message.
    void SetStatusText(const char* text) override;
    void SetProgressRange(uint16_t maximum) override;
    void SetProgressPos(uint32_t position) override;
    void AddFoundLine(const char* line, FoundFileEntry* entry) override;
    void EndSearch(const char* searchLabel) override;

    CUrlDropTarget m_dropTarget;
    CString m_strResult;  // OK: the selected files' URLs joined by "*"
    CString m_strUrl;     // the address to show; the normalized one while searching; the field's
                          // text once the dialog has closed

  protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  private:
    struct ViewUpdate;
    int OnCreate();
    void OnHScroll();
    void OnSameServerCheck();
    void OnReadID3Check();
    void OnAllButton();
    void OnNoneButton();
    void SendViewUpdate(ViewUpdate& update);
    void ApplyViewUpdate(const ViewUpdate& update);
    void SetSearchingState(const char* label, BOOL idle);

    std::unique_ptr<CWinThread> m_pWorker;  // the latest worker, joined before the next starts
    std::atomic<HWND> m_hViewWnd{nullptr};  // where the worker's updates go
    bool m_bOleInitialized = false;
};

// What INet_DoInternetDlg does: loads the settings, shows the dialog modally, writes the
// settings back, frees the found-files list and, on OK, assigns the result text. Returns 1 on
// OK, else 0.
int DoInternetSearchDialog(const char* url, CString* result);
