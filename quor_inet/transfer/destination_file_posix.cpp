#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "quor_inet/transfer/destination_file.h"

namespace {

// Tries new names beside the destination until one is free; a few are plenty unless something
// is very wrong with the folder.
constexpr int kNameAttempts = 100;

}  // namespace

DestinationKind KindOfDestination(const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0) {
        return DestinationKind::kMissing;
    }
    if (S_ISDIR(info.st_mode)) {
        return DestinationKind::kFolder;
    }
    return S_ISREG(info.st_mode) ? DestinationKind::kRegularFile : DestinationKind::kOther;
}

bool MakeFileBeside(const std::string& path, std::string& madeOut) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name =
            path + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".part";
        int fd;
        do {
            fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            close(fd);
            madeOut = name;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool PutFileInPlace(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) {
    unlink(path.c_str());
}

FileTrouble LastFileTrouble() {
    switch (errno) {
        case EISDIR:
            return FileTrouble::kIsFolder;
        case ENOENT:
        case ENOTDIR:
            return FileTrouble::kNoFolder;
        case EACCES:
        case EPERM:
        case EROFS:
            return FileTrouble::kNotAllowed;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return FileTrouble::kDiskFull;
        default:
            return FileTrouble::kOther;
    }
}
