#pragma once

// The text form of the native settings store: "[section]" lines, each followed by its
// "key=value" lines. Values are kept as stored ("sz:text" or "dword:number"); a text's
// backslash, carriage return and line feed are written as \\, \r and \n so that every value
// stays on its line. Names compare without regard to ASCII case.

#include <string>
#include <string_view>
#include <vector>

struct ProfEntry {
    std::string key;
    std::string value;
};

struct ProfSection {
    std::string name;
    std::vector<ProfEntry> entries;
};

using ProfFile = std::vector<ProfSection>;

// Lines that are neither a section nor a key of one are skipped; carriage returns at the end
// of a line are dropped.
ProfFile ParseProfFile(std::string_view text);
std::string FormatProfFile(const ProfFile& file);

// Whether the file can hold these names (a section without ']' or line breaks, a key without
// '=' or line breaks that does not begin with '[').
bool ProfNamesFit(std::string_view section, std::string_view key);

const std::string* FindProfValue(const ProfFile& file, std::string_view section,
                                 std::string_view key);
// Replaces the key's value, or adds the key (and its section) at the end.
void SetProfValue(ProfFile& file, std::string_view section, std::string_view key,
                  std::string value);

std::string EscapeProfText(std::string_view text);
std::string UnescapeProfText(std::string_view text);
