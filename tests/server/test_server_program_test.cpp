// The standalone server program and the run-server script, run as separate processes the way
// the Windows tests use them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/server/test_server_client.h"

namespace quor::test {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 30000;

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A child process with its stdout on a pipe.
class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            int st;
            waitpid(pid_, &st, 0);
        }
        if (out_ >= 0) {
            close(out_);
        }
    }
    pid_t pid() const { return pid_; }

    // The next line of its stdout, without the line break; empty at the end or on time-out.
    std::string ReadLine() {
        std::string line;
        for (;;) {
            pollfd p = {out_, POLLIN, 0};
            char c;
            if (poll(&p, 1, kWaitMs) <= 0 || read(out_, &c, 1) != 1 || c == '\n') {
                return line;
            }
            line.push_back(c);
        }
    }
    // Its exit code, or -1 when it does not end in time (or ends by a signal).
    int WaitExit() {
        for (int i = 0; i < kWaitMs / 20; ++i) {
            int st = 0;
            pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
};

// A process that has ended but not yet been reaped by its new parent counts as gone.
bool Alive(pid_t pid) {
    if (kill(pid, 0) != 0 && errno == ESRCH) {
        return false;
    }
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) /
               ("quor-program-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "www" / "fixtures");
        std::ofstream(dir_ / "www" / "hello.txt") << "hello";
        std::ofstream(dir_ / "www" / "fixtures" / "tag.bin") << "TAGDATA";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<std::string> Args(std::vector<std::string> more) {
        std::vector<std::string> a = {QUOR_TEST_SERVER_PROGRAM, "--quiet", "--root",
                                      (dir_ / "www").string()};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }

    fs::path dir_;
};

TEST_F(ProgramTest, AnnouncesItsPortAndAnswersControlRoutes) {
    const fs::path portFile = dir_ / "port";
    Program server(Args(
        {"--port-file", portFile.string(), "--fixtures", (dir_ / "www" / "fixtures").string()}));
    std::string line = server.ReadLine();
    ASSERT_EQ(line.rfind("listening on http://127.0.0.1:", 0), 0u) << line;
    uint16_t port = ParsePortFileText(ReadFile(portFile));
    ASSERT_NE(port, 0);
    EXPECT_EQ(line, "listening on http://127.0.0.1:" + std::to_string(port));

    PlainResponse r;
    ASSERT_TRUE(PlainGet(port, "/files/hello.txt", r));
    EXPECT_EQ(r.body, "hello");
    ASSERT_TRUE(PlainGet(port, "/mp3/a.mp3?tag=tag.bin&size=7", r));
    EXPECT_EQ(r.body, "TAGDATA");

    for (int twice = 0; twice < 2; ++twice) {  // control requests count for nothing
        ServerCounters c;
        ASSERT_TRUE(FetchServerCounters(port, "/files/hello.txt", c));
        EXPECT_EQ(c.bytes, 5u);
        EXPECT_EQ(c.requests, 1u);
    }
    ASSERT_TRUE(PlainGet(port, "/_counters", r));
    EXPECT_EQ(r.body, "bytes=12\nrequests=2\n5 1 /files/hello.txt\n7 1 /mp3/a.mp3\n");

    std::string log;
    ASSERT_TRUE(FetchServerLog(port, log));
    EXPECT_EQ(log.rfind("GET /files/hello.txt HTTP/1.1\nHost: 127.0.0.1:", 0), 0u) << log;
    EXPECT_NE(log.find("\n\nGET /mp3/a.mp3?tag=tag.bin&size=7 HTTP/1.1\n"), std::string::npos);
    EXPECT_EQ(log.find("_counters"), std::string::npos);

    ASSERT_TRUE(ResetServerCounters(port));
    ServerCounters c;
    ASSERT_TRUE(FetchServerCounters(port, "/files/hello.txt", c));
    EXPECT_EQ(c.bytes, 0u);
    EXPECT_EQ(c.requests, 0u);
    ASSERT_TRUE(FetchServerLog(port, log));
    EXPECT_EQ(log, "");

    kill(server.pid(), SIGTERM);
    EXPECT_EQ(server.WaitExit(), 0);
    EXPECT_FALSE(fs::exists(portFile));
}

TEST_F(ProgramTest, EndsByItselfWhenItsCapOrItsWatchedProcessEnds) {
    {
        Program server(Args({"--max-seconds", "1"}));
        ASSERT_NE(server.ReadLine(), "");
        EXPECT_EQ(server.WaitExit(), 0);
    }
    {
        pid_t watched = fork();
        if (watched == 0) {
            pause();
            _exit(0);
        }
        Program server(Args({"--watch-pid", std::to_string(watched)}));
        ASSERT_NE(server.ReadLine(), "");
        kill(watched, SIGKILL);
        int st;
        waitpid(watched, &st, 0);
        EXPECT_EQ(server.WaitExit(), 0);
    }
}

TEST_F(ProgramTest, RefusesBadArgumentsAndATakenPort) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
    } kCases[] = {
        {{"--port", "70000"}, 2},
        {{"--port", "-1"}, 2},
        {{"--port"}, 2},
        {{"--max-seconds", "soon"}, 2},
        {{"--watch-pid", "1"}, 2},
        {{"--bogus"}, 2},
        {{"--root", "/no/such/folder/anywhere"}, 1},
        {{"--port-file", "/no/such/folder/port"}, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        Program p(Args(c.args));
        EXPECT_EQ(p.ReadLine(), "");
        EXPECT_EQ(p.WaitExit(), c.exitCode);
    }

    Program first(Args({"--port-file", (dir_ / "port").string()}));
    ASSERT_NE(first.ReadLine(), "");
    std::string port = std::to_string(ParsePortFileText(ReadFile(dir_ / "port")));
    Program second(Args({"--port", port}));
    EXPECT_EQ(second.ReadLine(), "");
    EXPECT_EQ(second.WaitExit(), 1);
}

TEST_F(ProgramTest, RunServerScriptStartsAndStopsIt) {
    const fs::path state = dir_ / "state";
    const fs::path portFile = dir_ / "port";
    std::string cmd = std::string(QUOR_RUN_SERVER_SCRIPT) + " start --server " +
                      QUOR_TEST_SERVER_PROGRAM + " --state-dir " + state.string() +
                      " --port-file " + portFile.string() + " --root " + (dir_ / "www").string() +
                      " --watch-pid " + std::to_string(getpid()) + " 2>&1";
    FILE* f = popen(cmd.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[512] = {};
    std::string out;
    while (fgets(buf, sizeof buf, f)) {
        out += buf;
    }
    ASSERT_EQ(pclose(f), 0) << out;

    uint16_t port = ParsePortFileText(ReadFile(portFile));
    ASSERT_NE(port, 0) << out;
    EXPECT_EQ(out, "export QUOR_TEST_SERVER_PORT=" + std::to_string(port) +
                       " QUOR_TEST_SERVER_PORT_FILE=" + portFile.string() + "\n");
    PlainResponse r;
    ASSERT_TRUE(PlainGet(port, "/files/hello.txt", r));
    EXPECT_EQ(r.body, "hello");

    pid_t pid = std::stoi(ReadFile(state / "pid"));
    ASSERT_GT(pid, 1);
    std::string stop = std::string(QUOR_RUN_SERVER_SCRIPT) + " stop --state-dir " + state.string() +
                       " >/dev/null 2>&1";
    ASSERT_EQ(system(stop.c_str()), 0);
    EXPECT_FALSE(fs::exists(portFile));
    EXPECT_FALSE(fs::exists(state / "pid"));
    bool gone = false;
    for (int i = 0; i < kWaitMs / 20 && !gone; ++i) {
        gone = !Alive(pid);
        if (!gone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    EXPECT_TRUE(gone);
    EXPECT_FALSE(PlainGet(port, "/files/hello.txt", r, 2000));
    // Stopping again is harmless.
    EXPECT_EQ(system(stop.c_str()), 0);
}

}  // namespace
}  // namespace quor::test
