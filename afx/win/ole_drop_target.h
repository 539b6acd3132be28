#pragma once

// Windows only: the class library's OLE drop target, as far as the library's dialogs need it:
// a target registered on a window whose four overridables see the dragged data, and the data
// object they are handed.

#include <windows.h>
#include <ole2.h>

class CWnd;

using DROPEFFECT = DWORD;

// The data being dragged, as a drop target sees it.
class COleDataObject {
  public:
    explicit COleDataObject(IDataObject* data) noexcept : m_lpDataObject(data) {}

    // Whether the data is offered in format (as global memory unless formatEtc says otherwise).
    BOOL IsDataAvailable(CLIPFORMAT format, LPFORMATETC formatEtc = nullptr);
    // Fetches the data in format into medium, which the caller releases (ReleaseStgMedium).
    BOOL GetData(CLIPFORMAT format, LPSTGMEDIUM medium, LPFORMATETC formatEtc = nullptr);

  private:
    IDataObject* m_lpDataObject;
};

class COleDropTarget {
  public:
    COleDropTarget() noexcept;
    // Revokes a registration still in place.
    virtual ~COleDropTarget();
    COleDropTarget(const COleDropTarget&) = delete;
    COleDropTarget& operator=(const COleDropTarget&) = delete;

    // Makes this the drop target of window (OLE must be initialised on the calling thread).
    // FALSE when it cannot be registered.
    BOOL Register(CWnd* window);
    // Ends the registration; call it before the window is destroyed.
    void Revoke();

    // Points are in the window's client coordinates. The defaults refuse everything.
    virtual DROPEFFECT OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState, POINT point);
    virtual DROPEFFECT OnDragOver(CWnd* window, COleDataObject* data, DWORD keyState, POINT point);
    // TRUE when the data was taken; FALSE tells the drag source that nothing was dropped.
    virtual BOOL OnDrop(CWnd* window, COleDataObject* data, DROPEFFECT dropEffect, POINT point);
    virtual void OnDragLeave(CWnd* window);

  private:
    class Target;
    Target* m_pTarget = nullptr;  // the registered COM object, while registered
    CWnd* m_pWnd = nullptr;
};
