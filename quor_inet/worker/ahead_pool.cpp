#include "quor_inet/worker/ahead_pool.h"

#include <chrono>
#include <new>
#include <system_error>

namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(50);

}  // namespace

AheadPool::AheadPool(unsigned threads) : m_maxThreads(threads) {}

AheadPool::~AheadPool() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

bool AheadPool::Queue(uint64_t order, const std::string& key, Work work) {
    std::lock_guard lock(m_mutex);
    if (m_closing || m_items.count(key) != 0 || m_queue.count(order) != 0) {
        return false;
    }
    Item& item = m_items[key];
    item.order = order;
    item.work = std::move(work);
    try {
        m_queue.emplace(order, key);
    } catch (...) {
        m_items.erase(key);
        throw;
    }
    StartThreadIfUseful();
    m_changed.notify_one();
    return true;
}

void AheadPool::StartThreadIfUseful() {
    if (m_idle > 0 || m_threads.size() >= m_maxThreads) {
        return;
    }
    // Without another thread the waiting thread does the work itself.
    try {
        m_threads.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
}

void AheadPool::Run(std::unique_lock<std::mutex>& lock, Item& item) {
    item.state = State::kRunning;
    Work work = std::move(item.work);
    lock.unlock();
    bool ok = true;
    try {
        work();
    } catch (...) {
        ok = false;
    }
    lock.lock();
    item.state = ok ? State::kDone : State::kFailed;
    m_changed.notify_all();
}

void AheadPool::Serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_changed.wait(lock, [this] { return m_closing || !m_queue.empty(); });
        --m_idle;
        if (m_closing) {
            return;
        }
        const auto next = m_queue.begin();
        Item& item = m_items.at(next->second);
        m_queue.erase(next);
        Run(lock, item);
    }
}

bool AheadPool::Take(const std::string& key, const std::function<void()>& whileWaiting) {
    std::unique_lock lock(m_mutex);
    const auto found = m_items.find(key);
    if (found == m_items.end()) {
        return false;
    }
    Item& item = found->second;
    if (item.state == State::kQueued) {
        // Nobody has started it: the caller does it in its own way.
        m_queue.erase(item.order);
        m_items.erase(found);
        return false;
    }
    while (item.state == State::kRunning) {
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
            if (item.state != State::kRunning) {
                break;
            }
        }
        m_changed.wait_for(lock, kWaitSlice);
    }
    const bool done = item.state == State::kDone;
    m_items.erase(found);
    return done;
}

size_t AheadPool::Held() const {
    std::lock_guard lock(m_mutex);
    return m_items.size();
}
