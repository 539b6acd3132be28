// A recording stand-in for the launcher's system services: scripts held in memory, drives,
// versions and launch results set by the test, and every call written down in order.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "launcher/launcher_system.h"

namespace launcher {

class RecordingSystem : public LauncherSystem {
  public:
    struct ProfileRead {
        bool isInt;
        std::string section;
        std::string key;
        std::string def;
        uint32_t size;  // 0 for integers
        std::string path;
    };
    struct Launch {
        uint32_t mask;
        std::string verb;  // "(none)" for a null field
        std::string file;
        std::string parameters;
        std::string directory;
        int show;
        std::string fileClass;
    };
    struct Box {
        std::string text;
        std::string caption;
        uint32_t style;
    };
    struct LaunchResult {
        bool ok = false;
        uint64_t instApp = 2;
        uint32_t lastError = 2;
        bool withProcess = true;
    };

    // Scripts by path (case-blind), in INI text: "[General]\nNext=B.INI\n".
    void AddScript(const std::string& path, const std::string& iniText);

    // Configuration of the machine.
    std::string windowsDirectory = "D:\\WINDOWS";
    std::string systemDirectory = "D:\\WINDOWS\\SYSTEM";
    std::string currentDirectory = "D:\\WORK";
    std::string tempDirectory = "D:\\TEMP\\";
    std::string moduleFile = "D:\\INSTALL\\SETUP.EXE";
    std::vector<std::pair<std::string, uint32_t>> drives;  // root and drive type
    bool failDirectoryQueries = false;
    uint16_t langId = 0x0409;
    OsVersion version{2, 5, 1};
    std::set<std::string> existingFiles;      // launches of these succeed (case-blind)
    LaunchResult missingFile;                 // what a launch of any other file gives
    std::set<std::string> startableCommands;  // recovery commands that start
    std::map<uint32_t, std::string> systemTexts;
    std::deque<int> boxAnswers;  // answered in turn; IDCANCEL (2) when none is left
    std::function<LaunchResult(const LaunchRequest&)> onLaunch;  // overrides existingFiles
    std::function<void()> onRestart;

    // What happened.
    std::vector<std::string> calls;  // every call, in order, as short text
    std::vector<ProfileRead> reads;
    std::vector<Launch> launches;
    std::vector<Box> boxes;
    std::vector<std::string> startedCommands;
    std::vector<std::pair<uintptr_t, uint32_t>> waits;  // process and milliseconds
    std::vector<uintptr_t> closed;
    int restarts = 0;

    // "Section.Key" of every read, in order; "#" in front of integer reads.
    std::vector<std::string> ReadNames() const;

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
    using Section = std::map<std::string, std::string>;              // lower-case key -> value
    std::map<std::string, std::map<std::string, Section>> scripts_;  // lower-case path, section
    uint32_t lastError_ = 0;
    uintptr_t nextProcess_ = 0x100;

    const std::string* Find(const char* path, const char* section, const char* key) const;
    uint32_t Answer(const std::string& value, char* out, uint32_t size);
};

}  // namespace launcher
