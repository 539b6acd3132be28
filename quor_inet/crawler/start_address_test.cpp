#include "quor_inet/crawler/start_address.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

TEST(NormalizeStartAddress, FieldAndWorker) {
    const struct {
        const char* typed;
        const char* shown;
        const char* address;
    } cases[] = {
        {"host.example", "http://host.example", "http://host.example/"},
        {"HTTP://HOST.EXAMPLE", "HTTP://HOST.EXAMPLE", "HTTP://HOST.EXAMPLE/"},
        {"http://host/dir/page.html", "http://host/dir/page.html", "http://host/dir/page.html"},
        {"ftp://host", "ftp://host", "ftp://host"},
        {"host.example:8080", "host.example:8080", "host.example:8080"},
        {"host/dir", "http://host/dir", "http://host/dir"},
        {"http://", "http://", "http:///"},
        {"http:/", "http:/", "http:/"},
    };
    for (const auto& c : cases) {
        const StartAddress start = NormalizeStartAddress(c.typed);
        EXPECT_STREQ(start.shown, c.shown) << c.typed;
        EXPECT_STREQ(start.address, c.address) << c.typed;
    }
    // On the current web an https server alone gets its "/" too; http as before.
    const struct {
        const char* typed;
        const char* classic;
        const char* current;
    } rules[] = {{"https://host", "https://host", "https://host/"},
                 {"HTTPS://h/x", "HTTPS://h/x", "HTTPS://h/x"},
                 {"host.example", "http://host.example/", "http://host.example/"}};
    for (const auto& r : rules) {
        EXPECT_STREQ(NormalizeStartAddress(r.typed).address, r.classic) << r.typed;
        EXPECT_STREQ(NormalizeStartAddress(r.typed, WebRules::kCurrent).address, r.current)
            << r.typed;
    }
}

TEST(BeginsWithHttp, PrefixInAnyCase) {
    const struct {
        const char* text;
        bool begins;
    } cases[] = {
        {"http://host/", true},   {"HTTP://HOST", true},  {"hTtP://", true},
        {"http:/", false},        {"http", false},        {"", false},
        {"https://host/", false}, {"ftp://host/", false}, {" http://host/", false},
        {"\xC8TTP://", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BeginsWithHttp(c.text), c.begins) << c.text;
        const bool https = std::string_view(c.text).substr(0, 8) == "https://";
        EXPECT_EQ(BeginsWithHttp(c.text, WebRules::kCurrent), c.begins || https) << c.text;
    }
}

}  // namespace
