// quor-inet as a user runs it, natively: the real program against the sample site on nginx and
// the test server, its output read from pipes or, where a terminal matters, a pseudo-terminal;
// Ctrl-C as SIGINT.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/display.h"
#include "cli/terminal.h"
#include "quor_inet/tags/tag_builder.h"
#include "tests/search/current_site.h"
#include "tests/search/sample_site_expectations.h"
#include "tests/server/test_http_server.h"

extern char** environ;

namespace quor::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;  // what the terminal showed, with a terminal
};

struct Call {
    std::vector<std::string> args;
    std::function<bool(const Outcome&)> interruptWhen = {};  // then SIGINT, once
    std::string folder = {};                                 // the working folder
    std::vector<std::string> env = {};                       // NAME=value added
    int terminalColumns = 0;      // > 0: stderr on a pseudo-terminal that wide
    std::string stdoutFile = {};  // stdout into this file instead of a pipe
};

// Runs quor-inet to its end (bounded), reading its output as it comes.
Outcome QuorInet(const Call& r) {
    std::vector<std::string> argv = {QUOR_INET_PROGRAM};
    argv.insert(argv.end(), r.args.begin(), r.args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) {
        pointers.push_back(a.data());
    }
    pointers.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.insert(env.end(), r.env.begin(), r.env.end());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    Outcome run;
    int out[2];
    int err[2];
    if (pipe(out) != 0) {
        return run;
    }
    if (r.terminalColumns > 0) {
        struct winsize size = {};
        size.ws_row = 24;
        size.ws_col = static_cast<unsigned short>(r.terminalColumns);
        if (openpty(&err[0], &err[1], nullptr, nullptr, &size) != 0) {
            return run;
        }
    } else if (pipe(err) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (r.stdoutFile.empty()) {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, r.stdoutFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!r.folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, r.folder.c_str());
    }
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    bool interrupted = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (spawned == 0 && (fds[0].fd >= 0 || fds[1].fd >= 0) &&
           std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 200) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {  // a pseudo-terminal ends with EIO once the program has gone
                    close(fds[i].fd);
                    fds[i].fd = -1;
                } else {
                    (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
                }
            }
        }
        if (r.interruptWhen && !interrupted && r.interruptWhen(run)) {
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

Outcome QuorInet(const std::vector<std::string>& args) {
    return QuorInet(Call{args});
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

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A folder of files served by a test server of its own, removed afterwards.
class ServedFolder {
  public:
    ServedFolder() {
        dir_ = fs::temp_directory_path() /
               ("quor-cli-" + std::to_string(getpid()) + "-" + std::to_string(++count_));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        TestHttpServer::Options options;
        options.root = dir_.string();
        server_ = std::make_unique<TestHttpServer>(options);
    }
    ~ServedFolder() {
        server_.reset();
        fs::remove_all(dir_);
    }
    bool Start() { return server_->Start(); }
    const fs::path& Dir() const { return dir_; }
    std::string Url(const std::string& target) const { return server_->Url(target); }
    TestHttpServer& Server() { return *server_; }

  private:
    static inline int count_ = 0;
    fs::path dir_;
    std::unique_ptr<TestHttpServer> server_;
};

// The lines and the result text are the search dialog's, in the terminal's UTF-8.
TEST(QuorInet, SearchPrintsTheDialogsLinesAndResult) {
    const std::string site = SitePrefix();
    ASSERT_FALSE(site.empty()) << "the sample site is not served";
    const SiteSearch& search = kFirstSiteSearch;
    const Outcome run =
        QuorInet({"search", site + search.start, "--depth", std::to_string(search.depth),
                  "--same-server", "--select", "all", "--classic"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> expected;
    for (const std::string& line : search.lines) {
        expected.push_back(cli::Cp1252ToUtf8(line));
    }
    expected.push_back(ResultText(site, search.urls));
    EXPECT_EQ(Lines(run.out), expected);
    // No terminal: plain lines, no progress drawn in place.
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    EXPECT_EQ(run.err.find('\033'), std::string::npos);
    EXPECT_NE(run.err.find("Analysing page 1 from 1 at level 0 " + site + search.start),
              std::string::npos);
}

// The second site: the current web by default, the dialog's rules with --classic. Titles come
// in UTF-8; a name taken from an address is shown as the address's bytes.
TEST(QuorInet, SearchFollowsTheCurrentWebUnlessClassic) {
    TlsSite site;
    ASSERT_TRUE(site.Ok());
    for (const bool classic : {false, true}) {
        const RuleSearch& search =
            classic ? kCurrentSiteOnClassicRules : kCurrentSiteOnTheCurrentWeb;
        std::vector<std::string> args = {"search", site.Ported(kCurrentSiteStart), "--depth", "1",
                                         "--select", "all"};
        if (classic) {
            args.push_back("--classic");
        }
        const Outcome run = QuorInet(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::vector<std::string> expected;
        for (const std::string& line : search.lines) {
            expected.push_back(line.find("\xC3") != std::string::npos ? line
                                                                       : cli::Cp1252ToUtf8(line));
        }
        std::string result;
        for (const std::string& url : search.urls) {
            result += (result.empty() ? "" : "*") + site.Ported(url);
        }
        expected.push_back(result);
        EXPECT_EQ(Lines(run.out), expected) << (classic ? "--classic" : "current web");
    }
}

// What a server says never reaches the terminal as control characters, and a list line stays
// one line; an address is shown as the bytes it is, so that what --select prints downloads.
TEST(QuorInet, ServerTextIsShownSafely) {
    ServedFolder site;
    const Bytes body = Join({Frame3("TIT2", Latin1Text("\x1B[2J\x1B[31m RED \x1B]0;pwned\x07")),
                             Frame3("TPE1", Latin1Text("Evil\rArtist\nSecond line"))});
    std::string mp3(reinterpret_cast<const char*>(Tag(3, 0, body).data()), Tag(3, 0, body).size());
    mp3.resize(4000, '\0');
    WriteBytes(site.Dir() / "evil.mp3", mp3);
    WriteBytes(site.Dir() / "m\xC3\xBCsik.mp3", std::string(2000, 'x'));
    WriteBytes(site.Dir() / "index.html",
               "<a href=\"evil.mp3\">x</a> <a href=\"m\xC3\xBCsik.mp3\">y</a>"
               "<a href=\"\x1B[2Jpage.html\">z</a>");
    ASSERT_TRUE(site.Start());
    const Outcome run =
        QuorInet({"search", site.Url("/index.html"), "--select", "all", "--classic"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    const std::string mark = "\xEF\xBF\xBD";
    EXPECT_EQ(lines[0], "0: [4KB] " + mark + "[2J" + mark + "[31m RED " + mark + "]0;pwned" + mark +
                            " - Evil" + mark + "Artist" + mark + "Second line");
    EXPECT_EQ(lines[1], "1: [2KB] m\xC3\xBCsik.mp3");
    const std::string umlaut = site.Url("/m\xC3\xBCsik.mp3");
    EXPECT_EQ(lines[2], site.Url("/evil.mp3") + "*" + umlaut);
    EXPECT_EQ((run.out + run.err).find('\x1B'), std::string::npos);
    EXPECT_EQ((run.out + run.err).find('\r'), std::string::npos);

    const fs::path saved = site.Dir() / "saved.mp3";
    EXPECT_EQ(QuorInet({"download", umlaut, saved.string()}).exitCode, 0);
    EXPECT_EQ(ReadBytes(saved), std::string(2000, 'x'));
}

// On an 80-column terminal the status line stays one line, redrawn in place; the download's
// progress speaks the chosen language, and shows no percentage for a size nobody announced.
TEST(QuorInet, OnANarrowTerminal) {
    const std::string site = SitePrefix();
    ASSERT_FALSE(site.empty());
    const Outcome search =
        QuorInet(Call{{"search", site + "index.html", "--depth", "3"}, {}, {}, {}, 80});
    EXPECT_EQ(search.exitCode, 0) << search.err;
    // Every state the line was drawn in: the text between carriage returns and line ends.
    std::string shown;
    for (const char c : search.err + "\n") {
        if (c != '\r' && c != '\n') {
            shown += c;
            continue;
        }
        for (size_t erase; (erase = shown.find("\033[K")) != std::string::npos;) {
            shown.erase(erase, 3);
        }
        EXPECT_LT(cli::DisplayWidth(shown, cli::TextCoding::kUtf8), 80u) << shown;
        shown.clear();
    }
    EXPECT_LE(Lines(search.err).size(), 2u) << "the status is redrawn, not scrolled";

    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    ServedFolder folder;
    const struct {
        const char* lang;
        std::string target;
        const char* says;
        bool percent;
    } cases[] = {
        {"fr", "/slow/a.bin?size=200000&chunk=20000&delay_ms=100", "Avancement:", true},
        {"de", "/slow/b.bin?size=200000&chunk=20000&delay_ms=100", "Fortschritt:", true},
        {"en", "/nolength/c.bin?size=40000", "Speed:", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        const Outcome run = QuorInet(Call{
            {"download", "--lang", c.lang, server.Url(c.target), (folder.Dir() / c.lang).string()},
            {},
            {},
            {},
            80});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("kopiert"), std::string::npos);
        EXPECT_EQ(run.err.find(" %") != std::string::npos, c.percent) << run.err;
    }
}

// Ctrl-C stops a search after printing what was found, and cancels a download leaving nothing
// at its destination; both end with 130, as shells expect of an interrupted program.
TEST(QuorInet, CtrlC) {
    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    const std::string slow = server.Url("/slow/page.html?size=400000&chunk=1000&delay_ms=20");
    Outcome run = QuorInet(Call{{"search", slow}, [](const Outcome& r) {
                                    return r.err.find("Analysing") != std::string::npos;
                                }});
    EXPECT_EQ(run.exitCode, 130);
    EXPECT_NE(run.err.find("quor-inet: search stopped; 0 files found so far"), std::string::npos)
        << run.err;

    ServedFolder folder;
    const fs::path file = folder.Dir() / "cancelled.bin";
    // The download under way: its partial file beside the destination has bytes (the user's
    // own file there proves nothing, and a signal before the handler would kill the program).
    const auto growing = [&](const Outcome&) {
        for (const auto& entry : fs::directory_iterator(folder.Dir())) {
            if (entry.is_regular_file() && entry.path() != file && entry.file_size() > 0) {
                return true;
            }
        }
        return false;
    };
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing);
        if (existing) {
            WriteBytes(file, "the user's own");
        }
        run = QuorInet(Call{{"download", slow, file.string()}, growing});
        EXPECT_EQ(run.exitCode, 130);
        EXPECT_NE(run.err.find("cancelled after "), std::string::npos) << run.err;
        EXPECT_EQ(fs::exists(file), existing);
        if (existing) {
            EXPECT_EQ(ReadBytes(file), "the user's own");
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.Dir()), fs::directory_iterator()),
                  existing ? 1 : 0);
    }
}

// Where a download goes: the forms people type.
TEST(QuorInet, DownloadForms) {
    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    ServedFolder folder;
    const fs::path dir = folder.Dir();
    fs::create_directories(dir / "into");
    const std::string bare = "127.0.0.1:" + std::to_string(server.port());
    const struct {
        const char* name;
        std::vector<std::string> args;
        fs::path saved;  // empty: standard output
    } cases[] = {
        {"bare host and port",
         {"download", bare + "/exact/a.mp3?size=3000", "a.mp3"},
         dir / "a.mp3"},
        {"no PATH", {"download", server.Url("/exact/b.mp3?size=3000")}, dir / "b.mp3"},
        {"a folder",
         {"download", server.Url("/exact/c.mp3?size=3000"), "into"},
         dir / "into/c.mp3"},
        {"after --",
         {"download", server.Url("/exact/d.mp3?size=3000"), "--", "-d.mp3"},
         dir / "-d.mp3"},
        {"standard output", {"download", server.Url("/exact/e.mp3?size=3000"), "-"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = QuorInet(Call{c.args, {}, dir.string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::string expected = PatternBytes(0, 3000);
        if (c.saved.empty()) {
            EXPECT_TRUE(run.out == expected);
        } else {
            EXPECT_TRUE(ReadBytes(c.saved) == expected) << c.saved;
            EXPECT_TRUE(run.out.empty());
        }
    }
}

// Each failure says what went wrong in one line and ends with its exit code: 2 for the command
// line (with where to read more), 1 for what happened.
TEST(QuorInet, UsageAndErrors) {
    TestHttpServer server;
    ASSERT_TRUE(server.Start());
    ServedFolder folder;
    const std::string closed =
        "http://127.0.0.1:" + std::to_string(TestHttpServer::RefusingPort()) + "/";
    const std::string x = (folder.Dir() / "x.mp3").string();
    const std::string page = server.Url("/exact/empty.html?size=0");
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string says;  // on stderr, or on stdout for help and version
        std::vector<std::string> env = {};
    } cases[] = {
        {{}, 2, "quor-inet: a command is missing (see 'quor-inet --help')"},
        {{"fetch"}, 2, "unknown command 'fetch'"},
        {{"search"}, 2, "search needs a URL (see 'quor-inet search --help')"},
        {{"search", "http://h/", "--depth", "two"}, 2, "--depth takes a whole number"},
        {{"search", "http://h/", "--depth", "-1"}, 2, "of 0 or more, not '-1'"},
        {{"search", "http://h/", "--depth"}, 2, "--depth needs a value"},
        {{"search", "http://h/", "--connections", "0"}, 2, "from 1 to 16, not '0'"},
        {{"search", "http://h/", "--connections", "17"}, 2, "from 1 to 16, not '17'"},
        {{"search", "http://h/", "--select", "1,x"}, 2, "--select takes 'all'"},
        {{"search", page, "--select", "99"}, 2, "--select 99: no files were found"},
        {{"search", "http://h/", "--lang", "nl"}, 2, "--lang takes de, en, fr, it or es"},
        {{"search", "http://h/", "--quiet"}, 2, "unknown option --quiet"},
        {{"search", "http://127.0.0.1:70000/"}, 2, "not a number from 1 to 65535"},
        {{"download"}, 2, "download needs a URL"},
        {{"download", "http://h/x.mp3", "-x.mp3"}, 2, "goes after '--'"},
        {{"help", "download"}, 0, "Usage: quor-inet download [OPTIONS] URL [PATH]"},
        {{"help", "search"}, 0, "Example:"},
        {{"download", "--help"}, 0, "Exit codes: 0 saved"},
        {{"-V"}, 0, "quor-inet 1.0"},
        {{"search", "ftp://host/"}, 1, "ftp://host/ is not an http:// or https:// address"},
        {{"search", "https://h/", "--classic"}, 1, "with --classic only http:// servers"},
        {{"search", closed}, 1, "the start page " + closed + " could not be fetched"},
        {{"search", server.Url("/status/x.html?code=404&body=gone")},
         1,
         "the server answered 404 for the start page"},
        {{"search", server.Url("/reset/x.html?size=1000&after=0")},
         1,
         "broke off before any of it arrived"},
        {{"download", "https://host/x.mp3", x, "--classic"}, 1, "is not an http:// address"},
        {{"download", closed + "x.mp3", x}, 1, "could not fetch " + closed + "x.mp3"},
        {{"download", server.Url("/status/x.mp3?code=404&body=gone"), x},
         1,
         "the server answered 404"},
        {{"download", server.Url("/exact/x.mp3?size=10"), "/nonexistent-quor/x.mp3"},
         1,
         "cannot write /nonexistent-quor/x.mp3: its folder does not exist"},
        {{"download", server.Url("/exact/x.mp3?size=10"), "/dev/null"},
         1,
         "cannot write /dev/null: it is a device or a pipe"},
        {{"download", server.Url("/exact/x.mp3?size=100000"), x},
         1,
         "failed after 49152 bytes: the disk is full; nothing was saved",
         {"SNDCORE_TEST_WRITE_LIMIT=50000"}},
        {{"download", server.Url("/cut/x.mp3?size=100000&after=40000"), x},
         1,
         "broke off after 40000 of 100000 bytes"},
    };
    for (const auto& c : cases) {
        const Outcome run = QuorInet(Call{c.args, {}, {}, c.env});
        SCOPED_TRACE(c.says);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_NE((run.err + run.out).find(c.says), std::string::npos) << run.err << run.out;
        if (c.exitCode == 2) {
            const std::vector<std::string> lines = Lines(run.err);
            EXPECT_EQ(
                std::count_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.rfind("quor-inet:", 0) == 0; }),
                1)
                << run.err;
        }
    }
    EXPECT_FALSE(fs::exists(x));

    // Results that cannot be written are a failure too.
    const Outcome full = QuorInet(
        Call{{"search", SitePrefix() + "index.html", "--depth", "0"}, {}, {}, {}, 0, "/dev/full"});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("could not write the list to standard output"), std::string::npos)
        << full.err;
}

}  // namespace
}  // namespace quor::test
