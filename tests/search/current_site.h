#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/search/sample_site_expectations.h"

namespace quor::test {

// The second sample site on nginx over http and https, its test authority trusted by the
// native backend (and by programs started with this environment) while it runs.
class TlsSite {
  public:
    TlsSite() {
        dir_ = std::filesystem::temp_directory_path() / ("quor-tls-" + std::to_string(::getpid()));
        const std::string command = std::string(QUOR_SOURCE_ROOT "/scripts/sample-site start-tls ") +
                                    dir_.string() + " " QUOR_SOURCE_ROOT "/samples/current-site";
        if (FILE* out = ::popen(command.c_str(), "r"); out != nullptr) {
            char line[64] = {};
            if (std::fgets(line, sizeof line, out) != nullptr) {
                std::sscanf(line, "%d %d", &port_, &tlsPort_);
            }
            ok_ = ::pclose(out) == 0 && port_ != 0 && tlsPort_ != 0;
        }
        ::setenv("CURL_CA_BUNDLE", (dir_ / "tls" / "ca.pem").c_str(), 1);
    }
    ~TlsSite() {
        ::unsetenv("CURL_CA_BUNDLE");
        std::system(
            (std::string(QUOR_SOURCE_ROOT "/scripts/sample-site stop ") + dir_.string()).c_str());
        std::filesystem::remove_all(dir_);
    }
    bool Ok() const { return ok_; }
    std::string Ported(const std::string& text) const { return WithPorts(text, port_, tlsPort_); }
    // The requests nginx logged for path so far; compressed: only those it sent gzipped.
    int Requests(const std::string& path, bool compressed = false) const {
        std::ifstream log(dir_ / "logs" / "access.log");
        int count = 0;
        for (std::string line; std::getline(log, line);) {
            count += line.rfind(path + " ", 0) == 0 &&
                     (!compressed || line.find("gzip") != std::string::npos);
        }
        return count;
    }

  private:
    std::filesystem::path dir_;
    int port_ = 0;
    int tlsPort_ = 0;
    bool ok_ = false;
};

}  // namespace quor::test
