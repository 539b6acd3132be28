#include "afx/resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "afx/cstring.h"
#include "afx/message_box.h"
#include "afx/recording_message_box.h"

namespace {

// Ids far from anything a test program's own resources use.
constexpr unsigned kFirstOnly = 61001;
constexpr unsigned kBoth = 61002;
constexpr unsigned kMissing = 61099;

bool FirstTable(unsigned id, CString& text) {
    switch (id) {
        case kFirstOnly:
            text = "from the first table";
            return true;
        case kBoth:
            text = "first wins";
            return true;
        default:
            return false;
    }
}

bool SecondTable(unsigned id, CString& text) {
    if (id == kBoth || id == 0) {
        text = "second";
        return true;
    }
    return false;
}

class StringProviders : public testing::Test {
  protected:
    void SetUp() override {
        AfxAddStringProvider(FirstTable);
        AfxAddStringProvider(SecondTable);
        AfxAddStringProvider(FirstTable);  // a second registration changes nothing
    }
    void TearDown() override {
        AfxRemoveStringProvider(FirstTable);
        AfxRemoveStringProvider(SecondTable);
    }
};

TEST_F(StringProviders, LoadStringSearchesInOrder) {
    CString s("unchanged");
    EXPECT_NE(s.LoadString(kFirstOnly), 0);
    EXPECT_STREQ(s, "from the first table");
    EXPECT_NE(s.LoadString(kBoth), 0);
    EXPECT_STREQ(s, "first wins");

    s = "unchanged";
    EXPECT_EQ(s.LoadString(kMissing), 0);
    EXPECT_STREQ(s, "unchanged") << "a failed lookup keeps the text";
    EXPECT_EQ(s.LoadString(0), 0) << "id 0 is never found, whatever a provider says";

    AfxRemoveStringProvider(FirstTable);
    EXPECT_NE(s.LoadString(kBoth), 0);
    EXPECT_STREQ(s, "second");
    EXPECT_EQ(s.LoadString(kFirstOnly), 0);
}

TEST_F(StringProviders, MessageBoxById) {
    RecordingMessageBox boxes(IDOK);
    AfxMessageBox(kFirstOnly, MB_OK | MB_ICONINFORMATION);
    AfxMessageBox(kMissing);
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "from the first table");
    EXPECT_EQ(shown[0].type, 0x40u);
    EXPECT_EQ(shown[1].text, "");
}

TEST(ResourceModules, NullAndUnknownModulesAreHarmless) {
    AfxAddResourceModule(nullptr);
    AfxRemoveResourceModule(nullptr);
    AfxRemoveResourceModule(reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(AfxFindResourceHandle(reinterpret_cast<const char*>(uintptr_t(59999)),
                                    reinterpret_cast<const char*>(uintptr_t(6))),
              nullptr);
}

}  // namespace
