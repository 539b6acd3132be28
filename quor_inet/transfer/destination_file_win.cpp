#include <windows.h>

#include <string>

#include "quor_inet/transfer/destination_file.h"

namespace {

constexpr int kNameAttempts = 100;

}  // namespace

DestinationKind KindOfDestination(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A device name (NUL, CON, COM1...) has no attributes but opens.
        HANDLE device = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE) {
            return DestinationKind::kMissing;
        }
        CloseHandle(device);
        return DestinationKind::kOther;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return DestinationKind::kFolder;
    }
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return DestinationKind::kOther;
    }
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return DestinationKind::kRegularFile;  // there, but locked: the replacing will tell
    }
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type == FILE_TYPE_DISK ? DestinationKind::kRegularFile : DestinationKind::kOther;
}

bool MakeFileBeside(const std::string& path, std::string& madeOut) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(attempt) + ".part";
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            madeOut = name;
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool PutFileInPlace(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        return true;
    }
    // Windows 9x has no MoveFileEx: the old file goes first.
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
        return false;
    }
    if (GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(to.c_str())) {
        return false;
    }
    return MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

void RemoveFile(const std::string& path) {
    DeleteFileA(path.c_str());
}

FileTrouble LastFileTrouble() {
    switch (GetLastError()) {
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return FileTrouble::kNoFolder;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_SHARING_VIOLATION:
            return FileTrouble::kNotAllowed;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileTrouble::kDiskFull;
        default:
            return FileTrouble::kOther;
    }
}
