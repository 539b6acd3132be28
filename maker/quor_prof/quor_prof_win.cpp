#include <windows.h>

#include <cstring>
#include <string>

#include "maker/quor_prof/quor_prof_store.h"

namespace {

class RegKey {
  public:
    RegKey() = default;
    ~RegKey() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

  private:
    HKEY m_key = nullptr;
};

std::string KeyPath(const char* section) {
    return std::string("Software\\Quor\\") + section;
}

HKEY Root(bool perUser) {
    return perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

bool OpenForReading(bool perUser, const char* section, RegKey& key) {
    return RegOpenKeyExA(Root(perUser), KeyPath(section).c_str(), 0, KEY_QUERY_VALUE, key.Out()) ==
           ERROR_SUCCESS;
}

bool OpenForWriting(bool perUser, const char* section, RegKey& key) {
    return RegCreateKeyExA(Root(perUser), KeyPath(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                           nullptr, key.Out(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool ProfReadString(bool perUser, const char* section, const char* key, CString& valueOut) {
    RegKey regKey;
    if (!OpenForReading(perUser, section, regKey)) {
        return false;
    }
    // The value may change between asking its size and reading it; a few tries suffice.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(regKey.Get(), key, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return false;
        }
        CString text;
        char* buffer = text.GetBuffer(int(size));
        DWORD got = size;
        LONG result = RegQueryValueExA(regKey.Get(), key, nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &got);
        if (result == ERROR_MORE_DATA) {
            continue;
        }
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return false;
        }
        // The stored bytes need not end in a zero; the text ends at the first one.
        text.ReleaseBuffer(int(strnlen(buffer, got)));
        valueOut = std::move(text);
        return true;
    }
    return false;
}

bool ProfReadNumber(bool perUser, const char* section, const char* key, uint32_t& valueOut) {
    RegKey regKey;
    if (!OpenForReading(perUser, section, regKey)) {
        return false;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(regKey.Get(), key, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return false;
    }
    valueOut = value;
    return true;
}

bool ProfWriteString(bool perUser, const char* section, const char* key, const char* value) {
    RegKey regKey;
    if (!OpenForWriting(perUser, section, regKey)) {
        return false;
    }
    size_t length = std::strlen(value);
    if (length >= MAXDWORD) {
        return false;
    }
    return RegSetValueExA(regKey.Get(), key, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          DWORD(length + 1)) == ERROR_SUCCESS;
}

bool ProfWriteNumber(bool perUser, const char* section, const char* key, uint32_t value) {
    RegKey regKey;
    if (!OpenForWriting(perUser, section, regKey)) {
        return false;
    }
    DWORD number = value;
    return RegSetValueExA(regKey.Get(), key, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number) == ERROR_SUCCESS;
}
