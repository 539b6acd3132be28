#include <windows.h>

#include <algorithm>

#include "afx/cstring.h"
#include "afx/message_box_internal.h"
#include "afx/thread_internal.h"

namespace {

BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The host program's file name without directory and extension.
CString HostCaption() {
    CString path;
    DWORD size = MAX_PATH;
    for (int attempt = 0; attempt < 8; ++attempt, size *= 2) {
        char* buffer = path.GetBuffer(int(size));
        DWORD n = GetModuleFileNameA(nullptr, buffer, size);
        if (n == 0) {
            path.ReleaseBuffer(0);
            break;
        }
        if (n < size) {
            path.ReleaseBuffer(int(n));
            break;
        }
        path.ReleaseBuffer(0);
    }
    int slash = std::max(path.ReverseFind('\\'), path.ReverseFind('/'));
    CString name = path.Mid(slash + 1);
    int dot = name.ReverseFind('.');
    return dot > 0 ? name.Left(dot) : name;
}

class Win32MessageBox : public MessageBoxService {
  public:
    int Show(const char* text, unsigned type) override {
        CString caption = HostCaption();
        // Owned by what the main window shows last, as the class library does: over a modal
        // dialog that is the dialog, which stays disabled while the box is up and leaves the
        // main window disabled behind it when the box is answered.
        HWND owner = static_cast<HWND>(AfxGetMainWnd());
        if (owner != nullptr) {
            owner = GetLastActivePopup(owner);
        }
        return MessageBoxA(owner, text, caption, type);
    }
};

}  // namespace

MessageBoxService& AfxDefaultMessageBoxService() noexcept {
    static Win32MessageBox service;
    return service;
}

void* AfxGetMainWnd() noexcept {
    HWND found = nullptr;
    EnumThreadWindows(AfxWindowThreadId(), FindMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}
