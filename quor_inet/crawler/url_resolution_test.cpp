#include "quor_inet/crawler/url_resolution.h"

#include <initializer_list>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

constexpr const char* kUnchanged = "<unchanged>";

TEST(PageBaseAddress, CutsALastSegmentWithADotOnly) {
    const struct {
        const char* url;
        const char* base;
    } cases[] = {
        {"http://host/a/page.html", "http://host/a/"},
        {"http://host/a/", "http://host/a/"},
        {"http://host/a", "http://host/a"},
        {"http://host", "http://host"},
        {"http://host/a/b.c/d.e", "http://host/a/b.c/"},
        {"http://host/a.b/c", "http://host/a.b/c"},
        // The server's own dots count as a last segment with a dot.
        {"http://10.0.0.1", "http://"},
        {"http://10.0.0.1/", "http://10.0.0.1/"},
        {"C:\\music\\list.m3u", "C:\\music\\"},
        {"http://host/dir\\x.html", "http://host/dir\\"},
        {"http://host/a.b\\c", "http://host/a.b\\c"},
        {"page.html", ""},
        {"page", "page"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_STREQ(PageBaseAddress(c.url), c.base);
    }
}

TEST(PageBaseAddress, CurrentRulesKeepTheWholeAddressButItsFragment) {
    for (const auto& [url, base] : std::initializer_list<std::pair<const char*, const char*>>{
             {"http://host/a/page.html", "http://host/a/page.html"},
             {"http://host/a/page.html?q=1#part", "http://host/a/page.html?q=1"},
             {"http://host#x#y", "http://host"},
             {"", ""},
         }) {
        SCOPED_TRACE(url);
        EXPECT_STREQ(PageBaseAddress(url, WebRules::kCurrent), base);
    }
}

struct ResolveCase {
    const char* name;
    const char* base;
    const char* tag;
    const char* keyword;
    const char* expected;  // kUnchanged: value keeps what it held
};

void CheckResolve(const ResolveCase& c) {
    SCOPED_TRACE(c.name);
    CString value(kUnchanged);
    ResolveReference(c.base, c.tag, c.keyword, value);
    EXPECT_STREQ(value, c.expected) << "tag: " << c.tag;
}

TEST(ResolveReference, ExtractsTheValueAsTheOddRulesSay) {
    const char* b = "http://host/a/b/";
    const ResolveCase cases[] = {
        {"plain", b, "<a href=\"x.mp3\">", "href=", "http://host/a/b/x.mp3"},
        {"upper keyword", b, "<A HREF=\"x.html\">", "href=", "http://host/a/b/x.html"},
        {"mixed keyword", b, "<a Href=\"x.html\">", "href=", kUnchanged},
        {"lower before upper", b, "<a HREF=\"up.html\" href=\"low.html\">",
         "href=", "http://host/a/b/low.html"},
        {"keyword given in upper", b, "<a href=\"x.html\">", "HREF=", "http://host/a/b/x.html"},
        {"fragment cut", b, "<a href=\"song.mp3#t\">", "href=", "http://host/a/b/song.mp3"},
        {"fragment only", b, "<a href=\"#top\">", "href=", kUnchanged},
        {"blank removed", b, "<a href=\"my song.mp3\">", "href=", "http://host/a/b/mysong.mp3"},
        {"line breaks removed", b, "<a href=\"a\r\nb .mp3\">", "href=", "http://host/a/b/ab.mp3"},
        {"tab kept", b, "<a href=\"a\tb.mp3\">", "href=", "http://host/a/b/a\tb.mp3"},
        {"single quotes", b, "<a href='x.mp3'>", "href=", kUnchanged},
        {"single quotes, later double", b, "<a href='x.mp3' title=\"t\">",
         "href=", "http://host/a/b/x.mp3'title="},
        {"empty value", b, "<a href=\"\">", "href=", kUnchanged},
        {"blanks only", b, "<a href=\" \r\n \">", "href=", kUnchanged},
        {"no closing quote", b, "<a href=\"x.mp3>", "href=", kUnchanged},
        {"keyword at the end", b, "href=", "href=", kUnchanged},
        {"only the skipped char", b, "href=\"", "href=", kUnchanged},
        {"skipped char is any char", b, "<a href=xa.html\">", "href=", "http://host/a/b/a.html"},
        {"no keyword", b, "<a name=\"x\">", "href=", kUnchanged},
        {"meta refresh", b, "<meta http-equiv=\"refresh\" content=\"0; url=next.html\">",
         "url=", "http://host/a/b/ext.html"},
        {"empty keyword", b, "\"a.mp3\"", "", "http://host/a/b/a.mp3"},
    };
    for (const auto& c : cases) {
        CheckResolve(c);
    }
}

TEST(ResolveReference, MakesTheValueAbsolute) {
    const char* b = "http://host/a/b/";
    const char* ip = "http://10.0.0.1/a/";
    const ResolveCase cases[] = {
        {"http kept", b, "href=\"HTTP://Host/X.mp3\"", "href=", "HTTP://Host/X.mp3"},
        {"ftp kept", b, "href=\"ftp://h/x.mp3\"", "href=", "ftp://h/x.mp3"},
        {"gopher kept", b, "href=\"Gopher://h/x\"", "href=", "Gopher://h/x"},
        {"gropher kept", b, "href=\"gropher:/x\"", "href=", "gropher:/x"},
        {"gopher with one slash", b, "href=\"gopher:/x\"", "href=", "http://host/a/b/gopher:/x"},
        {"http with one slash", b, "href=\"http:/x\"", "href=", "http://host/a/b/http:/x"},
        {"https appended", b, "href=\"https://h/x.mp3\"",
         "href=", "http://host/a/b/https://h/x.mp3"},
        {"mailto appended", b, "href=\"mailto:a@b\"", "href=", "http://host/a/b/mailto:a@b"},
        {"www", b, "href=\"www.b/x.mp3\"", "href=", "http://www.b/x.mp3"},
        {"www2", b, "href=\"WWW2.b/x\"", "href=", "http://WWW2.b/x"},
        {"www3", b, "href=\"www3.b\"", "href=", "http://www3.b"},
        {"www without dot", b, "href=\"www\"", "href=", "http://host/a/b/www"},
        {"www4", b, "href=\"www4.b\"", "href=", "http://host/a/b/www4.b"},
        {"parent", b, "href=\"../x.mp3\"", "href=", "http://host/a/x.mp3"},
        {"grandparent", b, "href=\"../../x.mp3\"", "href=", "http://host/x.mp3"},
        {"parent after a name", b, "href=\"../a/../x\"", "href=", "http://host/./x"},
        {"above the top", b, "href=\"../../../../x\"", "href=", "http:/x"},
        {"far above the top", b, "href=\"../../../../../../../../x\"", "href=", "/x"},
        {"parent of a base without slash", "", "href=\"../x\"", "href=", "/x"},
        {"parent with later dots", b, "href=\"../x/..y\"", "href=", "http://host/a/x/..y"},
        {"root on a dotted server", ip, "href=\"/x.mp3\"", "href=", "http://10.0.0.1/x.mp3"},
        {"root on a server without dot", b, "href=\"/x.mp3\"", "href=", "/x.mp3"},
        {"root, dot but no slash after it", "http://host.com", "href=\"/x\"", "href=", "/x"},
        {"root, dot in the path", "http://host/a.b/c/", "href=\"/x\"",
         "href=", "http://host/a.b/x"},
        {"network path", ip, "href=\"//other/x.mp3\"", "href=", "http://10.0.0.1//other/x.mp3"},
        {"dot segment", b, "href=\"./x.mp3\"", "href=", "http://host/a/b/./x.mp3"},
        {"query only", b, "href=\"?q=1\"", "href=", "http://host/a/b/?q=1"},
        {"empty base", "", "href=\"x.mp3\"", "href=", "x.mp3"},
    };
    for (const auto& c : cases) {
        CheckResolve(c);
    }
}

TEST(ResolveReference, ValueMayBeTheBase) {
    CString value("http://host/a/");
    ResolveReference(value, "href=\"x.mp3\"", "href=", value);
    EXPECT_STREQ(value, "http://host/a/x.mp3");
}

TEST(ResolveReference, LongParentChainsAreResolvedWhole) {
    std::string tag = "href=\"";
    for (int i = 0; i < 40000; ++i) {
        tag += "../";
    }
    tag += "x.mp3\"";
    CString value;
    ResolveReference("http://host/a/b/", tag.c_str(), "href=", value);
    EXPECT_STREQ(value, "/x.mp3");

    // Every search succeeds far inside the value, so each drops three characters up to the last
    // "../": only "z" is left, and the base is used up.
    const std::string far = "href=\"../" + std::string(60000, 'y') + "../z\"";
    ResolveReference("http://host/a/b/", far.c_str(), "href=", value);
    EXPECT_STREQ(value, "/z");
}

// The parent rule step by step, as written: search, drop three, count (the failing search too),
// then cut the base at its last "/" that many times.
std::string ParentByTheLetter(std::string base, std::string v) {
    int count = 0;
    bool found = false;
    do {
        found = v.find("../") != std::string::npos;
        if (found) {
            v.erase(0, 3);
        }
        ++count;
    } while (found);
    for (int i = 0; i < count; ++i) {
        const size_t slash = base.rfind('/');
        base = slash == std::string::npos ? "" : base.substr(0, slash);
    }
    return base + "/" + v;
}

TEST(ResolveReference, ParentRuleMatchesTheStepByStepReading) {
    // "../" followed by every text of up to five characters from ".", "/" and "a".
    const char alphabet[] = {'.', '/', 'a'};
    const char* bases[] = {"http://host/a/b/", "http://host", "", "x/y"};
    int checked = 0;
    for (int length = 0; length <= 5; ++length) {
        int combinations = 1;
        for (int i = 0; i < length; ++i) {
            combinations *= 3;
        }
        for (int n = 0; n < combinations; ++n) {
            std::string v = "../";
            for (int i = 0, k = n; i < length; ++i, k /= 3) {
                v += alphabet[k % 3];
            }
            for (const char* base : bases) {
                SCOPED_TRACE("base \"" + std::string(base) + "\" value \"" + v + "\"");
                CString value;
                ResolveReference(base, ("href=\"" + v + "\"").c_str(), "href=", value);
                EXPECT_EQ(std::string(value), ParentByTheLetter(base, v));
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 4 * (1 + 3 + 9 + 27 + 81 + 243));
}

constexpr const char* kFails = nullptr;

TEST(ResolveCurrent, ResolvesAsBrowsersDo) {
    const char* rfc = "http://a/b/c/d;p?q";
    const char* b = "http://host/a/b.html";
    const struct {
        const char* base;
        const char* reference;
        const char* expected;  // kFails: false
    } cases[] = {
        // Resolution examples of the URI standard.
        {rfc, "g", "http://a/b/c/g"},
        {rfc, "./g", "http://a/b/c/g"},
        {rfc, "g/", "http://a/b/c/g/"},
        {rfc, "/g", "http://a/g"},
        {rfc, "//g", "http://g/"},
        {rfc, "?y", "http://a/b/c/d;p?y"},
        {rfc, "g?y", "http://a/b/c/g?y"},
        {rfc, "#s", "http://a/b/c/d;p?q"},
        {rfc, "g#s", "http://a/b/c/g"},
        {rfc, ";x", "http://a/b/c/;x"},
        {rfc, "", "http://a/b/c/d;p?q"},
        {rfc, ".", "http://a/b/c/"},
        {rfc, "..", "http://a/b/"},
        {rfc, "../g", "http://a/b/g"},
        {rfc, "../..", "http://a/"},
        {rfc, "../../../g", "http://a/g"},
        {rfc, "/./g", "http://a/g"},
        {rfc, "g.", "http://a/b/c/g."},
        {rfc, "..g", "http://a/b/c/..g"},
        {rfc, "./g/.", "http://a/b/c/g/"},
        {rfc, "g;x=1/../y", "http://a/b/c/y"},
        {rfc, "g?y/./x", "http://a/b/c/g?y/./x"},
        {rfc, "http:g", "http://a/b/c/g"},
        {rfc, "g:h", kFails},
        // Absolute addresses: scheme and host lower-cased, the path as it stands.
        {b, "HTTPS://Ex.COM:8443/A/./B.mp3", "https://ex.com:8443/A/B.mp3"},
        {b, "ftp://h/x.mp3", "ftp://h/x.mp3"},
        {b, "http://h:/x", "http://h/x"},
        {b, "http://user:pw@H/x", "http://user:pw@h/x"},
        {b, "http://[::1]:8080", "http://[::1]:8080/"},
        {"ftp://h/d/", "//other/x", "ftp://other/x"},
        {"http://localhost:8080/a/b", "/x", "http://localhost:8080/x"},
        {"http://localhost:8080/a/b", "x", "http://localhost:8080/a/x"},
        {"https://h", "x.mp3", "https://h/x.mp3"},
        // What a browser does to the text first.
        {b, " \t\r\n\f x.mp3 \n", "http://host/a/x.mp3"},
        {b, "my\t so\r\nng.mp3", "http://host/a/my%20song.mp3"},
        {b, "caf\xC3\xA9 \"<`{}>.mp3?q=a b'\"<>{}",
         "http://host/a/caf%C3%A9%20%22%3C%60%7B%7D%3E.mp3?q=a%20b%27%22%3C%3E{}"},
        {b, "a%20b%zz.mp3", "http://host/a/a%20b%zz.mp3"},
        {b, "..\\c\\d.mp3?x\\y", "http://host/c/d.mp3?x\\y"},
        {b, "%2e%2E/x/.%2e/y", "http://host/y"},
        {b, "HTTP:/x", "http://host/x"},
        {b, "https:h/x", "https://h/x"},
        // Nothing a crawl can fetch.
        {b, "mailto:a@b", kFails},
        {b, "JavaScript:go()", kFails},
        {b, "data:audio/mp3,x", kFails},
        {b, "file:///C:/x.mp3", kFails},
        {"", "x.mp3", kFails},
        {"file:///C:/x/", "x.mp3", kFails},
        {"page.html", "x.mp3", kFails},
        {"page.html", "http://h/x.mp3", "http://h/x.mp3"},
        {b, "http://", kFails},
        {b, "http:///x", "http://x/"},
        {b, "http://h:8x/", kFails},
        {b, "http://h:65536/", kFails},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.base) + " + " + c.reference);
        std::string out;
        const bool resolved = url_text::ResolveCurrent(c.base, c.reference, out);
        EXPECT_EQ(resolved, c.expected != kFails);
        if (resolved && c.expected != kFails) {
            EXPECT_EQ(out, c.expected);
        }
    }
}

TEST(ClassifyReference, SortsPagesAndFiles) {
    const struct {
        const char* url;
        int expected;
        const char* after;
    } cases[] = {
        {"", 0, ""},
        {"http://host/song.mp3?x=1", 1, "http://host/song.mp3?x=1"},
        {"http://10.0.0.1", 1, "http://10.0.0.1/"},
        {"http://10.0.0.1/music", 1, "http://10.0.0.1/music/"},
        {"http://host/music", 1, "http://host/music"},
        {"http://host/index.HTML", 1, "http://host/index.HTML"},
        {"http://host/song.MP3", 0, "http://host/song.MP3"},
        {"http://host/list.m3u", 0, "http://host/list.m3u"},
        {"http://h.x/a.htm", 1, "http://h.x/a.htm"},
        {"http://h.x/a.php", 1, "http://h.x/a.php"},
        {"http://h.x/a.PHP3", 1, "http://h.x/a.PHP3"},
        {"http://h.x/a.php4", 1, "http://h.x/a.php4"},
        {"http://h.x/a.Asp", 1, "http://h.x/a.Asp"},
        {"http://h.x/a.php5", 0, "http://h.x/a.php5"},
        {"http://h.x/a.aspx", 0, "http://h.x/a.aspx"},
        {"http://h.x/a.shtml", 0, "http://h.x/a.shtml"},
        {"http://h.x/a.", 0, "http://h.x/a."},
        {"http://h.x/dir/", 1, "http://h.x/dir/"},
        {"http://h.x/a.html/", 1, "http://h.x/a.html/"},
        {"http://h.x/a.b/c", 1, "http://h.x/a.b/c/"},
        {"http://h.x/dir\t \t", 1, "http://h.x/dir/"},
        {"x.mp3", 0, "x.mp3"},
        // No "://": a last "/" at position 1 reads as a server alone.
        {"a/b.c", 1, "a/b.c/"},
        {"/x.mp3", 0, "/x.mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        CString url(c.url);
        EXPECT_EQ(ClassifyReference(url), c.expected);
        EXPECT_STREQ(url, c.after);
    }
}

TEST(ClassifyReference, AskingAgainKeepsTheAnswer) {
    const struct {
        const char* url;
        const char* afterTwice;
    } cases[] = {
        {"http://10.0.0.1", "http://10.0.0.1/"},
        {"http://10.0.0.1/music", "http://10.0.0.1/music/"},
        {"http://h.x/d\t", "http://h.x/d/"},
        {"http://h.x/a.mp3", "http://h.x/a.mp3"},
        {"http://h.x/a.html", "http://h.x/a.html"},
        {"a/b.c", "a/b.c/"},
        // The first "/" appended completes a "://", which the second answer reads as a server.
        {"a.b/c:/\t", "a.b/c:///"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        CString url(c.url);
        const int first = ClassifyReference(url);
        EXPECT_EQ(ClassifyReference(url), first);
        EXPECT_STREQ(url, c.afterTwice);
    }
}

}  // namespace
