#include "quor_inet/dialog/search_dialog_win.h"

#include <commctrl.h>

#include "afx/message_box.h"
#include "afx/thread.h"
#include "maker/quor_prof/quor_prof.h"
#include "quor_inet/crawler/start_address.h"
#include "quor_inet/found/found_files.h"
#include "quor_inet/resources/resource.h"
#include "quor_inet/resources/string_lookup.h"
#include "quor_inet/state/search_state.h"
#include "quor_inet/worker/crawl_worker.h"
#include "quor_inet/worker/worker_start.h"

namespace {

// The worker's updates travel as this message; lParam points to a ViewUpdate that lives on the
// worker's stack until SendMessage has returned.
constexpr UINT kViewUpdateMessage = WM_APP + 0x51;

bool IsSearching() {
    return g_pSearchThread.load() != nullptr;
}

// A copy of a string table text: the lookup's buffer is shared with the worker thread.
CString ResString(unsigned id) {
    const char* text = LoadResString(id);
    return CString(text != nullptr ? text : "");
}

void InitSearchControls() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
}

}  // namespace

struct CInternetSearchDlg::ViewUpdate {
    enum class Kind { kStatus, kRange, kPos, kLine, kEnd } kind;
    const char* text = nullptr;
    uint32_t number = 0;
    FoundFileEntry* entry = nullptr;
};

// ---------------------------------------------------------------------------------------------
// The dialog

CInternetSearchDlg::CInternetSearchDlg(CWnd* parent) : CDialog(IDD_INTERNET_SEARCH, parent) {}

CInternetSearchDlg::~CInternetSearchDlg() {
    JoinWorker();
    m_dropTarget.Revoke();
    if (m_bOleInitialized) {
        OleUninitialize();
    }
}

void CInternetSearchDlg::DoDataExchange(CDataExchange*) {}

int CInternetSearchDlg::OnCreate() {
    g_pSearchDlg = this;
    g_pSearchView = this;
    // The host may not have made OLE available on its thread; without it drops are refused.
    m_bOleInitialized = SUCCEEDED(OleInitialize(nullptr));
    m_dropTarget.m_bAccept = FALSE;
    m_dropTarget.Register(this);
    return 0;
}

BOOL CInternetSearchDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_hViewWnd = m_hWnd;
    const int32_t maxLevel = g_nMaxLevel.load();
    SendDlgItemMessage(IDC_DEPTH_SLIDER, TBM_SETRANGE, FALSE, MAKELPARAM(0, 8));
    SendDlgItemMessage(IDC_DEPTH_SLIDER, TBM_SETTICFREQ, 1, 0);
    // The control clamps a stored depth outside 0..8; the setting itself keeps it.
    SendDlgItemMessage(IDC_DEPTH_SLIDER, TBM_SETPOS, TRUE, maxLevel);
    ::SetDlgItemInt(m_hWnd, IDC_DEPTH_VALUE, static_cast<UINT>(maxLevel), TRUE);
    g_bStopSearch = 0;
    SetDlgItemText(IDC_URL, m_strUrl);
    ::CheckDlgButton(m_hWnd, IDC_READ_ID3, g_bReadID3.load() != 0 ? BST_CHECKED : BST_UNCHECKED);
    // The box says "same server only": the inverse of the setting.
    ::CheckDlgButton(m_hWnd, IDC_SAME_SERVER,
                     g_bAnyServer.load() == 0 ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

void CInternetSearchDlg::OnHScroll() {
    const auto level = static_cast<int32_t>(SendDlgItemMessage(IDC_DEPTH_SLIDER, TBM_GETPOS));
    g_nMaxLevel = level;
    ::SetDlgItemInt(m_hWnd, IDC_DEPTH_VALUE, static_cast<UINT>(level), TRUE);
}

void CInternetSearchDlg::OnSameServerCheck() {
    g_bAnyServer = ::IsDlgButtonChecked(m_hWnd, IDC_SAME_SERVER) == BST_CHECKED ? 0 : 1;
}

void CInternetSearchDlg::OnReadID3Check() {
    g_bReadID3 = ::IsDlgButtonChecked(m_hWnd, IDC_READ_ID3) == BST_CHECKED ? 1 : 0;
}

void CInternetSearchDlg::OnAllButton() {
    SendDlgItemMessage(IDC_FOUND_LIST, LB_SETSEL, TRUE, -1);
}

void CInternetSearchDlg::OnNoneButton() {
    SendDlgItemMessage(IDC_FOUND_LIST, LB_SETSEL, FALSE, -1);
}

void CInternetSearchDlg::OnSearchButton() {
    CString text;
    GetDlgItemText(IDC_URL, text);
    StartOrStopSearch(text);
}

void CInternetSearchDlg::SetSearchingState(const char* label, BOOL idle) {
    SetDlgItemText(IDC_SEARCH, label);
    if (CWnd* ok = GetDlgItem(IDOK); ok != nullptr) {
        ok->EnableWindow(idle);
    }
    if (CWnd* cancel = GetDlgItem(IDCANCEL); cancel != nullptr) {
        cancel->EnableWindow(idle);
    }
}

void CInternetSearchDlg::StartOrStopSearch(const char* text) {
    if (text == nullptr || *text == '\0') {
        return;
    }
    if (IsSearching()) {
        if (CWnd* button = GetDlgItem(IDC_SEARCH); button != nullptr) {
            button->EnableWindow(FALSE);
        }
        g_bStopSearch = 1;
        return;
    }
    // The previous worker has cleared its marker; its last update may still be on its way.
    JoinWorker();

    g_bStopSearch = 0;
    SetSearchingState(ResString(IDS_STOP), FALSE);
    const StartAddress start = NormalizeStartAddress(text, SearchWebRules());
    if (start.shown.Compare(text) != 0) {
        SetDlgItemText(IDC_URL, start.shown);
    }
    CString& searchUrl = g_strSearchUrl();
    searchUrl = start.address;
    m_strUrl = searchUrl;

    CWinThread* worker = StartCrawlWorker(CrawlThreadProc, searchUrl);
    if (worker == nullptr) {
        // No search runs: the dialog goes back to its idle state rather than wait for a worker
        // that never comes.
        SetSearchingState(ResString(IDS_SEARCH), TRUE);
        return;
    }
    m_pWorker.reset(worker);
}

void CInternetSearchDlg::JoinWorker() {
    if (m_pWorker) {
        // A search still running when the dialog has ended (a WM_QUIT, the host's window
        // destroyed with it) would otherwise run on to its end with nothing on screen.
        if (IsSearching()) {
            g_bStopSearch = 1;
        }
        m_pWorker->JoinServingMessages();
        m_pWorker.reset();
    }
}

void CInternetSearchDlg::OnOK() {
    if (IsSearching()) {
        return;
    }
    GetDlgItemText(IDC_URL, m_strUrl);
    SetDlgItemText(IDC_STATUS, "download");
    const auto count = static_cast<int>(SendDlgItemMessage(IDC_FOUND_LIST, LB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        if (SendDlgItemMessage(IDC_FOUND_LIST, LB_GETSEL, i) > 0) {
            const auto* entry = reinterpret_cast<const FoundFileEntry*>(
                SendDlgItemMessage(IDC_FOUND_LIST, LB_GETITEMDATA, i));
            if (entry != nullptr && entry != reinterpret_cast<const FoundFileEntry*>(LB_ERR)) {
                AppendResultUrl(m_strResult, *entry);
            }
        }
    }
    CDialog::OnOK();
}

void CInternetSearchDlg::OnCancel() {
    if (IsSearching()) {
        return;
    }
    GetDlgItemText(IDC_URL, m_strUrl);
    CDialog::OnCancel();
}

BOOL CInternetSearchDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
            case IDC_SAME_SERVER:
                OnSameServerCheck();
                return TRUE;
            case IDC_READ_ID3:
                OnReadID3Check();
                return TRUE;
            case IDC_SEARCH:
                OnSearchButton();
                return TRUE;
            case IDC_ALL:
                OnAllButton();
                return TRUE;
            case IDC_NONE:
                OnNoneButton();
                return TRUE;
            default:
                break;
        }
    }
    return CDialog::OnCommand(wParam, lParam);
}

LRESULT CInternetSearchDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (DefWindowProc(message, wParam, lParam) == -1) {
                return -1;
            }
            return OnCreate();
        case WM_HSCROLL:
            OnHScroll();
            return 0;
        case WM_DESTROY:
            m_hViewWnd = nullptr;
            m_dropTarget.Revoke();
            break;
        case kViewUpdateMessage:
            ApplyViewUpdate(*reinterpret_cast<const ViewUpdate*>(lParam));
            return 0;
        default:
            break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// The worker's view: sent from the worker's thread, applied on the dialog's

void CInternetSearchDlg::SendViewUpdate(ViewUpdate& update) {
    if (HWND window = m_hViewWnd.load(); window != nullptr) {
        ::SendMessageA(window, kViewUpdateMessage, 0, reinterpret_cast<LPARAM>(&update));
    }
}

void CInternetSearchDlg::ApplyViewUpdate(const ViewUpdate& update) {
    switch (update.kind) {
        case ViewUpdate::Kind::kStatus:
            SetDlgItemText(IDC_STATUS, update.text);
            break;
        case ViewUpdate::Kind::kRange:
            SendDlgItemMessage(IDC_SEARCH_PROGRESS, PBM_SETRANGE, 0,
                               MAKELPARAM(0, static_cast<WORD>(update.number)));
            break;
        case ViewUpdate::Kind::kPos:
            SendDlgItemMessage(IDC_SEARCH_PROGRESS, PBM_SETPOS, update.number);
            break;
        case ViewUpdate::Kind::kLine: {
            const LRESULT index = SendDlgItemMessage(IDC_FOUND_LIST, LB_ADDSTRING, 0,
                                                     reinterpret_cast<LPARAM>(update.text));
            if (index >= 0) {
                SendDlgItemMessage(IDC_FOUND_LIST, LB_SETITEMDATA, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(update.entry));
            }
            break;
        }
        case ViewUpdate::Kind::kEnd:
            if (CWnd* button = GetDlgItem(IDC_SEARCH); button != nullptr) {
                button->EnableWindow(TRUE);
            }
            SetSearchingState(update.text, TRUE);
            break;
    }
}

void CInternetSearchDlg::SetStatusText(const char* text) {
    ViewUpdate update{ViewUpdate::Kind::kStatus, text};
    SendViewUpdate(update);
}

void CInternetSearchDlg::SetProgressRange(uint16_t maximum) {
    ViewUpdate update{ViewUpdate::Kind::kRange, nullptr, maximum};
    SendViewUpdate(update);
}

void CInternetSearchDlg::SetProgressPos(uint32_t position) {
    ViewUpdate update{ViewUpdate::Kind::kPos, nullptr, position};
    SendViewUpdate(update);
}

void CInternetSearchDlg::AddFoundLine(const char* line, FoundFileEntry* entry) {
    ViewUpdate update{ViewUpdate::Kind::kLine, line, 0, entry};
    SendViewUpdate(update);
}

void CInternetSearchDlg::EndSearch(const char* searchLabel) {
    ViewUpdate update{ViewUpdate::Kind::kEnd, searchLabel};
    SendViewUpdate(update);
}

// ---------------------------------------------------------------------------------------------
// INet_DoInternetDlg

int DoInternetSearchDialog(const char* url, CString* result) {
    CWnd parent;
    if (HWND main = static_cast<HWND>(AfxGetMainWnd()); main != nullptr) {
        parent.Attach(main);
    }
    int answer = 0;
    {
        CInternetSearchDlg dialog(parent.m_hWnd != nullptr ? &parent : nullptr);
        dialog.m_strUrl = url != nullptr ? url : "";
        if (dialog.m_strUrl.IsEmpty()) {
            Quor_GetRegistryString(kSettingsSection, kKeyUrl, dialog.m_strUrl, "", kQuorProfUser);
        }
        if (dialog.m_strUrl.IsEmpty()) {
            dialog.m_strUrl = kDefaultStartAddress;
        }
        g_bAnyServer = static_cast<int32_t>(Quor_GetRegistryDWord(
            kSettingsSection, kKeyAnyServer, kDefaultAnyServer, kQuorProfUser));
        g_bReadID3 = static_cast<int32_t>(
            Quor_GetRegistryDWord(kSettingsSection, kKeyReadID3, kDefaultReadID3, kQuorProfUser));
        g_nMaxLevel = static_cast<int32_t>(
            Quor_GetRegistryDWord(kSettingsSection, kKeyMaxLevel, kDefaultMaxLevel, kQuorProfUser));
        g_nCurrentWeb = static_cast<int32_t>(Quor_GetRegistryDWord(
            kSettingsSection, kKeyCurrentWeb, kDefaultCurrentWeb, kQuorProfUser));

        InitSearchControls();
        const INT_PTR code = dialog.DoModal();
        // The host may unload the library once this call has returned: no worker outlives it.
        dialog.JoinWorker();

        Quor_WriteRegistryString(kSettingsSection, kKeyUrl, dialog.m_strUrl, kQuorProfUser);
        Quor_WriteRegistryDWord(kSettingsSection, kKeyAnyServer,
                                static_cast<uint32_t>(g_bAnyServer.load()), kQuorProfUser);
        Quor_WriteRegistryDWord(kSettingsSection, kKeyReadID3,
                                static_cast<uint32_t>(g_bReadID3.load()), kQuorProfUser);
        Quor_WriteRegistryDWord(kSettingsSection, kKeyMaxLevel,
                                static_cast<uint32_t>(g_nMaxLevel.load()), kQuorProfUser);
        Quor_WriteRegistryDWord(kSettingsSection, kKeyCurrentWeb,
                                static_cast<uint32_t>(g_nCurrentWeb.load()), kQuorProfUser);
        FreeFoundFiles();
        if (code == IDOK) {
            if (result != nullptr) {
                *result = dialog.m_strResult;
            }
            answer = 1;
        }
    }
    parent.Detach();
    return answer;
}
