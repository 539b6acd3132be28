#include <windows.h>

#include <string>

#include "maker/sndcore/sndcore_platform.h"

bool SndFreeBytes(int driveLetter, uint64_t& freeBytesOut) {
    ULARGE_INTEGER available{};
    if ((driveLetter >= 'A' && driveLetter <= 'Z') || (driveLetter >= 'a' && driveLetter <= 'z')) {
        const char root[] = {char(driveLetter), ':', '\\', '\0'};
        if (GetDiskFreeSpaceExA(root, &available, nullptr, nullptr)) {
            freeBytesOut = available.QuadPart;
            return true;
        }
    }
    // A relative path's first character names no drive: the current one is meant.
    if (GetDiskFreeSpaceExA(nullptr, &available, nullptr, nullptr)) {
        freeBytesOut = available.QuadPart;
        return true;
    }
    return false;
}

bool SndFreeBytesOfPath(const char* path, uint64_t& freeBytesOut) {
    // The folder with its trailing separator, as GetDiskFreeSpaceEx takes it (C:\music\ or
    // \\server\share\dir\; "C:" alone means that drive's current folder). A folder still to
    // be made is on the volume of the nearest one that exists.
    std::string folder(path);
    std::string tried;
    for (;;) {
        while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
            folder.pop_back();
        }
        const size_t end = folder.find_last_of("\\/:");
        folder.erase(end == std::string::npos ? 0 : end + 1);
        ULARGE_INTEGER available{};
        if (GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                                nullptr)) {
            freeBytesOut = available.QuadPart;
            return true;
        }
        const DWORD error = GetLastError();
        if (folder.empty() || folder == tried ||
            (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND)) {
            return false;
        }
        tried = folder;
    }
}

int SndCreate(const char* path) {
    HFILE file = _lcreat(path, 0);
    return file == HFILE_ERROR ? -1 : int(file);
}

bool SndWrite(int handle, const void* buffer, uint32_t count) {
    UINT written = _lwrite(HFILE(handle), static_cast<LPCCH>(buffer), count);
    return written != UINT(HFILE_ERROR) && written == count;
}

void SndSetDiskFullError() {
    SetLastError(ERROR_DISK_FULL);
}

bool SndReadVariable(const char* name, std::string& valueOut) {
    char buffer[64];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) {
        return false;  // unset, or too long to be a byte count
    }
    valueOut.assign(buffer, n);
    return true;
}

void SndSetVariable(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
}
