#include "maker/quor_prof/prof_file.h"

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

ProfFile ParseProfFile(std::string_view text) {
    ProfFile file;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            file.push_back({std::string(line.substr(1, line.size() - 2)), {}});
        } else if (size_t eq = line.find('='); eq != std::string_view::npos && !file.empty()) {
            file.back().entries.push_back(
                {std::string(line.substr(0, eq)), std::string(line.substr(eq + 1))});
        }
    }
    return file;
}

std::string FormatProfFile(const ProfFile& file) {
    std::string text;
    for (const ProfSection& section : file) {
        text += '[';
        text += section.name;
        text += "]\n";
        for (const ProfEntry& entry : section.entries) {
            text += entry.key;
            text += '=';
            text += entry.value;
            text += '\n';
        }
    }
    return text;
}

bool ProfNamesFit(std::string_view section, std::string_view key) {
    if (section.find_first_of("]\r\n") != std::string_view::npos ||
        key.find_first_of("=\r\n") != std::string_view::npos) {
        return false;
    }
    return !key.empty() && key.front() != '[';
}

const std::string* FindProfValue(const ProfFile& file, std::string_view section,
                                 std::string_view key) {
    for (const ProfSection& s : file) {
        if (SameName(s.name, section)) {
            for (const ProfEntry& e : s.entries) {
                if (SameName(e.key, key)) {
                    return &e.value;
                }
            }
        }
    }
    return nullptr;
}

void SetProfValue(ProfFile& file, std::string_view section, std::string_view key,
                  std::string value) {
    for (ProfSection& s : file) {
        if (!SameName(s.name, section)) {
            continue;
        }
        for (ProfEntry& e : s.entries) {
            if (SameName(e.key, key)) {
                e.value = std::move(value);
                return;
            }
        }
    }
    for (ProfSection& s : file) {
        if (SameName(s.name, section)) {
            s.entries.push_back({std::string(key), std::move(value)});
            return;
        }
    }
    file.push_back({std::string(section), {{std::string(key), std::move(value)}}});
}

std::string EscapeProfText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
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
                out += c;
        }
    }
    return out;
}

std::string UnescapeProfText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
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
