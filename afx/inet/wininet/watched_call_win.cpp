#include "afx/inet/wininet/watched_call_win.h"

#include <windows.h>

#include <deque>
#include <memory>

#include "afx/inet/transfer_guard.h"

namespace afx::inet {

namespace {

// How long a pool thread waits for new work before it ends.
constexpr DWORD kIdleExitMs = 3000;

struct Job {
    std::function<void()> call;
    bool done = false;
};

// Slim locks and condition variables: a hand-over costs a fraction of what events do under
// Wine, and a call is handed over for every wait of a watched transfer.
struct Pool {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;      // pool threads wait for jobs
    CONDITION_VARIABLE finished = CONDITION_VARIABLE_INIT;  // callers wait for their job
    std::deque<std::shared_ptr<Job>> queue;
    int idle = 0;
};

// Never destroyed: a pool thread may still be leaving when the module's statics go.
Pool& ThePool() {
    static Pool* pool = new Pool;
    return *pool;
}

DWORD WINAPI PoolThread(void* module) {
    Pool& pool = ThePool();
    AcquireSRWLockExclusive(&pool.lock);
    for (;;) {
        while (pool.queue.empty()) {
            ++pool.idle;
            const BOOL woken = SleepConditionVariableSRW(&pool.work, &pool.lock, kIdleExitMs, 0);
            --pool.idle;
            if (!woken && pool.queue.empty()) {
                ReleaseSRWLockExclusive(&pool.lock);
                if (module != nullptr) {
                    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
                }
                return 0;
            }
        }
        std::shared_ptr<Job> job = std::move(pool.queue.front());
        pool.queue.pop_front();
        ReleaseSRWLockExclusive(&pool.lock);
        try {
            job->call();
        } catch (...) {
        }
        AcquireSRWLockExclusive(&pool.lock);
        job->done = true;
        job->call = nullptr;  // what the call held goes now, not with the caller
        WakeAllConditionVariable(&pool.finished);
    }
}

// A new pool thread with its own reference on this module (none for the program itself,
// which cannot be unloaded).
bool StartPoolThread() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<const char*>(&PoolThread), &module)) {
        return false;
    }
    if (module == GetModuleHandleA(nullptr)) {
        FreeLibrary(module);
        module = nullptr;
    }
    HANDLE thread = CreateThread(nullptr, 0, PoolThread, module, 0, nullptr);
    if (thread == nullptr) {
        if (module != nullptr) {
            FreeLibrary(module);
        }
        return false;
    }
    CloseHandle(thread);
    return true;
}

}  // namespace

bool RunWatched(TransferGuard& guard, std::function<void()> call,
                const std::function<void()>& onAbandon, uint32_t& verdictOut) {
    verdictOut = guard.Verdict();
    if (verdictOut != 0) {
        return false;
    }
    auto job = std::make_shared<Job>();
    job->call = std::move(call);
    Pool& pool = ThePool();
    AcquireSRWLockExclusive(&pool.lock);
    pool.queue.push_back(job);
    const bool enoughIdle = pool.idle >= static_cast<int>(pool.queue.size());
    if (enoughIdle) {
        WakeConditionVariable(&pool.work);
    } else if (!StartPoolThread()) {
        pool.queue.pop_back();
        ReleaseSRWLockExclusive(&pool.lock);
        job->call();
        return true;
    }
    while (!job->done) {
        SleepConditionVariableSRW(&pool.finished, &pool.lock, kGuardPollMs, 0);
        if (job->done) {
            break;
        }
        ReleaseSRWLockExclusive(&pool.lock);
        verdictOut = guard.Verdict();
        AcquireSRWLockExclusive(&pool.lock);
        if (verdictOut != 0 && !job->done) {
            // Not begun yet: it need not run at all.
            for (auto it = pool.queue.begin(); it != pool.queue.end(); ++it) {
                if (*it == job) {
                    pool.queue.erase(it);
                    break;
                }
            }
            ReleaseSRWLockExclusive(&pool.lock);
            if (onAbandon) {
                onAbandon();
            }
            return false;
        }
    }
    ReleaseSRWLockExclusive(&pool.lock);
    return true;
}

}  // namespace afx::inet
