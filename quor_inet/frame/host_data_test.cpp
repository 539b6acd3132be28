// Natively against the members compiled in; on Windows the same cases go through the
// library's exports (tests/frame).
#include <gtest/gtest.h>

#include <cstring>

#include "quor_inet/include/quor_inet.h"

namespace {

Audio MakeAudio(const char* name, int32_t base) {
    Audio a;
    a.m_strName = name;
    for (int i = 0; i < 8; ++i) {
        a.m_anHead[i] = base + i;
    }
    a.m_byFlag = uint8_t(base);
    for (int i = 0; i < 13; ++i) {
        a.m_anTail[i] = -(base + i);
    }
    return a;
}

void ExpectSameAudio(const Audio& a, const Audio& b) {
    EXPECT_STREQ(a.m_strName, b.m_strName);
    EXPECT_EQ(0, std::memcmp(a.m_anHead, b.m_anHead, sizeof a.m_anHead));
    EXPECT_EQ(a.m_byFlag, b.m_byFlag);
    EXPECT_EQ(0, std::memcmp(a.m_anTail, b.m_anTail, sizeof a.m_anTail));
}

void FillToc(cTocInfo& t, const char* first, const char* second, int32_t base) {
    t.m_strFirst = first;
    t.m_strSecond = second;
    t.m_nFirst = base;
    t.m_nSecond = base + 1;
    for (int i = 0; i < 100; ++i) {
        t.m_anFirst[i] = base * 1000 + i;
        t.m_anSecond[i] = -(base * 1000 + i);
        t.m_abyFirst[i] = uint8_t(base + i);
    }
    std::memset(t.m_abySmall, base + 7, sizeof t.m_abySmall);
    std::memset(t.m_abyLast, base + 9, sizeof t.m_abyLast);
}

void ExpectSameToc(const cTocInfo& a, const cTocInfo& b) {
    EXPECT_STREQ(a.m_strFirst, b.m_strFirst);
    EXPECT_STREQ(a.m_strSecond, b.m_strSecond);
    EXPECT_EQ(a.m_nFirst, b.m_nFirst);
    EXPECT_EQ(a.m_nSecond, b.m_nSecond);
    // Everything after the strings, arrays included, is plain data.
    const size_t from = offsetof(cTocInfo, m_nFirst);
    const size_t to = offsetof(cTocInfo, m_abyLast) + sizeof a.m_abyLast;
    EXPECT_EQ(0, std::memcmp(reinterpret_cast<const char*>(&a) + from,
                             reinterpret_cast<const char*>(&b) + from, to - from));
}

DA MakeDA() {
    DA d;
    for (int i = 0; i < 13; ++i) {
        d.m_anHead[i] = 100 + i;
    }
    for (int i = 0; i < DA::kBlockSize; ++i) {
        d.m_abyBlock[i] = uint8_t(0xA0 ^ i);
    }
    d.m_nTail1 = -5;
    d.m_nTail2 = 0x7FFFFFFF;
    return d;
}

TEST(AudioMembers, CopyAssignAndSelfAssign) {
    const Audio source = MakeAudio("first take", 40);
    Audio copy(source);
    ExpectSameAudio(copy, source);

    Audio target = MakeAudio("something else entirely", 7);
    target = source;
    ExpectSameAudio(target, source);

    target.m_strName += " (edited)";
    target.m_anTail[12] = 1;
    EXPECT_STREQ(source.m_strName, "first take") << "the copy owns its own string";
    EXPECT_EQ(source.m_anTail[12], -52);

    Audio& same = target;
    const Audio before(target);
    EXPECT_EQ(&(target = same), &target);
    ExpectSameAudio(target, before);
}

TEST(TocInfoMembers, DefaultConstructionGivesEmptyStrings) {
    cTocInfo t;
    EXPECT_TRUE(t.m_strFirst.IsEmpty());
    EXPECT_TRUE(t.m_strSecond.IsEmpty());
}

TEST(TocInfoMembers, CopiesAreIndependent) {
    cTocInfo source;
    FillToc(source, "disc title", "performer", 3);
    cTocInfo copy(source);
    ExpectSameToc(copy, source);

    copy.m_anFirst[99] = 0;
    copy.m_anSecond[0] = 0;
    copy.m_abyFirst[50] = 0;
    copy.m_abySmall[9] = 0;
    copy.m_abyLast[19] = 0;
    copy.m_strFirst.SetAt(0, 'D');
    copy.m_strSecond = "other";
    EXPECT_EQ(source.m_anFirst[99], 3099);
    EXPECT_EQ(source.m_anSecond[0], -3000);
    EXPECT_EQ(source.m_abyFirst[50], 53);
    EXPECT_EQ(source.m_abySmall[9], 10);
    EXPECT_EQ(source.m_abyLast[19], 12);
    EXPECT_STREQ(source.m_strFirst, "disc title");
    EXPECT_STREQ(source.m_strSecond, "performer");
}

TEST(TocInfoMembers, AssignAndSelfAssign) {
    cTocInfo source;
    FillToc(source, "a", "b", 5);
    cTocInfo target;
    FillToc(target, "a much longer first string", "", 9);
    EXPECT_EQ(&(target = source), &target);
    ExpectSameToc(target, source);

    cTocInfo before(target);
    cTocInfo& same = target;
    target = same;
    ExpectSameToc(target, before);
}

TEST(DAMembers, ZeroKeepsTheBlock) {
    DA d = MakeDA();
    uint8_t block[DA::kBlockSize];
    std::memcpy(block, d.m_abyBlock, sizeof block);
    d.Zero();
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(d.m_anHead[i], 0) << "field " << i + 1;
    }
    EXPECT_EQ(d.m_nTail1, 0);
    EXPECT_EQ(d.m_nTail2, 0);
    EXPECT_EQ(0, std::memcmp(block, d.m_abyBlock, sizeof block));
}

TEST(DAMembers, AssignCopiesEverythingAndSurvivesSelfAssignment) {
    const DA source = MakeDA();
    DA target;
    std::memset(static_cast<void*>(&target), 0x55, sizeof target);
    EXPECT_EQ(&(target = source), &target);
    EXPECT_EQ(0, std::memcmp(&target, &source, sizeof(DA)));

    DA& same = target;
    target = same;
    EXPECT_EQ(0, std::memcmp(&target, &source, sizeof(DA)));
}

}  // namespace
