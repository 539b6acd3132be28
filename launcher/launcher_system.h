// The operating-system services the launcher needs, one operation per platform call it makes.
// The Win32 implementation forwards each one unchanged; tests use a recording double.
#pragma once

#include <cstdint>

namespace launcher {

using ProcessHandle = void*;  // null when there is no process to wait for

constexpr uint32_t kDriveCdrom = 5;
constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr uint32_t kRestartReboot = 2;  // EWX_REBOOT

// Message-box styles and answers, as the platform numbers them.
constexpr uint32_t kBoxOk = 0x00;
constexpr uint32_t kBoxOkCancel = 0x01;
constexpr uint32_t kBoxYesNo = 0x04;
constexpr uint32_t kBoxIconQuestion = 0x20;
constexpr uint32_t kBoxIconWarning = 0x30;
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;

// Launch request masks.
constexpr uint32_t kMaskClassName = 0x1;
constexpr uint32_t kMaskNoCloseProcess = 0x40;
constexpr uint32_t kMaskFlagDdeWait = 0x100;
constexpr uint32_t kMaskFlagNoUi = 0x400;

// A script's time-out in seconds as a wait in milliseconds: 0 waits without limit, and a
// time-out too long for the platform's wait becomes the longest finite one.
inline uint32_t WaitMilliseconds(int32_t seconds) {
    if (seconds == 0) {
        return kInfinite;
    }
    uint64_t ms = static_cast<uint64_t>(static_cast<uint32_t>(seconds)) * 1000u;
    return ms >= kInfinite ? kInfinite - 1 : static_cast<uint32_t>(ms);
}

struct OsVersion {
    uint32_t platformId = 0;  // 1 Windows 95 family, 2 NT family
    uint32_t major = 0;
    uint32_t minor = 0;
};

// The shell launch request; fields left null mean "none".
struct LaunchRequest {
    uint32_t mask = 0;
    const char* verb = nullptr;
    const char* file = nullptr;
    const char* parameters = nullptr;
    const char* directory = nullptr;
    int show = 0;
    const char* fileClass = nullptr;
    // Filled by the launch.
    uint64_t instApp = 0;  // the launch error code on failure (32 or below)
    ProcessHandle process = nullptr;
};

class LauncherSystem {
  public:
    virtual ~LauncherSystem() = default;

    // Profile (INI) reading: the value cut to size - 1, or the default; returns the characters
    // copied, 0 exactly when the value is absent or empty and the default is empty.
    virtual uint32_t ReadProfileString(const char* section, const char* key, const char* def,
                                       char* out, uint32_t size, const char* path) = 0;
    virtual int32_t ReadProfileInt(const char* section, const char* key, int32_t def,
                                   const char* path) = 0;

    // Directory queries: length written, 0 on failure, or more than size when it did not fit.
    virtual uint32_t FullPathName(const char* path, uint32_t size, char* out) = 0;
    virtual uint32_t ModuleFileName(char* out, uint32_t size) = 0;
    virtual uint32_t WindowsDirectory(char* out, uint32_t size) = 0;
    virtual uint32_t SystemDirectory(char* out, uint32_t size) = 0;
    virtual uint32_t CurrentDirectory(uint32_t size, char* out) = 0;
    virtual uint32_t TempPath(uint32_t size, char* out) = 0;
    virtual uint32_t LogicalDriveStrings(uint32_t size, char* out) = 0;
    virtual uint32_t DriveType(const char* root) = 0;

    virtual uint16_t UserDefaultLangId() = 0;
    virtual bool Version(OsVersion& out) = 0;

    virtual bool ShellLaunch(LaunchRequest& request) = 0;
    virtual uint32_t LastError() = 0;
    virtual bool StartProcess(char* commandLine, ProcessHandle& process) = 0;
    virtual void WaitForProcess(ProcessHandle process, uint32_t milliseconds) = 0;
    virtual void CloseProcess(ProcessHandle process) = 0;

    virtual int ShowMessageBox(const char* text, const char* caption, uint32_t style) = 0;
    // Enables the shutdown privilege on the process token, which the NT family requires for a
    // restart request. Windows 9x has no tokens: there, as on any failure, nothing happens.
    virtual void EnableShutdownPrivilege() = 0;
    virtual void RequestRestart(uint32_t flags, uint32_t reason) = 0;
    // The platform's description of a system error code; 0 when there is none.
    virtual uint32_t SystemErrorText(uint32_t code, char* out, uint32_t size) = 0;
};

}  // namespace launcher
