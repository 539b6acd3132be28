// Feeds arbitrary text, directory values and a CD-ROM index to the macro expansion; the
// field must never be written past, whatever grows.
#include <cstdint>
#include <cstring>
#include <string>

#include "launcher/path_macros.h"
#include "launcher/recording_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    std::string input(reinterpret_cast<const char*>(data), size);
    int index = static_cast<unsigned char>(input[0]) % 4 - 1;
    // First line: the text; the rest: the Windows directory and the temporary directory.
    std::string rest = input.substr(1);
    std::size_t nl = rest.find('\n');
    std::string text = rest.substr(0, nl);
    std::string windir = nl == std::string::npos ? "C:\\WINDOWS" : rest.substr(nl + 1);

    launcher::RecordingSystem system;
    system.windowsDirectory = windir;
    system.tempDirectory = windir + "\\";
    system.drives = {{"E:\\", launcher::kDriveCdrom}, {"F:\\", launcher::kDriveCdrom}};
    launcher::MacroTable table(system);

    struct {
        char text[launcher::kPathSize];
        char guard[8];
    } field;
    std::memset(field.guard, 0x5A, sizeof(field.guard));
    launcher::CopyField(field.text, text.c_str());
    bool expanded = false;
    bool result = launcher::ExpandPathMacros(table, field.text, index, &expanded);
    if (result != expanded || std::strlen(field.text) >= launcher::kPathSize) {
        __builtin_trap();
    }
    for (char g : field.guard) {
        if (g != 0x5A) {
            __builtin_trap();
        }
    }
    return 0;
}
