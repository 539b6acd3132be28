#include <windows.h>
#include <shellapi.h>

#include "launcher/launcher_system_win.h"

namespace launcher {

uint32_t Win32LauncherSystem::ReadProfileString(const char* section, const char* key,
                                                const char* def, char* out, uint32_t size,
                                                const char* path) {
    return GetPrivateProfileStringA(section, key, def, out, size, path);
}

int32_t Win32LauncherSystem::ReadProfileInt(const char* section, const char* key, int32_t def,
                                            const char* path) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, path));
}

uint32_t Win32LauncherSystem::FullPathName(const char* path, uint32_t size, char* out) {
    return GetFullPathNameA(path, size, out, nullptr);
}

uint32_t Win32LauncherSystem::ModuleFileName(char* out, uint32_t size) {
    DWORD n = GetModuleFileNameA(nullptr, out, size);
    // A cut name comes back as size with the platform's own terminator; report it as too long.
    return n >= size ? size : n;
}

uint32_t Win32LauncherSystem::WindowsDirectory(char* out, uint32_t size) {
    return GetWindowsDirectoryA(out, size);
}

uint32_t Win32LauncherSystem::SystemDirectory(char* out, uint32_t size) {
    return GetSystemDirectoryA(out, size);
}

uint32_t Win32LauncherSystem::CurrentDirectory(uint32_t size, char* out) {
    return GetCurrentDirectoryA(size, out);
}

uint32_t Win32LauncherSystem::TempPath(uint32_t size, char* out) {
    return GetTempPathA(size, out);
}

uint32_t Win32LauncherSystem::LogicalDriveStrings(uint32_t size, char* out) {
    return GetLogicalDriveStringsA(size, out);
}

uint32_t Win32LauncherSystem::DriveType(const char* root) {
    return GetDriveTypeA(root);
}

uint16_t Win32LauncherSystem::UserDefaultLangId() {
    return GetUserDefaultLangID();
}

bool Win32LauncherSystem::Version(OsVersion& out) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
    out.platformId = info.dwPlatformId;
    out.major = info.dwMajorVersion;
    out.minor = info.dwMinorVersion;
    return ok != FALSE;
}

bool Win32LauncherSystem::ShellLaunch(LaunchRequest& request) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = request.mask;
    info.hwnd = nullptr;
    info.lpVerb = request.verb;
    info.lpFile = request.file;
    info.lpParameters = request.parameters;
    info.lpDirectory = request.directory;
    info.nShow = request.show;
    info.lpClass = request.fileClass;
    BOOL ok = ShellExecuteExA(&info);
    lastError_ = GetLastError();
    request.instApp = reinterpret_cast<uintptr_t>(info.hInstApp);
    request.process = info.hProcess;
    return ok != FALSE;
}

uint32_t Win32LauncherSystem::LastError() {
    return lastError_;
}

bool Win32LauncherSystem::StartProcess(char* commandLine, ProcessHandle& process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    return true;
}

void Win32LauncherSystem::WaitForProcess(ProcessHandle process, uint32_t milliseconds) {
    WaitForSingleObject(process, milliseconds);
}

void Win32LauncherSystem::CloseProcess(ProcessHandle process) {
    if (process != nullptr) {
        CloseHandle(process);
    }
}

int Win32LauncherSystem::ShowMessageBox(const char* text, const char* caption, uint32_t style) {
    return MessageBoxA(nullptr, text, caption, style);
}

void Win32LauncherSystem::EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;  // no tokens on Windows 9x, and no privilege needed there
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
}

void Win32LauncherSystem::RequestRestart(uint32_t flags, uint32_t reason) {
    ExitWindowsEx(flags, reason);
}

uint32_t Win32LauncherSystem::SystemErrorText(uint32_t code, char* out, uint32_t size) {
    return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                          0, out, size, nullptr);
}

}  // namespace launcher
