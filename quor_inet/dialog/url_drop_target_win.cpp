#include "quor_inet/dialog/url_drop_target_win.h"

#include <cstring>

#include "afx/cstring.h"
#include "quor_inet/crawler/start_address.h"
#include "quor_inet/dialog/search_dialog_win.h"
#include "quor_inet/resources/resource.h"
#include "quor_inet/state/search_state.h"

namespace {

// The CF_TEXT data of a drag, read up to its terminating zero but never past its memory
// block: a source may hand over text without one.
class DraggedText {
  public:
    explicit DraggedText(COleDataObject* data) {
        STGMEDIUM medium = {};
        if (data == nullptr || !data->IsDataAvailable(CF_TEXT) ||
            !data->GetData(CF_TEXT, &medium)) {
            return;
        }
        if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
            if (const auto* text = static_cast<const char*>(GlobalLock(medium.hGlobal));
                text != nullptr) {
                const SIZE_T size = GlobalSize(medium.hGlobal);
                const auto* end = static_cast<const char*>(memchr(text, '\0', size));
                m_strText = CString(text, static_cast<int>(end != nullptr ? end - text : size));
                m_bHaveText = true;
                GlobalUnlock(medium.hGlobal);
            }
        }
        ReleaseStgMedium(&medium);
    }
    DraggedText(const DraggedText&) = delete;
    DraggedText& operator=(const DraggedText&) = delete;

    const char* Text() const { return m_bHaveText ? static_cast<const char*>(m_strText) : nullptr; }

  private:
    CString m_strText;
    bool m_bHaveText = false;
};

}  // namespace

DROPEFFECT CUrlDropTarget::OnDragEnter(CWnd* window, COleDataObject* data, DWORD, POINT point) {
    m_bAccept = FALSE;
    DraggedText dragged(data);
    if (dragged.Text() != nullptr) {
        if (!BeginsWithHttp(dragged.Text(), SearchWebRules())) {
            return DROPEFFECT_NONE;
        }
        m_bAccept = TRUE;
    }
    CInternetSearchDlg* dialog = g_pSearchDlg.load();
    if (!m_bAccept || window == nullptr || dialog == nullptr) {
        return DROPEFFECT_NONE;
    }
    window->ClientToScreen(&point);
    RECT rect;
    dialog->GetWindowRect(&rect);
    const bool inside = rect.left <= point.x && point.x < rect.right && rect.top <= point.y &&
                        point.y < rect.bottom;
    return inside ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

DROPEFFECT CUrlDropTarget::OnDragOver(CWnd*, COleDataObject*, DWORD, POINT) {
    return m_bAccept ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

BOOL CUrlDropTarget::OnDrop(CWnd*, COleDataObject* data, DROPEFFECT, POINT) {
    DraggedText dragged(data);
    CInternetSearchDlg* dialog = g_pSearchDlg.load();
    if (dragged.Text() != nullptr && dialog != nullptr) {
        dialog->SetDlgItemText(IDC_URL, dragged.Text());
        dialog->OnSearchButton();
    }
    m_bAccept = FALSE;
    return FALSE;
}

void CUrlDropTarget::OnDragLeave(CWnd*) {
    m_bAccept = FALSE;
}
