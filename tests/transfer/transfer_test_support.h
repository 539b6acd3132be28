// Doubles and helpers of the transfer tests: the machine taken offline, a recording progress
// window, and a folder of files per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "afx/inet/internet_session.h"
#include "quor_inet/transfer/download.h"
#include "quor_inet/transfer/progress_figures.h"

namespace quor::test {

// The machine reports no Internet connection while this lives.
class OfflineScope {
  public:
    OfflineScope() {
        AfxSetConnectedStateForTesting([] { return false; });
    }
    ~OfflineScope() { AfxSetConnectedStateForTesting({}); }
};

// The description the Internet classes give for an error code.
inline std::string InternetErrorText(uint32_t code) {
    char text[260] = {};
    CInternetException(code).GetErrorMessage(text, sizeof text);
    return text;
}

// A progress window that writes down what it is asked to do, and cancels at the update with
// index cancelAt (counting from 0) when told to. Every update's texts are made as the real
// window makes them.
class RecordingWindow : public DownloadProgressWindow {
  public:
    struct Event {
        char kind;  // 'o'pen, 'u'pdate, 'c'lose
        int32_t done = 0;
        int32_t total = 0;
        std::string url, path;
    };

    int cancelAt = -1;
    std::vector<Event> events;
    std::vector<ProgressTexts> texts;

    int OpenProgressWindow(const char* url, const char* path) override {
        events.push_back({'o', 0, 0, url, path});
        return 1;
    }
    int UpdateProgressWindow(int32_t done, int32_t total) override {
        events.push_back({'u', done, total, {}, {}});
        texts.push_back(MakeProgressTexts(ComputeProgressFigures(done, total, 1000)));
        return Updates() - 1 == cancelAt ? 0 : 1;
    }
    void CloseProgressWindow() override { events.push_back({'c', 0, 0, {}, {}}); }

    int Updates() const {
        int n = 0;
        for (const Event& e : events) {
            n += e.kind == 'u';
        }
        return n;
    }
    // "ouuuc" and the like.
    std::string Kinds() const {
        std::string s;
        for (const Event& e : events) {
            s += e.kind;
        }
        return s;
    }
};

// What the host's callback was called with; the callback cancels at call cancelAt (from 0).
struct CallbackLog {
    struct Call {
        int done, total, user;
    };
    std::vector<Call> calls;
    int cancelAt = -1;
};

// The log the callback writes to; one download at a time.
inline CallbackLog*& CurrentCallbackLog() {
    static CallbackLog* log = nullptr;
    return log;
}

inline int RecordingCallback(int done, int total, int user) {
    CallbackLog* log = CurrentCallbackLog();
    log->calls.push_back({done, total, user});
    return static_cast<int>(log->calls.size()) - 1 == log->cancelAt ? 0 : 1;
}

// A fresh folder for one test's files, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("quor-transfer-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

inline void FileRemove(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

inline bool FolderIsEmpty(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_empty(path, ignored);
}

inline bool FileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace quor::test
