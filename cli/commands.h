#pragma once
// The two commands of quor-inet over the library's engine: a search as the search dialog runs it
// and a download as INet_Download runs it, shown on the terminal.

#include <cstdint>
#include <string>
#include <vector>

#include "quor_inet/state/search_state.h"
#include "quor_inet/transfer/download.h"

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;  // as shells report a program ended by Ctrl-C

struct SearchOptions {
    std::string url;
    int32_t depth = 2;
    bool sameServer = false;
    bool readId3 = true;
    int32_t connections = kDefaultSearchConnections;
    bool selectAll = false;
    std::vector<uint32_t> select;  // numbers of the list to hand back, when not all
    bool wantResult = false;       // --select was given
    bool classic = false;          // --classic: the search dialog's own rules
};

// Found lines on stdout as they come; status and progress on stderr; the result text last.
int RunSearch(const SearchOptions& options);

// path: the file to write; empty for the URL's file name in the current folder; a folder for
// that name inside it; "-" for standard output.
// classic: the library's classic rules (http only, no redirections followed).
int RunDownloadCommand(const std::string& url, const std::string& path, bool classic);

// "0,2,5-7" into numbers; false for anything else.
bool ParseSelection(const std::string& text, std::vector<uint32_t>& numbersOut);

// The address a typed URL stands for, as search and download take it: "http://" in front of a
// bare host (also one with a port), "/" behind a bare server.
struct Address {
    std::string url;
    std::string problem;  // empty when the address will do
    bool usage = false;   // the problem is the command line's (a port out of range)
};
Address AddressOf(const std::string& typed, WebRules rules);

// What went wrong with a download that did not end well, and what to do about it.
std::string DownloadFailureText(const DownloadOutcome& outcome, const std::string& url,
                                const std::string& path);

}  // namespace cli
