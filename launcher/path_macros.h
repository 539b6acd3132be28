// Path macros of launch scripts (%CDROM%, %WINDIR%, ...) and the CD-ROM drive list.
#pragma once

#include <cstdint>

#include "launcher/launcher_system.h"
#include "launcher/text_field.h"

namespace launcher {

constexpr int kMaxDrives = 26;

// Drive roots (as E:\), each in a four-byte slot, an empty slot after the last.
struct DriveList {
    char roots[kMaxDrives + 1][4] = {};
    int count = 0;
};

// Fills the list with the roots of all drives of the given type.
void ListDrivesOfType(LauncherSystem& system, uint32_t driveType, DriveList& list);

// The values behind the macros, fetched from the platform once, at the first expansion.
class MacroTable {
  public:
    explicit MacroTable(LauncherSystem& system) : system_(system) {}

    void FillOnce();
    bool filled() const { return filled_; }

    const char* windowsDirectory() const { return windir_; }
    const char* systemDirectory() const { return sysdir_; }
    const char* currentDirectory() const { return curdir_; }
    const char* tempDirectory() const { return tmpdir_; }
    const char* appDirectory() const { return appdir_; }
    const DriveList& cdroms() const { return cdroms_; }

  private:
    LauncherSystem& system_;
    bool filled_ = false;
    char windir_[kPathSize] = {};
    char sysdir_[kPathSize] = {};
    char curdir_[kPathSize] = {};
    char tmpdir_[kPathSize] = {};
    char appdir_[kPathSize] = {};
    DriveList cdroms_;
};

// Replaces the macros of a 260-byte text in place. cdromExpanded, when given, tells whether a
// "%CDROM%" was replaced; the result is true exactly in that case.
//
// A replacement that would not fit the field is refused: the text keeps that macro and
// everything after it as written, and the expansion ends there (false), as for a CD-ROM index
// past the last drive. A cut path would name a different file.
bool ExpandPathMacros(MacroTable& table, char (&text)[kPathSize], int cdromIndex,
                      bool* cdromExpanded = nullptr);

}  // namespace launcher
