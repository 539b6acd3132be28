// The fixture of tests against the loopback server: SetUp finds the server, and Path names
// request paths that no other test uses, so the server's counters per path are the test's own.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "tests/server/loopback_server.h"

namespace quor::test {

class LoopbackServerTest : public ::testing::Test {
  protected:
    // prefix sets the test program's paths apart from other programs' on the shared server.
    explicit LoopbackServerTest(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        std::string whyNot;
        server_ = LoopbackServer::Get(whyNot);
        ASSERT_NE(server_, nullptr) << whyNot;
        tag_ = std::to_string(std::random_device{}());
    }

    std::string Path(const std::string& route, const std::string& name) const {
        return route + "/" + prefix_ + "-" + tag_ + "-" + name;
    }

    LoopbackServer* server_ = nullptr;

  private:
    std::string prefix_;
    std::string tag_;
};

}  // namespace quor::test
