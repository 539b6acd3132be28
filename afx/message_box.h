#pragma once

// Message boxes of the library go through one replaceable service. The Windows default shows
// MessageBoxA with the host's caption (its program file name without extension), owned by the
// calling thread's main window or rather its last active popup (a dialog it shows); the native
// default writes the text to stderr and answers IDCANCEL. The command-line tool installs its
// own.

// Values as Win32 has them; <windows.h> may already have defined them as macros.
#ifndef MB_OK
inline constexpr unsigned MB_OK = 0x00000000;
inline constexpr unsigned MB_OKCANCEL = 0x00000001;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x00000002;
inline constexpr unsigned MB_YESNOCANCEL = 0x00000003;
inline constexpr unsigned MB_YESNO = 0x00000004;
inline constexpr unsigned MB_RETRYCANCEL = 0x00000005;
inline constexpr unsigned MB_ICONHAND = 0x00000010;
inline constexpr unsigned MB_ICONERROR = 0x00000010;
inline constexpr unsigned MB_ICONSTOP = 0x00000010;
inline constexpr unsigned MB_ICONQUESTION = 0x00000020;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
inline constexpr unsigned MB_ICONWARNING = 0x00000030;
inline constexpr unsigned MB_ICONASTERISK = 0x00000040;
inline constexpr unsigned MB_ICONINFORMATION = 0x00000040;
inline constexpr unsigned MB_DEFBUTTON1 = 0x00000000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x00000100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x00000200;
inline constexpr unsigned MB_APPLMODAL = 0x00000000;
inline constexpr unsigned MB_SYSTEMMODAL = 0x00001000;
inline constexpr unsigned MB_TASKMODAL = 0x00002000;
inline constexpr unsigned MB_SETFOREGROUND = 0x00010000;
inline constexpr unsigned MB_TOPMOST = 0x00040000;
inline constexpr unsigned MB_TYPEMASK = 0x0000000F;
inline constexpr unsigned MB_ICONMASK = 0x000000F0;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
#endif

class MessageBoxService {
  public:
    virtual ~MessageBoxService() = default;
    // Shows text with the MB_* type and returns the ID* of the answer.
    virtual int Show(const char* text, unsigned type) = 0;
};

// Installs service for every thread and returns the one it replaces; null restores the
// default. The caller keeps ownership and keeps it alive while installed.
MessageBoxService* AfxSetMessageBoxService(MessageBoxService* service) noexcept;

int AfxMessageBox(const char* text, unsigned type = MB_OK);
// Shows string stringId from the resource chain (the empty text when it is missing).
int AfxMessageBox(unsigned stringId, unsigned type = MB_OK);

// The calling thread's main window as an HWND: its first visible top-level window without
// an owner, or for a thread started with AfxBeginThread that of the thread which started it.
// Null when there is none, and always natively.
void* AfxGetMainWnd() noexcept;
