// 64-bit offsets for fseeko and ftello on every C library (mingw-w64 maps them to its 64-bit
// calls; glibc on 64-bit machines has them anyway).
#define _FILE_OFFSET_BITS 64

#include "afx/inet/local_file.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>

#include "afx/inet/internet_exception.h"

static_assert(sizeof(off_t) == 8, "local files need 64-bit offsets");

namespace afx::inet {

LocalUrlFile* LocalUrlFile::Open(const std::string& path, uint32_t context) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        AfxThrowInternetException(context, ERROR_INTERNET_ITEM_NOT_FOUND);
    }
    // A folder opens for reading on POSIX systems, and would fail only at the first read.
    struct stat status {};
    const bool folder = fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
    off_t size = -1;
    if (!folder && fseeko(file, 0, SEEK_END) == 0) {
        size = ftello(file);
    }
    if (folder || size < 0 || fseeko(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        AfxThrowInternetException(context, ERROR_INTERNET_ITEM_NOT_FOUND);
    }
    return new LocalUrlFile(file, static_cast<uint64_t>(size), context);
}

LocalUrlFile::LocalUrlFile(std::FILE* file, uint64_t size, uint32_t context)
    : m_file(file), m_size(size), m_dwContext(context) {}

LocalUrlFile::~LocalUrlFile() {
    Close();
}

void LocalUrlFile::CheckOpen() const {
    if (m_file == nullptr) {
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
}

unsigned LocalUrlFile::Read(void* buffer, unsigned count) {
    CheckOpen();
    if (count == 0) {
        return 0;
    }
    if (m_position != m_filePosition) {
        if (fseeko(m_file, static_cast<off_t>(m_position), SEEK_SET) != 0) {
            m_filePosition = UINT64_MAX;
            AfxThrowInternetException(m_dwContext, ERROR_INTERNET_CONNECTION_ABORTED);
        }
        m_filePosition = m_position;
    }
    const size_t n = std::fread(buffer, 1, count, m_file);
    if (n < count && std::ferror(m_file) != 0) {
        std::clearerr(m_file);
        m_filePosition = UINT64_MAX;  // unknown: the next read seeks again
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_CONNECTION_ABORTED);
    }
    std::clearerr(m_file);
    m_position += n;
    m_filePosition = m_position;
    return static_cast<unsigned>(n);
}

int64_t LocalUrlFile::Seek(int64_t offset, unsigned from) {
    CheckOpen();
    int64_t base = 0;
    switch (from) {
        case CFile::begin:
            break;
        case CFile::current:
            base = static_cast<int64_t>(m_position);
            break;
        case CFile::end:
            base = static_cast<int64_t>(m_size);
            break;
        default:
            AfxThrowInternetException(m_dwContext, ERROR_INTERNET_INVALID_OPERATION);
    }
    if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > INT64_MAX - base)) {
        AfxThrowInternetException(m_dwContext, ERROR_INTERNET_INVALID_OPERATION);
    }
    m_position = static_cast<uint64_t>(base + offset);
    return base + offset;
}

uint32_t LocalUrlFile::GetLength() const {
    return static_cast<uint32_t>(std::min<uint64_t>(m_size, UINT32_MAX));
}

void LocalUrlFile::Close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

}  // namespace afx::inet
