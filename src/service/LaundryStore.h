#pragma once

#include "service/Sqlite.h"
#include "service/Store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace service {

// The service's data on one SQLite connection: customers, wearers, laundry
// items and wash processes, each list keyed by customer and its paging key so
// that every chunk is a range scan of the primary key.
class LaundryStore : public Store
{
public:
    LaundryStore(const std::string &path, SqliteDatabase::Mode mode);

    SqliteDatabase &database() { return m_db; }

    // The schema's transaction is a savepoint inside a caller's.
    void createSchema() override;
    int schemaVersion() override;
    ImportCounts importRecords(std::string_view customer, const ImportRecords &records) override;

    void setCustomer(std::string_view number, const PasswordHash &password) override;
    std::optional<PasswordHash> passwordOf(std::string_view customer) override;
    std::int64_t customerCount() override;

    std::int64_t count(ListKind list, std::string_view customer) override;

    std::vector<Row> wearerChunk(std::string_view customer, std::int64_t after, const WearerFilter &filter,
                                 int limit) override;
    std::vector<Row> itemChunk(std::string_view customer, std::string_view after, const ItemFilter &filter,
                               int limit) override;
    std::vector<Row> washChunk(std::string_view customer, std::int64_t after, const ItemFilter &filter, int limit) override;

    // SQLite's plan for the list's chunk query, one step per line (for checking
    // that paging stays a primary-key range scan).
    std::string chunkQueryPlan(ListKind list) override;

private:
    enum Slot { CustomerPassword, CustomerUpsert, CustomerCount, CountWearers, CountItems, CountWashes,
                WearerChunk, ItemChunk, WashChunk, SlotCount };
    SqliteStatement &statement(Slot slot);

    // The laundry-item and wash-process chunks differ in statement, key and cells.
    template<typename Key>
    std::vector<Row> laundryChunk(Slot slot, std::string_view customer, Key after, const ItemFilter &filter,
                                  int limit, const contract::ListContract &list);
    static void bindItemFilter(SqliteStatement &statement, const ItemFilter &filter);
    static std::vector<Row> collect(SqliteStatement &statement, const contract::ListContract &list);

    SqliteDatabase m_db;
    std::optional<SqliteStatement> m_statements[SlotCount];
};

} // namespace service
