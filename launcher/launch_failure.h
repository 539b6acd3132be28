// What the user sees when the shell refuses a launch, and whether it is tried again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/launcher_system.h"

namespace launcher {

enum class FailureAnswer { GiveUp, Retry };

// Shows the script's message for the launch error code (or its "Default"), runs the recovery
// command, and answers whether to try again.
FailureAnswer ReportLaunchFailure(LauncherSystem& system, const char* fileAsTried,
                                  uint64_t launchErrorCode, uint32_t systemErrorCode,
                                  const char* entrySection, const char* scriptPath);

// Turns each "$$" into a carriage return and line feed, left to right, in place.
void ExpandLineBreaks(char* text);

// Fills the inserts %1, %2 and %3 of a message with the three texts, the way the platform's
// message formatter reads its escapes (%0 ends the text; %n, %r, %t, %%, "% ", %. and %! stand
// for a line break, carriage return, tab, and the character itself). An insert is never read
// past the three texts: %4 to %99 have no text and stay as written, and insert options
// (%1!...!) are dropped, since every insert here is plain text. The result is cut to fit out.
void FormatInserts(const char* message, const char* const (&inserts)[3], char* out,
                   std::size_t outSize);

}  // namespace launcher
