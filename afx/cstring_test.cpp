#include "afx/cstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>

#include "afx/exceptions.h"
#include "afx/test_hooks.h"

namespace {

std::string S(const CString& s) {
    return std::string(s, size_t(s.GetLength()));
}

TEST(CString, EmptyIsNeverNull) {
    CString a, b(static_cast<const char*>(nullptr)), c("x", -5), d('z', 0), e(nullptr, 3);
    for (const CString* s : {&a, &b, &c, &d, &e}) {
        ASSERT_NE(static_cast<const char*>(*s), nullptr);
        EXPECT_STREQ(*s, "");
        EXPECT_TRUE(s->IsEmpty());
    }
    static_assert(sizeof(CString) == sizeof(void*));
}

TEST(CString, ConstructAssignCopyMove) {
    CString a("abc"), b("abcdef", 4), c('x', 3);
    EXPECT_EQ(S(a), "abc");
    EXPECT_EQ(S(b), "abcd");
    EXPECT_EQ(S(c), "xxx");
    CString d(a);
    d.SetAt(0, 'Z');
    EXPECT_EQ(S(a), "abc") << "copies do not share characters";
    CString e(std::move(d));
    EXPECT_EQ(S(e), "Zbc");
    EXPECT_TRUE(d.IsEmpty());
    const CString& alias = e;
    e = alias;  // self-assignment
    EXPECT_EQ(S(e), "Zbc");
    e = static_cast<const char*>(e) + 1;  // assignment from its own characters
    EXPECT_EQ(S(e), "bc");
    e.Empty();
    EXPECT_STREQ(e, "");
}

TEST(CString, SetAtOutOfRange) {
    CString s("ab");
    s.SetAt(2, 'x');
    s.SetAt(-1, 'x');
    EXPECT_EQ(S(s), "ab");
    CString empty;
    empty.SetAt(0, 'x');  // the shared empty text must stay untouched
    EXPECT_STREQ(CString(), "");
}

struct SubCase {
    const char* name;
    const char* text;
    int first;
    int count;  // INT_MIN: Mid(first) without a count
    const char* mid;
};

TEST(CString, MidClamps) {
    const SubCase cases[] = {
        {"plain", "abcdef", 1, 3, "bcd"},
        {"count past end", "abcdef", 4, 10, "ef"},
        {"huge count", "abcdef", 2, INT_MAX, "cdef"},
        {"negative count", "abcdef", 1, -1, ""},
        {"negative first", "abcdef", -3, 2, "ab"},
        {"first at end", "abcdef", 6, 2, ""},
        {"first past end", "abcdef", 60, 2, ""},
        {"zero count", "abcdef", 0, 0, ""},
        {"no count", "abcdef", 2, INT_MIN, "cdef"},
        {"no count, negative first", "abcdef", -1, INT_MIN, "abcdef"},
        {"no count, past end", "abcdef", 9, INT_MIN, ""},
        {"empty text", "", 0, 5, ""},
    };
    for (const SubCase& c : cases) {
        SCOPED_TRACE(c.name);
        CString s(c.text);
        CString got = c.count == INT_MIN ? s.Mid(c.first) : s.Mid(c.first, c.count);
        EXPECT_EQ(S(got), c.mid);
    }
}

TEST(CString, LeftClamps) {
    CString s("abcdef");
    const struct {
        int count;
        const char* left;
    } cases[] = {{0, ""},  {2, "ab"},    {6, "abcdef"}, {7, "abcdef"}, {INT_MAX, "abcdef"},
                 {-1, ""}, {INT_MIN, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(S(s.Left(c.count)), c.left);
    }
}

TEST(CString, FindFamily) {
    CString s("a/b/c.mp3?x=/");
    EXPECT_EQ(s.Find('/'), 1);
    EXPECT_EQ(s.Find('/', 2), 3);
    EXPECT_EQ(s.Find('/', -7), 1) << "a negative start counts from 0";
    EXPECT_EQ(s.Find('/', 13), -1);
    EXPECT_EQ(s.Find('/', 100), -1);
    EXPECT_EQ(s.Find('#'), -1);
    EXPECT_EQ(s.Find('\0'), -1);
    EXPECT_EQ(s.ReverseFind('/'), 12);
    EXPECT_EQ(s.ReverseFind('a'), 0);
    EXPECT_EQ(s.ReverseFind('#'), -1);
    EXPECT_EQ(CString().Find('a'), -1);
    EXPECT_EQ(CString().ReverseFind('a'), -1);
}

TEST(CString, TrimAndCase) {
    CString s(" \t\r\n\v\fa b \t\r\n\v\f");
    s.TrimRight();
    EXPECT_EQ(S(s), " \t\r\n\v\fa b");
    CString all("   ");
    all.TrimRight();
    EXPECT_TRUE(all.IsEmpty());
    CString e;
    e.TrimRight();
    EXPECT_STREQ(e, "");

    CString m("Mixed.MP3 \xC4\xE4");
    m.MakeLower();
    EXPECT_EQ(S(m), "mixed.mp3 \xC4\xE4") << "only ASCII letters change";
}

TEST(CString, CompareFamilies) {
    const struct {
        const char* a;
        const char* b;
        int exact;
        int noCase;
    } cases[] = {
        {"abc", "abc", 0, 0},     {"abc", "ABC", 1, 0},
        {"abc", "abd", -1, -1},   {"ab", "abc", -1, -1},
        {"abc", "ab", 1, 1},      {"", "", 0, 0},
        {"", "a", -1, -1},        {"HTTP://", "http://", -1, 0},
        {"a\xE9", "a\xC9", 1, 1},  // bytes past ASCII compare as unsigned values
        {"[", "a", -1, -1},        // '[' sits between 'Z' and 'a': folding to lower case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(CString(c.a).Compare(c.b), c.exact);
        EXPECT_EQ(CString(c.a).CompareNoCase(c.b), c.noCase);
    }
    EXPECT_EQ(CString("a").Compare(nullptr), 1);
    EXPECT_TRUE(CString("a") == "a");
    EXPECT_TRUE("a" == CString("a"));
    EXPECT_TRUE(CString("a") != CString("b"));
    EXPECT_FALSE(CString("a\0b", 3) == CString("a")) << "length counts in equality";
}

TEST(CString, FormatShortLongAndEmpty) {
    CString s;
    s.Format("Analysing page %u from %u at level %u\n%s", 3u, 10u, 1u, "http://h/");
    EXPECT_EQ(S(s), "Analysing page 3 from 10 at level 1\nhttp://h/");

    std::string big(5000, 'q');
    s.Format("<%s>", big.c_str());
    EXPECT_EQ(S(s), "<" + big + ">");
    EXPECT_EQ(s.GetLength(), 5002);

    s.Format("%0*d", 300, 7);
    EXPECT_EQ(s.GetLength(), 300);
    EXPECT_EQ(s.Mid(298), "07");

    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());

    // 64-bit and size conversions behave the same with every C runtime we build for.
    s.Format("%zu|%lld|%llu", size_t(12), -5LL, 18446744073709551615ULL);
    EXPECT_EQ(S(s), "12|-5|18446744073709551615");

    // The arguments may be the string's own characters.
    CString self("abc");
    self.Format("%s-%s", static_cast<const char*>(self), static_cast<const char*>(self));
    EXPECT_EQ(S(self), "abc-abc");
    std::string longSelf(1000, 'z');
    CString grow(longSelf.c_str());
    grow.Format("%s%s", static_cast<const char*>(grow), "!");
    EXPECT_EQ(S(grow), longSelf + "!");
}

TEST(CString, ConcatenationAndSelfAppend) {
    CString a("ab");
    a += a;
    EXPECT_EQ(S(a), "abab");
    a += static_cast<const char*>(a) + 2;  // from its own characters, reallocating
    EXPECT_EQ(S(a), "ababab");
    a += static_cast<const char*>(nullptr);
    EXPECT_EQ(S(a), "ababab");
    EXPECT_EQ(S(CString("x") + "y"), "xy");
    // Many small appends keep every character.
    CString many;
    for (int i = 0; i < 1000; ++i) {
        const char one[] = {char('a' + i % 26), '\0'};
        many += one;
    }
    EXPECT_EQ(many.GetLength(), 1000);
    EXPECT_EQ(static_cast<const char*>(many)[999], char('a' + 999 % 26));
}

TEST(CString, GetBufferReleaseBuffer) {
    CString s("abc");
    char* p = s.GetBuffer(10);
    EXPECT_STREQ(p, "abc") << "the buffer holds the text";
    strcpy(p, "0123456789");
    s.ReleaseBuffer();
    EXPECT_EQ(S(s), "0123456789");

    p = s.GetBuffer(0);
    p[3] = '\0';
    s.ReleaseBuffer();
    EXPECT_EQ(S(s), "012");

    // A caller that filled the whole buffer without a terminator: the length stops at the
    // buffer's end and the terminator is put back.
    CString t;
    p = t.GetBuffer(4);
    memcpy(p, "wxyz", 4);
    p[4] = 'Q';  // the byte GetBuffer reserves for the terminator
    t.ReleaseBuffer();
    EXPECT_EQ(S(t), "wxyz");
    EXPECT_EQ(static_cast<const char*>(t)[4], '\0');

    CString u;
    p = u.GetBuffer(8);
    memcpy(p, "abcdefgh", 8);
    u.ReleaseBuffer(1000);  // a length past the buffer is cut to the buffer
    EXPECT_EQ(S(u), "abcdefgh");
    u.ReleaseBuffer(2);
    EXPECT_EQ(S(u), "ab");

    CString w;
    w.GetBuffer(-5)[0] = '\0';
    w.ReleaseBuffer();
    EXPECT_TRUE(w.IsEmpty());
    CString never;
    never.ReleaseBuffer(5);  // no buffer handed out: nothing happens
    EXPECT_TRUE(never.IsEmpty());
}

TEST(CString, ReplaceCharacters) {
    CString s("a.b.c");
    EXPECT_EQ(s.Replace('.', '/'), 2);
    EXPECT_EQ(S(s), "a/b/c");
}

// Each allocation in turn fails: the call throws CMemoryException, the string it works on
// keeps its old text and nothing leaks (the sanitizer build checks the leaks).
TEST(CString, AllocationFailureKeepsTextAndLeaksNothing) {
    const struct {
        const char* name;
        void (*run)(CString&);
    } operations[] = {
        {"copy", [](CString& s) { CString c(s); }},
        {"append", [](CString& s) { s += "-a-long-enough-tail-to-reallocate"; }},
        {"concatenate", [](CString& s) { CString c = s + "-a-tail"; }},
        {"format", [](CString& s) { s.Format("%s%0400d", static_cast<const char*>(s), 1); }},
        {"mid", [](CString& s) { CString c = s.Mid(1, 4); }},
        {"get buffer", [](CString& s) { s.GetBuffer(500); }},
    };
    for (const auto& op : operations) {
        SCOPED_TRACE(op.name);
        bool completed = false;
        for (int n = 1; n <= 10 && !completed; ++n) {
            CString s("some text here");
            AfxTestFailAllocation(n);
            try {
                op.run(s);
                completed = AfxTestAllocationCountdown() > 0;
            } catch (CMemoryException* e) {
                e->Delete();
                EXPECT_EQ(S(s), "some text here") << "failure " << n;
            }
            AfxTestFailAllocation(0);
        }
        EXPECT_TRUE(completed) << "the operation never ran without a failure";
    }
}

TEST(CString, ImpossibleSizesThrowInsteadOfOverflowing) {
    CString s("abc");
    for (int size : {INT_MAX, INT_MAX - 1}) {
        bool threw = false;
        try {
            s.GetBuffer(size);
        } catch (CMemoryException* e) {
            e->Delete();
            threw = true;
        }
        EXPECT_TRUE(threw) << size;
        EXPECT_EQ(S(s), "abc");
    }
}

}  // namespace
