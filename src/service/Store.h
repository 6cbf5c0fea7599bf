#pragma once

#include "contract/ListContract.h"
#include "platform/Exception.h"
#include "service/CsvImport.h"
#include "service/PasswordHash.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The database cannot be reached just now (a server gone away); the request may succeed later.
PLIVORA_DECLARE_EXCEPTION(EStoreUnavailable, Exception)

namespace service {

using ListKind = contract::List;

// The cells of one reply row in wire order, plain (not yet percent-encoded),
// dates as "dd.MM.yyyy", missing values empty.
using Row = std::vector<std::string>;

// Filters of the wearer list. Texts are case-folded prefixes (foldCase), empty = no filter.
struct WearerFilter
{
    std::optional<std::int64_t> wearerNumber;
    std::string firstName;
    std::string surname;
    std::string livingArea;
};

// Filters shared by the laundry-item and wash-process lists. Dates are ISO
// texts, nullopt = unbounded; both bounds are inclusive.
struct ItemFilter
{
    std::string itemId; // exact
    std::optional<std::int64_t> wearerNumber;
    std::string firstName;
    std::string surname;
    std::string articleNumber;
    std::string article;
    std::string batch;
    std::string size;
    std::optional<std::int64_t> maxWashes;   // exact
    std::optional<std::int64_t> washesAbove; // receipts strictly greater
    std::optional<std::string> createdFrom, createdTo;
    std::optional<std::string> receivedFrom, receivedTo;
    std::optional<std::string> dispatchedFrom, dispatchedTo;
};

// The version of the tables this program makes; createSchema() brings older ones up to it.
// Version 2 added the unique index wash_process_pass (customer, waesche_id, anz_eingang).
inline constexpr int currentSchemaVersion = 2;

struct ImportCounts
{
    std::int64_t added = 0;
    std::int64_t replaced = 0;
};

// What the service needs of its database, on one connection used by one thread
// at a time. Both backends give the same rows for the same data: text keys
// ordered bytewise, text filters as folded prefixes, rows without a date kept
// by every date range.
class Store
{
protected:
    static bool checkAgainst(const std::optional<PasswordHash> &stored, std::string_view customer,
                             std::string_view password, VerifiedCredentials &verified);

public:
    virtual ~Store() = default;

    // Creates the tables on an empty database and migrates an older schema to
    // currentSchemaVersion, in one transaction; a no-op on a current database.
    // A newer schema is refused (EDatabaseError), never changed.
    virtual void createSchema() = 0;
    // 0 for an empty database; 1 for one made before the version was recorded.
    virtual int schemaVersion() = 0;

    // Adds the records or replaces those with the same key (wearer number, item
    // identifier, item and pass number), in one transaction: all or nothing.
    // Raises EImportError naming the record's line when one refers to a wearer
    // or item the customer lacks, or when the customer does not exist.
    virtual ImportCounts importRecords(std::string_view customer, const ImportRecords &records) = 0;

    virtual void setCustomer(std::string_view number, const PasswordHash &password) = 0;
    virtual std::optional<PasswordHash> passwordOf(std::string_view customer) = 0;
    // An unknown customer costs the work of a wrong password on either backend.
    bool checkCredentials(std::string_view customer, std::string_view password, VerifiedCredentials &verified);
    // The same check around `read`, which makes the request's queries. `read` may run
    // even when the check fails (the caller uses what it read only when this returns
    // true), so that a backend can send the password lookup with read's first query.
    virtual bool checkCredentialsAround(std::string_view customer, std::string_view password,
                                        VerifiedCredentials &verified, const std::function<void()> &read);
    virtual std::int64_t customerCount() = 0;

    virtual std::int64_t count(ListKind list, std::string_view customer) = 0;

    virtual std::vector<Row> wearerChunk(std::string_view customer, std::int64_t after, const WearerFilter &filter,
                                         int limit) = 0;
    virtual std::vector<Row> itemChunk(std::string_view customer, std::string_view after,
                                       const ItemFilter &filter, int limit) = 0;
    virtual std::vector<Row> washChunk(std::string_view customer, std::int64_t after, const ItemFilter &filter,
                                       int limit) = 0;

    // The engine's plan for the list's chunk query, one step per line (for
    // checking that paging stays a range scan of the list's key).
    virtual std::string chunkQueryPlan(ListKind list) = 0;
};

// "postgresql://..." and "postgres://..." (libpq connection URIs) name a
// PostgreSQL database; anything else is the path of an SQLite file.
bool isPostgresUri(std::string_view database);

// The database as it may be shown in messages: a URI without its password.
std::string displayName(const std::string &database);

// The messages of an import that refers to what the database lacks, the same on both backends.
[[noreturn]] void raiseNoSuchCustomer(std::string_view customer);
[[noreturn]] void raiseNoSuchWearer(int line, std::int64_t wearer, std::string_view customer);
[[noreturn]] void raiseNoSuchItem(int line, std::string_view item, std::string_view customer);
// Raises EDatabaseError when `found` is newer than this program knows.
void refuseNewerSchema(int found);

enum class StoreAccess { ReadOnly, ReadWrite, Existing };

// Opens the backend the name selects. For SQLite, ReadWrite creates the file
// when missing and Existing (read-write) refuses a missing one.
std::unique_ptr<Store> openStore(const std::string &database, StoreAccess access);

} // namespace service
