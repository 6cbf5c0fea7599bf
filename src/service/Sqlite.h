#pragma once

#include "platform/Exception.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// Any failure of the database engine, with the engine's own message.
PLIVORA_DECLARE_EXCEPTION(EDatabaseError, Exception)

class SqliteStatement;

// One connection to an SQLite file. Values reach the engine only through bound
// parameters of prepared statements; exec() is for fixed schema and pragma texts.
class SqliteDatabase
{
public:
    enum class Mode { ReadOnly, ReadWrite, Create };

    SqliteDatabase(const std::string &path, Mode mode);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    void exec(const char *sql);
    SqliteStatement prepare(std::string_view sql);
    sqlite3 *handle() const { return m_db; }
    [[noreturn]] void raise(const char *context) const;

private:
    sqlite3 *m_db = nullptr;
};

class SqliteStatement
{
public:
    SqliteStatement(SqliteDatabase &db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement &&other) noexcept;
    SqliteStatement &operator=(SqliteStatement &&other) = delete;
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // Parameters are addressed by name (":name"); a name the statement lacks is a programming error.
    void bind(const char *name, std::int64_t value);
    void bind(const char *name, std::string_view text);
    void bindBlob(const char *name, std::string_view bytes);
    void bindNull(const char *name);

    // True while there is a row to read.
    bool step();
    // Ready for the next use; all bindings back to NULL.
    void reset();

    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    std::string_view text(int column) const;
    std::string_view blob(int column) const;

private:
    int index(const char *name) const;
    void check(int rc, const char *context) const;

    SqliteDatabase *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT; rolled back when left without commit().
class SqliteTransaction
{
public:
    explicit SqliteTransaction(SqliteDatabase &db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction &) = delete;
    SqliteTransaction &operator=(const SqliteTransaction &) = delete;
    void commit();

private:
    SqliteDatabase &m_db;
    bool m_open = true;
};
