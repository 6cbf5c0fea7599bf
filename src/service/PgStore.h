#pragma once

#include "service/Store.h"

#include <chrono>
#include <memory>
#include <set>
#include <string>

struct pg_conn;
struct pg_result;

namespace service {

class LaundryStore;

// The service's data in a PostgreSQL database, on one libpq connection. The
// tables mirror the SQLite ones; text keys use the collation "C" so that keys
// compare bytewise as in SQLite, and plv_fold() folds texts as foldCase() does.
//
// The connection is opened in the constructor, which throws EDatabaseError when
// the server cannot be reached. A connection lost later makes the call throw
// EStoreUnavailable; the next call after a short pause connects anew.
class PgStore : public Store
{
public:
    // uri: a libpq connection string or URI; user, password and the rest may
    // also come from a service file (PGSERVICE) or the PG* environment variables.
    explicit PgStore(std::string uri);
    ~PgStore() override;
    PgStore(const PgStore &) = delete;
    PgStore &operator=(const PgStore &) = delete;

    // Under an advisory lock, so that instances starting together migrate once.
    void createSchema() override;
    int schemaVersion() override;
    // Under an advisory lock: imports run one after the other, as new wash
    // identifiers follow the customer's highest.
    ImportCounts importRecords(std::string_view customer, const ImportRecords &records) override;

    void setCustomer(std::string_view number, const PasswordHash &password) override;
    std::optional<PasswordHash> passwordOf(std::string_view customer) override;
    // One round trip: the password lookup goes out in a pipeline with read's first query.
    bool checkCredentialsAround(std::string_view customer, std::string_view password, VerifiedCredentials &verified,
                                const std::function<void()> &read) override;
    std::int64_t customerCount() override;

    std::int64_t count(ListKind list, std::string_view customer) override;

    std::vector<Row> wearerChunk(std::string_view customer, std::int64_t after, const WearerFilter &filter,
                                 int limit) override;
    std::vector<Row> itemChunk(std::string_view customer, std::string_view after, const ItemFilter &filter,
                               int limit) override;
    std::vector<Row> washChunk(std::string_view customer, std::int64_t after, const ItemFilter &filter,
                               int limit) override;

    std::string chunkQueryPlan(ListKind list) override;

    // Whether no table holds a row (what --init-demo needs before it fills).
    bool isEmpty();
    // Copies every customer, wearer, item and wash process of `source` in one
    // transaction; nothing is written when any row fails.
    void copyFrom(LaundryStore &source);

    // Runs a fixed statement without parameters (tests and maintenance).
    void exec(const char *sql);

private:
    class Params;
    class Result;

    void connect();
    pg_conn *connection();
    void dropConnection();
    [[noreturn]] void raise(const char *context, pg_result *result);
    Result run(const char *name, const char *sql, const Params &params, bool binaryResult = false);
    static std::vector<Row> rows(Result &result, const contract::ListContract &list);
    void rollback();
    bool found(const char *name, const char *sql, const Params &params);
    void prepare(const char *name, const char *sql);
    std::vector<Result> syncPipeline();
    static std::optional<PasswordHash> passwordFrom(const Result &result);

    std::string m_uri;
    pg_conn *m_conn = nullptr;
    std::set<std::string> m_prepared;
    // The password lookup sent in pipeline mode and not yet followed by a query.
    bool m_passwordPending = false;
    std::unique_ptr<Result> m_passwordResult;
    std::chrono::steady_clock::time_point m_nextAttempt{};
};

} // namespace service
