#include "quor_inet/crawler/reference_scanner.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

Strings ToVector(CStringList& list) {
    Strings out;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        out.emplace_back(list.GetNext(pos));
    }
    return out;
}

struct Found {
    Strings pages;
    Strings files;
};

Found Scan(const CString& text, const char* base = "http://host/dir/",
           WebRules rules = WebRules::kClassic) {
    CStringList pages;
    CStringList files;
    ScanPageReferences(text, base, pages, files, rules);
    return {ToVector(pages), ToVector(files)};
}

struct ScanCase {
    const char* name;
    const char* text;
    Strings pages;
    Strings files;
};

void CheckCases(const std::vector<ScanCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Found found = Scan(c.text);
        EXPECT_EQ(found.pages, c.pages) << "text: " << c.text;
        EXPECT_EQ(found.files, c.files) << "text: " << c.text;
    }
}

TEST(ScanPageReferences, TagsAndTheirKeywords) {
    CheckCases({
        {"empty", "", {}, {}},
        {"one character", "<", {}, {}},
        {"two characters", "<>", {}, {}},
        {"text only", "no tags here", {}, {}},
        {"file", "<a href=\"song.mp3\">", {}, {"http://host/dir/song.mp3"}},
        {"page", "<a href=\"next.html\">", {"http://host/dir/next.html"}, {}},
        {"upper case tag", "<A HREF=\"x.html\">", {"http://host/dir/x.html"}, {}},
        {"mixed case keyword", "<a Href=\"x.html\">", {}, {}},
        {"area", "<area shape=\"r\" href=\"m.wav\">", {}, {"http://host/dir/m.wav"}},
        {"body", "<body background=\"bg.gif\">", {}, {"http://host/dir/bg.gif"}},
        {"table", "<TABLE BACKGROUND=\"t.jpg\">", {}, {"http://host/dir/t.jpg"}},
        {"td", "<td background=\"c.png\">", {}, {"http://host/dir/c.png"}},
        {"meta",
         "<meta http-equiv=\"refresh\" content=\"0; url=next.html\">",
         {"http://host/dir/ext.html"},
         {}},
        {"img", "<img src=\"p.jpg\">", {}, {"http://host/dir/p.jpg"}},
        {"frame", "<frame src=\"f.htm\">", {"http://host/dir/f.htm"}, {}},
        {"iframe", "<iframe src=\"x.html\">", {}, {}},
        {"img keyword of another tag", "<img href=\"x.mp3\">", {}, {}},
        {"line break after name", "<a\nhref=\"x.html\">", {}, {}},
        {"tab after name", "<a\thref=\"x.html\">", {}, {}},
        {"name up to the blank", "<a\nhref=\"x.html\" target=\"top\">", {}, {}},
        {"blank right after <", "< a href=\"x.html\">", {}, {}},
        {"comment", "<!-- <a href=\"x.mp3\"> -->", {}, {}},
        {"twice",
         "<a href=\"s.mp3\"><a href=\"s.mp3\">",
         {},
         {"http://host/dir/s.mp3", "http://host/dir/s.mp3"}},
        {"server alone gets a slash", "<a href=\"http://10.0.0.1\">", {"http://10.0.0.1/"}, {}},
        {"query is a page", "<a href=\"list.m3u?x=1\">", {"http://host/dir/list.m3u?x=1"}, {}},
        {"no dot at all is a page", "<a href=\"music\">", {"http://host/dir/music"}, {}},
        {"fragment only", "<a href=\"#top\">", {}, {}},
        {"unterminated tag", "<a href=\"x.mp3\"", {}, {}},
        {"> inside a value", "<a href=\"a>b.mp3\">", {}, {}},
        {"< inside a tag", "<b <a href=\"x.mp3\">", {}, {}},
        {"tag text of a nameless tag", "<a>href=\"x.mp3\"</a>", {}, {}},
        {"tag at the very end", "text <a href=\"e.mp3\">", {}, {"http://host/dir/e.mp3"}},
        {"closing > is the first char", "><a href=\"x.mp3\">", {}, {"http://host/dir/x.mp3"}},
        {"order kept across lists",
         "<a href=\"1.html\"><img src=\"2.mp3\"><a href=\"3.htm\"><a href=\"4.wav\">",
         {"http://host/dir/1.html", "http://host/dir/3.htm"},
         {"http://host/dir/2.mp3", "http://host/dir/4.wav"}},
    });
}

TEST(ScanPageReferences, NavigationMenus) {
    const char* options = "<option value=\"a.html\"><option value=\"b.mp3\">";
    const Strings menuPages = {"http://host/dir/a.html"};
    const Strings menuFiles = {"http://host/dir/b.mp3"};
    const auto menu = [&](const char* before) { return std::string(before) + options; };
    const std::vector<std::pair<std::string, bool>> cases = {
        {menu("<select name=\"m\" onChange=\"go(this)\">"), true},
        {menu("<select name=\"m\" onchange=\"go(this)\">"), false},
        {menu("<select name=\"m\" ONCHANGE=\"go(this)\">"), false},
        {menu("<select name=\"m\">"), false},
        {menu(""), false},
        {menu("<SELECT onChange=\"go()\">"), true},
        // Tags without a blank change nothing.
        {menu("<select onChange=\"go()\"></select><option><br><select>"), true},
        {menu("<select onChange=\"go()\">< a href=\"x\">"), true},
        // Any other named tag ends the menu.
        {menu("<select onChange=\"go()\"><p class=\"x\">"), false},
        {menu("<select onChange=\"go()\"><br />"), false},
        {menu("<select onChange=\"go()\"><a\nhref=\"x.html\" target=\"top\">"), false},
        {menu("<select onChange=\"go()\"><iframe src=\"i\">"), false},
        // Known tags with a keyword leave the state as it was.
        {menu("<select onChange=\"go()\"><a href=\"c.html\">"), true},
        // A later select decides anew.
        {menu("<select onChange=\"go()\"><select name=\"n\">"), false},
        {menu("<select name=\"n\"><select onChange=\"go()\">"), true},
        // The handler's name is looked for anywhere in the tag text.
        {menu("<select title=\"onChange\">"), true},
    };
    for (const auto& [text, isMenu] : cases) {
        SCOPED_TRACE(text);
        const Found found = Scan(text.c_str());
        Strings pages = found.pages;
        // A link between select and options is reported as well; keep only the options'.
        std::erase(pages, "http://host/dir/c.html");
        EXPECT_EQ(pages, isMenu ? menuPages : Strings{});
        EXPECT_EQ(found.files, isMenu ? menuFiles : Strings{});
    }
}

TEST(ScanPageReferences, AppendsToTheListsAndReadsToTheFirstZeroByte) {
    CStringList pages;
    CStringList files;
    pages.AddTail("kept page");
    files.AddTail("kept file");
    const CString text("<a href=\"a.mp3\">\0<a href=\"b.mp3\">", 33);
    ScanPageReferences(text, "http://host/dir/", pages, files);
    EXPECT_EQ(ToVector(pages), Strings({"kept page"}));
    EXPECT_EQ(ToVector(files), Strings({"kept file", "http://host/dir/a.mp3"}));
}

TEST(ScanPageReferences, BaseIsUsedAsGiven) {
    EXPECT_EQ(Scan("<a href=\"/x.mp3\">", "http://10.0.0.1/a/").files,
              Strings({"http://10.0.0.1/x.mp3"}));
    EXPECT_EQ(Scan("<a href=\"/x.mp3\">", "http://host/a/").files, Strings({"/x.mp3"}));
    EXPECT_EQ(Scan("<a href=\"../x.mp3\">", "http://host/a/b/").files,
              Strings({"http://host/a/x.mp3"}));
    EXPECT_EQ(Scan("<a href=\"music\">", "http://10.0.0.1/").pages,
              Strings({"http://10.0.0.1/music/"}));
    EXPECT_EQ(Scan("<a href=\"x.mp3\">", "").files, Strings({"x.mp3"}));
}

TEST(ScanPageReferences, WholePageAtTheSizeLimit) {
    std::string page;
    int links = 0;
    while (page.size() < 128 * 1024 - 100) {
        page += "<p class=\"c\">text <a href=\"f" + std::to_string(links) + ".mp3\">";
        page += "<a href=\"p" + std::to_string(links) + ".html\"><br>\n";
        ++links;
    }
    const Found found = Scan(page.c_str());
    ASSERT_EQ(found.files.size(), size_t(links));
    ASSERT_EQ(found.pages.size(), size_t(links));
    EXPECT_EQ(found.files.back(), "http://host/dir/f" + std::to_string(links - 1) + ".mp3");
    EXPECT_EQ(found.pages.front(), "http://host/dir/p0.html");
}

TEST(ScanPageReferences, HugeTagsYieldWhatTheyHold) {
    // One tag the size of a page: an unterminated value, then a value of many "../".
    const std::string open = "<a href=\"" + std::string(128 * 1024, 'x');
    EXPECT_TRUE(Scan(open.c_str()).files.empty());
    std::string climb = "<a href=\"";
    for (int i = 0; i < 40000; ++i) {
        climb += "../";
    }
    climb += "x.mp3\">";
    EXPECT_EQ(Scan(climb.c_str()).files, Strings({"/x.mp3"}));
    // Many "<" without a ">".
    EXPECT_TRUE(Scan(std::string(128 * 1024, '<').c_str()).files.empty());
    // Many nameless tags.
    std::string empty;
    for (int i = 0; i < 40000; ++i) {
        empty += "<>";
    }
    EXPECT_TRUE(Scan((empty + "<a href=\"z.mp3\">").c_str()).files.size() == 1);
}

TEST(ScanPageReferences, CurrentRulesReadMarkupAsBrowsersDo) {
    const std::string d = "http://host/dir/";
    const std::vector<ScanCase> cases = {
        {"kept tags",
         "<a href=\"1.html\"><AREA HREF=2.mp3><body background='b.gif'><table background=t.jpg>"
         "<td background=\"c.png\"><img src=\"p.jpg\"><frame src=\"f.htm\">",
         {d + "1.html", d + "f.htm"},
         {d + "2.mp3", d + "b.gif", d + "t.jpg", d + "c.png", d + "p.jpg"}},
        {"media tags",
         "<audio src=\"a.mp3\"><source src=\"s.wma\" type=\"audio/x-ms-wma\"><embed src=e.wav>"
         "<iframe src=\"i.html\">",
         {d + "i.html"},
         {d + "a.mp3", d + "s.wma", d + "e.wav"}},
        {"attribute name in any case, first one wins",
         "<a HrEf=\"x.mp3\" href=\"y.mp3\">",
         {},
         {d + "x.mp3"}},
        {"white space and slashes around names and =",
         "<a\n\thref = \"x.mp3\"/><img/src=y.mp3>",
         {},
         {d + "x.mp3", d + "y.mp3"}},
        {"> inside quotes", "<a title=\"a>b\" href='c>d.mp3'>", {}, {d + "c%3Ed.mp3"}},
        {"unquoted value ends at >", "<a href=x.mp3>text", {}, {d + "x.mp3"}},
        {"valueless attributes", "<a download href=\"x.mp3\" hidden>", {}, {d + "x.mp3"}},
        {"href without value", "<a href>", {"http://host/dir/page.html"}, {}},
        {"character references",
         "<a href=\"a.php?x=1&amp;y=2&#38;z=&#x33;&quot;&#39;&lt;&gt;&unknown;&amp\">",
         {d + "a.php?x=1&y=2&z=3%22%27%3C%3E&unknown;&amp"},
         {}},
        {"reference beyond ASCII", "<a href=\"caf&#233;.mp3\">", {}, {d + "caf%C3%A9.mp3"}},
        {"fragment of the page", "<a href=\"#top\">", {"http://host/dir/page.html"}, {}},
        {"other schemes", "<a href=\"mailto:a@b\"><a href=\"javascript:go()\">", {}, {}},
        {"root and scheme-relative",
         "<a href=\"/x.mp3\"><a href=\"//cdn.example/y.mp3\"><a href=\"https://h/z.mp3\">",
         {},
         {"http://host/x.mp3", "http://cdn.example/y.mp3", "https://h/z.mp3"}},
        {"comments skipped whole",
         "<!-- <a href=\"x.mp3\"> -- > --><a href=\"y.mp3\"><!--><a href=\"z.mp3\">",
         {},
         {d + "y.mp3", d + "z.mp3"}},
        {"unclosed comment", "<!-- <a href=\"x.mp3\">", {}, {}},
        {"script and style skipped",
         "<script>document.write('<a href=\"x.mp3\">')</script><a href=\"y.mp3\">"
         "<STYLE type=\"text/css\">a{}<a href=\"z.mp3\"></style ><a href=\"w.mp3\">",
         {},
         {d + "y.mp3", d + "w.mp3"}},
        {"script end needs its whole name",
         "<script>'</scripts><a href=\"x.mp3\">'</script><a href=\"y.mp3\">",
         {},
         {d + "y.mp3"}},
        {"unclosed script", "<script><a href=\"x.mp3\">", {}, {}},
        {"end tags, declarations and text",
         "<!DOCTYPE html><?xml x?></a href=\"x.mp3\">a < b <1 <a href=\"y.mp3\">",
         {},
         {d + "y.mp3"}},
        {"unterminated tag", "<a href=\"x.mp3\"", {}, {}},
        {"unterminated quote", "<a title=\"x><a href=\"y.mp3\">", {}, {}},
        {"base for what follows",
         "<a href=\"a.mp3\"><base href=\"/other/\"><a href=\"b.mp3\"><base href=\"/no/\">"
         "<a href=\"c.mp3\">",
         {},
         {d + "a.mp3", "http://host/other/b.mp3", "http://host/other/c.mp3"}},
        {"absolute base", "<base href=\"https://cdn.example/m/\"><img src=\"x.mp3\">", {},
         {"https://cdn.example/m/x.mp3"}},
        {"failing first base keeps the page's",
         "<base href=\"mailto:x\"><base href=\"/other/\"><a href=\"b.mp3\">",
         {},
         {d + "b.mp3"}},
        {"refresh",
         "<meta http-equiv=\"Refresh\" content=\"5; url=next.html\">"
         "<META HTTP-EQUIV=refresh CONTENT=\"0;URL='q.html'\">"
         "<meta http-equiv=\"refresh\" content='1, URL = \"r.html\" '>"
         "<meta http-equiv=\"refresh\" content=\"2; s.html\">",
         {d + "next.html", d + "q.html", d + "r.html", d + "s.html"},
         {}},
        {"refresh to the page itself or nowhere",
         "<meta http-equiv=\"refresh\" content=\"5\">"
         "<meta http-equiv=\"refresh\" content=\"url=x.html\">"
         "<meta name=\"x\" content=\"0; url=y.html\">"
         "<meta property=\"og:url\" content=\"http://h/z.html\">",
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Found found = Scan(c.text, "http://host/dir/page.html", WebRules::kCurrent);
        EXPECT_EQ(found.pages, c.pages) << "text: " << c.text;
        EXPECT_EQ(found.files, c.files) << "text: " << c.text;
    }
}

TEST(ScanPageReferences, CurrentRulesKeepTheNavigationMenuRule) {
    const char* options = "<option value=\"a.html\"><option VALUE='b.mp3'>";
    const std::vector<std::pair<std::string, bool>> cases = {
        {"<select name=\"m\" onChange=\"go(this)\">", true},
        {"<select ONCHANGE=go(this)>", true},
        {"<select name=\"m\">", false},
        {"", false},
        {"<select onchange=\"go()\"><p>", false},
        {"<select onchange=\"go()\"></select><!-- x --><a href=\"c.html\">", true},
        {"<select onchange=\"go()\"><select>", false},
        {"<select title=\"onChange\">", false},
    };
    for (const auto& [before, isMenu] : cases) {
        SCOPED_TRACE(before);
        const Found found =
            Scan((before + options).c_str(), "http://host/dir/", WebRules::kCurrent);
        Strings pages = found.pages;
        std::erase(pages, "http://host/dir/c.html");
        EXPECT_EQ(pages, isMenu ? Strings{"http://host/dir/a.html"} : Strings{});
        EXPECT_EQ(found.files, isMenu ? Strings{"http://host/dir/b.mp3"} : Strings{});
    }
}

TEST(ScanPageReferences, CurrentRulesStayLinearOnHugeMarkup) {
    const auto current = [](const std::string& text) {
        return Scan(text.c_str(), "http://host/dir/", WebRules::kCurrent);
    };
    std::string many;
    for (int i = 0; i < 20000; ++i) {
        many += "<a x <b </c <!- <script";
    }
    EXPECT_TRUE(current(many).files.empty());
    std::string comments;
    for (int i = 0; i < 20000; ++i) {
        comments += "<!-- -- <a href=\"x.mp3\"> --><style></styl></s>";
    }
    EXPECT_TRUE(current(comments).files.empty());
    EXPECT_EQ(current(std::string(128 * 1024, '<') + "<a href=\"z.mp3\">").files,
              Strings({"http://host/dir/z.mp3"}));
}

}  // namespace
