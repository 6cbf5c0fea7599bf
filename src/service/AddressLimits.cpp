#include "service/AddressLimits.h"

#include <algorithm>
#include <utility>

namespace service {

ConnectionsPerAddress::Admission ConnectionsPerAddress::admit(const std::string &address)
{
    std::lock_guard lock(m_mutex);
    Held &held = m_held[address];
    if (held.connections < m_limit) {
        ++held.connections;
        held.refusalLogged = false;
        return Admission::Admitted;
    }
    return std::exchange(held.refusalLogged, true) ? Admission::Refused : Admission::RefusedFirst;
}

void ConnectionsPerAddress::release(const std::string &address)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_held.find(address);
    if (it != m_held.end() && --it->second.connections <= 0)
        m_held.erase(it);
}

LoginThrottle::LoginThrottle(int limit, std::chrono::seconds window)
    : m_limit(std::max(1, limit)), m_window(window)
{
}

std::optional<std::chrono::seconds> LoginThrottle::refusedFor(const std::string &address, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_failures.find(address);
    if (it == m_failures.end() || static_cast<int>(it->second.size()) < m_limit)
        return std::nullopt;
    const auto left = it->second.front() + m_window - now;
    if (left <= Clock::duration::zero())
        return std::nullopt;
    // Rounded up: a client that waits as long as told is let in.
    return std::chrono::ceil<std::chrono::seconds>(left);
}

bool LoginThrottle::recordFailure(const std::string &address, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    if (m_failures.size() >= maxAddresses && !m_failures.count(address))
        forgetExpired(now);
    auto &times = m_failures[address];
    while (!times.empty() && times.front() + m_window <= now)
        times.pop_front();
    times.push_back(now);
    if (static_cast<int>(times.size()) > m_limit)
        times.pop_front(); // only the newest `limit` failures can decide a refusal
    return static_cast<int>(times.size()) == m_limit;
}

void LoginThrottle::forgetExpired(Clock::time_point now)
{
    std::erase_if(m_failures, [&](const auto &entry) { return entry.second.back() + m_window <= now; });
    if (m_failures.size() >= maxAddresses)
        m_failures.clear();
}

} // namespace service
