#pragma once
// Work done ahead of the one thread that needs its results, on a few threads of their own, so
// that the waits of several requests overlap. The needing thread asks for each result by its
// key in its own order; what nobody has started yet it takes back and does itself, so that
// nothing waits behind work that is needed later.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class AheadPool {
  public:
    using Work = std::function<void()>;

    // Works end early by a flag of their own (the search's Stop); the pool only starts them.
    explicit AheadPool(unsigned threads);
    // Drops what is queued and waits for what runs.
    ~AheadPool();
    AheadPool(const AheadPool&) = delete;
    AheadPool& operator=(const AheadPool&) = delete;

    // Queues work under key, to be started before every queued work of a higher order. False
    // (and nothing queued) when key is queued or running already.
    bool Queue(uint64_t order, const std::string& key, Work work);
    // Until key's work has run; meanwhile whileWaiting runs every few milliseconds. False when
    // key was never queued, nobody had started it yet (it is dropped) or its work ended by an
    // exception: the caller then does it itself.
    bool Take(const std::string& key, const std::function<void()>& whileWaiting = {});
    // Works queued, running or done and not taken yet.
    size_t Held() const;

  private:
    enum class State : uint8_t { kQueued, kRunning, kDone, kFailed };
    struct Item {
        uint64_t order = 0;
        Work work;
        State state = State::kQueued;
    };

    void Serve();
    // Runs item's work outside the lock; the lock is held again on return.
    void Run(std::unique_lock<std::mutex>& lock, Item& item);
    void StartThreadIfUseful();

    const unsigned m_maxThreads;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_closing = false;
    unsigned m_idle = 0;
    std::unordered_map<std::string, Item> m_items;
    std::map<uint64_t, std::string> m_queue;  // order -> key of every queued item
    std::vector<std::thread> m_threads;
};
