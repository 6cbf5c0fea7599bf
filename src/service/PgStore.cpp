#include "service/PgStore.h"

#include "service/DayDate.h"
#include "service/LaundryStore.h"
#include "service/TextFold.h"

#include <libpq-fe.h>

#include <QString>

#include <cstring>
#include <memory>

namespace service {

namespace {

// A lost server is tried again after this pause, so a dead database answers at
// once with 503 instead of letting every request wait for a connect.
constexpr auto reconnectPause = std::chrono::milliseconds(500);

// Version 1: the tables as the first PostgreSQL release made them, without a version record.
const char *const schemaVersion1Sql = R"sql(
CREATE TABLE IF NOT EXISTS customer (
    number     text COLLATE "C" NOT NULL PRIMARY KEY,
    salt       bytea   NOT NULL,
    digest     bytea   NOT NULL,
    iterations integer NOT NULL
);
CREATE TABLE IF NOT EXISTS wearer (
    customer      text COLLATE "C" NOT NULL REFERENCES customer(number),
    traeger_nr    bigint NOT NULL,
    name          text   NOT NULL,
    vorname       text   NOT NULL,
    zimmernummer  text   NOT NULL,
    liefer_adr_id bigint NOT NULL,
    wohnbereich   text   NOT NULL,
    PRIMARY KEY (customer, traeger_nr)
);
CREATE TABLE IF NOT EXISTS item (
    customer      text COLLATE "C" NOT NULL,
    waesche_id    text COLLATE "C" NOT NULL,
    traeger_nr    bigint NOT NULL,
    art_nr        text   NOT NULL,
    artikel       text   NOT NULL,
    ort           text   NOT NULL,
    anz_eingang   bigint NOT NULL,
    angelegt      date,
    eingang       date,
    ausgang       date,
    letzte_charge text   NOT NULL,
    groesse       text   NOT NULL,
    max_wasch     bigint NOT NULL,
    PRIMARY KEY (customer, waesche_id),
    FOREIGN KEY (customer, traeger_nr) REFERENCES wearer(customer, traeger_nr)
);
CREATE TABLE IF NOT EXISTS wash_process (
    customer    text COLLATE "C" NOT NULL,
    wash_id     bigint NOT NULL,
    waesche_id  text COLLATE "C" NOT NULL,
    anz_eingang bigint NOT NULL,
    eingang     date,
    ausgang     date,
    charge      text   NOT NULL,
    PRIMARY KEY (customer, wash_id),
    FOREIGN KEY (customer, waesche_id) REFERENCES item(customer, waesche_id)
);
)sql";

// Version 2: the key of a wash process on import, the item and its pass number.
const char *const schemaVersion2Sql =
    "CREATE UNIQUE INDEX IF NOT EXISTS wash_process_pass ON wash_process (customer, waesche_id, anz_eingang)";

// Keys of the advisory locks (any numbers, the same in every instance).
constexpr const char *schemaLockSql = "SELECT pg_advisory_xact_lock(7412019)";
constexpr const char *importLockSql = "SELECT pg_advisory_xact_lock(7412020)";

// A row without a date is kept by every date range, as in the SQLite store.
#define PLV_PG_DATE_RANGE(column, from, to)                                                               \
    " AND (" column " IS NULL OR ((" from "::date IS NULL OR " column " >= " from "::date) AND (" to   \
    "::date IS NULL OR " column " <= " to "::date)))"

#define PLV_PG_PREFIX(column, param) " AND (" param "::text = '' OR starts_with(plv_fold(" column "), " param "::text))"

// Each chunk query selects the list's reply cells in their order (contract/ListContract.h).
const char *const wearerChunkSql =
    "SELECT traeger_nr, name, vorname, zimmernummer, liefer_adr_id, wohnbereich"
    " FROM wearer"
    " WHERE customer = $1 AND traeger_nr > $2::bigint"
    " AND ($3::bigint IS NULL OR traeger_nr = $3::bigint)"
    PLV_PG_PREFIX("vorname", "$4")
    PLV_PG_PREFIX("name", "$5")
    PLV_PG_PREFIX("wohnbereich", "$6")
    " ORDER BY traeger_nr LIMIT $7::bigint";

// Parameters $3 .. $18 in the order of bindItemFilter(), $19 the limit.
#define PLV_PG_ITEM_FILTERS(itemAlias, passAlias)                                                 \
    " AND ($3::text = '' OR " itemAlias ".waesche_id = $3::text)"                                  \
    " AND ($4::bigint IS NULL OR " itemAlias ".traeger_nr = $4::bigint)"                           \
    PLV_PG_PREFIX("w.vorname", "$5")                                                               \
    PLV_PG_PREFIX("w.name", "$6")                                                                  \
    PLV_PG_PREFIX(itemAlias ".art_nr", "$7")                                                       \
    PLV_PG_PREFIX(itemAlias ".artikel", "$8")                                                      \
    PLV_PG_PREFIX(itemAlias ".groesse", "$10")                                                     \
    " AND ($11::bigint IS NULL OR " itemAlias ".max_wasch = $11::bigint)"                          \
    " AND ($12::bigint IS NULL OR " passAlias ".anz_eingang > $12::bigint)"                        \
    PLV_PG_DATE_RANGE(itemAlias ".angelegt", "$13", "$14")                                         \
    PLV_PG_DATE_RANGE(passAlias ".eingang", "$15", "$16")                                          \
    PLV_PG_DATE_RANGE(passAlias ".ausgang", "$17", "$18")

const char *const itemChunkSql =
    "SELECT i.waesche_id, i.traeger_nr, w.name, w.vorname, i.art_nr, i.artikel, i.ort, i.anz_eingang,"
    " i.angelegt, i.eingang, w.liefer_adr_id, i.ausgang, i.letzte_charge, i.groesse, i.max_wasch"
    " FROM item AS i"
    " LEFT JOIN wearer AS w ON w.customer = i.customer AND w.traeger_nr = i.traeger_nr"
    " WHERE i.customer = $1 AND i.waesche_id > $2::text"
    PLV_PG_ITEM_FILTERS("i", "i")
    PLV_PG_PREFIX("i.letzte_charge", "$9")
    " ORDER BY i.waesche_id LIMIT $19::bigint";

const char *const washChunkSql =
    "SELECT p.wash_id, p.waesche_id, i.traeger_nr, w.name, w.vorname, i.art_nr, i.artikel, i.ort,"
    " p.anz_eingang, i.angelegt, p.eingang, w.liefer_adr_id, p.ausgang, p.charge, i.groesse, i.max_wasch"
    " FROM wash_process AS p"
    " LEFT JOIN item AS i ON i.customer = p.customer AND i.waesche_id = p.waesche_id"
    " LEFT JOIN wearer AS w ON w.customer = i.customer AND w.traeger_nr = i.traeger_nr"
    " WHERE p.customer = $1 AND p.wash_id > $2::bigint"
    PLV_PG_ITEM_FILTERS("i", "p")
    PLV_PG_PREFIX("p.charge", "$9")
    " ORDER BY p.wash_id LIMIT $19::bigint";

const char *const customerPasswordSql = "SELECT salt, digest, iterations::text FROM customer WHERE number = $1";
const char *const customerUpsertSql =
    "INSERT INTO customer (number, salt, digest, iterations) VALUES ($1, $2, $3, $4::integer)"
    " ON CONFLICT (number) DO UPDATE SET salt = excluded.salt, digest = excluded.digest,"
    " iterations = excluded.iterations";

// plv_fold() as a translate() table made from foldCase() itself, so both
// backends fold the same letters the same way.
std::string foldFunctionSql()
{
    std::string from, to;
    auto add = [&](char32_t c) {
        char buffer[4];
        int n;
        if (c < 0x80) {
            buffer[0] = static_cast<char>(c);
            n = 1;
        } else if (c < 0x800) {
            buffer[0] = static_cast<char>(0xC0 | (c >> 6));
            buffer[1] = static_cast<char>(0x80 | (c & 0x3F));
            n = 2;
        } else {
            buffer[0] = static_cast<char>(0xE0 | (c >> 12));
            buffer[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buffer[2] = static_cast<char>(0x80 | (c & 0x3F));
            n = 3;
        }
        const std::string letter(buffer, n);
        const std::string folded = foldCase(letter);
        if (folded != letter) {
            from += letter;
            to += folded;
        }
    };
    for (char32_t c = 0x41; c <= 0x24F; ++c)
        add(c);
    add(0x1E9E);
    return "CREATE OR REPLACE FUNCTION plv_fold(text) RETURNS text LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE"
           " AS $fold$ SELECT translate($1, '"
        + from + "', '" + to + "') $fold$";
}

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// PostgreSQL texts cannot hold the byte 0, which a request may still carry.
bool hasNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

} // namespace

// Parameter values in libpq's text form (bytea ones binary), NULL as nullptr.
class PgStore::Params
{
public:
    Params &text(std::string_view value)
    {
        m_values.emplace_back(value);
        m_null.push_back(false);
        m_binary.push_back(0);
        return *this;
    }
    Params &bytes(std::string_view value)
    {
        text(value);
        m_binary.back() = 1;
        return *this;
    }
    Params &number(std::int64_t value) { return text(std::string_view(std::to_string(value))); }
    Params &null()
    {
        m_values.emplace_back();
        m_null.push_back(true);
        m_binary.push_back(0);
        return *this;
    }
    Params &number(const std::optional<std::int64_t> &value) { return value ? number(*value) : null(); }
    Params &date(const std::optional<std::string> &value) { return value ? text(std::string_view(*value)) : null(); }

    int size() const { return static_cast<int>(m_values.size()); }
    std::vector<const char *> values() const
    {
        std::vector<const char *> v;
        for (std::size_t i = 0; i < m_values.size(); ++i)
            v.push_back(m_null[i] ? nullptr : m_values[i].data());
        return v;
    }
    std::vector<int> lengths() const
    {
        std::vector<int> v;
        for (const std::string &s : m_values)
            v.push_back(static_cast<int>(s.size()));
        return v;
    }
    const std::vector<int> &formats() const { return m_binary; }

private:
    std::vector<std::string> m_values;
    std::vector<bool> m_null;
    std::vector<int> m_binary;
};

class PgStore::Result
{
public:
    explicit Result(PGresult *r) : m_r(r) {}
    PGresult *get() const { return m_r.get(); }
    int rows() const { return PQntuples(m_r.get()); }
    bool isNull(int row, int column) const { return PQgetisnull(m_r.get(), row, column); }
    std::string_view value(int row, int column) const
    {
        return {PQgetvalue(m_r.get(), row, column), static_cast<std::size_t>(PQgetlength(m_r.get(), row, column))};
    }

private:
    struct Clear
    {
        void operator()(PGresult *r) const { PQclear(r); }
    };
    std::unique_ptr<PGresult, Clear> m_r;
};

PgStore::PgStore(std::string uri)
    : m_uri(std::move(uri))
{
    connect();
    if (!m_conn)
        throw EDatabaseError(QStringLiteral("Cannot connect to the PostgreSQL database %1")
                                 .arg(QString::fromStdString(displayName(m_uri))));
}

PgStore::~PgStore()
{
    dropConnection();
}

void PgStore::connect()
{
    // The URI's own settings win over these defaults; the encoding is ours to choose.
    const char *keywords[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char *values[] = {"5", "plivora-service", m_uri.c_str(), "UTF8", nullptr};
    PGconn *conn = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString message = qs(PQerrorMessage(conn)).trimmed();
        PQfinish(conn);
        m_nextAttempt = std::chrono::steady_clock::now() + reconnectPause;
        throw EStoreUnavailable(QStringLiteral("Cannot connect to the PostgreSQL database %1: %2")
                                    .arg(QString::fromStdString(displayName(m_uri)), message));
    }
    const char *encoding = PQparameterStatus(conn, "server_encoding");
    if (!encoding || std::string_view(encoding) != "UTF8") {
        PQfinish(conn);
        throw EDatabaseError(QStringLiteral("The PostgreSQL database %1 must use the encoding UTF8, not %2")
                                 .arg(QString::fromStdString(displayName(m_uri)), qs(encoding ? encoding : "?")));
    }
    // Custom plans only: a generic plan cannot see which filters are unset and may
    // give up the key range for a full scan and a sort.
    PGresult *set = PQexec(conn, "SET DateStyle = ISO; SET client_min_messages = warning;"
                                 " SET plan_cache_mode = force_custom_plan");
    PQclear(set);
    m_conn = conn;
    m_prepared.clear();
}

void PgStore::dropConnection()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
    m_prepared.clear();
}

pg_conn *PgStore::connection()
{
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        return m_conn;
    dropConnection();
    if (std::chrono::steady_clock::now() < m_nextAttempt)
        throw EStoreUnavailable(QStringLiteral("The PostgreSQL database %1 is unreachable")
                                    .arg(QString::fromStdString(displayName(m_uri))));
    connect();
    return m_conn;
}

void PgStore::raise(const char *context, PGresult *result)
{
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const QString message = qs(result ? PQresultErrorMessage(result) : PQerrorMessage(m_conn)).trimmed();
    // Connection failures (class 08) and a server shutting down (57P0x) end this connection.
    const bool gone = PQstatus(m_conn) != CONNECTION_OK
                      || (state && (std::string_view(state).starts_with("08")
                                    || std::string_view(state).starts_with("57P0")));
    if (gone) {
        dropConnection();
        m_nextAttempt = std::chrono::steady_clock::now() + reconnectPause;
        throw EStoreUnavailable(QStringLiteral("PostgreSQL %1: %2").arg(qs(context), message));
    }
    throw EDatabaseError(QStringLiteral("PostgreSQL %1: %2").arg(qs(context), message));
}

void PgStore::prepare(const char *name, const char *sql)
{
    if (m_prepared.contains(name))
        return;
    Result prepared(PQprepare(connection(), name, sql, 0, nullptr));
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
        raise("prepare", prepared.get());
    m_prepared.insert(name);
}

PgStore::Result PgStore::run(const char *name, const char *sql, const Params &params, bool binaryResult)
{
    if (m_passwordPending && PQstatus(m_conn) != CONNECTION_OK) {
        m_passwordPending = false; // the pipeline went with the connection
        dropConnection();
        raise(name, nullptr);
    }
    if (!m_passwordPending)
        prepare(name, sql); // a statement new to a pipelined connection is prepared once the pipeline ends
    PGconn *conn = connection();
    const auto values = params.values();
    const auto lengths = params.lengths();
    if (m_passwordPending && m_prepared.contains(name)) {
        m_passwordPending = false;
        if (PQsendQueryPrepared(conn, name, params.size(), values.data(), lengths.data(), params.formats().data(),
                                binaryResult ? 1 : 0)
            != 1) {
            syncPipeline();
            raise(name, nullptr);
        }
        std::vector<Result> results = syncPipeline();
        if (results.empty())
            raise("customer_password", nullptr);
        m_passwordResult = std::make_unique<Result>(std::move(results.front()));
        if (results.size() < 2)
            raise(name, nullptr);
        Result &result = results[1];
        const auto status = PQresultStatus(result.get());
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            raise(name, result.get());
        return std::move(result);
    }
    if (m_passwordPending) { // a statement not prepared yet: the lookup goes alone
        m_passwordPending = false;
        std::vector<Result> results = syncPipeline();
        if (results.empty())
            raise("customer_password", nullptr);
        m_passwordResult = std::make_unique<Result>(std::move(results.front()));
        prepare(name, sql);
        conn = connection(); // ending the pipeline may have meant a new connection
    }
    Result result(PQexecPrepared(conn, name, params.size(), values.data(), lengths.data(),
                                 params.formats().data(), binaryResult ? 1 : 0));
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        raise(name, result.get());
    return result;
}

// Ends the pipeline: every result up to the sync point, in the order sent (fewer when the connection broke).
std::vector<PgStore::Result> PgStore::syncPipeline()
{
    std::vector<Result> results;
    if (PQpipelineSync(m_conn) == 1) {
        int nulls = 0; // one NULL ends each statement's results; two in a row, nothing more is coming
        while (nulls < 2) {
            PGresult *r = PQgetResult(m_conn);
            if (!r) {
                if (PQstatus(m_conn) != CONNECTION_OK)
                    break;
                ++nulls;
                continue;
            }
            nulls = 0;
            if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                break;
            }
            results.emplace_back(r);
        }
    }
    if (PQexitPipelineMode(m_conn) != 1)
        dropConnection(); // still busy: a fresh connection is the only clean state
    return results;
}

std::optional<PasswordHash> PgStore::passwordFrom(const Result &r)
{
    if (r.rows() == 0)
        return std::nullopt;
    PasswordHash hash;
    hash.salt = std::string(r.value(0, 0));
    hash.digest = std::string(r.value(0, 1));
    hash.iterations = std::stoi(std::string(r.value(0, 2)));
    return hash;
}

bool PgStore::checkCredentialsAround(std::string_view customer, std::string_view password,
                                     VerifiedCredentials &verified, const std::function<void()> &read)
{
    if (hasNul(customer))
        return Store::checkCredentialsAround(customer, password, verified, read);
    prepare("customer_password", customerPasswordSql);
    PGconn *conn = connection();
    Params params;
    params.text(customer);
    const auto values = params.values();
    const auto lengths = params.lengths();
    if (PQenterPipelineMode(conn) != 1)
        raise("pipeline", nullptr);
    if (PQsendQueryPrepared(conn, "customer_password", 1, values.data(), lengths.data(), params.formats().data(), 1)
        != 1) {
        syncPipeline();
        raise("customer_password", nullptr);
    }
    m_passwordPending = true;
    m_passwordResult.reset();
    try {
        read();
    } catch (...) {
        // read() keeps its failures for after the check; what arrives here is ours alone.
        if (m_passwordPending) {
            m_passwordPending = false;
            if (m_conn)
                syncPipeline();
        }
        throw;
    }
    if (m_passwordPending) { // read() made no query (a login, a filter that matches nothing)
        m_passwordPending = false;
        std::vector<Result> results = syncPipeline();
        if (!results.empty())
            m_passwordResult = std::make_unique<Result>(std::move(results.front()));
    }
    const std::unique_ptr<Result> lookup = std::move(m_passwordResult);
    if (!lookup)
        raise("customer_password", nullptr);
    if (PQresultStatus(lookup->get()) != PGRES_TUPLES_OK)
        raise("customer_password", lookup->get());
    return checkAgainst(passwordFrom(*lookup), customer, password, verified);
}

void PgStore::exec(const char *sql)
{
    PGconn *conn = connection();
    Result result(PQexec(conn, sql));
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        raise("exec", result.get());
}

void PgStore::rollback()
{
    if (m_conn) {
        while (PGresult *rest = PQgetResult(m_conn))
            PQclear(rest);
        PQclear(PQexec(m_conn, "ROLLBACK"));
    }
}

int PgStore::schemaVersion()
{
    Result tables(PQexec(connection(), "SELECT to_regclass('schema_version') IS NOT NULL,"
                                       " to_regclass('customer') IS NOT NULL"));
    if (PQresultStatus(tables.get()) != PGRES_TUPLES_OK)
        raise("schema version", tables.get());
    if (tables.value(0, 0) != "t")
        return tables.value(0, 1) == "t" ? 1 : 0; // made before the version was recorded, or empty
    Result version(PQexec(m_conn, "SELECT version FROM schema_version"));
    if (PQresultStatus(version.get()) != PGRES_TUPLES_OK)
        raise("schema version", version.get());
    if (version.rows() == 0)
        throw EDatabaseError(QStringLiteral("The database's table schema_version is empty"));
    return std::stoi(std::string(version.value(0, 0)));
}

void PgStore::createSchema()
{
    // Instances starting together would race on CREATE ... IF NOT EXISTS; the lock lines them up.
    exec("BEGIN");
    try {
        exec(schemaLockSql);
        int version = schemaVersion();
        refuseNewerSchema(version);
        const int found = version;
        if (version < 1) {
            exec(schemaVersion1Sql);
            version = 1;
        }
        if (version < 2) {
            exec(schemaVersion2Sql);
            version = 2;
        }
        if (found < 2) {
            exec("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)");
            exec("DELETE FROM schema_version");
            run("schema_version_set", "INSERT INTO schema_version (version) VALUES ($1::integer)",
                Params().number(version));
        }
        exec(foldFunctionSql().c_str());
        exec("COMMIT");
    } catch (...) {
        rollback();
        throw;
    }
}

void PgStore::setCustomer(std::string_view number, const PasswordHash &password)
{
    if (hasNul(number))
        throw EDatabaseError(QStringLiteral("A customer number cannot contain the byte 0"));
    run("customer_upsert", customerUpsertSql,
        Params().text(number).bytes(password.salt).bytes(password.digest).number(password.iterations));
}

std::optional<PasswordHash> PgStore::passwordOf(std::string_view customer)
{
    if (hasNul(customer))
        return std::nullopt;
    return passwordFrom(run("customer_password", customerPasswordSql, Params().text(customer), true));
}

std::int64_t PgStore::customerCount()
{
    Result r = run("customer_count", "SELECT count(*) FROM customer", Params());
    return std::stoll(std::string(r.value(0, 0)));
}

std::int64_t PgStore::count(ListKind list, std::string_view customer)
{
    if (hasNul(customer))
        return 0;
    static const char *const names[] = {"count_wearers", "count_items", "count_washes"};
    static const char *const sql[] = {"SELECT count(*) FROM wearer WHERE customer = $1",
                                      "SELECT count(*) FROM item WHERE customer = $1",
                                      "SELECT count(*) FROM wash_process WHERE customer = $1"};
    const int i = static_cast<int>(list);
    Result r = run(names[i], sql[i], Params().text(customer));
    return std::stoll(std::string(r.value(0, 0)));
}

// Dates come as ISO texts (DateStyle ISO); the list's date cells go out as dd.MM.yyyy.
std::vector<Row> PgStore::rows(Result &result, const contract::ListContract &list)
{
    const int cellCount = list.cellCount();
    std::vector<Row> out;
    out.reserve(static_cast<std::size_t>(result.rows()));
    for (int r = 0; r < result.rows(); ++r) {
        Row row;
        row.reserve(static_cast<std::size_t>(cellCount));
        for (int column = 0; column < cellCount; ++column) {
            if (result.isNull(r, column))
                row.emplace_back();
            else if (list.isDateCell(column + 1))
                row.push_back(germanFromIso(result.value(r, column)));
            else
                row.emplace_back(result.value(r, column));
        }
        out.push_back(std::move(row));
    }
    return out;
}

std::vector<Row> PgStore::wearerChunk(std::string_view customer, std::int64_t after, const WearerFilter &f,
                                      int limit)
{
    if (hasNul(customer) || hasNul(f.firstName) || hasNul(f.surname) || hasNul(f.livingArea))
        return {}; // no stored text holds the byte 0
    Result r = run("wearer_chunk", wearerChunkSql,
                   Params()
                       .text(customer)
                       .number(after)
                       .number(f.wearerNumber)
                       .text(f.firstName)
                       .text(f.surname)
                       .text(f.livingArea)
                       .number(std::int64_t{limit}));
    return rows(r, contract::wearers);
}

namespace {

bool anyNul(const ItemFilter &f)
{
    return hasNul(f.itemId) || hasNul(f.firstName) || hasNul(f.surname) || hasNul(f.articleNumber)
           || hasNul(f.article) || hasNul(f.batch) || hasNul(f.size);
}

} // namespace

static void addItemFilter(auto &params, const ItemFilter &f)
{
    params.text(f.itemId)
        .number(f.wearerNumber)
        .text(f.firstName)
        .text(f.surname)
        .text(f.articleNumber)
        .text(f.article)
        .text(f.batch)
        .text(f.size)
        .number(f.maxWashes)
        .number(f.washesAbove)
        .date(f.createdFrom)
        .date(f.createdTo)
        .date(f.receivedFrom)
        .date(f.receivedTo)
        .date(f.dispatchedFrom)
        .date(f.dispatchedTo);
}

std::vector<Row> PgStore::itemChunk(std::string_view customer, std::string_view after, const ItemFilter &f,
                                    int limit)
{
    if (hasNul(customer) || anyNul(f))
        return {};
    // Bytewise, every text without the byte 0 that is greater than "P\0..." is greater than "P" and
    // the other way round, so a key cut at its first 0 finds the same rows.
    after = after.substr(0, after.find('\0'));
    Params params;
    params.text(customer).text(after);
    addItemFilter(params, f);
    params.number(std::int64_t{limit});
    Result r = run("item_chunk", itemChunkSql, params);
    return rows(r, contract::items);
}

std::vector<Row> PgStore::washChunk(std::string_view customer, std::int64_t after, const ItemFilter &f, int limit)
{
    if (hasNul(customer) || anyNul(f))
        return {};
    Params params;
    params.text(customer).number(after);
    addItemFilter(params, f);
    params.number(std::int64_t{limit});
    Result r = run("wash_chunk", washChunkSql, params);
    return rows(r, contract::washes);
}

bool PgStore::found(const char *name, const char *sql, const Params &params)
{
    return run(name, sql, params).rows() > 0;
}

ImportCounts PgStore::importRecords(std::string_view customer, const ImportRecords &records)
{
    ImportCounts counts;
    const auto count = [&counts](bool existed) { ++(existed ? counts.replaced : counts.added); };
    exec("BEGIN");
    try {
        exec(importLockSql);
        if (!passwordOf(customer))
            raiseNoSuchCustomer(customer);
        if (const auto *wearers = std::get_if<std::vector<ImportedWearer>>(&records)) {
            for (const ImportedWearer &w : *wearers) {
                count(found("import_wearer_exists",
                            "SELECT 1 FROM wearer WHERE customer = $1 AND traeger_nr = $2::bigint",
                            Params().text(customer).number(w.number)));
                run("import_wearer",
                    "INSERT INTO wearer (customer, traeger_nr, name, vorname, zimmernummer, liefer_adr_id, wohnbereich)"
                    " VALUES ($1, $2::bigint, $3, $4, $5, $6::bigint, $7)"
                    " ON CONFLICT (customer, traeger_nr) DO UPDATE SET name = excluded.name,"
                    " vorname = excluded.vorname, zimmernummer = excluded.zimmernummer,"
                    " liefer_adr_id = excluded.liefer_adr_id, wohnbereich = excluded.wohnbereich",
                    Params()
                        .text(customer)
                        .number(w.number)
                        .text(w.surname)
                        .text(w.firstName)
                        .text(w.room)
                        .number(w.deliveryAddress)
                        .text(w.livingArea));
            }
        } else if (const auto *items = std::get_if<std::vector<ImportedItem>>(&records)) {
            for (const ImportedItem &it : *items) {
                if (!found("import_item_wearer", "SELECT 1 FROM wearer WHERE customer = $1 AND traeger_nr = $2::bigint",
                           Params().text(customer).number(it.wearer)))
                    raiseNoSuchWearer(it.line, it.wearer, customer);
                count(found("import_item_exists", "SELECT 1 FROM item WHERE customer = $1 AND waesche_id = $2",
                            Params().text(customer).text(it.id)));
                run("import_item",
                    "INSERT INTO item (customer, waesche_id, traeger_nr, art_nr, artikel, ort, anz_eingang, angelegt,"
                    " eingang, ausgang, letzte_charge, groesse, max_wasch)"
                    " VALUES ($1, $2, $3::bigint, $4, $5, $6, $7::bigint, $8::date, $9::date, $10::date, $11, $12,"
                    " $13::bigint)"
                    " ON CONFLICT (customer, waesche_id) DO UPDATE SET traeger_nr = excluded.traeger_nr,"
                    " art_nr = excluded.art_nr, artikel = excluded.artikel, ort = excluded.ort,"
                    " anz_eingang = excluded.anz_eingang, angelegt = excluded.angelegt, eingang = excluded.eingang,"
                    " ausgang = excluded.ausgang, letzte_charge = excluded.letzte_charge,"
                    " groesse = excluded.groesse, max_wasch = excluded.max_wasch",
                    Params()
                        .text(customer)
                        .text(it.id)
                        .number(it.wearer)
                        .text(it.articleNumber)
                        .text(it.article)
                        .text(it.location)
                        .number(it.receipts)
                        .date(it.created)
                        .date(it.received)
                        .date(it.dispatched)
                        .text(it.lastBatch)
                        .text(it.size)
                        .number(it.maxWashes));
            }
        } else {
            const auto &washes = std::get<std::vector<ImportedWash>>(records);
            Result last = run("import_wash_last",
                              "SELECT coalesce(max(wash_id), 0) FROM wash_process WHERE customer = $1",
                              Params().text(customer));
            std::int64_t nextId = std::stoll(std::string(last.value(0, 0))) + 1; // new passes follow, in the file's order
            for (const ImportedWash &w : washes) {
                if (!found("import_wash_item", "SELECT 1 FROM item WHERE customer = $1 AND waesche_id = $2",
                           Params().text(customer).text(w.itemId)))
                    raiseNoSuchItem(w.line, w.itemId, customer);
                Result existing = run("import_wash_existing",
                                      "SELECT wash_id FROM wash_process"
                                      " WHERE customer = $1 AND waesche_id = $2 AND anz_eingang = $3::bigint",
                                      Params().text(customer).text(w.itemId).number(w.pass));
                const bool existed = existing.rows() > 0;
                count(existed);
                if (existed)
                    run("import_wash_update",
                        "UPDATE wash_process SET eingang = $3::date, ausgang = $4::date, charge = $5"
                        " WHERE customer = $1 AND wash_id = $2::bigint",
                        Params()
                            .text(customer)
                            .number(std::stoll(std::string(existing.value(0, 0))))
                            .date(w.received)
                            .date(w.dispatched)
                            .text(w.batch));
                else
                    run("import_wash_insert",
                        "INSERT INTO wash_process (customer, wash_id, waesche_id, anz_eingang, eingang, ausgang, charge)"
                        " VALUES ($1, $2::bigint, $3, $4::bigint, $5::date, $6::date, $7)",
                        Params()
                            .text(customer)
                            .number(nextId++)
                            .text(w.itemId)
                            .number(w.pass)
                            .date(w.received)
                            .date(w.dispatched)
                            .text(w.batch));
            }
        }
        exec("COMMIT");
    } catch (...) {
        rollback();
        throw;
    }
    return counts;
}

std::string PgStore::chunkQueryPlan(ListKind list)
{
    // The plan of the prepared statement as the service runs it, with no filter set.
    static const char *const names[] = {"wearer_chunk", "item_chunk", "wash_chunk"};
    static const char *const sql[] = {wearerChunkSql, itemChunkSql, washChunkSql};
    const int i = static_cast<int>(list);
    Params params;
    params.text(std::string_view("1001"));
    if (list == ListKind::Items)
        params.text(std::string_view("S000000"));
    else
        params.number(std::int64_t{0});
    if (list == ListKind::Wearers)
        params.null().text(std::string_view()).text(std::string_view()).text(std::string_view());
    else
        addItemFilter(params, ItemFilter{});
    params.number(std::int64_t{10});
    run(names[i], sql[i], params); // prepared on this connection
    std::string explain = std::string("EXPLAIN (COSTS OFF) EXECUTE ") + names[i] + "(";
    const auto values = params.values();
    for (int p = 0; p < params.size(); ++p) {
        if (p)
            explain += ", ";
        if (!values[p]) {
            explain += "NULL";
        } else {
            char *quoted = PQescapeLiteral(m_conn, values[p], std::strlen(values[p]));
            explain += quoted;
            PQfreemem(quoted);
        }
    }
    explain += ")";
    Result r(PQexec(m_conn, explain.c_str()));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        raise("explain", r.get());
    std::string plan;
    for (int row = 0; row < r.rows(); ++row)
        plan += std::string(r.value(row, 0)) + "\n";
    return plan;
}

bool PgStore::isEmpty()
{
    Result r = run("is_empty",
                   "SELECT NOT EXISTS (SELECT 1 FROM customer) AND NOT EXISTS (SELECT 1 FROM wearer)"
                   " AND NOT EXISTS (SELECT 1 FROM item) AND NOT EXISTS (SELECT 1 FROM wash_process)",
                   Params());
    return r.value(0, 0) == "t";
}

namespace {

// One value in COPY's text form.
void appendCopyText(std::string &line, std::string_view value)
{
    for (const char c : value) {
        switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c;
        }
    }
}

void appendCopyBytes(std::string &line, std::string_view bytes)
{
    static const char hex[] = "0123456789abcdef";
    line += "\\\\x";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        line += hex[b >> 4];
        line += hex[b & 15];
    }
}

} // namespace

void PgStore::copyFrom(LaundryStore &source)
{
    struct Table
    {
        const char *name;
        const char *columns;
        std::vector<bool> binary;
    };
    const Table tables[] = {
        {"customer", "number, salt, digest, iterations", {false, true, true, false}},
        {"wearer", "customer, traeger_nr, name, vorname, zimmernummer, liefer_adr_id, wohnbereich",
         std::vector<bool>(7, false)},
        {"item",
         "customer, waesche_id, traeger_nr, art_nr, artikel, ort, anz_eingang, angelegt, eingang, ausgang,"
         " letzte_charge, groesse, max_wasch",
         std::vector<bool>(13, false)},
        {"wash_process", "customer, wash_id, waesche_id, anz_eingang, eingang, ausgang, charge",
         std::vector<bool>(7, false)},
    };
    PGconn *conn = connection();
    exec("BEGIN");
    try {
        for (const Table &table : tables) {
            const std::string columns = table.columns;
            Result started(PQexec(conn, ("COPY " + std::string(table.name) + " (" + columns + ") FROM STDIN").c_str()));
            if (PQresultStatus(started.get()) != PGRES_COPY_IN)
                raise("copy", started.get());
            SqliteStatement select(source.database(), "SELECT " + columns + " FROM " + table.name);
            std::string buffer;
            while (select.step()) {
                for (std::size_t c = 0; c < table.binary.size(); ++c) {
                    if (c)
                        buffer += '\t';
                    const int column = static_cast<int>(c);
                    if (select.isNull(column))
                        buffer += "\\N";
                    else if (table.binary[c])
                        appendCopyBytes(buffer, select.blob(column));
                    else
                        appendCopyText(buffer, select.text(column));
                }
                buffer += '\n';
                if (buffer.size() > 256 * 1024) {
                    if (PQputCopyData(conn, buffer.data(), static_cast<int>(buffer.size())) != 1)
                        raise("copy", nullptr);
                    buffer.clear();
                }
            }
            if (!buffer.empty() && PQputCopyData(conn, buffer.data(), static_cast<int>(buffer.size())) != 1)
                raise("copy", nullptr);
            if (PQputCopyEnd(conn, nullptr) != 1)
                raise("copy", nullptr);
            Result ended(PQgetResult(conn));
            if (PQresultStatus(ended.get()) != PGRES_COMMAND_OK)
                raise("copy", ended.get());
            while (PGresult *rest = PQgetResult(conn))
                PQclear(rest);
        }
        exec("COMMIT");
    } catch (...) {
        rollback();
        throw;
    }
    exec("ANALYZE");
}

} // namespace service
