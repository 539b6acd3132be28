#pragma once

// Windows only: the search dialog's drop target, which takes a web address dragged onto it.

#include <windows.h>

#include "afx/win/ole_drop_target.h"

// Accepts text (CF_TEXT) that begins with "http://" in any letter case; a drop puts it into
// the URL field and presses Search (or Stop) for the user.
class CUrlDropTarget : public COleDropTarget {
  public:
    DROPEFFECT OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState,
                           POINT point) override;
    DROPEFFECT OnDragOver(CWnd* window, COleDataObject* data, DWORD keyState, POINT point) override;
    BOOL OnDrop(CWnd* window, COleDataObject* data, DROPEFFECT dropEffect, POINT point) override;
    void OnDragLeave(CWnd* window) override;

    BOOL m_bAccept = FALSE;  // the data over the dialog is an address it takes
};
