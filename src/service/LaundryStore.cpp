#include "service/LaundryStore.h"

#include "service/DayDate.h"
#include "service/TextFold.h"

#include <sqlite3.h>

namespace service {

namespace {

// Version 1: the tables as the first release made them, without a version record.
const char *const schemaVersion1Sql = R"sql(
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

// Version 2: the key of a wash process on import, the item and its pass number.
const char *const schemaVersion2Sql =
    "CREATE UNIQUE INDEX IF NOT EXISTS wash_process_pass ON wash_process (customer, waesche_id, anz_eingang)";

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

int LaundryStore::schemaVersion()
{
    SqliteStatement table(m_db, "SELECT name FROM sqlite_schema WHERE type = 'table'"
                                " AND name IN ('schema_version', 'customer') ORDER BY name DESC");
    if (!table.step())
        return 0; // empty
    if (table.text(0) != "schema_version")
        return 1; // made before the version was recorded
    SqliteStatement version(m_db, "SELECT version FROM schema_version");
    if (!version.step())
        throw EDatabaseError(QStringLiteral("The database's table schema_version is empty"));
    return static_cast<int>(version.integer(0));
}

void LaundryStore::createSchema()
{
    // Inside a caller's transaction a savepoint; alone, a write transaction from the start.
    const bool alone = sqlite3_get_autocommit(m_db.handle()) != 0;
    m_db.exec(alone ? "BEGIN IMMEDIATE" : "SAVEPOINT plv_schema");
    try {
        int version = schemaVersion();
        refuseNewerSchema(version);
        const int found = version;
        if (version < 1) {
            m_db.exec(schemaVersion1Sql);
            version = 1;
        }
        if (version < 2) {
            m_db.exec(schemaVersion2Sql);
            version = 2;
        }
        if (found < 2) {
            m_db.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
            m_db.exec("DELETE FROM schema_version");
            SqliteStatement record(m_db, "INSERT INTO schema_version (version) VALUES (:version)");
            record.bind(":version", std::int64_t{version});
            record.step();
        }
        m_db.exec(alone ? "COMMIT" : "RELEASE plv_schema");
    } catch (...) {
        if (alone)
            sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        else
            sqlite3_exec(m_db.handle(), "ROLLBACK TO plv_schema; RELEASE plv_schema", nullptr, nullptr, nullptr);
        throw;
    }
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

namespace {

bool found(SqliteStatement &s)
{
    const bool row = s.step();
    s.reset();
    return row;
}

} // namespace

ImportCounts LaundryStore::importRecords(std::string_view customer, const ImportRecords &records)
{
    SqliteTransaction transaction(m_db);
    if (!passwordOf(customer))
        raiseNoSuchCustomer(customer);
    ImportCounts counts;
    const auto count = [&counts](bool existed) { ++(existed ? counts.replaced : counts.added); };

    if (const auto *wearers = std::get_if<std::vector<ImportedWearer>>(&records)) {
        SqliteStatement exists(m_db, "SELECT 1 FROM wearer WHERE customer = :customer AND traeger_nr = :nr");
        SqliteStatement upsert(
            m_db, "INSERT INTO wearer (customer, traeger_nr, name, vorname, zimmernummer, liefer_adr_id, wohnbereich)"
                  " VALUES (:customer, :nr, :name, :vorname, :zimmer, :adr, :wb)"
                  " ON CONFLICT (customer, traeger_nr) DO UPDATE SET name = excluded.name,"
                  " vorname = excluded.vorname, zimmernummer = excluded.zimmernummer,"
                  " liefer_adr_id = excluded.liefer_adr_id, wohnbereich = excluded.wohnbereich");
        for (const ImportedWearer &w : *wearers) {
            exists.bind(":customer", customer);
            exists.bind(":nr", w.number);
            count(found(exists));
            upsert.bind(":customer", customer);
            upsert.bind(":nr", w.number);
            upsert.bind(":name", asView(w.surname));
            upsert.bind(":vorname", asView(w.firstName));
            upsert.bind(":zimmer", asView(w.room));
            upsert.bind(":adr", w.deliveryAddress);
            upsert.bind(":wb", asView(w.livingArea));
            upsert.step();
            upsert.reset();
        }
    } else if (const auto *items = std::get_if<std::vector<ImportedItem>>(&records)) {
        SqliteStatement wearerExists(m_db, "SELECT 1 FROM wearer WHERE customer = :customer AND traeger_nr = :nr");
        SqliteStatement exists(m_db, "SELECT 1 FROM item WHERE customer = :customer AND waesche_id = :id");
        SqliteStatement upsert(
            m_db, "INSERT INTO item (customer, waesche_id, traeger_nr, art_nr, artikel, ort, anz_eingang, angelegt,"
                  " eingang, ausgang, letzte_charge, groesse, max_wasch)"
                  " VALUES (:customer, :id, :nr, :art_nr, :artikel, :ort, :anz, :angelegt, :eingang, :ausgang,"
                  " :charge, :groesse, :max)"
                  " ON CONFLICT (customer, waesche_id) DO UPDATE SET traeger_nr = excluded.traeger_nr,"
                  " art_nr = excluded.art_nr, artikel = excluded.artikel, ort = excluded.ort,"
                  " anz_eingang = excluded.anz_eingang, angelegt = excluded.angelegt, eingang = excluded.eingang,"
                  " ausgang = excluded.ausgang, letzte_charge = excluded.letzte_charge,"
                  " groesse = excluded.groesse, max_wasch = excluded.max_wasch");
        for (const ImportedItem &it : *items) {
            wearerExists.bind(":customer", customer);
            wearerExists.bind(":nr", it.wearer);
            if (!found(wearerExists))
                raiseNoSuchWearer(it.line, it.wearer, customer);
            exists.bind(":customer", customer);
            exists.bind(":id", asView(it.id));
            count(found(exists));
            upsert.bind(":customer", customer);
            upsert.bind(":id", asView(it.id));
            upsert.bind(":nr", it.wearer);
            upsert.bind(":art_nr", asView(it.articleNumber));
            upsert.bind(":artikel", asView(it.article));
            upsert.bind(":ort", asView(it.location));
            upsert.bind(":anz", it.receipts);
            bindOptional(upsert, ":angelegt", it.created);
            bindOptional(upsert, ":eingang", it.received);
            bindOptional(upsert, ":ausgang", it.dispatched);
            upsert.bind(":charge", asView(it.lastBatch));
            upsert.bind(":groesse", asView(it.size));
            upsert.bind(":max", it.maxWashes);
            upsert.step();
            upsert.reset();
        }
    } else {
        const auto &washes = std::get<std::vector<ImportedWash>>(records);
        SqliteStatement itemExists(m_db, "SELECT 1 FROM item WHERE customer = :customer AND waesche_id = :id");
        SqliteStatement existing(m_db, "SELECT wash_id FROM wash_process"
                                       " WHERE customer = :customer AND waesche_id = :id AND anz_eingang = :pass");
        SqliteStatement lastId(m_db, "SELECT coalesce(max(wash_id), 0) FROM wash_process WHERE customer = :customer");
        SqliteStatement insert(m_db, "INSERT INTO wash_process (customer, wash_id, waesche_id, anz_eingang, eingang,"
                                     " ausgang, charge) VALUES (:customer, :wash, :id, :pass, :eingang, :ausgang, :charge)");
        SqliteStatement update(m_db, "UPDATE wash_process SET eingang = :eingang, ausgang = :ausgang, charge = :charge"
                                     " WHERE customer = :customer AND wash_id = :wash");
        lastId.bind(":customer", customer);
        lastId.step();
        std::int64_t nextId = lastId.integer(0) + 1; // new passes follow, in the file's order
        lastId.reset();
        for (const ImportedWash &w : washes) {
            itemExists.bind(":customer", customer);
            itemExists.bind(":id", asView(w.itemId));
            if (!found(itemExists))
                raiseNoSuchItem(w.line, w.itemId, customer);
            existing.bind(":customer", customer);
            existing.bind(":id", asView(w.itemId));
            existing.bind(":pass", w.pass);
            const bool existed = existing.step();
            const std::int64_t id = existed ? existing.integer(0) : nextId++;
            existing.reset();
            count(existed);
            SqliteStatement &write = existed ? update : insert;
            write.bind(":customer", customer);
            write.bind(":wash", id);
            if (!existed) {
                write.bind(":id", asView(w.itemId));
                write.bind(":pass", w.pass);
            }
            bindOptional(write, ":eingang", w.received);
            bindOptional(write, ":ausgang", w.dispatched);
            write.bind(":charge", asView(w.batch));
            write.step();
            write.reset();
        }
    }
    transaction.commit();
    return counts;
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
