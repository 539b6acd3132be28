// quor_test_server: the test HTTP server as a program of its own, for tests that run in another
// process (the Windows test programs under Wine reach it on 127.0.0.1).
#include "tests/server/test_http_server.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kUsage[] =
    "usage: quor_test_server [--root DIR] [--fixtures DIR] [--port N] [--port-file FILE]\n"
    "                        [--max-seconds S] [--watch-pid PID | --watch-parent] [--quiet]\n"
    "  --root DIR        document root (default: the current directory)\n"
    "  --fixtures DIR    where /mp3?tag=NAME finds NAME (default: the document root)\n"
    "  --port N          port on 127.0.0.1; 0 (default) takes a free one\n"
    "  --port-file FILE  written with the port once listening, removed on exit\n"
    "  --max-seconds S   exit after S seconds (default 3600; 0: no limit)\n"
    "  --watch-pid PID   exit when process PID is gone\n"
    "  --watch-parent    exit when the parent process is gone\n"
    "  --quiet           no line per request on stderr\n"
    "Ends on SIGTERM or SIGINT. Control routes: /_counters[?path=P], /_reset, /_log.\n";

bool ParseNumber(const char* s, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0' || v < 0 || v > max) {
        return false;
    }
    out = v;
    return true;
}

// Written beside the final name and renamed, so a reader never sees a half-written port.
bool WritePortFile(const std::string& path, uint16_t port) {
    std::string tmp = path + ".tmp." + std::to_string(getpid());
    FILE* f = fopen(tmp.c_str(), "w");
    if (!f) {
        return false;
    }
    bool ok = fprintf(f, "%u\n", static_cast<unsigned>(port)) > 0;
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        remove(tmp.c_str());
        return false;
    }
    return true;
}

bool ProcessExists(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

int main(int argc, char** argv) {
    quor::test::TestHttpServer::Options options;
    options.root = ".";
    options.controlRoutes = true;
    options.verbose = true;
    std::string portFile;
    std::string fixtures;
    long long maxSeconds = 3600;
    pid_t watchPid = 0;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                fprintf(stderr, "quor_test_server: %s needs a value\n%s", arg.c_str(), kUsage);
                exit(2);
            }
            return argv[++i];
        };
        long long n = 0;
        if (arg == "--root") {
            options.root = value();
        } else if (arg == "--fixtures") {
            fixtures = value();
        } else if (arg == "--port") {
            if (!ParseNumber(value(), 65535, n)) {
                fprintf(stderr, "quor_test_server: bad port\n");
                return 2;
            }
            options.port = static_cast<uint16_t>(n);
        } else if (arg == "--port-file") {
            portFile = value();
        } else if (arg == "--max-seconds") {
            if (!ParseNumber(value(), 365LL * 24 * 3600, n)) {
                fprintf(stderr, "quor_test_server: bad --max-seconds\n");
                return 2;
            }
            maxSeconds = n;
        } else if (arg == "--watch-pid") {
            if (!ParseNumber(value(), INT32_MAX, n) || n <= 1) {
                fprintf(stderr, "quor_test_server: bad --watch-pid\n");
                return 2;
            }
            watchPid = static_cast<pid_t>(n);
        } else if (arg == "--watch-parent") {
            // Already orphaned: there is nothing left to watch.
            watchPid = getppid() > 1 ? getppid() : 0;
        } else if (arg == "--quiet") {
            options.verbose = false;
        } else if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        } else {
            fprintf(stderr, "quor_test_server: unknown argument %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    options.fixtureDir = fixtures.empty() ? options.root : fixtures;
    // Sizes past 4 GiB may be announced; /cut and ranged reads send only a little of them.
    options.maxBodyBytes = uint64_t{6} << 30;

    // Blocked before any thread starts, so every thread inherits the mask and the signals
    // wait for sigtimedwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    quor::test::TestHttpServer server(options);
    if (!server.Start()) {
        fprintf(stderr, "quor_test_server: %s\n", server.LastError().c_str());
        return 1;
    }
    if (!portFile.empty() && !WritePortFile(portFile, server.port())) {
        fprintf(stderr, "quor_test_server: cannot write %s: %s\n", portFile.c_str(),
                strerror(errno));
        server.Stop();
        return 1;
    }
    printf("listening on %s\n", server.BaseUrl().c_str());
    fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    const timespec tick = {0, 200 * 1000 * 1000};
    for (;;) {
        int sig = sigtimedwait(&signals, nullptr, &tick);
        if (sig > 0) {
            break;
        }
        if (watchPid > 0 && !ProcessExists(watchPid)) {
            break;
        }
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (maxSeconds > 0 && elapsed >= std::chrono::seconds(maxSeconds)) {
            fprintf(stderr, "quor_test_server: --max-seconds reached, exiting\n");
            break;
        }
    }
    server.Stop();
    if (!portFile.empty()) {
        remove(portFile.c_str());
    }
    return 0;
}
