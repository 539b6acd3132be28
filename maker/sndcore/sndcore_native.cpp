#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "maker/sndcore/sndcore.h"
#include "maker/sndcore/sndcore_platform.h"

bool SndFreeBytes(int driveLetter, uint64_t& freeBytesOut) {
    struct statvfs info {};
    if (statvfs(driveLetter == '/' ? "/" : ".", &info) != 0) {
        return false;
    }
    freeBytesOut = uint64_t(info.f_bavail) * uint64_t(info.f_frsize);
    return true;
}

bool SndFreeBytesOfPath(const char* path, uint64_t& freeBytesOut) {
    // The folder the file lies in; a folder still to be made is on the file system of the
    // nearest one that exists.
    std::string folder(path);
    for (;;) {
        const size_t slash = folder.find_last_of('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
        struct statvfs info {};
        if (statvfs(folder.c_str(), &info) == 0) {
            freeBytesOut = uint64_t(info.f_bavail) * uint64_t(info.f_frsize);
            return true;
        }
        if (errno != ENOENT || folder == "." || folder == "/") {
            return false;
        }
    }
}

int SndCreate(const char* path) {
    int fd;
    do {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool SndWrite(int handle, const void* buffer, uint32_t count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t n = write(handle, p, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        count -= uint32_t(n);
    }
    return true;
}

void SndSetDiskFullError() {
    errno = ENOSPC;
}

bool SndReadVariable(const char* name, std::string& valueOut) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return false;
    }
    valueOut = value;
    return true;
}

void SndSetVariable(const char* name, const char* value) {
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
}

int _lclose(int handle) {
    return close(handle) == 0 ? 0 : -1;
}
