#include "quor_inet/state/search_state.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

struct Snapshot {
    int32_t anyServer;
    int32_t readId3;
    int32_t maxLevel;
    int32_t stopSearch;
    CInternetSearchDlg* dialog;
    CWinThread* thread;
};

Snapshot Take() {
    return {g_bAnyServer.load(),  g_bReadID3.load(),   g_nMaxLevel.load(),
            g_bStopSearch.load(), g_pSearchDlg.load(), g_pSearchThread.load()};
}

// Taken while the program starts, before any test (in any order) can touch the values.
const Snapshot kAtLoad = Take();

TEST(SearchState, DefaultsBeforeAnythingRan) {
    EXPECT_EQ(kAtLoad.anyServer, 1);
    EXPECT_EQ(kAtLoad.readId3, 1);
    EXPECT_EQ(kAtLoad.maxLevel, 2);
    EXPECT_EQ(kAtLoad.stopSearch, 0);
    EXPECT_EQ(kAtLoad.dialog, nullptr);
    EXPECT_EQ(kAtLoad.thread, nullptr);
}

TEST(SearchState, SearchUrlIsOneLastingString) {
    CString& url = g_strSearchUrl();
    EXPECT_TRUE(url.IsEmpty());
    url = "http://host/";
    EXPECT_EQ(&g_strSearchUrl(), &url);
    EXPECT_STREQ(g_strSearchUrl(), "http://host/");
    url.Empty();
}

}  // namespace
