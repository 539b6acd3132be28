// Runs a program and answers every message box it shows, printing each box (caption, text,
// buttons, icon) and the button pressed, so that a person can follow a run without a screen.
//
//   box_answerer [--answers=No,Yes,...] [--cwd=DIR] [--timeout=SECONDS] -- PROGRAM [ARGS...]
//
// The n-th box gets the n-th answer (OK, Cancel, Yes or No); boxes past the list, or whose
// answer they lack, get No, else Cancel, else OK. Exit code: the program's own, or 124 when it
// had to be ended at the time-out, 2 for a usage error. A picture of each box is saved as
// box_<n>.bmp in the artifacts folder (QUOR_ARTIFACTS).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/automation/wine_automation.h"

namespace {

using automation::MessageBoxInfo;

constexpr uint32_t kPollMs = 20;

// The texts are in the program's ANSI code page; the terminal wants UTF-8.
void Print(const std::string& ansi) {
    int wide =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), wide);
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, utf8.data(), n, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int ButtonId(const std::string& name) {
    const char* names[] = {"OK", "Cancel", "Yes", "No"};
    const int ids[] = {automation::kIdOk, automation::kIdCancel, automation::kIdYes,
                       automation::kIdNo};
    for (int i = 0; i < 4; ++i) {
        if (_stricmp(name.c_str(), names[i]) == 0) {
            return ids[i];
        }
    }
    return 0;
}

bool HasButton(const MessageBoxInfo& box, int id) {
    return (id == automation::kIdOk && box.ok) || (id == automation::kIdCancel && box.cancel) ||
           (id == automation::kIdYes && box.yes) || (id == automation::kIdNo && box.no);
}

// Each line of a multi-line text indented under its label.
std::string Indented(const std::string& text, const std::string& indent) {
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            continue;
        }
        out += c;
        if (c == '\n') {
            out += indent;
        }
    }
    return out;
}

std::string Quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> items;
    size_t from = 0;
    while (from <= list.size()) {
        size_t comma = list.find(',', from);
        std::string item =
            list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (!item.empty()) {
            items.push_back(item);
        }
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 1;
    }
    return items;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: box_answerer [--answers=No,Yes,...] [--cwd=DIR] [--timeout=SECONDS] "
                 "-- PROGRAM [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> answers;
    std::string cwd;
    unsigned long timeoutSeconds = 120;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.rfind("--answers=", 0) == 0) {
            for (const std::string& name : Split(arg.substr(10))) {
                int id = ButtonId(name);
                if (id == 0) {
                    std::fprintf(stderr, "box_answerer: unknown button %s\n", name.c_str());
                    return 2;
                }
                answers.push_back(id);
            }
        } else if (arg.rfind("--cwd=", 0) == 0) {
            cwd = arg.substr(6);
        } else if (arg.rfind("--timeout=", 0) == 0) {
            timeoutSeconds = std::strtoul(arg.c_str() + 10, nullptr, 10);
        } else {
            return Usage();
        }
    }
    if (i >= argc || timeoutSeconds == 0) {
        return Usage();
    }
    std::string command;
    for (int k = i; k < argc; ++k) {
        command += (command.empty() ? "" : " ") + Quoted(argv[k]);
    }
    std::string program = argv[i];
    size_t slash = program.find_last_of("\\/");
    // Boxes close at once only when the program's windows are not left to a window manager.
    automation::SetWineAppUnmanaged(slash == std::string::npos ? program
                                                               : program.substr(slash + 1));

    Print("Running " + command + "\n");
    automation::Process process = automation::Process::Start(command, cwd);
    if (!process.Started()) {
        Print("Could not start " + command + "\n");
        return 127;
    }
    uint64_t deadline = automation::NowMs() + timeoutSeconds * 1000;
    size_t count = 0;
    for (;;) {
        if (process.Wait(kPollMs)) {
            break;
        }
        if (automation::NowMs() >= deadline) {
            automation::SaveScreenshot("box_answerer_timeout");
            Print("Time-out: the program did not end within " + std::to_string(timeoutSeconds) +
                  " seconds; ending it.\n");
            process.Kill();
            return 124;
        }
        automation::Window w =
            automation::FindTopLevelWindow({"", automation::kDialogClass, process.Id()});
        if (w == nullptr) {
            continue;
        }
        MessageBoxInfo box = automation::ReadMessageBox(w);
        automation::SaveScreenshot("box_" + std::to_string(count + 1), w);
        int button = count < answers.size() ? answers[count] : 0;
        if (!HasButton(box, button)) {
            button = automation::GiveUpButton(box);
        }
        ++count;
        Print("\nMessage box " + std::to_string(count) + "\n");
        Print("  Caption: " + box.caption + "\n");
        Print("  Text:    " + Indented(box.text, "           ") + "\n");
        Print("  Buttons: " + box.Buttons() + "    Icon: " + automation::BoxIconName(box.icon) +
              "\n");
        bool pressed = automation::ClickButton(w, button) && automation::WaitForWindowGone(w, 5000);
        Print(std::string("  Pressed: ") + automation::ButtonName(button) +
              (pressed ? "" : " (the box did not close)") + "\n");
    }
    uint32_t code = process.ExitCode();
    Print("\n" + std::to_string(count) +
          " message box(es) answered; the program ended with exit code " + std::to_string(code) +
          ".\n");
    return static_cast<int>(code);
}
