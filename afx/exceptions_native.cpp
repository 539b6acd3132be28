#include <cerrno>

#include "afx/exceptions.h"

int CFileException::OsErrorToException(int32_t osError) {
    switch (osError) {
        case 0:
            return none;
        case ENOENT:
            return fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return badPath;
        case EMFILE:
        case ENFILE:
            return tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case EEXIST:
            return accessDenied;
        case EBADF:
            return invalidFile;
        case EBUSY:
            return sharingViolation;
        case ESPIPE:
            return badSeek;
        case EIO:
            return hardIO;
        case ENOSPC:
        case EFBIG:
            return diskFull;
        default:
            return generic;
    }
}
