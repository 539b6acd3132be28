#include <windows.h>
#include <objbase.h>

#include "launcher/launch_chain.h"
#include "launcher/launcher_system_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Shell launches may hand the file to a shell extension, which needs COM on this thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    launcher::Win32LauncherSystem system;
    int exitCode = launcher::RunLaunchChain(system, GetCommandLineA());
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return exitCode;
}
