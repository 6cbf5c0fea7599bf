#include "service/StorePool.h"

namespace service {

StorePool::StorePool(int workers, const std::function<std::unique_ptr<Store>()> &open)
{
    for (int i = 0; i < std::max(1, workers); ++i)
        m_stores.push_back(open());
    for (auto &store : m_stores)
        m_threads.emplace_back([this, s = store.get()] { work(*s); });
}

StorePool::~StorePool()
{
    std::deque<Job> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_jobs);
    }
    m_wake.notify_all();
    for (auto &t : m_threads)
        t.join();
}

void StorePool::post(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void StorePool::work(Store &store)
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job(store);
    }
}

} // namespace service
