#include "service/Sqlite.h"

#include <sqlite3.h>

#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

// SQLite would create the file with the umask's mode, often world-readable; the
// file holds password hashes. Its journal and WAL files take the file's mode.
void createPrivately(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno != EEXIST)
        throw EDatabaseError(QStringLiteral("Cannot create database \"%1\": %2")
                                 .arg(QString::fromStdString(path), QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

SqliteDatabase::SqliteDatabase(const std::string &path, Mode mode)
{
    int flags = SQLITE_OPEN_NOMUTEX; // every connection stays on the thread that made it
    switch (mode) {
    case Mode::ReadOnly: flags |= SQLITE_OPEN_READONLY; break;
    case Mode::ReadWrite: flags |= SQLITE_OPEN_READWRITE; break;
    case Mode::Create: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    }
    if (mode == Mode::Create && !path.empty() && path != ":memory:")
        createPrivately(path);
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = QStringLiteral("Cannot open database \"%1\": %2")
                                    .arg(QString::fromStdString(path),
                                         QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw EDatabaseError(message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 5000);
    // Readers never wait for a writer (an import while serving), and a backup
    // can be taken while the service runs. The mode stays with the file.
    if (mode != Mode::ReadOnly) {
        try {
            exec("PRAGMA journal_mode = WAL");
        } catch (...) {
            sqlite3_close(m_db);
            m_db = nullptr;
            throw;
        }
    }
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close_v2(m_db);
}

void SqliteDatabase::exec(const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw EDatabaseError(QStringLiteral("Database error: %1").arg(message));
    }
}

SqliteStatement SqliteDatabase::prepare(std::string_view sql)
{
    return SqliteStatement(*this, sql);
}

void SqliteDatabase::raise(const char *context) const
{
    throw EDatabaseError(QStringLiteral("Database error (%1): %2")
                             .arg(QString::fromUtf8(context), QString::fromUtf8(sqlite3_errmsg(m_db))));
}

SqliteStatement::SqliteStatement(SqliteDatabase &db, std::string_view sql)
    : m_db(&db)
{
    if (sqlite3_prepare_v3(db.handle(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &m_stmt, nullptr)
        != SQLITE_OK)
        db.raise("prepare");
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

SqliteStatement::SqliteStatement(SqliteStatement &&other) noexcept
    : m_db(other.m_db), m_stmt(std::exchange(other.m_stmt, nullptr))
{
}

int SqliteStatement::index(const char *name) const
{
    const int i = sqlite3_bind_parameter_index(m_stmt, name);
    if (i == 0)
        throw EDatabaseError(QStringLiteral("Database error: unknown parameter %1").arg(QString::fromUtf8(name)));
    return i;
}

void SqliteStatement::check(int rc, const char *context) const
{
    if (rc != SQLITE_OK)
        m_db->raise(context);
}

void SqliteStatement::bind(const char *name, std::int64_t value)
{
    check(sqlite3_bind_int64(m_stmt, index(name), value), "bind");
}

void SqliteStatement::bind(const char *name, std::string_view text)
{
    check(sqlite3_bind_text64(m_stmt, index(name), text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
          "bind");
}

void SqliteStatement::bindBlob(const char *name, std::string_view bytes)
{
    check(sqlite3_bind_blob64(m_stmt, index(name), bytes.data(), bytes.size(), SQLITE_TRANSIENT), "bind");
}

void SqliteStatement::bindNull(const char *name)
{
    check(sqlite3_bind_null(m_stmt, index(name)), "bind");
}

bool SqliteStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    m_db->raise("step");
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

std::string_view SqliteStatement::text(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!p)
        return {};
    return {p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))};
}

SqliteTransaction::SqliteTransaction(SqliteDatabase &db)
    : m_db(db)
{
    m_db.exec("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction()
{
    if (m_open)
        sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::commit()
{
    m_db.exec("COMMIT");
    m_open = false;
}

std::string_view SqliteStatement::blob(int column) const
{
    const auto *p = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
    if (!p)
        return {};
    return {p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))};
}
