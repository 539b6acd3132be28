#include "afx/win/ole_drop_target.h"

#include <atomic>

#include "afx/win/wnd.h"

namespace {

FORMATETC GlobalFormat(CLIPFORMAT format) {
    return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

POINT ToClient(CWnd* window, POINTL screen) {
    POINT point{screen.x, screen.y};
    if (window != nullptr && window->m_hWnd != nullptr) {
        ::ScreenToClient(window->m_hWnd, &point);
    }
    return point;
}

}  // namespace

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT format, LPFORMATETC formatEtc) {
    if (m_lpDataObject == nullptr) {
        return FALSE;
    }
    FORMATETC wanted = formatEtc != nullptr ? *formatEtc : GlobalFormat(format);
    wanted.cfFormat = format;
    return m_lpDataObject->QueryGetData(&wanted) == S_OK;
}

BOOL COleDataObject::GetData(CLIPFORMAT format, LPSTGMEDIUM medium, LPFORMATETC formatEtc) {
    if (m_lpDataObject == nullptr || medium == nullptr) {
        return FALSE;
    }
    FORMATETC wanted = formatEtc != nullptr ? *formatEtc : GlobalFormat(format);
    wanted.cfFormat = format;
    return SUCCEEDED(m_lpDataObject->GetData(&wanted, medium));
}

// The COM face of a COleDropTarget: OLE calls it, it calls the overridables.
class COleDropTarget::Target final : public IDropTarget {
  public:
    explicit Target(COleDropTarget& owner) noexcept : m_owner(&owner) {}
    void Detach() noexcept { m_owner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point,
                                        DWORD* effect) override {
        return Answer(effect, [&](COleDropTarget& t, CWnd* w) {
            COleDataObject object(data);
            return t.OnDragEnter(w, &object, keyState, ToClient(w, point));
        });
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override {
        return Answer(effect, [&](COleDropTarget& t, CWnd* w) {
            COleDataObject object(nullptr);
            return t.OnDragOver(w, &object, keyState, ToClient(w, point));
        });
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        if (m_owner != nullptr) {
            m_owner->OnDragLeave(m_owner->m_pWnd);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) override {
        if (effect == nullptr) {
            return E_INVALIDARG;
        }
        const DROPEFFECT offered = *effect;
        *effect = DROPEFFECT_NONE;
        if (m_owner != nullptr) {
            CWnd* window = m_owner->m_pWnd;
            COleDataObject object(data);
            if (m_owner->OnDrop(window, &object, offered, ToClient(window, point))) {
                *effect = offered;
            }
        }
        return S_OK;
    }

  private:
    template <typename Call>
    HRESULT Answer(DWORD* effect, Call&& call) {
        if (effect == nullptr) {
            return E_INVALIDARG;
        }
        *effect = m_owner != nullptr ? call(*m_owner, m_owner->m_pWnd) : DROPEFFECT_NONE;
        return S_OK;
    }

    COleDropTarget* m_owner;
    std::atomic<ULONG> m_refs{1};
};

COleDropTarget::COleDropTarget() noexcept = default;

COleDropTarget::~COleDropTarget() {
    Revoke();
}

BOOL COleDropTarget::Register(CWnd* window) {
    if (m_pTarget != nullptr || window == nullptr || window->m_hWnd == nullptr) {
        return FALSE;
    }
    auto* target = new Target(*this);
    if (FAILED(RegisterDragDrop(window->m_hWnd, target))) {
        target->Release();
        return FALSE;
    }
    m_pTarget = target;
    m_pWnd = window;
    return TRUE;
}

void COleDropTarget::Revoke() {
    if (m_pTarget == nullptr) {
        return;
    }
    if (m_pWnd != nullptr && m_pWnd->m_hWnd != nullptr) {
        RevokeDragDrop(m_pWnd->m_hWnd);
    }
    // OLE may still hold the object for a moment; it must not reach this one any more.
    m_pTarget->Detach();
    m_pTarget->Release();
    m_pTarget = nullptr;
    m_pWnd = nullptr;
}

DROPEFFECT COleDropTarget::OnDragEnter(CWnd*, COleDataObject*, DWORD, POINT) {
    return DROPEFFECT_NONE;
}

DROPEFFECT COleDropTarget::OnDragOver(CWnd*, COleDataObject*, DWORD, POINT) {
    return DROPEFFECT_NONE;
}

BOOL COleDropTarget::OnDrop(CWnd*, COleDataObject*, DROPEFFECT, POINT) {
    return FALSE;
}

void COleDropTarget::OnDragLeave(CWnd*) {}
