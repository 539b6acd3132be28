// Crawl speed: a search to depth 3 with tag reading off (the worker on libcurl, a view that
// counts) against `wget --spider -r` to the same depth over the same site, and beside it
// `wget -r --delete-after`, which makes exactly the search's requests; all measured in this run,
// in turn. Given the server's access log (a line "METHOD STATUS URI" per request), what each
// client asked for is counted as well: the times compare only when all handled the same pages
// and audio files. bench/run-crawl-bench serves a generated site with nginx.
//
//   crawl_bench url [--runs N] [--depth N] [--access-log FILE]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/counting_search.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// What one client asked the server for, by the server's log.
struct Requests {
    uint32_t pages = 0;     // different pages and directories whose body was asked for (GET)
    uint32_t audio = 0;     // different ".mp3", ".wav" and ".wma" files asked for, by any method
    uint32_t requests = 0;  // every request
    uint32_t failed = 0;    // answered with a status outside 2xx
    bool operator==(const Requests&) const = default;
};

bool IsAudioPath(const std::string& uri) {
    const size_t dot = uri.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    std::string extension = uri.substr(dot);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".mp3" || extension == ".wav" || extension == ".wma";
}

class AccessLog {
  public:
    explicit AccessLog(std::string path) : path_(std::move(path)) {}
    bool Enabled() const { return !path_.empty(); }

    // The server appends to the file, so cutting it to nothing starts the next count.
    void Clear() const {
        if (Enabled()) {
            std::error_code error;
            fs::resize_file(path_, 0, error);
        }
    }

    // The server logs a request once it has answered it, maybe after the client has gone:
    // the count waits until the log has stopped growing (a bounded wait).
    Requests Count() const {
        Requests counts;
        if (!Enabled()) {
            return counts;
        }
        std::error_code error;
        uintmax_t size = fs::file_size(path_, error);
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const uintmax_t now = fs::file_size(path_, error);
            if (now == size) {
                break;
            }
            size = now;
        }
        std::set<std::string> pages;
        std::set<std::string> audio;
        std::ifstream in(path_);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string method, status, uri;
            if (!(fields >> method >> status >> uri)) {
                continue;
            }
            ++counts.requests;
            if (IsAudioPath(uri)) {
                audio.insert(uri);
            } else if (method == "GET") {
                pages.insert(uri);
            }
            if (status.size() != 3 || status[0] != '2') {
                ++counts.failed;
            }
        }
        counts.pages = static_cast<uint32_t>(pages.size());
        counts.audio = static_cast<uint32_t>(audio.size());
        return counts;
    }

  private:
    std::string path_;
};

// One run: its time, and the processor time the client spent (user and system), which tells
// how much of the time went to waiting for the server.
struct Timing {
    double seconds = -1;  // negative when the run failed
    double cpuSeconds = 0;
};

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

struct Outcome {
    double bestSeconds = 0;     // negative once a run has failed
    double bestCpuSeconds = 0;  // of the fastest run
    Requests requests;          // those of the first run
    bool requestsVaried = false;
    void Add(const Timing& timing, const Requests& counted, bool first) {
        if (timing.seconds <= 0 || bestSeconds < 0) {
            bestSeconds = -1;
        } else if (first || timing.seconds < bestSeconds) {
            bestSeconds = timing.seconds;
            bestCpuSeconds = timing.cpuSeconds;
        }
        if (first) {
            requests = counted;
        } else if (!(counted == requests)) {
            requestsVaried = true;
        }
    }
};

// Nothing else runs in this process meanwhile: its processor time is the search's.
Timing TimeSearch(const std::string& url, int depth, quor::bench::CountingView& view) {
    const double cpuStart = CpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    const bool ok = quor::bench::RunCountingSearch(url.c_str(), depth, view);
    const double seconds = Seconds(start);
    return {ok ? seconds : -1, CpuSeconds(RUSAGE_SELF) - cpuStart};
}

// A peer and its command line before the depth and the URL.
struct Peer {
    const char* label;
    std::vector<std::string> args;
};

// The peer the goal is set against (it asks for each page's head before the page), and one
// that asks for exactly what the search asks for, one GET per page and per audio file.
std::vector<Peer> Peers() {
    return {{"wget --spider -r (HEAD + GET)",
             {"wget", "--spider", "--no-verbose", "-e", "robots=off", "-r", "-l"}},
            {"wget -r --delete-after (GET)",
             {"wget", "--delete-after", "--no-verbose", "-e", "robots=off", "-r", "-l"}}};
}

// wget keeps the pages it parses in folders below its working directory: it runs in a
// scratch folder of its own.
Timing TimePeer(const Peer& peer, const std::string& url, int depth, const fs::path& scratch) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    std::vector<std::string> args = peer.args;
    args.push_back(std::to_string(depth));
    args.push_back(url);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, scratch.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const double cpuStart = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned == 0) {
        waitpid(pid, &status, 0);
    }
    const double seconds = Seconds(start);
    const double cpuSeconds = CpuSeconds(RUSAGE_CHILDREN) - cpuStart;
    fs::remove_all(scratch);
    const bool ok = spawned == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return {ok ? seconds : -1, cpuSeconds};
}

void PrintRow(const char* label, const Outcome& outcome, const Outcome& goalPeer, bool counted) {
    std::printf("  %-34s %8.3f %6.3f", label, outcome.bestSeconds, outcome.bestCpuSeconds);
    if (counted) {
        std::printf(" %7u %7u %8u %6u", outcome.requests.pages, outcome.requests.audio,
                    outcome.requests.requests, outcome.requests.failed);
    }
    if (outcome.bestSeconds > 0 && goalPeer.bestSeconds > 0) {
        std::printf(" %7.2fx", goalPeer.bestSeconds / outcome.bestSeconds);
    }
    std::printf("\n");
}

constexpr char kUsage[] =
    "usage: crawl_bench url [--runs N] [--depth N] [--access-log FILE] [--search-only]\n";

}  // namespace

int main(int argc, char** argv) {
    std::string url;
    std::string logPath;
    int runs = 3;
    int depth = 3;
    bool searchOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--depth") == 0 && i + 1 < argc) {
            depth = std::max(0, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--access-log") == 0 && i + 1 < argc) {
            logPath = argv[++i];
        } else if (std::strcmp(argv[i], "--search-only") == 0) {
            searchOnly = true;
        } else if (argv[i][0] != '-' && url.empty()) {
            url = argv[i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (url.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Loopback is never reached through a proxy, by any client.
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    setenv("no_proxy", "127.0.0.1,localhost", 1);

    if (searchOnly) {
        quor::bench::CountingView view;
        const Timing timing = TimeSearch(url, depth, view);
        FreeFoundFiles();
        if (timing.seconds <= 0) {
            std::fputs("crawl_bench: the search did not run to its end\n", stderr);
            return 1;
        }
        std::printf("%.3f %u %u\n", timing.seconds, view.pages, view.audioFiles);
        return 0;
    }

    const AccessLog log(logPath);
    const fs::path scratch =
        fs::temp_directory_path() / ("crawl_bench.wget." + std::to_string(getpid()));
    const std::vector<Peer> peers = Peers();
    Outcome ours;
    std::vector<Outcome> peerOutcomes(peers.size());
    quor::bench::CountingView view;
    for (int i = 0; i < runs; ++i) {
        view = {};
        log.Clear();
        const Timing timing = TimeSearch(url, depth, view);
        ours.Add(timing, log.Count(), i == 0);
        for (size_t p = 0; p < peers.size(); ++p) {
            log.Clear();
            const Timing peerTiming = TimePeer(peers[p], url, depth, scratch);
            peerOutcomes[p].Add(peerTiming, log.Count(), i == 0);
        }
    }
    FreeFoundFiles();

    std::printf("crawl of %s to depth %d, tag reading off, best of %d\n", url.c_str(), depth, runs);
    std::printf("  %-34s %8s %6s", "", "seconds", "cpu");
    if (log.Enabled()) {
        std::printf(" %7s %7s %8s %6s", "pages", "audio", "requests", "failed");
    }
    std::printf(" %8s\n", "speed");
    PrintRow(peers[0].label, peerOutcomes[0], peerOutcomes[0], log.Enabled());
    for (size_t p = 1; p < peers.size(); ++p) {
        PrintRow(peers[p].label, peerOutcomes[p], peerOutcomes[0], log.Enabled());
    }
    PrintRow("search (CrawlThreadProc, libcurl)", ours, peerOutcomes[0], log.Enabled());
    std::printf("  the search's view: %u pages visited, %u audio files listed\n", view.pages,
                view.audioFiles);
    if (log.Enabled()) {
        std::printf(
            "  pages, audio: different ones asked for, by nginx's log; cpu: the client's "
            "own processor time\n  speed: the first wget's time / this time (goal for the "
            "search: >= 1.00x)\n");
    }
    bool done = ours.bestSeconds > 0;
    for (const Outcome& o : peerOutcomes) {
        done = done && o.bestSeconds > 0;
    }
    if (!done) {
        std::printf("  FAILED: a client did not finish every run\n");
    }
    bool fair = true;
    if (log.Enabled()) {
        const Requests& r = ours.requests;
        fair = !ours.requestsVaried && r.failed == 0 && r.pages == view.pages &&
               r.audio == view.audioFiles;
        for (const Outcome& o : peerOutcomes) {
            fair = fair && !o.requestsVaried && o.requests.failed == 0 &&
                   o.requests.pages == r.pages && o.requests.audio == r.audio;
        }
        if (!fair) {
            std::printf(
                "  NOT COMPARABLE: the clients did not handle the same pages and audio "
                "files (or their counts varied between runs): the ratio is unfair\n");
        }
    }
    return done && fair ? 0 : 1;
}
