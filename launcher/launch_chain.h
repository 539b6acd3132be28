// The launcher itself: runs the chain of launch scripts from the first one on.
#pragma once

#include "launcher/launcher_system.h"

namespace launcher {

// True when the Platforms text admits a launch on this Windows.
bool PlatformMatches(const char* platforms, const OsVersion& version);

// Runs the whole chain for the given command line. Always returns 0, the exit code.
int RunLaunchChain(LauncherSystem& system, const char* commandLine);

}  // namespace launcher
