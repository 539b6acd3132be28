// Launch scripts: where the first one is found, and the names of their sections and keys.
#pragma once

#include <cstdint>

#include "launcher/launcher_system.h"
#include "launcher/path_macros.h"
#include "launcher/text_field.h"

namespace launcher {

namespace section {
constexpr const char* kGeneral = "General";
constexpr const char* kDefault = "Default";
}  // namespace section

namespace key {
constexpr const char* kNext = "Next";
constexpr const char* kPlatforms = "Platforms";
constexpr const char* kVerb = "Verb";
constexpr const char* kClass = "Class";
constexpr const char* kWait = "Wait";
constexpr const char* kTimeOut = "TimeOut";
constexpr const char* kShow = "Show";
constexpr const char* kReboot = "Reboot";
constexpr const char* kFile = "File";
constexpr const char* kParameter = "Parameter";
constexpr const char* kDirectory = "Directory";
constexpr const char* kRebootText = "RebootText";
constexpr const char* kCaption = "Caption";
constexpr const char* kDefault = "Default";
}  // namespace key

// The first script's path: the command line after the program name, taken whole (quotes and
// all), macros expanded and made absolute; without one, the program's own path with ".INI" in
// place of its extension. False when there is no usable path: the launcher then ends.
//
// A command-line path of 260 characters or more, or an own path that would outgrow the field
// with ".INI", is refused rather than cut.
bool LocateStartScript(LauncherSystem& system, MacroTable& macros, const char* commandLine,
                       char (&scriptOut)[kPathSize]);

// The section for the user's language: the primary language id as "%03x" (009, 007, 00c...).
void LanguageSectionName(uint16_t langId, char (&nameOut)[8]);

}  // namespace launcher
