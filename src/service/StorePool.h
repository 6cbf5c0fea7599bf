#pragma once

#include "service/Store.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace service {

// A few database connections, each with its own worker thread, taking jobs from
// one queue. The network threads hand every database call to it, so a slow
// query holds up one worker, never the TLS traffic of other connections.
class StorePool
{
public:
    using Job = std::function<void(Store &)>;

    // Opens every connection at once (throws when one cannot be opened), then starts the workers.
    StorePool(int workers, const std::function<std::unique_ptr<Store>()> &open);
    // Drops the jobs not yet started and waits for the running ones.
    ~StorePool();
    StorePool(const StorePool &) = delete;
    StorePool &operator=(const StorePool &) = delete;

    // May be called from any thread. A job must not throw.
    void post(Job job);

private:
    void work(Store &store);

    std::vector<std::unique_ptr<Store>> m_stores;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
};

} // namespace service
