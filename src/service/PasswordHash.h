#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace service {

// A password as stored: PBKDF2-HMAC-SHA256 over a random salt. salt and digest are raw bytes.
struct PasswordHash
{
    std::string salt;
    std::string digest;
    int iterations = 0;
};

// The work factor of new hashes for PBKDF2-HMAC-SHA256. Each hash keeps its
// own count, so hashes made with an older, smaller figure still verify.
inline constexpr int defaultPbkdf2Iterations = 600000;

PasswordHash hashPassword(std::string_view password, int iterations = defaultPbkdf2Iterations);
// Constant-time comparison of the derived digest.
bool verifyPassword(std::string_view password, const PasswordHash &stored);
// For a customer number that has no record: the same work as verifyPassword
// against a record made with the default iterations, so that the time of a
// refusal does not tell which customer numbers exist. Always false.
bool verifyAgainstNoRecord(std::string_view password);
// PBKDF2 iterations this process has run so far: the work the checks cost,
// counted where it is done.
std::uint64_t pbkdf2IterationsRun();

// Every list request carries the password, and one PBKDF2 run costs tens of
// milliseconds; so a successful check is remembered for the rest of the run as
// a keyed digest (random key per process) of customer, stored hash and password.
// A changed stored hash no longer matches; failed checks are never remembered.
class VerifiedCredentials
{
public:
    VerifiedCredentials();
    bool contains(std::string_view customer, const PasswordHash &stored, std::string_view password) const;
    void insert(std::string_view customer, const PasswordHash &stored, std::string_view password);

private:
    std::string tag(std::string_view customer, const PasswordHash &stored, std::string_view password) const;

    static constexpr std::size_t capacity = 4096;
    std::string m_key;
    mutable std::mutex m_mutex;
    std::unordered_set<std::string> m_tags;
};

} // namespace service
