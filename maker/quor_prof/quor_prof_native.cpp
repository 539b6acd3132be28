// The settings store as a text file: "[section]" lines, then "key=sz:text" or
// "key=dword:number" lines. Backslash, carriage return and line feed in a text are written
// as \\, \r and \n.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "maker/quor_prof/quor_prof_store.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;

struct Entry {
    std::string key;
    std::string value;  // as stored: "sz:..." or "dword:..."
};
struct Section {
    std::string name;
    std::vector<Entry> entries;
};
using Store = std::vector<Section>;

const char kText[] = "sz:";
const char kNumber[] = "dword:";

bool SameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

// Names that the file's syntax cannot hold are refused.
bool FitsTheFile(const char* section, const char* key) {
    for (const char* p = section; *p != '\0'; ++p) {
        if (*p == ']' || *p == '\n' || *p == '\r') {
            return false;
        }
    }
    for (const char* p = key; *p != '\0'; ++p) {
        if (*p == '=' || *p == '\n' || *p == '\r') {
            return false;
        }
    }
    return *key != '[' && *key != ' ';
}

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

Store Load(const fs::path& path) {
    Store store;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            store.push_back({line.substr(1, line.size() - 2), {}});
        } else if (size_t eq = line.find('='); eq != std::string::npos && !store.empty()) {
            store.back().entries.push_back({line.substr(0, eq), line.substr(eq + 1)});
        }
    }
    return store;
}

bool Save(const fs::path& path, const Store& store) {
    std::error_code error;
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), error);
    }
    fs::path temporary = path;
    temporary += ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const Section& section : store) {
            out << '[' << section.name << "]\n";
            for (const Entry& entry : section.entries) {
                out << entry.key << '=' << entry.value << '\n';
            }
        }
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

const std::string* Find(const Store& store, const char* section, const char* key) {
    for (const Section& s : store) {
        if (SameName(s.name, section)) {
            for (const Entry& e : s.entries) {
                if (SameName(e.key, key)) {
                    return &e.value;
                }
            }
        }
    }
    return nullptr;
}

bool Put(bool perUser, const char* section, const char* key, std::string value) {
    if (!FitsTheFile(section, key)) {
        return false;
    }
    std::lock_guard lock(g_mutex);
    const fs::path path = StorePath(perUser);
    Store store = Load(path);
    Section* target = nullptr;
    for (Section& s : store) {
        if (SameName(s.name, section)) {
            target = &s;
            break;
        }
    }
    if (target == nullptr) {
        store.push_back({section, {}});
        target = &store.back();
    }
    for (Entry& e : target->entries) {
        if (SameName(e.key, key)) {
            e.value = std::move(value);
            return Save(path, store);
        }
    }
    target->entries.push_back({key, std::move(value)});
    return Save(path, store);
}

bool Get(bool perUser, const char* section, const char* key, std::string& valueOut) {
    std::lock_guard lock(g_mutex);
    const Store store = Load(StorePath(perUser));
    const std::string* found = Find(store, section, key);
    if (found == nullptr) {
        return false;
    }
    valueOut = *found;
    return true;
}

std::string Escape(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        switch (*p) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += *p;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

bool ProfReadString(bool perUser, const char* section, const char* key, CString& valueOut) {
    std::string stored;
    if (!Get(perUser, section, key, stored) || stored.rfind(kText, 0) != 0) {
        return false;
    }
    const std::string text = Unescape(stored.substr(sizeof kText - 1));
    valueOut = CString(text.c_str(), int(text.size()));
    return true;
}

bool ProfReadNumber(bool perUser, const char* section, const char* key, uint32_t& valueOut) {
    std::string stored;
    if (!Get(perUser, section, key, stored) || stored.rfind(kNumber, 0) != 0) {
        return false;
    }
    const std::string digits = stored.substr(sizeof kNumber - 1);
    char* end = nullptr;
    unsigned long long number = std::strtoull(digits.c_str(), &end, 10);
    if (digits.empty() || digits[0] == '-' || *end != '\0' || number > 0xFFFFFFFFull) {
        return false;
    }
    valueOut = uint32_t(number);
    return true;
}

bool ProfWriteString(bool perUser, const char* section, const char* key, const char* value) {
    return Put(perUser, section, key, kText + Escape(value));
}

bool ProfWriteNumber(bool perUser, const char* section, const char* key, uint32_t value) {
    return Put(perUser, section, key, kNumber + std::to_string(value));
}
