#include "quor_inet/worker/worker_start.h"

#include "afx/thread.h"
#include "quor_inet/state/search_state.h"

CWinThread* StartCrawlWorker(unsigned (*proc)(void*), const char* startUrl) {
    CWinThread* worker = AfxBeginThread(proc, const_cast<char*>(startUrl), true);
    if (worker == nullptr) {
        return nullptr;
    }
    g_pSearchThread = worker;
    worker->ResumeThread();
    return worker;
}
