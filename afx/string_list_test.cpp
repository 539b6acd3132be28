#include "afx/string_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/exceptions.h"
#include "afx/test_hooks.h"

namespace {

std::vector<std::string> Items(const CStringList& list) {
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        out.emplace_back(list.GetNext(pos));
    }
    return out;
}

using V = std::vector<std::string>;

TEST(CStringList, AddWalkRemove) {
    CStringList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("b");
    list.AddTail(CString("c"));
    list.AddHead("a");
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(Items(list), (V{"a", "b", "c"}));
    EXPECT_EQ(list.GetHead(), "a");
    EXPECT_EQ(list.GetTail(), "c");

    std::vector<std::string> backwards;
    for (POSITION pos = list.GetTailPosition(); pos != nullptr;) {
        backwards.emplace_back(list.GetPrev(pos));
    }
    EXPECT_EQ(backwards, (V{"c", "b", "a"}));

    list.AddTail("b");
    POSITION first = list.Find("b");
    ASSERT_NE(first, nullptr);
    POSITION second = list.Find("b", first);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.Find("b", second), nullptr);
    EXPECT_EQ(list.Find("zz"), nullptr);

    list.GetAt(first) = "B";
    list.RemoveAt(second);
    EXPECT_EQ(Items(list), (V{"a", "B", "c"}));
    EXPECT_EQ(list.RemoveHead(), "a");
    EXPECT_EQ(list.RemoveTail(), "c");
    EXPECT_EQ(Items(list), (V{"B"}));
    list.RemoveAt(list.GetHeadPosition());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    EXPECT_TRUE(list.RemoveHead().IsEmpty()) << "removing from an empty list gives nothing";
}

TEST(CStringList, DuplicatesAndEmptyTextsStay) {
    CStringList list;
    list.AddTail("x");
    list.AddTail("");
    list.AddTail(nullptr);
    list.AddTail("x");
    EXPECT_EQ(Items(list), (V{"x", "", "", "x"}));
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    list.AddTail("again");
    EXPECT_EQ(Items(list), (V{"again"}));
}

TEST(CStringList, FailedAddLeavesListUnchanged) {
    CStringList list;
    list.AddTail("kept");
    AfxTestFailAllocation(1);
    bool threw = false;
    try {
        list.AddTail("lost");
    } catch (CMemoryException* e) {
        e->Delete();
        threw = true;
    }
    AfxTestFailAllocation(0);
    EXPECT_TRUE(threw);
    EXPECT_EQ(Items(list), (V{"kept"}));
    EXPECT_EQ(list.GetCount(), 1);
}

}  // namespace
