#include "launcher/launch_failure.h"

#include <cstring>

#include "launcher/text_field.h"

namespace launcher {

namespace {

// Appends within a field; characters that do not fit are dropped.
class FieldWriter {
  public:
    FieldWriter(char* out, std::size_t size) : out_(out), size_(size) {
        if (size_ > 0) {
            out_[0] = '\0';
        }
    }
    void Put(char c) {
        if (length_ + 1 < size_) {
            out_[length_++] = c;
            out_[length_] = '\0';
        }
    }
    void Put(const char* text, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            Put(text[i]);
        }
    }
    void Put(const char* text) { Put(text, std::strlen(text)); }

  private:
    char* out_;
    std::size_t size_;
    std::size_t length_ = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void ExpandLineBreaks(char* text) {
    for (char* p = text; p[0] != '\0'; ++p) {
        if (p[0] == '$' && p[1] == '$') {
            p[0] = '\r';
            p[1] = '\n';
            ++p;
        }
    }
}

void FormatInserts(const char* message, const char* const (&inserts)[3], char* out,
                   std::size_t outSize) {
    FieldWriter writer(out, outSize);
    const char* p = message;
    while (*p != '\0') {
        if (*p != '%') {
            writer.Put(*p++);
            continue;
        }
        const char* escape = p++;
        char c = *p;
        if (c == '\0') {
            writer.Put('%');
            break;
        }
        if (c == '0') {
            return;
        }
        if (IsDigit(c)) {
            int number = c - '0';
            ++p;
            if (IsDigit(*p)) {
                number = number * 10 + (*p - '0');
                ++p;
            }
            if (*p == '!') {
                const char* closing = std::strchr(p + 1, '!');
                if (closing != nullptr) {
                    p = closing + 1;
                }
            }
            if (number >= 1 && number <= 3) {
                writer.Put(inserts[number - 1] != nullptr ? inserts[number - 1] : "");
            } else {
                writer.Put(escape, static_cast<std::size_t>(p - escape));
            }
            continue;
        }
        ++p;
        switch (c) {
            case 'n':
                writer.Put("\r\n");
                break;
            case 'r':
                writer.Put('\r');
                break;
            case 't':
                writer.Put('\t');
                break;
            default:
                writer.Put(c);
                break;
        }
    }
}

FailureAnswer ReportLaunchFailure(LauncherSystem& system, const char* fileAsTried,
                                  uint64_t launchErrorCode, uint32_t systemErrorCode,
                                  const char* entrySection, const char* scriptPath) {
    char errorSection[kErrorSectionSize];
    FormatField(errorSection, sizeof(errorSection), "Error.%s", entrySection);

    char errorKey[kErrorKeySize];
    FormatField(errorKey, sizeof(errorKey), "%llu",
                static_cast<unsigned long long>(launchErrorCode));
    char message[kMessageSize];
    if (system.ReadProfileString(errorSection, errorKey, "", message, sizeof(message),
                                 scriptPath) == 0) {
        CopyField(errorKey, "Default");
        if (system.ReadProfileString(errorSection, errorKey, "", message, sizeof(message),
                                     scriptPath) == 0) {
            return FailureAnswer::GiveUp;
        }
    }
    message[sizeof(message) - 1] = '\0';

    char systemText[kSystemTextSize] = {};
    uint32_t n = system.SystemErrorText(systemErrorCode, systemText, sizeof(systemText));
    if (n == 0 || n >= sizeof(systemText)) {
        systemText[0] = '\0';
    }
    systemText[sizeof(systemText) - 1] = '\0';

    char codeText[kCodeTextSize];
    FormatField(codeText, sizeof(codeText), "%llu",
                static_cast<unsigned long long>(launchErrorCode));

    const char* const inserts[3] = {fileAsTried, codeText, systemText};
    char formatted[kMessageSize];
    FormatInserts(message, inserts, formatted, sizeof(formatted));
    CopyField(message, formatted);

    char caption[kCaptionSize];
    system.ReadProfileString(errorSection, "Caption", "Vornak", caption, sizeof(caption),
                             scriptPath);
    caption[sizeof(caption) - 1] = '\0';

    char keyName[kErrorKeySize + 16];
    char command[kCommandSize];
    FormatField(keyName, sizeof(keyName), "%s.Action", errorKey);
    system.ReadProfileString(errorSection, keyName, "", command, sizeof(command), scriptPath);
    command[sizeof(command) - 1] = '\0';

    FormatField(keyName, sizeof(keyName), "%s.YesNo", errorKey);
    int32_t boxKind = system.ReadProfileInt(errorSection, keyName, 0, scriptPath);

    ExpandLineBreaks(message);

    FailureAnswer answer = FailureAnswer::GiveUp;
    if (boxKind != 0) {
        bool yesNo = boxKind == 1;
        uint32_t style = kBoxIconQuestion | (yesNo ? kBoxYesNo : kBoxOkCancel);
        int agreement = yesNo ? kAnswerYes : kAnswerOk;
        if (system.ShowMessageBox(message, caption, style) != agreement) {
            return FailureAnswer::GiveUp;
        }
        FormatField(keyName, sizeof(keyName), "%s.Retry", errorKey);
        if (system.ReadProfileInt(errorSection, keyName, 0, scriptPath) == 1) {
            answer = FailureAnswer::Retry;
        }
    } else {
        system.ShowMessageBox(message, caption, kBoxOk | kBoxIconWarning);
    }

    if (command[0] != '\0') {
        ProcessHandle process = nullptr;
        if (system.StartProcess(command, process)) {
            char waitSection[kWaitSectionSize];
            FormatField(waitSection, sizeof(waitSection), "%s.Wait", errorKey);
            int32_t timeOut = system.ReadProfileInt(waitSection, "TimeOut", 0, scriptPath);
            int32_t wait = system.ReadProfileInt(waitSection, "Wait", 1, scriptPath);
            if (wait != 0) {
                system.WaitForProcess(process, WaitMilliseconds(timeOut));
            }
            system.CloseProcess(process);
        }
    }
    return answer;
}

}  // namespace launcher
