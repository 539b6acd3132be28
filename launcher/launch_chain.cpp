#include "launcher/launch_chain.h"

#include <cstring>

#include "launcher/launch_failure.h"
#include "launcher/launch_script.h"
#include "launcher/path_macros.h"
#include "launcher/text_field.h"

namespace launcher {

namespace {

constexpr uint32_t kPlatformWindows95 = 1;
constexpr uint32_t kPlatformNt = 2;

// "NT" counts only where it does not begin "NT4".
bool ContainsPlainNt(const char* platforms) {
    for (const char* p = std::strstr(platforms, "NT"); p != nullptr; p = std::strstr(p + 1, "NT")) {
        if (p[2] != '4') {
            return true;
        }
    }
    return false;
}

struct RunState {
    LauncherSystem& system;
    MacroTable macros;
    char languageSection[8] = {};
    char entrySection[16] = {};
    char scriptPath[kPathSize] = {};
    char nextScriptPath[kPathSize] = {};

    explicit RunState(LauncherSystem& s) : system(s), macros(s) {}

    uint32_t ReadString(const char* section, const char* key, const char* def, char* out,
                        std::size_t size) {
        uint32_t n = system.ReadProfileString(section, key, def, out, static_cast<uint32_t>(size),
                                              scriptPath);
        out[size - 1] = '\0';
        return n;
    }
    int32_t ReadInt(const char* section, const char* key, int32_t def) {
        return system.ReadProfileInt(section, key, def, scriptPath);
    }
};

enum class ScriptOutcome { Done, EndRun };

void AskForRestart(RunState& run) {
    char text[kShortSize];
    if (run.ReadString(run.languageSection, key::kRebootText, "", text, sizeof(text)) == 0) {
        run.ReadString(section::kDefault, key::kRebootText, "", text, sizeof(text));
    }
    if (text[0] == '\0') {
        run.system.EnableShutdownPrivilege();
        run.system.RequestRestart(kRestartReboot, 0);
        return;
    }
    char caption[kShortSize];
    if (run.ReadString(run.languageSection, key::kCaption, "", caption, sizeof(caption)) == 0) {
        run.ReadString(section::kDefault, key::kCaption, "Restart", caption, sizeof(caption));
    }
    ExpandLineBreaks(text);
    if (run.system.ShowMessageBox(text, caption, kBoxYesNo | kBoxIconQuestion) == kAnswerYes) {
        run.system.EnableShutdownPrivilege();
        run.system.RequestRestart(kRestartReboot, 0);
    }
}

void AfterSuccessfulLaunch(RunState& run, ProcessHandle process) {
    int32_t timeOut = run.ReadInt(section::kGeneral, key::kTimeOut, 0);
    int32_t wait = run.ReadInt(section::kGeneral, key::kWait, 0);
    if (process != nullptr) {
        // Without Wait the handle was not asked for; a shell may hand one back all the same.
        if (wait != 0) {
            run.system.WaitForProcess(process, WaitMilliseconds(timeOut));
        }
        run.system.CloseProcess(process);
    }
    if (run.ReadInt(section::kGeneral, key::kReboot, 0) == 0) {
        return;
    }
    AskForRestart(run);
}

ScriptOutcome RunScript(RunState& run) {
    CopyField(run.scriptPath, run.nextScriptPath);
    ExpandPathMacros(run.macros, run.scriptPath, 0);
    run.ReadString(section::kGeneral, key::kNext, "", run.nextScriptPath,
                   sizeof(run.nextScriptPath));

    char file[kPathSize];
    char parameters[kPathSize];
    char directory[kPathSize];
    if (run.ReadString(run.entrySection, key::kFile, "", file, sizeof(file)) == 0) {
        CopyField(run.entrySection, section::kDefault);
        run.ReadString(run.entrySection, key::kFile, "", file, sizeof(file));
    }
    run.ReadString(run.entrySection, key::kParameter, "", parameters, sizeof(parameters));
    run.ReadString(run.entrySection, key::kDirectory, "", directory, sizeof(directory));

    char platforms[kShortSize];
    char verb[kShortSize];
    char fileClass[kShortSize];
    run.ReadString(section::kGeneral, key::kPlatforms, "", platforms, sizeof(platforms));
    run.ReadString(section::kGeneral, key::kVerb, "", verb, sizeof(verb));
    run.ReadString(section::kGeneral, key::kClass, "", fileClass, sizeof(fileClass));

    if (file[0] == '\0') {
        return ScriptOutcome::EndRun;
    }
    OsVersion version;
    run.system.Version(version);
    if (platforms[0] != '\0' && !PlatformMatches(platforms, version)) {
        return ScriptOutcome::EndRun;
    }

    LaunchRequest request;
    request.mask = kMaskFlagDdeWait | kMaskFlagNoUi;
    if (run.ReadInt(section::kGeneral, key::kWait, 0) != 0) {
        request.mask |= kMaskNoCloseProcess;
    }
    if (fileClass[0] != '\0') {
        request.mask |= kMaskClassName;
        request.fileClass = fileClass;
    }
    request.verb = verb[0] != '\0' ? verb : nullptr;
    request.show = run.ReadInt(section::kGeneral, key::kShow, 1);

    // Written copies: every attempt expands afresh, on the next CD-ROM drive.
    char fileWritten[kPathSize];
    char parametersWritten[kPathSize];
    char directoryWritten[kPathSize];
    CopyField(fileWritten, file);
    CopyField(parametersWritten, parameters);
    CopyField(directoryWritten, directory);
    request.file = file;
    request.parameters = parametersWritten[0] != '\0' ? parameters : nullptr;
    request.directory = directoryWritten[0] != '\0' ? directory : nullptr;

    int cdromIndex = 0;
    for (;;) {
        CopyField(directory, directoryWritten);
        CopyField(parameters, parametersWritten);
        CopyField(file, fileWritten);
        bool onDrive[3] = {};
        ExpandPathMacros(run.macros, directory, cdromIndex, &onDrive[0]);
        ExpandPathMacros(run.macros, parameters, cdromIndex, &onDrive[1]);
        ExpandPathMacros(run.macros, file, cdromIndex, &onDrive[2]);
        bool anyDrive = onDrive[0] || onDrive[1] || onDrive[2];
        cdromIndex = anyDrive ? cdromIndex + 1 : 0;

        request.instApp = 0;
        request.process = nullptr;
        if (run.system.ShellLaunch(request)) {
            AfterSuccessfulLaunch(run, request.process);
            return ScriptOutcome::Done;
        }
        uint32_t systemError = run.system.LastError();
        if (anyDrive) {
            continue;  // silently on to the next CD-ROM drive
        }
        if (ReportLaunchFailure(run.system, file, request.instApp, systemError, run.entrySection,
                                run.scriptPath) == FailureAnswer::GiveUp) {
            return ScriptOutcome::Done;
        }
    }
}

}  // namespace

bool PlatformMatches(const char* platforms, const OsVersion& version) {
    if (version.platformId == kPlatformWindows95) {
        if (std::strstr(platforms, "9x") != nullptr) {
            return true;
        }
        if (std::strstr(platforms, "95") != nullptr && version.major == 4 && version.minor < 10) {
            return true;
        }
        if (std::strstr(platforms, "98") != nullptr && version.major == 4 && version.minor == 10) {
            return true;
        }
        return std::strstr(platforms, "ME") != nullptr && version.major == 4 && version.minor == 90;
    }
    if (version.platformId == kPlatformNt) {
        if (ContainsPlainNt(platforms)) {
            return true;
        }
        if (std::strstr(platforms, "NT4") != nullptr && version.major == 4) {
            return true;
        }
        return std::strstr(platforms, "2K") != nullptr && version.major == 5;
    }
    return false;
}

int RunLaunchChain(LauncherSystem& system, const char* commandLine) {
    RunState run(system);
    char first[kPathSize];
    if (!LocateStartScript(system, run.macros, commandLine, first)) {
        return 0;
    }
    LanguageSectionName(system.UserDefaultLangId(), run.languageSection);
    CopyField(run.entrySection, run.languageSection);
    CopyField(run.nextScriptPath, first);
    if (run.nextScriptPath[0] == '\0') {
        return 0;
    }
    for (;;) {
        if (RunScript(run) == ScriptOutcome::EndRun || run.nextScriptPath[0] == '\0') {
            return 0;
        }
    }
}

}  // namespace launcher
