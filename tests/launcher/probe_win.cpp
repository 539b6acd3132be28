// A program for the launcher to start: it records how it was started (see probe_log.h) and
// ends at once, or keeps running when told to. Options among its arguments (all others are
// only recorded):
//   --run=N      keep running N seconds before ending (at most 300)
//   --run-ms=N   the same in milliseconds
// It records "end" when it ends by itself. A windowed program without a window, so that no
// console appears when the shell starts it.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "tests/launcher/probe_log.h"

namespace {

constexpr unsigned long kLongestRunMs = 300000;

unsigned long RunMilliseconds(const char* args) {
    unsigned long ms = 0;
    for (const char* p = std::strstr(args, "--run"); p != nullptr;
         p = std::strstr(p + 1, "--run")) {
        if (std::strncmp(p, "--run=", 6) == 0) {
            ms = std::strtoul(p + 6, nullptr, 10) * 1000;
        } else if (std::strncmp(p, "--run-ms=", 9) == 0) {
            ms = std::strtoul(p + 9, nullptr, 10);
        }
    }
    return ms > kLongestRunMs ? kLongestRunMs : ms;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    probe::AppendRecord("start", probe::StartFields());
    if (unsigned long ms = RunMilliseconds(probe::ArgumentsOf(GetCommandLineA()))) {
        Sleep(ms);
    }
    probe::AppendRecord("end");
    return 0;
}
