#include "service/PasswordHash.h"

#include "platform/Exception.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <atomic>

namespace service {

namespace {

constexpr int digestLength = 32;
constexpr int saltLength = 16;

std::atomic<std::uint64_t> iterationsRun{0};

std::string randomBytes(int n)
{
    std::string bytes(static_cast<std::size_t>(n), '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), n) != 1)
        throw Exception(QStringLiteral("No random bytes available from OpenSSL"));
    return bytes;
}

std::string derive(std::string_view password, std::string_view salt, int iterations)
{
    std::string digest(digestLength, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char *>(salt.data()), static_cast<int>(salt.size()),
                          iterations, EVP_sha256(), digestLength, reinterpret_cast<unsigned char *>(digest.data()))
        != 1)
        throw Exception(QStringLiteral("PBKDF2 failed"));
    iterationsRun += static_cast<std::uint64_t>(iterations);
    return digest;
}

} // namespace

PasswordHash hashPassword(std::string_view password, int iterations)
{
    PasswordHash hash;
    hash.salt = randomBytes(saltLength);
    hash.iterations = iterations;
    hash.digest = derive(password, hash.salt, iterations);
    return hash;
}

bool verifyPassword(std::string_view password, const PasswordHash &stored)
{
    if (stored.iterations <= 0 || stored.digest.size() != digestLength)
        return false;
    const std::string digest = derive(password, stored.salt, stored.iterations);
    return CRYPTO_memcmp(digest.data(), stored.digest.data(), digestLength) == 0;
}

bool verifyAgainstNoRecord(std::string_view password)
{
    // Random salt and digest: no password derives this digest, and making the
    // record costs no PBKDF2 run of its own.
    static const PasswordHash noRecord{randomBytes(saltLength), randomBytes(digestLength), defaultPbkdf2Iterations};
    verifyPassword(password, noRecord);
    return false;
}

std::uint64_t pbkdf2IterationsRun()
{
    return iterationsRun.load();
}

VerifiedCredentials::VerifiedCredentials()
    : m_key(randomBytes(32))
{
}

std::string VerifiedCredentials::tag(std::string_view customer, const PasswordHash &stored,
                                     std::string_view password) const
{
    std::string message;
    const auto part = [&](std::string_view p) {
        message += std::to_string(p.size());
        message += ':';
        message += p;
    };
    part(customer);
    part(stored.salt);
    part(stored.digest);
    part(password);
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), m_key.data(), static_cast<int>(m_key.size()),
         reinterpret_cast<const unsigned char *>(message.data()), message.size(), out, &length);
    OPENSSL_cleanse(message.data(), message.size());
    return std::string(reinterpret_cast<const char *>(out), length);
}

bool VerifiedCredentials::contains(std::string_view customer, const PasswordHash &stored,
                                   std::string_view password) const
{
    const std::string t = tag(customer, stored, password);
    std::lock_guard lock(m_mutex);
    return m_tags.count(t) != 0;
}

void VerifiedCredentials::insert(std::string_view customer, const PasswordHash &stored, std::string_view password)
{
    std::string t = tag(customer, stored, password);
    std::lock_guard lock(m_mutex);
    if (m_tags.size() >= capacity)
        m_tags.clear(); // bounded memory; a cleared entry only costs one more PBKDF2 run
    m_tags.insert(std::move(t));
}

} // namespace service
