#include "launcher/launch_script.h"

#include <cstring>

namespace launcher {

namespace {

bool IsBlankOrControl(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u != 0 && (u <= ' ' || u == 0x7F);
}

// The command line less the program name and the blanks that follow it.
const char* SkipProgramName(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        const char* closing = std::strchr(p + 1, '"');
        p = closing != nullptr ? closing + 1 : p + std::strlen(p);
    } else {
        while (*p != '\0' && !IsBlankOrControl(*p)) {
            ++p;
        }
    }
    while (IsBlankOrControl(*p)) {
        ++p;
    }
    return p;
}

}  // namespace

bool LocateStartScript(LauncherSystem& system, MacroTable& macros, const char* commandLine,
                       char (&scriptOut)[kPathSize]) {
    scriptOut[0] = '\0';
    const char* argument = commandLine != nullptr ? SkipProgramName(commandLine) : "";
    if (*argument != '\0') {
        if (std::strlen(argument) >= kPathSize) {
            return false;
        }
        char path[kPathSize];
        CopyField(path, argument);
        ExpandPathMacros(macros, path, 0);
        char full[kPathSize] = {};
        uint32_t n = system.FullPathName(path, kPathSize, full);
        if (n == 0 || n >= kPathSize) {
            return false;
        }
        CopyField(scriptOut, full);
    } else {
        char own[kPathSize] = {};
        uint32_t n = system.ModuleFileName(own, kPathSize);
        if (n == 0 || n >= kPathSize) {
            return false;
        }
        own[kPathSize - 1] = '\0';
        char* dot = std::strrchr(own, '.');
        if (dot != nullptr) {
            constexpr char kIni[] = ".INI";
            std::size_t at = static_cast<std::size_t>(dot - own);
            if (at + sizeof(kIni) > kPathSize) {
                return false;
            }
            std::memcpy(own + at, kIni, sizeof(kIni));
        }
        CopyField(scriptOut, own);
    }
    return scriptOut[0] != '\0';
}

void LanguageSectionName(uint16_t langId, char (&nameOut)[8]) {
    FormatField(nameOut, sizeof(nameOut), "%03x", static_cast<unsigned>(langId & 0x3FF));
}

}  // namespace launcher
