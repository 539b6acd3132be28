// The settings store natively: one text file per store (prof_file.h), rewritten whole on
// every change.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "maker/quor_prof/prof_file.h"
#include "maker/quor_prof/quor_prof_store.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;

constexpr std::string_view kText = "sz:";
constexpr std::string_view kNumber = "dword:";

fs::path StorePath(bool perUser) {
    const char* explicitFile = std::getenv(perUser ? "QUOR_PROF_FILE" : "QUOR_PROF_MACHINE_FILE");
    if (explicitFile != nullptr && *explicitFile != '\0') {
        return explicitFile;
    }
    if (!perUser) {
        return "/etc/quor/quor_prof.ini";
    }
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        return fs::path(config) / "quor" / "quor_prof.ini";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : ".") / ".config" / "quor" / "quor_prof.ini";
}

ProfFile Load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ParseProfFile(text);
}

bool Save(const fs::path& path, const ProfFile& file) {
    std::error_code error;
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), error);
    }
    fs::path temporary = path;
    temporary += ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << FormatProfFile(file);
        out.flush();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    // Readers see the old file or the new one, never half of one.
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

bool Put(bool perUser, const char* section, const char* key, std::string value) {
    if (!ProfNamesFit(section, key)) {
        return false;
    }
    std::lock_guard lock(g_mutex);
    const fs::path path = StorePath(perUser);
    ProfFile file = Load(path);
    SetProfValue(file, section, key, std::move(value));
    return Save(path, file);
}

// The stored value after its type's prefix; false when missing or of the other type.
bool Get(bool perUser, const char* section, const char* key, std::string_view type,
         std::string& valueOut) {
    std::lock_guard lock(g_mutex);
    const ProfFile file = Load(StorePath(perUser));
    const std::string* found = FindProfValue(file, section, key);
    if (found == nullptr || found->compare(0, type.size(), type) != 0) {
        return false;
    }
    valueOut = found->substr(type.size());
    return true;
}

}  // namespace

bool ProfReadString(bool perUser, const char* section, const char* key, CString& valueOut) {
    std::string stored;
    if (!Get(perUser, section, key, kText, stored)) {
        return false;
    }
    const std::string text = UnescapeProfText(stored);
    valueOut = CString(text.c_str(), int(text.size()));
    return true;
}

bool ProfReadNumber(bool perUser, const char* section, const char* key, uint32_t& valueOut) {
    std::string digits;
    if (!Get(perUser, section, key, kNumber, digits) || digits.empty() || digits[0] < '0' ||
        digits[0] > '9') {
        return false;
    }
    char* end = nullptr;
    unsigned long long number = std::strtoull(digits.c_str(), &end, 10);
    if (*end != '\0' || number > 0xFFFFFFFFull) {
        return false;
    }
    valueOut = uint32_t(number);
    return true;
}

bool ProfWriteString(bool perUser, const char* section, const char* key, const char* value) {
    return Put(perUser, section, key, std::string(kText) + EscapeProfText(value));
}

bool ProfWriteNumber(bool perUser, const char* section, const char* key, uint32_t value) {
    return Put(perUser, section, key, std::string(kNumber) + std::to_string(value));
}
