#pragma once

// Windows only: dialogs from templates found through the resource chain, modeless (Create) or
// modal (DoModal), with the class library's overridables.

#include "afx/win/wnd.h"

class CDialog;

// Handed to DoDataExchange: which way the data moves.
class CDataExchange {
  public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate) noexcept
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CDialog* m_pDlgWnd;
};

class CDialog : public CWnd {
  public:
    // Modeless: the window comes with Create.
    CDialog() noexcept = default;
    // Modal: DoModal shows the template, owned by parent.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) noexcept
        : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
    // Destroys a window still open.
    ~CDialog() override;

    // Makes the modeless window from the template found through the resource chain, in the
    // calling thread's language. Without a parent the window is owned by the calling thread's
    // main window (AfxGetMainWnd), as the class library does; with no main window it has no
    // owner. FALSE when this object has a window already, the template is missing or the
    // window could not be made.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    // Shows the template modally (the owner is disabled meanwhile) and returns what
    // EndDialog was given, or -1 when the dialog could not be shown.
    INT_PTR DoModal();
    // Ends a modal dialog with result; hides a modeless one.
    void EndDialog(int result) noexcept;

    // Moves data between controls and members through DoDataExchange.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog();  // UpdateData(FALSE); TRUE lets the platform set the focus
    virtual void OnOK();          // UpdateData(TRUE), then EndDialog(IDOK)
    virtual void OnCancel();      // EndDialog(IDCANCEL)

    UINT GetTemplateId() const noexcept { return m_nIDTemplate; }

  protected:
    virtual void DoDataExchange(CDataExchange* dx);
    // WM_INITDIALOG goes to OnInitDialog; the rest as CWnd routes it.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Clicks of IDOK and IDCANCEL go to OnOK and OnCancel.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;

  private:
    HWND MakeWindow(UINT templateId, HWND owner, bool modal, INT_PTR* modalResult);
};
