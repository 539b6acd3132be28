#include "quor_inet/transfer/download_progress_dlg_win.h"

#include <commctrl.h>

#include "afx/message_box.h"
#include "quor_inet/resources/string_lookup.h"
#include "quor_inet/resources/resource.h"
#include "quor_inet/transfer/progress_figures.h"

// Constant-initialised, so it holds -1 before any code of the library runs.
int32_t s_nLastPercent = -1;

namespace {

// From OpenProgressWindow to CloseProgressWindow: the window is in use, and the main window
// disabled at the start is the one enabled again at the end, even if another window has
// meanwhile become the thread's first.
bool g_bInUse = false;
HWND g_hWndDisabledMain = nullptr;

// Set while the Cancel confirmation is on screen.
bool g_bAsking = false;

// A quit request taken from the queue while a download pumps it, to be posted again when the
// download ends: the host's own message loop must still see it.
bool g_bQuitPending = false;
WPARAM g_nQuitCode = 0;

void RegisterProgressBarClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
}

}  // namespace

CDownloadProgressDlg::CDownloadProgressDlg() noexcept {
    m_nIDTemplate = IDD_DOWNLOAD_PROGRESS;
}

CDownloadProgressDlg::~CDownloadProgressDlg() = default;

bool CDownloadProgressDlg::InUse() const noexcept {
    return g_bInUse;
}

int CDownloadProgressDlg::OpenProgressWindow(const char* url, const char* path) {
    m_bCancel = FALSE;
    g_hWndDisabledMain = static_cast<HWND>(AfxGetMainWnd());
    g_bInUse = true;
    if (g_hWndDisabledMain != nullptr) {
        ::EnableWindow(g_hWndDisabledMain, FALSE);
    }
    RegisterProgressBarClass();
    if (m_hWnd == nullptr && Create(IDD_DOWNLOAD_PROGRESS)) {
        m_pProgressCtrl = GetDlgItem(IDC_DOWNLOAD_PROGRESS);
        if (m_pProgressCtrl != nullptr) {
            m_pProgressCtrl->SendMessage(PBM_SETPOS, 0);
            m_pProgressCtrl->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        }
        SetDlgItemText(IDC_PERCENT, kInitialPercentText);
        SetDlgItemText(IDC_SOURCE_URL, url);
        SetDlgItemText(IDC_DESTINATION, path);
    }
    m_dwStartTick = GetTickCount();
    m_dwLastTick = m_dwStartTick;
    return 1;
}

int CDownloadProgressDlg::UpdateProgressWindow(int32_t done, int32_t total) {
    if (done == 0) {
        m_dwStartTick = GetTickCount();
    }
    const int32_t percent = ProgressPercent(done, total);
    m_dwLastTick = GetTickCount();
    // Unsigned, so a wrap of the tick counter between the two readings is harmless.
    const DWORD elapsed = m_dwLastTick - m_dwStartTick;

    const ProgressTexts texts = MakeProgressTexts(ComputeProgressFigures(done, total, elapsed));
    SetDlgItemText(IDC_SPEED, texts.speed);
    SetDlgItemText(IDC_REMAINING, texts.remaining);

    PumpMessages();

    if (percent != s_nLastPercent) {
        if (m_pProgressCtrl != nullptr) {
            m_pProgressCtrl->SendMessage(PBM_SETPOS, static_cast<WPARAM>(percent));
        }
        SetDlgItemText(IDC_PERCENT, texts.percent);
        s_nLastPercent = percent;
    }
    return m_bCancel ? 0 : 1;
}

void CDownloadProgressDlg::CloseProgressWindow() {
    // Enabled first, so that the main window takes the activation back from the closing window.
    HWND main = g_bInUse ? g_hWndDisabledMain : static_cast<HWND>(AfxGetMainWnd());
    g_bInUse = false;
    g_hWndDisabledMain = nullptr;
    if (main != nullptr && IsWindow(main)) {
        ::EnableWindow(main, TRUE);
    }
    if (m_hWnd != nullptr) {
        DestroyWindow();
    }
    m_pProgressCtrl = nullptr;
    if (g_bQuitPending) {
        g_bQuitPending = false;
        PostQuitMessage(static_cast<int>(g_nQuitCode));
    }
}

void CDownloadProgressDlg::PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            g_bQuitPending = true;
            g_nQuitCode = msg.wParam;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

BOOL CDownloadProgressDlg::OnCommand(WPARAM wParam, LPARAM) {
    if (LOWORD(wParam) != IDCANCEL || g_bAsking) {
        return FALSE;
    }
    // The box belongs to the main window, which is disabled already; the progress window is
    // disabled meanwhile, so that the box is the only thing to answer, as if it were its own.
    struct Asking {
        CDownloadProgressDlg& dlg;
        BOOL wasDisabled;
        explicit Asking(CDownloadProgressDlg& d) : dlg(d), wasDisabled(d.EnableWindow(FALSE)) {
            g_bAsking = true;
        }
        ~Asking() {
            if (!wasDisabled) {
                dlg.EnableWindow(TRUE);
            }
            g_bAsking = false;
        }
    } asking(*this);
    const char* question = LoadResString(IDS_CONFIRM_CANCEL);
    if (AfxMessageBox(question != nullptr ? question : "", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        m_bCancel = TRUE;
    }
    return FALSE;
}

void CDownloadProgressDlg::PostNcDestroy() {
    m_pProgressCtrl = nullptr;
}
