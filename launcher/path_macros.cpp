#include "launcher/path_macros.h"

#include <cstring>

namespace launcher {

namespace {

constexpr uint32_t kDriveStringsSize = 104;

// Runs a directory query into a field; a failed or oversized answer leaves the value empty.
template <typename Query>
void FetchDirectory(char (&out)[kPathSize], Query query) {
    uint32_t n = query(out, static_cast<uint32_t>(kPathSize));
    if (n == 0 || n >= kPathSize) {
        out[0] = '\0';
    }
    out[kPathSize - 1] = '\0';
}

struct FixedMacro {
    const char* name;
    const char* (MacroTable::*value)() const;
};

constexpr char kCdromMacro[] = "%CDROM%";
constexpr std::size_t kCdromMacroLength = sizeof(kCdromMacro) - 1;

const FixedMacro kFixedMacros[] = {
    {"%WINDIR%", &MacroTable::windowsDirectory}, {"%WINSYSDIR%", &MacroTable::systemDirectory},
    {"%CURDIR%", &MacroTable::currentDirectory}, {"%TMPDIR%", &MacroTable::tempDirectory},
    {"%APPDIR%", &MacroTable::appDirectory},
};

bool MatchesAt(const char* text, const char* name) {
    return EqualNoCase(text, name, std::strlen(name));
}

// Writes value at pos and joins rest behind it with the backslash rule. Returns the position
// right after the inserted value, or -1 (text untouched) when the result would not fit.
long ReplaceAt(char (&text)[kPathSize], std::size_t pos, std::size_t macroLength,
               const char* value) {
    char rest[kPathSize];
    CopyField(rest, text + pos + macroLength);

    std::size_t valueLength = std::strlen(value);
    std::size_t end = pos + valueLength;
    // The last character before the join point: the value's last, else the one before it.
    bool endsWithBackslash =
        end > 0 && (valueLength > 0 ? value[valueLength - 1] == '\\' : text[pos - 1] == '\\');
    bool restStartsWithBackslash = rest[0] == '\\';

    const char* tail = rest;
    bool addBackslash = false;
    if (endsWithBackslash && restStartsWithBackslash) {
        tail = rest + 1;
    } else if (!endsWithBackslash && !restStartsWithBackslash) {
        addBackslash = true;
    }
    std::size_t total = end + (addBackslash ? 1 : 0) + std::strlen(tail);
    if (total >= kPathSize) {
        return -1;
    }
    std::memcpy(text + pos, value, valueLength);
    std::size_t at = end;
    if (addBackslash) {
        text[at++] = '\\';
    }
    std::size_t tailLength = std::strlen(tail);
    std::memcpy(text + at, tail, tailLength);
    text[at + tailLength] = '\0';
    return static_cast<long>(end);
}

}  // namespace

void ListDrivesOfType(LauncherSystem& system, uint32_t driveType, DriveList& list) {
    list = DriveList{};
    char drives[kDriveStringsSize] = {};
    uint32_t n = system.LogicalDriveStrings(kDriveStringsSize, drives);
    if (n == 0 || n > kDriveStringsSize || drives[0] == '\0') {
        return;
    }
    drives[kDriveStringsSize - 1] = '\0';
    const char* end = drives + kDriveStringsSize;
    for (const char* root = drives; root < end && *root != '\0' && list.count < kMaxDrives;
         root += std::strlen(root) + 1) {
        if (system.DriveType(root) == driveType) {
            CopyField(list.roots[list.count], root);
            ++list.count;
        }
    }
    list.roots[list.count][0] = '\0';
}

void MacroTable::FillOnce() {
    if (filled_) {
        return;
    }
    filled_ = true;
    FetchDirectory(sysdir_,
                   [&](char* out, uint32_t size) { return system_.SystemDirectory(out, size); });
    FetchDirectory(windir_,
                   [&](char* out, uint32_t size) { return system_.WindowsDirectory(out, size); });
    FetchDirectory(curdir_,
                   [&](char* out, uint32_t size) { return system_.CurrentDirectory(size, out); });
    FetchDirectory(tmpdir_, [&](char* out, uint32_t size) { return system_.TempPath(size, out); });
    FetchDirectory(appdir_,
                   [&](char* out, uint32_t size) { return system_.ModuleFileName(out, size); });
    // The program's directory: cut at the last backslash, which goes too (E:\SETUP.EXE -> E:).
    char* slash = std::strrchr(appdir_, '\\');
    if (slash != nullptr) {
        *slash = '\0';
    } else {
        appdir_[0] = '\0';
    }
    ListDrivesOfType(system_, kDriveCdrom, cdroms_);
}

bool ExpandPathMacros(MacroTable& table, char (&text)[kPathSize], int cdromIndex,
                      bool* cdromExpanded) {
    if (cdromExpanded != nullptr) {
        *cdromExpanded = false;
    }
    table.FillOnce();
    text[kPathSize - 1] = '\0';

    const char* percent = std::strchr(text, '%');
    while (percent != nullptr) {
        std::size_t pos = static_cast<std::size_t>(percent - text);
        if (MatchesAt(percent, kCdromMacro)) {
            const DriveList& drives = table.cdroms();
            if (cdromIndex < 0 || cdromIndex >= drives.count) {
                return false;
            }
            if (ReplaceAt(text, pos, kCdromMacroLength, drives.roots[cdromIndex]) < 0) {
                return false;
            }
            // Nothing after an expanded drive is scanned.
            if (cdromExpanded != nullptr) {
                *cdromExpanded = true;
            }
            return true;
        }
        std::size_t next = pos + 1;
        for (const FixedMacro& macro : kFixedMacros) {
            if (MatchesAt(percent, macro.name)) {
                long after = ReplaceAt(text, pos, std::strlen(macro.name), (table.*macro.value)());
                if (after < 0) {
                    return false;
                }
                next = static_cast<std::size_t>(after);
                break;
            }
        }
        percent = std::strchr(text + next, '%');
    }
    return false;
}

}  // namespace launcher
