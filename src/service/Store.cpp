#include "service/Store.h"

#include "service/LaundryStore.h"
#include "service/PgStore.h"

#include <libpq-fe.h>

namespace service {

bool Store::checkCredentials(std::string_view customer, std::string_view password, VerifiedCredentials &verified)
{
    const std::optional<PasswordHash> stored = passwordOf(customer);
    if (!stored)
        return verifyAgainstNoRecord(password);
    if (verified.contains(customer, *stored, password))
        return true;
    if (!verifyPassword(password, *stored))
        return false;
    verified.insert(customer, *stored, password);
    return true;
}

bool isPostgresUri(std::string_view database)
{
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::string displayName(const std::string &database)
{
    if (!isPostgresUri(database))
        return database;
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(database.c_str(), &error);
    if (!options) {
        PQfreemem(error);
        return "postgresql://(unreadable URI)";
    }
    std::string user, host, port, dbname;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        const std::string_view key = o->keyword;
        const std::string value = o->val ? o->val : "";
        if (key == "user")
            user = value;
        else if (key == "host")
            host = value;
        else if (key == "port")
            port = value;
        else if (key == "dbname")
            dbname = value;
    }
    PQconninfoFree(options);
    std::string shown = "postgresql://";
    if (!user.empty())
        shown += user + "@";
    shown += host;
    if (!port.empty())
        shown += ":" + port;
    return shown + "/" + dbname;
}

std::unique_ptr<Store> openStore(const std::string &database, StoreAccess access)
{
    if (isPostgresUri(database))
        return std::make_unique<PgStore>(database);
    return std::make_unique<LaundryStore>(database, access == StoreAccess::ReadOnly ? SqliteDatabase::Mode::ReadOnly
                                                                                     : SqliteDatabase::Mode::Create);
}

} // namespace service
