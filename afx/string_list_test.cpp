#include "afx/string_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/exceptions.h"
#include "afx/test_hooks.h"

namespace {

std::vector<std::string> Items(CStringList& list) {
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        out.emplace_back(list.GetNext(pos));
    }
    return out;
}

using V = std::vector<std::string>;

TEST(CStringList, AddAndWalkInOrder) {
    CStringList list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("a");
    list.AddTail(CString("b"));
    list.AddTail("c");
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(Items(list), (V{"a", "b", "c"}));
    list.RemoveAll();
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
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
