#include "quor_inet/crawler/start_address.h"

#include <gtest/gtest.h>

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
}

}  // namespace
