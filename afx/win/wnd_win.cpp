#include "afx/win/wnd.h"

#include "afx/exceptions.h"

namespace {

// Where a window made through this layer keeps its object and its own procedure.
constexpr char kObjectProperty[] = "QuorAfxWnd";
constexpr char kSuperProperty[] = "QuorAfxWndSuper";

CWnd* ObjectOf(HWND window) noexcept {
    return static_cast<CWnd*>(GetPropA(window, kObjectProperty));
}

}  // namespace

CWnd::~CWnd() {
    if (m_pfnSuper != nullptr && IsWindow(m_hWnd)) {
        // The window outlives its object: give it back its own procedure.
        ForgetWindow();
    }
}

BOOL CWnd::Attach(HWND window) noexcept {
    if (m_hWnd != nullptr || window == nullptr) {
        return FALSE;
    }
    m_hWnd = window;
    return TRUE;
}

HWND CWnd::Detach() noexcept {
    HWND window = m_hWnd;
    if (m_pfnSuper != nullptr) {
        ForgetWindow();
    }
    m_hWnd = nullptr;
    m_children.clear();
    return window;
}

BOOL CWnd::SubclassWindow(HWND window) noexcept {
    if (m_hWnd != nullptr || window == nullptr || ObjectOf(window) != nullptr) {
        return FALSE;
    }
    auto super = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    if (!SetPropA(window, kObjectProperty, this) ||
        !SetPropA(window, kSuperProperty, reinterpret_cast<HANDLE>(super))) {
        RemovePropA(window, kObjectProperty);
        return FALSE;
    }
    m_hWnd = window;
    m_pfnSuper = super;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc));
    return TRUE;
}

void CWnd::ForgetWindow() noexcept {
    if (m_hWnd != nullptr && m_pfnSuper != nullptr) {
        if (GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc)) {
            SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        }
        RemovePropA(m_hWnd, kObjectProperty);
        RemovePropA(m_hWnd, kSuperProperty);
    }
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    m_children.clear();
}

CWnd* CWnd::GetDlgItem(int id) const {
    HWND child = m_hWnd != nullptr ? ::GetDlgItem(m_hWnd, id) : nullptr;
    if (child == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CWnd>& slot = m_children[id];
    if (!slot) {
        slot = std::make_unique<CWnd>();
    }
    if (slot->m_hWnd != child) {
        slot->Detach();
        slot->Attach(child);
    }
    return slot.get();
}

void CWnd::SetDlgItemText(int id, const char* text) const noexcept {
    if (m_hWnd != nullptr) {
        ::SetDlgItemTextA(m_hWnd, id, text != nullptr ? text : "");
    }
}

namespace {

int ReadWindowText(HWND window, CString& text) {
    text.Empty();
    if (window == nullptr) {
        return 0;
    }
    // The length may grow between the two calls; the read is bounded by the buffer either way.
    int length = GetWindowTextLengthA(window);
    if (length <= 0) {
        return 0;
    }
    char* buffer = text.GetBuffer(length);
    int n = GetWindowTextA(window, buffer, length + 1);
    text.ReleaseBuffer(n > 0 ? (n <= length ? n : length) : 0);
    return text.GetLength();
}

}  // namespace

int CWnd::GetDlgItemText(int id, CString& text) const {
    return ReadWindowText(m_hWnd != nullptr ? ::GetDlgItem(m_hWnd, id) : nullptr, text);
}

BOOL CWnd::EnableWindow(BOOL enable) const noexcept {
    return m_hWnd != nullptr ? ::EnableWindow(m_hWnd, enable) : FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
    return m_hWnd != nullptr ? ::SendMessageA(m_hWnd, message, wParam, lParam) : 0;
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam,
                                 LPARAM lParam) const noexcept {
    return m_hWnd != nullptr ? ::SendDlgItemMessageA(m_hWnd, id, message, wParam, lParam) : 0;
}

BOOL CWnd::DestroyWindow() noexcept {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    HWND window = m_hWnd;
    if (m_pfnSuper == nullptr) {
        // A wrapped window: this object forgets it here, since no WM_NCDESTROY reaches it.
        Detach();
    }
    return ::DestroyWindow(window);
}

void CWnd::GetWindowRect(LPRECT rect) const noexcept {
    if (m_hWnd == nullptr || !::GetWindowRect(m_hWnd, rect)) {
        SetRectEmpty(rect);
    }
}

void CWnd::ClientToScreen(LPPOINT point) const noexcept {
    if (m_hWnd != nullptr) {
        ::ClientToScreen(m_hWnd, point);
    }
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && OnCommand(wParam, lParam)) {
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper != nullptr) {
        return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = ObjectOf(window);
    if (wnd == nullptr) {
        auto super = reinterpret_cast<WNDPROC>(GetPropA(window, kSuperProperty));
        return super != nullptr ? CallWindowProcA(super, window, message, wParam, lParam)
                                : DefWindowProcA(window, message, wParam, lParam);
    }
    // Nothing thrown may cross the platform's frames on its way up.
    if (message == WM_NCDESTROY) {
        LRESULT result = 0;
        try {
            result = wnd->DefWindowProc(message, wParam, lParam);
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
        wnd->ForgetWindow();
        try {
            wnd->PostNcDestroy();
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
        return result;
    }
    try {
        return wnd->WindowProc(message, wParam, lParam);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return 0;
}
