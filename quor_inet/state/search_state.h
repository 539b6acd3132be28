#pragma once

#include <atomic>
#include <cstdint>

#include "afx/cstring.h"
#include "quor_inet/state/web_rules.h"

class CInternetSearchDlg;
class CWinThread;
class SearchView;

// The search settings and the search state shared by the dialog's thread and the crawl worker.
// Each is one 32-bit value (or pointer) read anew at every use, so a change made on one thread
// is seen whole by the other at its next read; there are no locks.

// Settings, held for the library's whole life; they start at their defaults.
extern std::atomic<int32_t> g_bAnyServer;  // 1: follow any server; 0: the start server only
extern std::atomic<int32_t> g_bReadID3;    // 1: read tag and playing time of found MP3 files
extern std::atomic<int32_t> g_nMaxLevel;   // crawl depth; the dialog's slider offers 0 to 8
// 0: the classic rules; 1: the current web's (web_rules.h). Stored after the four above.
extern std::atomic<int32_t> g_nCurrentWeb;

// Requests a search has under way at once on a server (pages and files read ahead while the
// worker works through what came, like a browser's connections per server); 1: one after the
// other. Not stored.
extern std::atomic<int32_t> g_nSearchConnections;
inline constexpr int32_t kDefaultSearchConnections = 6;

inline constexpr int32_t kDefaultAnyServer = 1;
inline constexpr int32_t kDefaultReadID3 = 1;
inline constexpr int32_t kDefaultMaxLevel = 2;
inline constexpr int32_t kDefaultCurrentWeb = 0;

// Where the settings live in the settings store.
inline constexpr const char kSettingsSection[] = "Internet";
inline constexpr const char kKeyUrl[] = "url";
inline constexpr const char kKeyAnyServer[] = "AnyServer";
inline constexpr const char kKeyReadID3[] = "ReadID3";
inline constexpr const char kKeyMaxLevel[] = "MaxLevel";
inline constexpr const char kKeyCurrentWeb[] = "CurrentWeb";

// The rules the next search or download follows, from g_nCurrentWeb.
inline WebRules SearchWebRules() {
    return WebRulesOf(g_nCurrentWeb.load());
}

// The open search dialog; set when its window is created, never cleared.
extern std::atomic<CInternetSearchDlg*> g_pSearchDlg;
// What the worker and the found-files list show their progress in: the open dialog's view,
// set with g_pSearchDlg (or a front end's own view where there is no dialog).
extern std::atomic<SearchView*> g_pSearchView;
// Non-null exactly while a search runs: set by the dialog when it starts the worker, cleared by
// the worker when it ends.
extern std::atomic<CWinThread*> g_pSearchThread;
// 1 asks the running worker (and the page fetch under it) to end.
extern std::atomic<int32_t> g_bStopSearch;

// The normalized start address of the latest search: made on first use, kept until the library
// is unloaded, written by the dialog's thread only while no search runs.
CString& g_strSearchUrl();
