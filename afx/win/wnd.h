#pragma once

// Windows only: the least of the class library's window class that the library's dialogs need.
// A CWnd either wraps a window it did not make (Attach: controls, other code's windows) or, for
// windows made through this layer (dialogs), receives every message of its window first, in
// WindowProc.

#include <windows.h>

#include <map>
#include <memory>

#include "afx/cstring.h"

class CWnd {
  public:
    CWnd() noexcept = default;
    // Only forgets the window: a dialog destroys its own (see CDialog).
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Wraps a window without taking its messages. False when this object already has one.
    BOOL Attach(HWND window) noexcept;
    HWND Detach() noexcept;
    // Takes every message of window into WindowProc until the window is destroyed or
    // detached. False when this object or the window is taken already.
    BOOL SubclassWindow(HWND window) noexcept;

    // The window object of a child control, made on first use and owned by this object; it
    // stays valid until this window is destroyed or detached. Null when there is no such child.
    CWnd* GetDlgItem(int id) const;
    void SetDlgItemText(int id, const char* text) const noexcept;
    // The control's text into text; returns its length (0 and empty text when there is none).
    int GetDlgItemText(int id, CString& text) const;
    // Returns TRUE when the window was disabled before the call, as the platform does.
    BOOL EnableWindow(BOOL enable = TRUE) const noexcept;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept;
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0,
                               LPARAM lParam = 0) const noexcept;
    // Destroys the window; nothing happens (FALSE) when there is none.
    BOOL DestroyWindow() noexcept;
    void GetWindowRect(LPRECT rect) const noexcept;
    void ClientToScreen(LPPOINT point) const noexcept;

    HWND m_hWnd = nullptr;

  protected:
    // Every message of a window made through this layer; the default routes WM_COMMAND to
    // OnCommand and passes what is left to DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // TRUE when the command was handled; FALSE lets the window's default handling have it.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // The window's own procedure, as it was before this layer took its messages.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the last message of the window (WM_NCDESTROY), when m_hWnd is null again.
    virtual void PostNcDestroy() {}

  private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    void ForgetWindow() noexcept;

    WNDPROC m_pfnSuper = nullptr;  // set while this object takes the window's messages
    mutable std::map<int, std::unique_ptr<CWnd>> m_children;
};

// The window procedure of windows made through this layer.
LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
