// plivora-service: the laundry web service of the Plivora client.

#include "service/Certificate.h"
#include "service/DayDate.h"
#include "service/DemoData.h"
#include "service/LaundryStore.h"
#include "service/PgStore.h"
#include "service/Server.h"
#include "service/ServiceOptions.h"

#include <QString>

#include <openssl/crypto.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace service;

namespace {

bool fileExists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The demo database is filled under this name beside the real one and renamed
// when complete: an interrupted run leaves nothing under the real name that
// would block the next --init-demo or be served half-filled.
std::string partialName(const std::string &path)
{
    return path + ".partial";
}

void removeDatabaseFiles(const std::string &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        ::unlink((path + suffix).c_str());
}

[[noreturn]] void raiseFileError(const char *doing, const std::string &path, int error)
{
    throw Exception(QStringLiteral("Cannot %1 \"%2\": %3")
                        .arg(QString::fromLatin1(doing), QString::fromStdString(path),
                             QString::fromLocal8Bit(std::strerror(error))));
}

// Renames `from` to `to` unless `to` exists: a file made meanwhile under the
// real name is never replaced. Then the folder is synced so the new name lasts.
void putInPlace(const std::string &from, const std::string &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        // File systems without RENAME_NOREPLACE: a hard link refuses an existing name too.
        if ((errno != EINVAL && errno != ENOSYS) || ::link(from.c_str(), to.c_str()) != 0)
            raiseFileError("rename the new database to", to, errno);
        ::unlink(from.c_str());
    }
    std::filesystem::path folderPath = std::filesystem::path(to).parent_path();
    const std::string folder = folderPath.empty() ? std::string(1, '.') : folderPath.string();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        raiseFileError("sync the folder", folder, error);
    }
    ::close(fd);
}

int printDemo(const ServiceOptions &options, const std::vector<DemoCustomer> &customers)
{
    const DemoSizes &s = options.demoSizes;
    std::printf("Demo database %s: %d customer(s), each with %d wearers, %d laundry items, %d wash processes\n",
                displayName(options.databasePath).c_str(), s.customers, s.wearers, s.items, s.washes);
    for (const DemoCustomer &c : customers)
        std::printf("customer %s password %s\n", c.number.c_str(), c.password.c_str());
    return 0;
}

int initDemoSqlite(const ServiceOptions &options)
{
    if (fileExists(options.databasePath)) {
        std::fprintf(stderr, "plivora-service: \"%s\" exists already; --init-demo fills only a new database\n",
                     options.databasePath.c_str());
        return 1;
    }
    const std::string partial = partialName(options.databasePath);
    removeDatabaseFiles(partial); // left by an interrupted run
    try {
        std::vector<DemoCustomer> customers;
        {
            LaundryStore store(partial, SqliteDatabase::Mode::Create);
            customers = fillDemoData(store, options.demoSizes, today());
        } // closed before the rename: the file is complete
        putInPlace(partial, options.databasePath);
        return printDemo(options, customers);
    } catch (...) {
        removeDatabaseFiles(partial); // nothing half-filled stays behind
        throw;
    }
}

// The demo rows are drawn into an SQLite database in memory and copied over in one
// transaction, so both backends hold the very same data for the same sizes and day.
int initDemoPostgres(const ServiceOptions &options)
{
    PgStore store(options.databasePath);
    store.createSchema();
    if (!store.isEmpty()) {
        std::fprintf(stderr, "plivora-service: %s holds data already; --init-demo fills only an empty database\n",
                     displayName(options.databasePath).c_str());
        return 1;
    }
    LaundryStore drawn(":memory:", SqliteDatabase::Mode::Create);
    const auto customers = fillDemoData(drawn, options.demoSizes, today());
    store.copyFrom(drawn);
    return printDemo(options, customers);
}

// One line from standard input, without its line end; on a terminal without echo.
std::string readPassword(const std::string &customer)
{
    termios saved{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        std::fprintf(stderr, "Password for customer %s: ", customer.c_str());
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string password;
    const bool read = static_cast<bool>(std::getline(std::cin, password));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (!read || password.empty())
        throw Exception(QStringLiteral("No password on standard input; give it as one line"));
    return password;
}

int addCustomer(const ServiceOptions &options)
{
    std::string password = readPassword(*options.addCustomer);
    const PasswordHash hash = hashPassword(password);
    OPENSSL_cleanse(password.data(), password.size());
    const auto store = openStore(options.databasePath, StoreAccess::ReadWrite);
    store->createSchema();
    store->setCustomer(*options.addCustomer, hash);
    std::printf("customer %s set in %s\n", options.addCustomer->c_str(), displayName(options.databasePath).c_str());
    return 0;
}

int importFile(const ServiceOptions &options)
{
    std::ifstream file(options.importFile, std::ios::binary);
    if (!file)
        raiseFileError("read", options.importFile, errno);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        raiseFileError("read", options.importFile, errno);
    // An existing database only: a mistyped --db must not leave a new, empty one behind.
    const auto store = openStore(options.databasePath, StoreAccess::Existing);
    store->createSchema();
    const char *kind = importKindName(*options.importKind);
    try {
        const ImportCounts counts = store->importRecords(options.importCustomer, parseImport(*options.importKind, bytes));
        std::printf("imported %lld %s for customer %s from %s: %lld new, %lld replaced\n",
                    static_cast<long long>(counts.added + counts.replaced), kind, options.importCustomer.c_str(),
                    options.importFile.c_str(), static_cast<long long>(counts.added),
                    static_cast<long long>(counts.replaced));
        return 0;
    } catch (const EImportError &error) {
        std::fprintf(stderr, "plivora-service: %s, %s; nothing was imported\n", options.importFile.c_str(),
                     error.what());
        return 1;
    }
}

int serve(const ServiceOptions &options)
{
    const std::string shown = displayName(options.databasePath);
    const bool postgres = isPostgresUri(options.databasePath);
    {
        const auto store = openStore(options.databasePath, StoreAccess::ReadWrite);
        store->createSchema();
        if (store->customerCount() == 0)
            std::fprintf(stderr,
                         "plivora-service: %s has no customers yet; every login is refused "
                         "(see --init-demo and --add-customer)\n",
                         shown.c_str());
    }
    ServerSettings settings;
    settings.host = options.host;
    settings.port = options.port;
    settings.databasePath = options.databasePath;
    settings.certificatePath = options.certificatePath;
    settings.keyPath = options.keyPath;
    if (settings.certificatePath.empty()) {
        // Beside an SQLite file; with PostgreSQL in the working directory.
        const std::string base = postgres ? std::string("plivora-service") : options.databasePath;
        settings.certificatePath = base + ".crt";
        settings.keyPath = base + ".key";
        if (ensureSelfSignedCertificate(settings.certificatePath, settings.keyPath))
            std::fprintf(stderr, "plivora-service: made the self-signed certificate %s\n",
                         settings.certificatePath.c_str());
    }
    settings.threads = options.threads;
    settings.databaseConnections = options.databaseConnections;
    settings.maxConnections = options.maxConnections;
    settings.maxConnectionsPerAddress = options.maxConnectionsPerAddress;
    settings.idleTimeout = std::chrono::seconds(options.idleTimeoutSeconds);
    settings.headerTimeout = std::chrono::seconds(options.headerTimeoutSeconds);
    settings.loginFailureLimit = options.loginFailureLimit;
    settings.loginFailureWindow = std::chrono::seconds(options.loginWindowSeconds);

    Server server(settings);
    const unsigned short port = server.listen();
    std::printf("listening on %s:%u\n", options.host.c_str(), static_cast<unsigned>(port));
    std::fflush(stdout);
    server.run();
    std::fprintf(stderr, "plivora-service: stopped\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    const auto parsed = parseServiceOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto *error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "plivora-service: %s\nTry \"plivora-service --help\".\n", error->c_str());
        return 2;
    }
    const ServiceOptions &options = std::get<ServiceOptions>(parsed);
    if (options.help) {
        std::fputs(serviceUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("plivora-service %s\n", PLIVORA_VERSION);
        return 0;
    }
    try {
        if (options.initDemo)
            return isPostgresUri(options.databasePath) ? initDemoPostgres(options) : initDemoSqlite(options);
        if (options.addCustomer)
            return addCustomer(options);
        if (options.importKind)
            return importFile(options);
        return serve(options);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "plivora-service: %s\n", error.what());
        return 1;
    }
}
