// The launcher's system services on Win32: each operation is the one platform call.
#pragma once

#include "launcher/launcher_system.h"

namespace launcher {

class Win32LauncherSystem final : public LauncherSystem {
  public:
    uint32_t ReadProfileString(const char* section, const char* key, const char* def, char* out,
                               uint32_t size, const char* path) override;
    int32_t ReadProfileInt(const char* section, const char* key, int32_t def,
                           const char* path) override;
    uint32_t FullPathName(const char* path, uint32_t size, char* out) override;
    uint32_t ModuleFileName(char* out, uint32_t size) override;
    uint32_t WindowsDirectory(char* out, uint32_t size) override;
    uint32_t SystemDirectory(char* out, uint32_t size) override;
    uint32_t CurrentDirectory(uint32_t size, char* out) override;
    uint32_t TempPath(uint32_t size, char* out) override;
    uint32_t LogicalDriveStrings(uint32_t size, char* out) override;
    uint32_t DriveType(const char* root) override;
    uint16_t UserDefaultLangId() override;
    bool Version(OsVersion& out) override;
    bool ShellLaunch(LaunchRequest& request) override;
    uint32_t LastError() override;
    bool StartProcess(char* commandLine, ProcessHandle& process) override;
    void WaitForProcess(ProcessHandle process, uint32_t milliseconds) override;
    void CloseProcess(ProcessHandle process) override;
    int ShowMessageBox(const char* text, const char* caption, uint32_t style) override;
    void EnableShutdownPrivilege() override;
    void RequestRestart(uint32_t flags, uint32_t reason) override;
    uint32_t SystemErrorText(uint32_t code, char* out, uint32_t size) override;

  private:
    uint32_t lastError_ = 0;
};

}  // namespace launcher
