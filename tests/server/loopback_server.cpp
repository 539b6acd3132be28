#include "tests/server/loopback_server.h"

namespace quor::test {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string SeenRequest::Header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (n.size() != name.size()) {
            continue;
        }
        bool same = true;
        for (size_t i = 0; i < n.size() && same; ++i) {
            same = Lower(n[i]) == Lower(name[i]);
        }
        if (same) {
            return v;
        }
    }
    return {};
}

std::string LoopbackServer::Url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + std::string(target);
}

}  // namespace quor::test
