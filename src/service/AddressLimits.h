#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace service {

// How many connections each client address holds, so that one address cannot
// take every connection the service has. Safe to call from any thread.
class ConnectionsPerAddress
{
public:
    explicit ConnectionsPerAddress(int limit) : m_limit(limit) {}

    enum class Admission { Admitted, Refused, RefusedFirst };
    // RefusedFirst is the first refusal since the address was last below its
    // limit: the one worth a log line.
    Admission admit(const std::string &address);
    void release(const std::string &address);

private:
    struct Held
    {
        int connections = 0;
        bool refusalLogged = false;
    };
    const int m_limit;
    std::mutex m_mutex;
    std::unordered_map<std::string, Held> m_held;
};

// Failed logins per client address in a sliding window: once an address has
// `limit` failures within `window`, its requests are refused until the oldest
// of them leaves the window. Successful logins change nothing, so an attacker
// cannot reset its count with a known account. Safe to call from any thread.
class LoginThrottle
{
public:
    using Clock = std::chrono::steady_clock;

    LoginThrottle(int limit, std::chrono::seconds window);

    // How long the address is still refused; nullopt when it may try.
    std::optional<std::chrono::seconds> refusedFor(const std::string &address, Clock::time_point now);
    // Records a failed login; true when this failure starts the refusal.
    bool recordFailure(const std::string &address, Clock::time_point now);

    int limit() const { return m_limit; }
    std::chrono::seconds window() const { return m_window; }

private:
    void forgetExpired(Clock::time_point now);

    // Memory stays bounded however many addresses fail: past this many, the
    // addresses whose failures have all left the window are forgotten first,
    // then the whole table (a forgotten address merely starts counting anew).
    static constexpr std::size_t maxAddresses = 65536;

    const int m_limit;
    const std::chrono::seconds m_window;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::deque<Clock::time_point>> m_failures; // oldest first, at most m_limit
};

} // namespace service
