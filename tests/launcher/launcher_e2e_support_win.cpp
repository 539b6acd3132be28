#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "tests/launcher/launcher_e2e_support.h"

namespace e2e {

using automation::MessageBoxInfo;

namespace {

constexpr uint32_t kPollMs = 20;

std::string ReadWholeFile(const std::string& path) {
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

void MakeDirsFor(const std::string& filePath) {
    for (size_t i = 3; i < filePath.size(); ++i) {
        if (filePath[i] == '\\') {
            CreateDirectoryA(filePath.substr(0, i).c_str(), nullptr);
        }
    }
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = dir + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\");
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

// The test's name as a folder name.
std::string TestFolderName() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                       : std::string("outside-a-test");
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?') {
            c = '_';
        }
    }
    return name;
}

}  // namespace

std::string ProbeRecord::Get(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

std::string ProbeRecord::Tag() const {
    std::string args = Get("args");
    size_t at = args.find("--tag=");
    if (at == std::string::npos) {
        return {};
    }
    size_t from = at + 6;
    size_t to = args.find(' ', from);
    return args.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

std::vector<ProbeRecord> ParseProbeLog(const std::string& text) {
    std::vector<ProbeRecord> records;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        std::string line =
            text.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? text.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (key == "event") {
            records.emplace_back();
            records.back().event = value;
        } else if (!records.empty()) {
            if (key == "pid") {
                records.back().pid =
                    static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
            }
            records.back().fields[key] = value;
        }
    }
    return records;
}

std::vector<std::string> StartedTags(const std::vector<ProbeRecord>& log) {
    std::vector<std::string> tags;
    for (const ProbeRecord& r : log) {
        if (r.event == "start") {
            tags.push_back(r.Tag());
        }
    }
    return tags;
}

int IndexOf(const std::vector<ProbeRecord>& log, const std::string& event, const std::string& tag) {
    std::map<uint32_t, std::string> tagOfPid;
    for (size_t i = 0; i < log.size(); ++i) {
        const ProbeRecord& r = log[i];
        if (r.event == "start") {
            tagOfPid[r.pid] = r.Tag();
        }
        if (r.event == event && tagOfPid[r.pid] == tag) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string Script(const std::vector<Section>& sections) {
    std::string text;
    for (const Section& s : sections) {
        text += "[" + s.name + "]\r\n";
        for (const auto& [key, value] : s.keys) {
            text += key + "=" + value + "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

std::string LanguageSection() {
    char name[8];
    std::snprintf(name, sizeof(name), "%03x", GetUserDefaultLangID() & 0x3ff);
    return name;
}

std::string SystemErrorText(uint32_t code) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof(text), nullptr);
    return std::string(text, n < sizeof(text) ? n : 0);
}

std::string TempDir() {
    char path[MAX_PATH] = {};
    DWORD n = GetTempPathA(sizeof(path), path);
    return std::string(path, n < sizeof(path) ? n : 0);
}

std::string WindowsDir() {
    char path[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(path, sizeof(path));
    return std::string(path, n < sizeof(path) ? n : 0);
}

std::string SystemDir() {
    char path[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(path, sizeof(path));
    return std::string(path, n < sizeof(path) ? n : 0);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

std::vector<CdromDrive> CdromDrives() {
    std::vector<CdromDrive> drives;
    std::string letters = automation::GetEnv("QUOR_CDROM_LETTERS");
    std::string dirs = automation::GetEnv("QUOR_CDROM_DIRS");
    size_t from = 0;
    for (char letter : letters) {
        if (from > dirs.size()) {
            break;
        }
        size_t colon = dirs.find(':', from);
        std::string dir =
            dirs.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        from = colon == std::string::npos ? dirs.size() + 1 : colon + 1;
        drives.push_back({letter, automation::WindowsPathOf(dir)});
    }
    return drives;
}

Workspace::Workspace() {
    dir_ = TempDir() + "quor-e2e\\" + TestFolderName() + "\\";
    RemoveTree(dir_);
    MakeDirsFor(dir_);
    log_ = dir_ + "probe.log";
    automation::SetEnv("QUOR_PROBE_LOG", log_);
    CopyProgram("launcher.exe", "launcher.exe");
    CopyProgram("probe.exe", "probe.exe");
}

Workspace::~Workspace() {
    KillRunningProbes();
    // A launcher ended by the test may leave a program it was starting at that moment.
    automation::KillProcessesIn(dir_);
    for (const CdromDrive& drive : CdromDrives()) {
        automation::KillProcessesIn(drive.folder);
    }
    for (const std::string& path : outside_) {
        DeleteFileA(path.c_str());
        // Folders made for it go too when nothing else is left in them.
        size_t slash = path.find_last_of('\\');
        if (slash != std::string::npos && slash > 3) {
            RemoveDirectoryA(path.substr(0, slash).c_str());
        }
    }
    RemoveTree(dir_);
    automation::UnsetEnv("QUOR_PROBE_LOG");
}

std::string Workspace::Write(const std::string& relative, const std::string& content) {
    std::string path = Path(relative);
    MakeDirsFor(path);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
    }
    return path;
}

void Workspace::Replace(const std::string& relative, const std::string& content) {
    std::string fresh = Write(relative + ".new", content);
    // The launcher may have the script open for a read at this moment: try again for a while.
    BOOL moved = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 100 && !moved; ++attempt) {
        moved = MoveFileExA(fresh.c_str(), Path(relative).c_str(), MOVEFILE_REPLACE_EXISTING);
        if (!moved) {
            error = GetLastError();
            Sleep(50);
        }
    }
    EXPECT_TRUE(moved) << relative << ": error " << error;
}

std::string Workspace::Copy(const std::string& from, const std::string& to) {
    bool full = to.size() > 2 && to[1] == ':';
    std::string target = full ? to : Path(to);
    MakeDirsFor(target);
    EXPECT_TRUE(CopyFileA(from.c_str(), target.c_str(), FALSE))
        << from << " -> " << target << ": error " << GetLastError();
    if (full) {
        outside_.push_back(target);
    }
    return target;
}

std::string Workspace::CopyProgram(const std::string& name, const std::string& to) {
    return Copy(automation::ProgramDir() + name, to);
}

void Workspace::PutProbeOnDrive(const CdromDrive& drive, const std::string& name) {
    CopyProgram("probe.exe", drive.folder + "\\" + name);
}

std::vector<ProbeRecord> Workspace::ProbeLog() const {
    return ParseProbeLog(ReadWholeFile(log_));
}

bool Workspace::WaitForStarts(size_t count, uint32_t timeoutMs) const {
    uint64_t deadline = automation::NowMs() + timeoutMs;
    for (;;) {
        if (StartedTags(ProbeLog()).size() >= count) {
            return true;
        }
        if (automation::NowMs() >= deadline) {
            return false;
        }
        automation::SleepMs(kPollMs);
    }
}

void Workspace::KillRunningProbes() const {
    std::map<uint32_t, bool> running;
    for (const ProbeRecord& r : ProbeLog()) {
        if (r.event == "start") {
            running[r.pid] = true;
        } else if (r.event == "end") {
            running[r.pid] = false;
        }
    }
    for (const auto& [pid, alive] : running) {
        if (alive && automation::ProcessRunning(pid)) {
            automation::KillProcess(pid);
        }
    }
}

LauncherRun Workspace::Run(const std::string& args, BoxAnswer answer, const std::string& cwd,
                           const std::string& exe, uint32_t timeoutMs) const {
    LauncherRun run;
    bool full = exe.size() > 2 && exe[1] == ':';
    std::string command = "\"" + (full ? exe : Path(exe)) + "\"";
    if (!args.empty()) {
        command += " " + args;
    }
    automation::Process launcher = automation::Process::Start(command, cwd.empty() ? dir_ : cwd);
    EXPECT_TRUE(launcher.Started()) << command;
    if (!launcher.Started()) {
        return run;
    }
    uint64_t deadline = automation::NowMs() + timeoutMs;
    for (;;) {
        if (launcher.Wait(kPollMs)) {
            run.ended = true;
            run.exitCode = launcher.ExitCode();
            break;
        }
        if (automation::NowMs() >= deadline) {
            automation::SaveScreenshot("launcher_timeout_" + TestFolderName());
            ADD_FAILURE() << "the launcher did not end within " << timeoutMs << " ms";
            launcher.Kill();
            break;
        }
        automation::Window w =
            automation::FindTopLevelWindow({"", automation::kDialogClass, launcher.Id()});
        if (w == nullptr) {
            continue;
        }
        MessageBoxInfo box = automation::ReadMessageBox(w);
        run.boxes.push_back(box);
        int button;
        if (answer) {
            button = answer(box);
        } else {
            automation::SaveScreenshot("launcher_unexpected_box_" + TestFolderName(), w);
            ADD_FAILURE() << "unexpected message box \"" << box.caption << "\": " << box.text;
            button = automation::GiveUpButton(box);
        }
        EXPECT_TRUE(automation::ClickButton(w, button) && automation::WaitForWindowGone(w, 5000))
            << "could not press " << automation::ButtonName(button) << " in \"" << box.caption
            << "\"";
    }
    return run;
}

}  // namespace e2e
