// Drives other programs' windows from a test under Wine: finds top-level windows, reads and
// presses their controls, answers message boxes, waits for processes and saves screenshots.
// Every wait takes a time-out; nothing here can block a test for longer than it is told.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace automation {

using Window = void*;  // a top-level window or control; null when there is none

// Button ids as the platform numbers them.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// The dialog class that message boxes and dialog templates use.
constexpr const char* kDialogClass = "#32770";
// The static of a message box that holds its text.
constexpr int kMessageBoxTextId = 0xFFFF;

// Which top-level window to look for; an empty or zero field matches any window.
struct WindowFilter {
    std::string caption;    // whole caption, case-sensitive
    std::string className;  // e.g. kDialogClass
    uint32_t processId = 0;
};

// A visible top-level window matching the filter, or null.
Window FindTopLevelWindow(const WindowFilter& filter);
Window WaitForWindow(const WindowFilter& filter, uint32_t timeoutMs);
// True when the window is gone (or hidden) before the time-out.
bool WaitForWindowGone(Window window, uint32_t timeoutMs);
bool IsWindowAlive(Window window);
uint32_t WindowProcessId(Window window);

std::string WindowText(Window window);
std::string WindowClass(Window window);
Window Control(Window parent, int id);  // null when the parent has no such child
std::string ControlText(Window parent, int id);

struct ControlInfo {
    int id = 0;
    std::string className;
    std::string text;
    bool visible = false;
};
std::vector<ControlInfo> Controls(Window parent);

// The items of a list box, also of another process's list box.
std::vector<std::string> ListBoxItems(Window parent, int id);

// Presses a push button as a click would (BM_CLICK). False when there is no such button or
// the owning program did not take the message within the time-out.
bool ClickButton(Window parent, int id, uint32_t timeoutMs = 5000);
bool SetControlText(Window parent, int id, const std::string& text, uint32_t timeoutMs = 5000);

enum class BoxIcon { None, Warning, Question, Error, Information, Unknown };
const char* BoxIconName(BoxIcon icon);

struct MessageBoxInfo {
    Window window = nullptr;
    uint32_t processId = 0;
    std::string caption;
    std::string text;
    // Which of the buttons OK (1), Cancel (2), Yes (6) and No (7) the box shows.
    bool ok = false;
    bool cancel = false;
    bool yes = false;
    bool no = false;
    BoxIcon icon = BoxIcon::None;

    // "OK", "Yes, No", "OK, Cancel"...
    std::string Buttons() const;
};
const char* ButtonName(int id);
// The answer that ends a box without agreeing to anything: No, else Cancel, else OK.
int GiveUpButton(const MessageBoxInfo& box);

// Reads a message box that is on screen.
MessageBoxInfo ReadMessageBox(Window box);
// A visible dialog-class window of the filter (className is set to kDialogClass), read.
std::optional<MessageBoxInfo> WaitForMessageBox(WindowFilter filter, uint32_t timeoutMs);
// Waits for a message box, reads it, presses `button` and waits until the box has gone.
// Nothing when no box came in time or the button could not be pressed.
std::optional<MessageBoxInfo> AnswerMessageBox(const WindowFilter& filter, int button,
                                               uint32_t timeoutMs);

// A process started by the test. Ends it when it is still running at destruction.
class Process {
  public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the command line in `directory` (empty: the test's own) with the test's
    // environment. Check Started().
    static Process Start(const std::string& commandLine, const std::string& directory = {});

    bool Started() const { return handle_ != nullptr; }
    uint32_t Id() const { return id_; }
    // True when the process ended within the time-out.
    bool Wait(uint32_t timeoutMs);
    bool Running();
    // The exit code of an ended process; 259 (still active) while it runs.
    uint32_t ExitCode();
    void Kill();

  private:
    void Reset();

    void* handle_ = nullptr;
    uint32_t id_ = 0;
};

// For processes the test did not start itself (by their id).
bool WaitForProcessExit(uint32_t processId, uint32_t timeoutMs);
bool KillProcess(uint32_t processId);
bool ProcessRunning(uint32_t processId);
// Ends every process whose program file lies in `folder` (a Windows path, any case); gives how
// many. For cleaning up after programs that others started.
int KillProcessesIn(const std::string& folder);

// The folder for test artifacts: QUOR_ARTIFACTS (a Windows or a Unix path), else "artifacts"
// beside the test program. Created on demand.
std::string ArtifactsDir();
// Saves the screen (or only the given window's rectangle) as <ArtifactsDir>\<name>.bmp.
// Returns the file's path, empty on failure.
std::string SaveScreenshot(const std::string& name, Window only = nullptr);

// A Unix path as the Windows side sees it (through drive Z:); other paths unchanged.
std::string WindowsPathOf(const std::string& path);
// The folder of the running program, with a trailing backslash.
std::string ProgramDir();
// An environment variable of this process (inherited by the processes it starts).
std::string GetEnv(const std::string& name);
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Wine's per-program Windows version (HKCU\Software\Wine\AppDefaults\<exe>, value Version):
// "win98", "nt40", "win2k", "winxp"...; an empty version removes the value.
bool SetWineAppVersion(const std::string& exeName, const std::string& version);

// Lets Wine show the program's windows without a window manager's help. Without it every
// window that closes waits two seconds for a window manager that the test display lacks.
bool SetWineAppUnmanaged(const std::string& exeName);

// Milliseconds since an arbitrary start, for deadlines.
uint64_t NowMs();
void SleepMs(uint32_t ms);

}  // namespace automation
