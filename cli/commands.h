#pragma once
// The two commands of quor-inet over the library's engine: a search as the search dialog runs it
// and a download as INet_Download runs it, shown on the terminal.

#include <cstdint>
#include <string>
#include <vector>

#include "quor_inet/transfer/download.h"

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct SearchOptions {
    std::string url;
    int32_t depth = 2;
    bool sameServer = false;
    bool readId3 = true;
    bool selectAll = false;
    std::vector<uint32_t> select;  // numbers of the list to hand back, when not all
    bool wantResult = false;       // --select was given
};

// Found lines on stdout as they come; status and progress on stderr; the result text last.
int RunSearch(const SearchOptions& options);

int RunDownloadCommand(const std::string& url, const std::string& path);

// "0,2,5-7" into numbers; false for anything else.
bool ParseSelection(const std::string& text, std::vector<uint32_t>& numbersOut);

// What went wrong with a download that did not end well, and what to do about it.
std::string DownloadFailureText(const DownloadOutcome& outcome, const std::string& url,
                                const std::string& path);

}  // namespace cli
