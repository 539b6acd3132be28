#include "quor_inet/state/search_state.h"

// Constant-initialized, so they hold their values before any code of the library runs.
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(std::atomic<CWinThread*>::is_always_lock_free);

std::atomic<int32_t> g_bAnyServer{kDefaultAnyServer};
std::atomic<int32_t> g_bReadID3{kDefaultReadID3};
std::atomic<int32_t> g_nSearchConnections{kDefaultSearchConnections};
std::atomic<int32_t> g_nMaxLevel{kDefaultMaxLevel};
std::atomic<int32_t> g_nCurrentWeb{kDefaultCurrentWeb};

std::atomic<CInternetSearchDlg*> g_pSearchDlg{nullptr};
std::atomic<SearchView*> g_pSearchView{nullptr};
std::atomic<CWinThread*> g_pSearchThread{nullptr};
std::atomic<int32_t> g_bStopSearch{0};

CString& g_strSearchUrl() {
    static CString url;
    return url;
}
