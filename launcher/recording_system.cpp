#include "launcher/recording_system.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace launcher {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return "";
    }
    std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string OrNone(const char* s) {
    return s != nullptr ? s : "(none)";
}

}  // namespace

void RecordingSystem::AddScript(const std::string& path, const std::string& iniText) {
    auto& script = scripts_[Lower(path)];
    std::istringstream in(iniText);
    std::string line;
    std::string current;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            current = Lower(line.substr(1, line.find(']') - 1));
            script[current];
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        script[current].emplace(Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1)));
    }
}

std::vector<std::string> RecordingSystem::ReadNames() const {
    std::vector<std::string> names;
    for (const ProfileRead& r : reads) {
        names.push_back((r.isInt ? "#" : "") + r.section + "." + r.key);
    }
    return names;
}

const std::string* RecordingSystem::Find(const char* path, const char* section,
                                         const char* key) const {
    auto script = scripts_.find(Lower(path));
    if (script == scripts_.end()) {
        return nullptr;
    }
    auto sec = script->second.find(Lower(section));
    if (sec == script->second.end()) {
        return nullptr;
    }
    auto value = sec->second.find(Lower(key));
    return value == sec->second.end() ? nullptr : &value->second;
}

uint32_t RecordingSystem::Answer(const std::string& value, char* out, uint32_t size) {
    if (size == 0) {
        return 0;
    }
    std::size_t n = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return static_cast<uint32_t>(n);
}

uint32_t RecordingSystem::ReadProfileString(const char* section, const char* key, const char* def,
                                            char* out, uint32_t size, const char* path) {
    reads.push_back({false, section, key, def, size, path});
    calls.push_back(std::string("ReadProfileString ") + section + "." + key);
    const std::string* value = Find(path, section, key);
    return Answer(value != nullptr ? *value : std::string(def), out, size);
}

int32_t RecordingSystem::ReadProfileInt(const char* section, const char* key, int32_t def,
                                        const char* path) {
    reads.push_back({true, section, key, std::to_string(def), 0, path});
    calls.push_back(std::string("ReadProfileInt ") + section + "." + key);
    const std::string* value = Find(path, section, key);
    if (value == nullptr || value->empty()) {
        return def;
    }
    return static_cast<int32_t>(std::strtol(value->c_str(), nullptr, 10));
}

uint32_t RecordingSystem::FullPathName(const char* path, uint32_t size, char* out) {
    calls.push_back(std::string("FullPathName ") + path);
    std::string full = path;
    bool absolute = full.size() >= 3 && full[1] == ':' && full[2] == '\\';
    if (!absolute) {
        full = currentDirectory + "\\" + full;
    }
    if (full.size() + 1 > size) {
        return static_cast<uint32_t>(full.size() + 1);
    }
    return Answer(full, out, size);
}

uint32_t RecordingSystem::ModuleFileName(char* out, uint32_t size) {
    calls.push_back("ModuleFileName");
    if (moduleFile.size() >= size) {
        Answer(moduleFile, out, size);
        return size;
    }
    return Answer(moduleFile, out, size);
}

#define DIRECTORY_QUERY(Name, member)                      \
    calls.push_back(#Name);                                \
    if (failDirectoryQueries) {                            \
        return 0;                                          \
    }                                                      \
    if ((member).size() >= size) {                         \
        return static_cast<uint32_t>((member).size() + 1); \
    }                                                      \
    return Answer(member, out, size)

uint32_t RecordingSystem::WindowsDirectory(char* out, uint32_t size) {
    DIRECTORY_QUERY(WindowsDirectory, windowsDirectory);
}
uint32_t RecordingSystem::SystemDirectory(char* out, uint32_t size) {
    DIRECTORY_QUERY(SystemDirectory, systemDirectory);
}
uint32_t RecordingSystem::CurrentDirectory(uint32_t size, char* out) {
    DIRECTORY_QUERY(CurrentDirectory, currentDirectory);
}
uint32_t RecordingSystem::TempPath(uint32_t size, char* out) {
    DIRECTORY_QUERY(TempPath, tempDirectory);
}

#undef DIRECTORY_QUERY

uint32_t RecordingSystem::LogicalDriveStrings(uint32_t size, char* out) {
    calls.push_back("LogicalDriveStrings");
    std::string all;
    for (const auto& drive : drives) {
        all += drive.first;
        all += '\0';
    }
    if (all.size() + 1 > size) {
        return static_cast<uint32_t>(all.size() + 1);
    }
    std::memcpy(out, all.data(), all.size());
    out[all.size()] = '\0';
    return static_cast<uint32_t>(all.size());
}

uint32_t RecordingSystem::DriveType(const char* root) {
    calls.push_back(std::string("DriveType ") + root);
    for (const auto& drive : drives) {
        if (drive.first == root) {
            return drive.second;
        }
    }
    return 1;  // no root directory
}

uint16_t RecordingSystem::UserDefaultLangId() {
    calls.push_back("UserDefaultLangId");
    return langId;
}

bool RecordingSystem::Version(OsVersion& out) {
    calls.push_back("Version");
    out = version;
    return true;
}

bool RecordingSystem::ShellLaunch(LaunchRequest& request) {
    calls.push_back(std::string("ShellLaunch ") + request.file);
    launches.push_back({request.mask, OrNone(request.verb), OrNone(request.file),
                        OrNone(request.parameters), OrNone(request.directory), request.show,
                        OrNone(request.fileClass)});
    LaunchResult result;
    if (onLaunch) {
        result = onLaunch(request);
    } else {
        result = missingFile;
        result.ok = existingFiles.count(Lower(request.file)) != 0;
    }
    if (result.ok) {
        request.instApp = 42;
        bool wantsProcess = (request.mask & kMaskNoCloseProcess) != 0;
        request.process = wantsProcess && result.withProcess
                              ? reinterpret_cast<ProcessHandle>(nextProcess_++)
                              : nullptr;
        lastError_ = 0;
        return true;
    }
    request.instApp = result.instApp;
    request.process = nullptr;
    lastError_ = result.lastError;
    return false;
}

uint32_t RecordingSystem::LastError() {
    return lastError_;
}

bool RecordingSystem::StartProcess(char* commandLine, ProcessHandle& process) {
    calls.push_back(std::string("StartProcess ") + commandLine);
    startedCommands.push_back(commandLine);
    if (startableCommands.count(commandLine) == 0) {
        return false;
    }
    process = reinterpret_cast<ProcessHandle>(nextProcess_++);
    return true;
}

void RecordingSystem::WaitForProcess(ProcessHandle process, uint32_t milliseconds) {
    calls.push_back("WaitForProcess " + std::to_string(milliseconds));
    waits.emplace_back(reinterpret_cast<uintptr_t>(process), milliseconds);
}

void RecordingSystem::CloseProcess(ProcessHandle process) {
    calls.push_back("CloseProcess");
    closed.push_back(reinterpret_cast<uintptr_t>(process));
}

int RecordingSystem::ShowMessageBox(const char* text, const char* caption, uint32_t style) {
    calls.push_back(std::string("ShowMessageBox ") + caption);
    boxes.push_back({text, caption, style});
    if (boxAnswers.empty()) {
        return 2;
    }
    int answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
}

void RecordingSystem::EnableShutdownPrivilege() {
    calls.push_back("EnableShutdownPrivilege");
}

void RecordingSystem::RequestRestart(uint32_t flags, uint32_t reason) {
    calls.push_back("RequestRestart " + std::to_string(flags) + " " + std::to_string(reason));
    ++restarts;
    if (onRestart) {
        onRestart();
    }
}

uint32_t RecordingSystem::SystemErrorText(uint32_t code, char* out, uint32_t size) {
    calls.push_back("SystemErrorText " + std::to_string(code));
    auto text = systemTexts.find(code);
    if (text == systemTexts.end()) {
        return 0;
    }
    return Answer(text->second, out, size);
}

}  // namespace launcher
