// quor-inet as a user runs it, natively: the real program against the sample site on nginx and
// the test server, its output read from pipes (so without a terminal), Ctrl-C as SIGINT.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "tests/search/sample_site_expectations.h"
#include "tests/server/test_http_server.h"

extern char** environ;

namespace quor::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs quor-inet with args to its end (bounded); interruptWhen, when given, is asked after
// every piece of output and sends SIGINT once it answers true.
Outcome QuorInet(const std::vector<std::string>& args,
                 const std::function<bool(const Outcome&)>& interruptWhen = {}) {
    std::vector<std::string> argv = {QUOR_INET_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) {
        pointers.push_back(a.data());
    }
    pointers.push_back(nullptr);
    int out[2];
    int err[2];
    Outcome run;
    if (pipe(out) != 0 || pipe(err) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    bool interrupted = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (spawned == 0 && (fds[0].fd >= 0 || fds[1].fd >= 0) &&
           std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 200) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP)) != 0) {
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                } else {
                    (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
                }
            }
        }
        if (interruptWhen && !interrupted && interruptWhen(run)) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    for (pollfd& f : fds) {
        if (f.fd >= 0) {
            close(f.fd);
        }
    }
    if (spawned == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

std::string SitePrefix() {
    std::ifstream in(QUOR_SAMPLE_SITE_PORT_FILE);
    int port = 0;
    in >> port;
    return port > 0 ? "http://127.0.0.1:" + std::to_string(port) + "/" : "";
}

// The lines and the result text are the search dialog's, in the terminal's UTF-8.
TEST(QuorInet, SearchPrintsTheDialogsLinesAndResult) {
    const std::string site = SitePrefix();
    ASSERT_FALSE(site.empty()) << "the sample site is not served";
    const SiteSearch& search = kFirstSiteSearch;
    const Outcome run =
        QuorInet({"search", site + search.start, "--depth", std::to_string(search.depth),
                  "--same-server", "--select", "all"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> expected;
    for (const std::string& line : search.lines) {
        expected.push_back(cli::ForTerminal(line.c_str()));
    }
    expected.push_back(ResultText(site, search.urls));
    EXPECT_EQ(Lines(run.out), expected);
    // No terminal: plain lines, no progress drawn in place.
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    EXPECT_EQ(run.err.find('\033'), std::string::npos);
    EXPECT_NE(run.err.find("Analysing page 1 from 1 at level 0 " + site + search.start),
              std::string::npos);
}

TEST(QuorInet, DownloadCopiesAFile) {
    const std::string site = SitePrefix();
    ASSERT_FALSE(site.empty());
    const fs::path file = fs::temp_directory_path() / "quor-inet-download.mp3";
    fs::remove(file);
    const Outcome run = QuorInet({"download", site + "music/latin1.mp3", file.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(fs::file_size(file),
              fs::file_size(QUOR_SOURCE_ROOT "/samples/site/music/latin1.mp3"));
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    fs::remove(file);
}

// Ctrl-C stops a search after the current page and cancels a download after the current
// chunk, keeping what was written.
TEST(QuorInet, CtrlC) {
    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    const std::string slow = server.Url("/slow/page.html?size=400000&chunk=1000&delay_ms=20");
    Outcome run = QuorInet({"search", slow}, [](const Outcome& r) {
        return r.err.find("Analysing") != std::string::npos;
    });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("quor-inet: search stopped; 0 files found so far"), std::string::npos)
        << run.err;

    // The copy grows beside the destination until the end.
    const fs::path folder = fs::temp_directory_path() / "quor-inet-cancelled";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "cancelled.bin";
    run = QuorInet({"download", slow, file.string()}, [&](const Outcome&) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.file_size() > 0) {
                return true;
            }
        }
        return false;
    });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cancelled; the "), std::string::npos) << run.err;
    ASSERT_TRUE(fs::exists(file));
    EXPECT_GT(fs::file_size(file), 0u);
    EXPECT_LT(fs::file_size(file), 400000u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

TEST(QuorInet, UsageAndErrors) {
    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    const std::string closed =
        "http://127.0.0.1:" + std::to_string(TestHttpServer::RefusingPort()) + "/";
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string says;  // on stderr, or on stdout for help and version
    } cases[] = {
        {{}, 2, "a command is missing"},
        {{"fetch"}, 2, "unknown command 'fetch'"},
        {{"search"}, 2, "search takes exactly one URL"},
        {{"search", "http://h/", "--depth", "two"}, 2, "--depth takes a whole number"},
        {{"search", "http://h/", "--select", "1,x"}, 2, "--select takes 'all'"},
        {{"search", "http://h/", "--lang", "nl"}, 2, "--lang takes de, en, fr, it or es"},
        {{"search", "http://h/", "--quiet"}, 2, "unknown option --quiet"},
        {{"download", "http://h/x.mp3"}, 2, "download takes a URL and the PATH"},
        {{"--help"}, 0, "Usage: quor-inet COMMAND"},
        {{"search", "--help"}, 0, "Usage: quor-inet search URL"},
        {{"download", "--help"}, 0, "Usage: quor-inet download URL PATH"},
        {{"--version"}, 0, "quor-inet 1.0"},
        {{"search", "ftp://host/"}, 1, "ftp://host/ is not an http:// address"},
        {{"search", closed}, 1, "the start page " + closed + " could not be fetched"},
        {{"download", "https://host/x.mp3", "x.mp3"}, 1, "is not an http:// address"},
        {{"download", closed + "x.mp3", "x.mp3"}, 1, "could not fetch " + closed + "x.mp3"},
        {{"download", server.Url("/status/x.mp3?code=404&body=gone"), "x.mp3"},
         1,
         "the server answered 404"},
        {{"download", server.Url("/exact/x.mp3?size=10"), "/nonexistent-quor/x.mp3"},
         1,
         "cannot create /nonexistent-quor/x.mp3; check that its folder exists"},
    };
    for (const auto& c : cases) {
        const Outcome run = QuorInet(c.args);
        SCOPED_TRACE(c.says);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_NE((run.err + run.out).find(c.says), std::string::npos) << run.err << run.out;
    }
    EXPECT_FALSE(fs::exists("x.mp3"));
}

TEST(DownloadFailureText, NamesTheTroubleAndTheRemedy) {
    const struct {
        DownloadEnd end;
        const char* says;
    } cases[] = {
        {DownloadEnd::kNoFreeSpace, "not enough free space for p (300 bytes and 1 MiB to spare)"},
        {DownloadEnd::kWriteFailed, "writing p failed after 100 bytes; the incomplete file was"},
        {DownloadEnd::kBrokenOff, "broke off after 100 of 300 bytes; the incomplete file was"},
        {DownloadEnd::kCancelled, "cancelled; the 100 bytes written so far are kept in p"},
        {DownloadEnd::kDone, ""},
    };
    for (const auto& c : cases) {
        DownloadOutcome outcome;
        outcome.end = c.end;
        outcome.total = 300;
        outcome.written = 100;
        const std::string text = cli::DownloadFailureText(outcome, "u", "p");
        if (*c.says == '\0') {
            EXPECT_EQ(text, "");
        } else {
            EXPECT_NE(text.find(c.says), std::string::npos) << text;
        }
    }
}

}  // namespace
}  // namespace quor::test
