#include "maker/sndcore/sndcore.h"

#include <atomic>
#include <cstdlib>

#include "maker/sndcore/sndcore_platform.h"

namespace {

constexpr char kFreeBytesVariable[] = "SNDCORE_TEST_FREE_BYTES";
constexpr char kWriteLimitVariable[] = "SNDCORE_TEST_WRITE_LIMIT";

// Bytes written into the file last created, for the write-limit hook.
std::atomic<uint64_t> g_writtenToLastFile{0};

bool TestHook(const char* name, uint64_t& value) {
    std::string text;
    if (!SndReadVariable(name, text) || text.empty()) {
        return false;
    }
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || text[0] == '-') {
        return false;
    }
    value = parsed;
    return true;
}

void SetTestHook(const char* name, int64_t value) {
    if (value < 0) {
        SndSetVariable(name, nullptr);
    } else {
        SndSetVariable(name, std::to_string(value).c_str());
    }
}

}  // namespace

int AL_CheckFreeSpace(uint32_t bytesNeeded, int driveLetter) {
    try {
        uint64_t freeBytes = 0;
        if (!TestHook(kFreeBytesVariable, freeBytes) && !SndFreeBytes(driveLetter, freeBytes)) {
            return 0;
        }
        return freeBytes >= bytesNeeded ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int AL_CheckFreeSpaceOfPath(uint64_t bytesNeeded, const char* path) {
    if (path == nullptr || *path == '\0') {
        return 0;
    }
    try {
        uint64_t freeBytes = 0;
        if (!TestHook(kFreeBytesVariable, freeBytes) && !SndFreeBytesOfPath(path, freeBytes)) {
            return 0;
        }
        return freeBytes >= bytesNeeded ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int AL_lcreat(const char* path) {
    if (path == nullptr || *path == '\0') {
        return -1;
    }
    int handle = SndCreate(path);
    if (handle >= 0) {
        g_writtenToLastFile = 0;
    }
    return handle < 0 ? -1 : handle;
}

int AL_lwrite(int handle, const void* buffer, uint32_t count) {
    if (handle < 0 || (buffer == nullptr && count > 0)) {
        return 0;
    }
    if (count == 0) {
        return 1;
    }
    try {
        uint64_t limit = 0;
        if (TestHook(kWriteLimitVariable, limit)) {
            uint64_t done = g_writtenToLastFile;
            if (done + count > limit) {
                uint32_t room = done < limit ? uint32_t(limit - done) : 0;
                if (room > 0 && SndWrite(handle, buffer, room)) {
                    g_writtenToLastFile += room;
                }
                SndSetDiskFullError();
                return 0;
            }
        }
    } catch (...) {
        return 0;
    }
    if (!SndWrite(handle, buffer, count)) {
        return 0;
    }
    g_writtenToLastFile += count;
    return 1;
}

void AL_TestSetFreeBytes(int64_t bytes) {
    try {
        SetTestHook(kFreeBytesVariable, bytes);
    } catch (...) {
    }
}

void AL_TestSetWriteLimit(int64_t bytes) {
    try {
        SetTestHook(kWriteLimitVariable, bytes);
    } catch (...) {
    }
}
