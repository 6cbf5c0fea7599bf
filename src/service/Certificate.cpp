#include "service/Certificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace service {

namespace {

template<auto Free>
struct Deleter
{
    template<typename T>
    void operator()(T *p) const { Free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;

constexpr int rsaKeyBits = 2048;
constexpr int x509Version3 = 2; // X.509 counts its versions from 0
constexpr int serialBytes = 16;  // random, so no two certificates made here share a serial
constexpr long secondsPerDay = 24L * 3600;
// Valid from a day back, so a client whose clock lags a little accepts it at once.
constexpr long validBeforeNowSeconds = secondsPerDay;
constexpr long validAfterNowSeconds = 10L * 365 * secondsPerDay;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Ext = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

[[noreturn]] void fail(const char *what)
{
    char reason[256] = "unknown reason";
    if (const unsigned long code = ERR_get_error())
        ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    throw ECertificateError(QStringLiteral("Cannot make the certificate (%1): %2")
                                .arg(QString::fromUtf8(what), QString::fromUtf8(reason)));
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void addExtension(X509 *cert, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    Ext ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!ext || X509_add_ext(cert, ext.get(), -1) != 1)
        fail("extension");
}

std::string pemText(BIO *bio)
{
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

// Writes beside the target and renames, so a crash never leaves a half-written PEM file.
void writeFileAtomically(const std::string &path, const std::string &content, mode_t mode)
{
    const std::string temporary = path + ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    bool ok = fd >= 0;
    if (ok && ::fchmod(fd, mode) != 0)
        ok = false;
    for (std::size_t written = 0; ok && written < content.size();) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        written += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (fd >= 0)
        ::close(fd);
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0)
        return;
    const int reason = ok ? errno : savedErrno;
    ::unlink(temporary.c_str());
    throw ECertificateError(QStringLiteral("Cannot write \"%1\": %2")
                                .arg(QString::fromStdString(path), QString::fromUtf8(std::strerror(reason))));
}

} // namespace

bool ensureSelfSignedCertificate(const std::string &certificatePath, const std::string &keyPath)
{
    const bool haveCert = exists(certificatePath), haveKey = exists(keyPath);
    if (haveCert && haveKey)
        return false;
    if (haveCert != haveKey)
        throw ECertificateError(QStringLiteral("Found \"%1\" without \"%2\"; remove it or give both")
                                    .arg(QString::fromStdString(haveCert ? certificatePath : keyPath),
                                         QString::fromStdString(haveCert ? keyPath : certificatePath)));

    PKey key(EVP_RSA_gen(rsaKeyBits));
    if (!key)
        fail("key");
    Cert cert(X509_new());
    if (!cert || X509_set_version(cert.get(), x509Version3) != 1)
        fail("version");
    unsigned char serial[serialBytes];
    if (RAND_bytes(serial, sizeof serial) != 1)
        fail("serial");
    serial[0] &= 0x7F; // positive
    std::unique_ptr<BIGNUM, Deleter<BN_free>> serialNumber(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!serialNumber || !BN_to_ASN1_INTEGER(serialNumber.get(), X509_get_serialNumber(cert.get())))
        fail("serial");
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -validBeforeNowSeconds);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), validAfterNowSeconds);
    if (X509_set_pubkey(cert.get(), key.get()) != 1)
        fail("public key");
    X509_NAME *name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("Plivora"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("localhost"),
                               -1, -1, 0);
    if (X509_set_issuer_name(cert.get(), name) != 1)
        fail("issuer");
    addExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        fail("signature");

    Bio keyPem(BIO_new(BIO_s_mem())), certPem(BIO_new(BIO_s_mem()));
    if (!keyPem || !certPem || PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1
        || PEM_write_bio_X509(certPem.get(), cert.get()) != 1)
        fail("PEM");
    // Key first: a certificate on disk always has its key beside it.
    writeFileAtomically(keyPath, pemText(keyPem.get()), 0600);
    try {
        writeFileAtomically(certificatePath, pemText(certPem.get()), 0600);
    } catch (...) {
        ::unlink(keyPath.c_str());
        throw;
    }
    return true;
}

} // namespace service
