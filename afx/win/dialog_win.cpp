#include "afx/win/dialog.h"

#include <cstring>

#include "afx/message_box.h"
#include "afx/resources.h"

namespace {

// The dialog being made on this thread: its window is taken over as soon as it exists, so the
// object sees WM_CREATE and every message after it, not only those after WM_INITDIALOG.
thread_local CDialog* t_pDialogInit = nullptr;
thread_local HHOOK t_hCreationHook = nullptr;

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_pDialogInit != nullptr) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[16] = {};
        // Only the dialog itself: the platform may make helper windows of its own meanwhile.
        if (GetClassNameA(window, name, sizeof(name)) > 0 && std::strcmp(name, "#32770") == 0) {
            CDialog* dialog = t_pDialogInit;
            t_pDialogInit = nullptr;
            dialog->SubclassWindow(window);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Installs the creation hook for one dialog and removes it again, nesting safely.
class CreationScope {
  public:
    explicit CreationScope(CDialog* dialog) noexcept
        : m_pOuterDialog(t_pDialogInit), m_hOuterHook(t_hCreationHook) {
        t_hCreationHook = SetWindowsHookExA(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
        t_pDialogInit = t_hCreationHook != nullptr ? dialog : nullptr;
    }
    ~CreationScope() {
        if (t_hCreationHook != nullptr) {
            UnhookWindowsHookEx(t_hCreationHook);
        }
        t_hCreationHook = m_hOuterHook;
        t_pDialogInit = m_pOuterDialog;
    }
    CreationScope(const CreationScope&) = delete;
    CreationScope& operator=(const CreationScope&) = delete;

    bool Installed() const noexcept { return t_hCreationHook != nullptr; }

  private:
    CDialog* m_pOuterDialog;
    HHOOK m_hOuterHook;
};

// The dialog's messages reach the object through its window procedure, which answers
// WM_INITDIALOG itself. A dialog whose window could not be taken over ends at once, so that a
// modal loop nobody can end never starts.
INT_PTR CALLBACK PassiveDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        ::EndDialog(window, -1);
    }
    return FALSE;
}

HWND MainWindowOfThread() noexcept {
    return static_cast<HWND>(AfxGetMainWnd());
}

}  // namespace

CDialog::~CDialog() {
    if (m_hWnd != nullptr) {
        DestroyWindow();
    }
}

HWND CDialog::MakeWindow(UINT templateId, HWND owner, bool modal, INT_PTR* modalResult) {
    const char* name = MAKEINTRESOURCEA(templateId);
    auto instance = static_cast<HINSTANCE>(AfxFindResourceHandle(name, RT_DIALOG));
    if (instance == nullptr) {
        return nullptr;
    }
    if (modal) {
        INT_PTR result = -1;
        {
            CreationScope scope(this);
            if (scope.Installed()) {
                // The hook has done its work once the dialog exists; the scope ends with the
                // modal loop, and a dialog made inside it installs a hook of its own.
                result = DialogBoxParamA(instance, name, owner, PassiveDialogProc, 0);
            }
        }
        *modalResult = result;
        return nullptr;
    }
    HWND window = nullptr;
    {
        CreationScope scope(this);
        if (!scope.Installed()) {
            return nullptr;
        }
        window = CreateDialogParamA(instance, name, owner, PassiveDialogProc, 0);
    }
    if (window != nullptr && window != m_hWnd) {
        // Made, but not through this object: of no use to it.
        ::DestroyWindow(window);
        return nullptr;
    }
    return window;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (m_hWnd != nullptr) {
        return FALSE;
    }
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    HWND owner = parent != nullptr ? parent->m_hWnd : MainWindowOfThread();
    return MakeWindow(templateId, owner, false, nullptr) != nullptr;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr) {
        return -1;
    }
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : MainWindowOfThread();
    INT_PTR result = -1;
    MakeWindow(m_nIDTemplate, owner, true, &result);
    return result;
}

void CDialog::EndDialog(int result) noexcept {
    if (m_hWnd != nullptr) {
        ::EndDialog(m_hWnd, result);
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*) {}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return OnInitDialog();
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        default:
            return FALSE;
    }
}
