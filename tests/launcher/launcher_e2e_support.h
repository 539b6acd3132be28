// What the launcher's end-to-end tests share: a folder of their own with copies of the
// launcher and the probe, scripts written there, the probe log, the CD-ROM folders of the Wine
// prefix, and a run of the launcher whose message boxes are answered by the test.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/automation/wine_automation.h"

namespace e2e {

// One record of the probe log (see probe_log.h).
struct ProbeRecord {
    std::string event;
    uint32_t pid = 0;
    std::map<std::string, std::string> fields;

    std::string Get(const std::string& key) const;
    // The value of "--tag=" among the recorded arguments, empty without one.
    std::string Tag() const;
};

std::vector<ProbeRecord> ParseProbeLog(const std::string& text);

// The start records' tags in log order.
std::vector<std::string> StartedTags(const std::vector<ProbeRecord>& log);
// Index of the first record with this event and tag (tags of later records are looked up by
// pid), or -1.
int IndexOf(const std::vector<ProbeRecord>& log, const std::string& event, const std::string& tag);

// A script's text from its sections, each a name and its key=value lines in order.
struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
};
std::string Script(const std::vector<Section>& sections);

// The launcher's language section for this process's user language ("009", "007", ...).
std::string LanguageSection();
// The platform's text for a system error code, as FormatMessage gives it; empty without one.
std::string SystemErrorText(uint32_t code);
// The platform's directories as a launched program sees them.
std::string TempDir();     // with a trailing backslash
std::string WindowsDir();  // without one
std::string SystemDir();   // without one
bool EqualNoCase(const std::string& a, const std::string& b);
std::string WithoutTrailingBackslash(std::string path);

// The CD-ROM drives of the test prefix: letters (R, S) and the folders behind them.
struct CdromDrive {
    char letter = 0;
    std::string folder;  // as the Windows side sees it
};
std::vector<CdromDrive> CdromDrives();

struct LauncherRun {
    bool ended = false;  // false: killed at the time-out
    uint32_t exitCode = 0;
    std::vector<automation::MessageBoxInfo> boxes;
};

// Answers one message box with the id of the button to press.
using BoxAnswer = std::function<int(const automation::MessageBoxInfo&)>;

// A fresh folder for one test (under the temporary directory, named after the test), with
// launcher.exe and probe.exe copied in. Sets QUOR_PROBE_LOG for the processes the test starts.
// Removes the folder, the files it put on CD-ROM folders and probes still running at the end.
class Workspace {
  public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // The folder, with a trailing backslash.
    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& relative) const { return dir_ + relative; }
    std::string LauncherPath() const { return Path("launcher.exe"); }
    std::string ProbePath() const { return Path("probe.exe"); }

    // Writes a file (folders made as needed) and gives its full path.
    std::string Write(const std::string& relative, const std::string& content);
    // Replaces a file's content at once, so that a reader sees the old or the new text whole.
    void Replace(const std::string& relative, const std::string& content);
    // Copies a program from beside the test program to `to` (a path relative to the folder or
    // a full path); files outside the folder are removed at the end.
    std::string CopyProgram(const std::string& name, const std::string& to);
    // Copies any file to `to` (a path relative to the folder or a full path).
    std::string Copy(const std::string& from, const std::string& to);
    // Copies the probe into a CD-ROM drive's folder under `name`.
    void PutProbeOnDrive(const CdromDrive& drive, const std::string& name);

    std::vector<ProbeRecord> ProbeLog() const;
    // Waits until the log holds `count` start records; false at the time-out.
    bool WaitForStarts(size_t count, uint32_t timeoutMs) const;
    // Ends every probe that has started and not recorded its end.
    void KillRunningProbes() const;

    // Runs the launcher copy `exe` (default launcher.exe; a relative path is taken in the
    // folder) with `args` in `cwd` (default: the
    // folder) until it ends, answering its message boxes with `answer`. Without `answer` any
    // box is a test failure and is answered No, Cancel or OK. Killed after `timeoutMs`.
    LauncherRun Run(const std::string& args, BoxAnswer answer = nullptr,
                    const std::string& cwd = {}, const std::string& exe = "launcher.exe",
                    uint32_t timeoutMs = 30000) const;

  private:
    std::string dir_;
    std::string log_;
    std::vector<std::string> outside_;
};

}  // namespace e2e
