// A failure while copying a cTocInfo must not leak the string copied before it.
#include <gtest/gtest.h>

#include "afx/exceptions.h"
#include "afx/test_hooks.h"
#include "quor_inet/include/quor_inet.h"

namespace {

// Copying the second string fails at each allocation in turn; the first string must not leak
// (the leak checker of the sanitizer build reports it) and the source stays as it was.
TEST(TocInfoMembers, FailedSecondStringReleasesTheFirst) {
    cTocInfo source;
    source.m_strFirst = "first string";
    source.m_strSecond = "second string";
    source.m_nFirst = 1;
    int failures = 0;
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        AfxTestFailAllocation(n);
        bool threw = false;
        try {
            cTocInfo copy(source);
            EXPECT_STREQ(copy.m_strFirst, "first string");
            EXPECT_STREQ(copy.m_strSecond, "second string");
        } catch (CMemoryException* e) {
            e->Delete();
            threw = true;
        }
        const int left = AfxTestAllocationCountdown();
        AfxTestFailAllocation(0);
        if (!threw) {
            EXPECT_GT(left, 0) << "no failure was reported although the allocation failed";
            break;
        }
        ++failures;
    }
    EXPECT_EQ(failures, 2) << "one allocation per non-empty string";
    EXPECT_STREQ(source.m_strFirst, "first string");
    EXPECT_STREQ(source.m_strSecond, "second string");
}

}  // namespace
