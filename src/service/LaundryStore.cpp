#include "service/LaundryStore.h"

#include "service/DayDate.h"
#include "service/TextFold.h"

#include <sqlite3.h>

namespace service {

namespace {

const char *const schemaSql = R"sql(
CREATE TABLE IF NOT EXISTS customer (
    number     TEXT    NOT NULL PRIMARY KEY,
    salt       BLOB    NOT NULL,
    digest     BLOB    NOT NULL,
    iterations INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS wearer (
    customer      TEXT    NOT NULL REFERENCES customer(number),
    traeger_nr    INTEGER NOT NULL,
    name          TEXT    NOT NULL,
    vorname       TEXT    NOT NULL,
    zimmernummer  TEXT    NOT NULL,
    liefer_adr_id INTEGER NOT NULL,
    wohnbereich   TEXT    NOT NULL,
    PRIMARY KEY (customer, traeger_nr)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS item (
    customer      TEXT    NOT NULL,
    waesche_id    TEXT    NOT NULL,
    traeger_nr    INTEGER NOT NULL,
    art_nr        TEXT    NOT NULL,
    artikel       TEXT    NOT NULL,
    ort           TEXT    NOT NULL,
    anz_eingang   INTEGER NOT NULL,
    angelegt      TEXT,
    eingang       TEXT,
    ausgang       TEXT,
    letzte_charge TEXT    NOT NULL,
    groesse       TEXT    NOT NULL,
    max_wasch     INTEGER NOT NULL,
    PRIMARY KEY (customer, waesche_id),
    FOREIGN KEY (customer, traeger_nr) REFERENCES wearer(customer, traeger_nr)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS wash_process (
    customer    TEXT    NOT NULL,
    wash_id     INTEGER NOT NULL,
    waesche_id  TEXT    NOT NULL,
    anz_eingang INTEGER NOT NULL,
    eingang     TEXT,
    ausgang     TEXT,
    charge      TEXT    NOT NULL,
    PRIMARY KEY (customer, wash_id),
    FOREIGN KEY (customer, waesche_id) REFERENCES item(customer, waesche_id)
) WITHOUT ROWID;
)sql";

// A row without a date is kept by every date range: an item not yet received
// or dispatched cannot be said to fall outside it.
#define PLV_DATE_RANGE(column, from, to)                                                             \
    " AND (" column " IS NULL OR ((" from " IS NULL OR " column " >= " from ") AND (" to " IS NULL OR " column \
    " <= " to ")))"

// Each chunk query selects the list's reply cells in their order (contract/ListContract.h).
const char *const wearerChunkSql =
    "SELECT traeger_nr, name, vorname, zimmernummer, liefer_adr_id, wohnbereich"
    " FROM wearer"
    " WHERE customer = :customer AND traeger_nr > :after"
    " AND (:bew_nr IS NULL OR traeger_nr = :bew_nr)"
    " AND (:vorname = '' OR plv_starts(vorname, :vorname))"
    " AND (:name = '' OR plv_starts(name, :name))"
    " AND (:wb = '' OR plv_starts(wohnbereich, :wb))"
    " ORDER BY traeger_nr LIMIT :limit";

#define PLV_ITEM_FILTERS(itemAlias, passAlias)                                                      \
    " AND (:waesche_id = '' OR " itemAlias ".waesche_id = :waesche_id)"                              \
    " AND (:bew_nr IS NULL OR " itemAlias ".traeger_nr = :bew_nr)"                                   \
    " AND (:vorname = '' OR plv_starts(w.vorname, :vorname))"                                        \
    " AND (:name = '' OR plv_starts(w.name, :name))"                                                 \
    " AND (:art_nr = '' OR plv_starts(" itemAlias ".art_nr, :art_nr))"                               \
    " AND (:artikel = '' OR plv_starts(" itemAlias ".artikel, :artikel))"                            \
    " AND (:groesse = '' OR plv_starts(" itemAlias ".groesse, :groesse))"                            \
    " AND (:max_wasch IS NULL OR " itemAlias ".max_wasch = :max_wasch)"                              \
    " AND (:anz_wasch IS NULL OR " passAlias ".anz_eingang > :anz_wasch)"                            \
    PLV_DATE_RANGE(itemAlias ".angelegt", ":ang_nach", ":ang_vor")                                   \
    PLV_DATE_RANGE(passAlias ".eingang", ":eing_nach", ":eing_vor")                                  \
    PLV_DATE_RANGE(passAlias ".ausgang", ":ausg_nach", ":ausg_vor")

const char *const itemChunkSql =
    "SELECT i.waesche_id, i.traeger_nr, w.name, w.vorname, i.art_nr, i.artikel, i.ort, i.anz_eingang,"
    " i.angelegt, i.eingang, w.liefer_adr_id, i.ausgang, i.letzte_charge, i.groesse, i.max_wasch"
    " FROM item AS i"
    " LEFT JOIN wearer AS w ON w.customer = i.customer AND w.traeger_nr = i.traeger_nr"
    " WHERE i.customer = :customer AND i.waesche_id > :after"
    PLV_ITEM_FILTERS("i", "i")
    " AND (:charge = '' OR plv_starts(i.letzte_charge, :charge))"
    " ORDER BY i.waesche_id LIMIT :limit";

const char *const washChunkSql =
    "SELECT p.wash_id, p.waesche_id, i.traeger_nr, w.name, w.vorname, i.art_nr, i.artikel, i.ort,"
    " p.anz_eingang, i.angelegt, p.eingang, w.liefer_adr_id, p.ausgang, p.charge, i.groesse, i.max_wasch"
    " FROM wash_process AS p"
    " LEFT JOIN item AS i ON i.customer = p.customer AND i.waesche_id = p.waesche_id"
    " LEFT JOIN wearer AS w ON w.customer = i.customer AND w.traeger_nr = i.traeger_nr"
    " WHERE p.customer = :customer AND p.wash_id > :after"
    PLV_ITEM_FILTERS("i", "p")
    " AND (:charge = '' OR plv_starts(p.charge, :charge))"
    " ORDER BY p.wash_id LIMIT :limit";

const char *const sqlOf[] = {
    "SELECT salt, digest, iterations FROM customer WHERE number = :customer",
    "INSERT INTO customer (number, salt, digest, iterations) VALUES (:customer, :salt, :digest, :iterations)"
    " ON CONFLICT (number) DO UPDATE SET salt = excluded.salt, digest = excluded.digest,"
    " iterations = excluded.iterations",
    "SELECT count(*) FROM customer",
    "SELECT count(*) FROM wearer WHERE customer = :customer",
    "SELECT count(*) FROM item WHERE customer = :customer",
    "SELECT count(*) FROM wash_process WHERE customer = :customer",
    wearerChunkSql,
    itemChunkSql,
    washChunkSql,
};

// plv_starts(text, foldedPrefix): the case-insensitive prefix test of the text filters.
void startsWithFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const auto *prefix = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    if (!text || !prefix) {
        sqlite3_result_int(context, 0);
        return;
    }
    const std::string_view t(text, static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
    const std::string_view p(prefix, static_cast<std::size_t>(sqlite3_value_bytes(argv[1])));
    sqlite3_result_int(context, startsWithFolded(t, p) ? 1 : 0);
}

// Resets the statement however the use ends, so the next caller finds it fresh.
struct ResetOnExit
{
    SqliteStatement &statement;
    ~ResetOnExit() { statement.reset(); }
};

void bindOptional(SqliteStatement &s, const char *name, const std::optional<std::int64_t> &value)
{
    if (value)
        s.bind(name, *value);
    else
        s.bindNull(name);
}

void bindOptional(SqliteStatement &s, const char *name, const std::optional<std::string> &value)
{
    if (value)
        s.bind(name, std::string_view(*value));
    else
        s.bindNull(name);
}

std::string_view asView(const std::string &s)
{
    return s;
}

} // namespace

LaundryStore::LaundryStore(const std::string &path, SqliteDatabase::Mode mode)
    : m_db(path, mode)
{
    if (sqlite3_create_function_v2(m_db.handle(), "plv_starts", 2,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   &startsWithFunction, nullptr, nullptr, nullptr)
        != SQLITE_OK)
        m_db.raise("create function");
    m_db.exec("PRAGMA foreign_keys = ON");
}

void LaundryStore::createSchema()
{
    m_db.exec(schemaSql);
}

SqliteStatement &LaundryStore::statement(Slot slot)
{
    auto &s = m_statements[slot];
    if (!s)
        s.emplace(m_db, sqlOf[slot]);
    return *s;
}

void LaundryStore::setCustomer(std::string_view number, const PasswordHash &password)
{
    SqliteStatement &s = statement(CustomerUpsert);
    ResetOnExit reset{s};
    s.bind(":customer", number);
    s.bindBlob(":salt", password.salt);
    s.bindBlob(":digest", password.digest);
    s.bind(":iterations", std::int64_t{password.iterations});
    s.step();
}

std::optional<PasswordHash> LaundryStore::passwordOf(std::string_view customer)
{
    SqliteStatement &s = statement(CustomerPassword);
    ResetOnExit reset{s};
    s.bind(":customer", customer);
    if (!s.step())
        return std::nullopt;
    PasswordHash hash;
    hash.salt = std::string(s.blob(0));
    hash.digest = std::string(s.blob(1));
    hash.iterations = static_cast<int>(s.integer(2));
    return hash;
}

std::int64_t LaundryStore::customerCount()
{
    SqliteStatement &s = statement(CustomerCount);
    ResetOnExit reset{s};
    s.step();
    return s.integer(0);
}

std::int64_t LaundryStore::count(ListKind list, std::string_view customer)
{
    const Slot slot = list == ListKind::Wearers ? CountWearers : list == ListKind::Items ? CountItems : CountWashes;
    SqliteStatement &s = statement(slot);
    ResetOnExit reset{s};
    s.bind(":customer", customer);
    s.step();
    return s.integer(0);
}

// Stored dates are ISO texts; the list's date cells go out as dd.MM.yyyy.
std::vector<Row> LaundryStore::collect(SqliteStatement &statement, const contract::ListContract &list)
{
    const int cellCount = list.cellCount();
    std::vector<Row> rows;
    while (statement.step()) {
        Row row;
        row.reserve(static_cast<std::size_t>(cellCount));
        for (int column = 0; column < cellCount; ++column) {
            if (statement.isNull(column))
                row.emplace_back();
            else if (list.isDateCell(column + 1))
                row.push_back(germanFromIso(statement.text(column)));
            else
                row.emplace_back(statement.text(column));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Row> LaundryStore::wearerChunk(std::string_view customer, std::int64_t after,
                                           const WearerFilter &filter, int limit)
{
    SqliteStatement &s = statement(WearerChunk);
    ResetOnExit reset{s};
    s.bind(":customer", customer);
    s.bind(":after", after);
    bindOptional(s, ":bew_nr", filter.wearerNumber);
    s.bind(":vorname", asView(filter.firstName));
    s.bind(":name", asView(filter.surname));
    s.bind(":wb", asView(filter.livingArea));
    s.bind(":limit", std::int64_t{limit});
    return collect(s, contract::wearers);
}

void LaundryStore::bindItemFilter(SqliteStatement &s, const ItemFilter &f)
{
    s.bind(":waesche_id", asView(f.itemId));
    bindOptional(s, ":bew_nr", f.wearerNumber);
    s.bind(":vorname", asView(f.firstName));
    s.bind(":name", asView(f.surname));
    s.bind(":art_nr", asView(f.articleNumber));
    s.bind(":artikel", asView(f.article));
    s.bind(":charge", asView(f.batch));
    s.bind(":groesse", asView(f.size));
    bindOptional(s, ":max_wasch", f.maxWashes);
    bindOptional(s, ":anz_wasch", f.washesAbove);
    bindOptional(s, ":ang_nach", f.createdFrom);
    bindOptional(s, ":ang_vor", f.createdTo);
    bindOptional(s, ":eing_nach", f.receivedFrom);
    bindOptional(s, ":eing_vor", f.receivedTo);
    bindOptional(s, ":ausg_nach", f.dispatchedFrom);
    bindOptional(s, ":ausg_vor", f.dispatchedTo);
}

template<typename Key>
std::vector<Row> LaundryStore::laundryChunk(Slot slot, std::string_view customer, Key after,
                                            const ItemFilter &filter, int limit, const contract::ListContract &list)
{
    SqliteStatement &s = statement(slot);
    ResetOnExit reset{s};
    s.bind(":customer", customer);
    s.bind(":after", after);
    bindItemFilter(s, filter);
    s.bind(":limit", std::int64_t{limit});
    return collect(s, list);
}

std::vector<Row> LaundryStore::itemChunk(std::string_view customer, std::string_view after,
                                         const ItemFilter &filter, int limit)
{
    return laundryChunk(ItemChunk, customer, after, filter, limit, contract::items);
}

std::vector<Row> LaundryStore::washChunk(std::string_view customer, std::int64_t after, const ItemFilter &filter,
                                         int limit)
{
    return laundryChunk(WashChunk, customer, after, filter, limit, contract::washes);
}

std::string LaundryStore::chunkQueryPlan(ListKind list)
{
    const char *sql = list == ListKind::Wearers ? wearerChunkSql : list == ListKind::Items ? itemChunkSql
                                                                                          : washChunkSql;
    SqliteStatement s(m_db, std::string("EXPLAIN QUERY PLAN ") + sql);
    std::string plan;
    while (s.step()) {
        plan += s.text(3);
        plan += '\n';
    }
    return plan;
}

} // namespace service
