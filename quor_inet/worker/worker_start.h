#pragma once
// Starting the crawl worker the way every front end does it.

class CWinThread;

// Starts proc (CrawlThreadProc, or a front end's procedure that ends in it) on a thread of its
// own with startUrl, which must stay unchanged until the worker ends. The thread is noted in
// g_pSearchThread before the procedure runs: a worker that ends at once must find the marker
// set, or the search it clears would stay running for its front end. Returns the running
// thread for the caller to join and delete, or null (and nothing noted) when no thread could
// be started.
CWinThread* StartCrawlWorker(unsigned (*proc)(void*), const char* startUrl);
