#include "service/Store.h"

#include "service/LaundryStore.h"
#include "service/PgStore.h"

#include <libpq-fe.h>

#include <QString>

namespace service {

bool Store::checkCredentials(std::string_view customer, std::string_view password, VerifiedCredentials &verified)
{
    return checkAgainst(passwordOf(customer), customer, password, verified);
}

bool Store::checkCredentialsAround(std::string_view customer, std::string_view password,
                                   VerifiedCredentials &verified, const std::function<void()> &read)
{
    if (!checkCredentials(customer, password, verified))
        return false;
    read();
    return true;
}

bool Store::checkAgainst(const std::optional<PasswordHash> &stored, std::string_view customer,
                         std::string_view password, VerifiedCredentials &verified)
{
    if (!stored)
        return verifyAgainstNoRecord(password);
    if (verified.contains(customer, *stored, password))
        return true;
    if (!verifyPassword(password, *stored))
        return false;
    verified.insert(customer, *stored, password);
    return true;
}

namespace {

QString quoted(std::string_view text)
{
    return QStringLiteral("\"%1\"").arg(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace

void raiseNoSuchCustomer(std::string_view customer)
{
    throw EImportError(
        QStringLiteral("customer %1 does not exist; add it with --add-customer first").arg(quoted(customer)));
}

void raiseNoSuchWearer(int line, std::int64_t wearer, std::string_view customer)
{
    throw EImportError(QStringLiteral("line %1: TraegerNr %2 is no wearer of customer %3; import the wearers first")
                           .arg(line)
                           .arg(wearer)
                           .arg(quoted(customer)));
}

void raiseNoSuchItem(int line, std::string_view item, std::string_view customer)
{
    throw EImportError(
        QStringLiteral("line %1: WaescheID %2 is no laundry item of customer %3; import the items first")
            .arg(line)
            .arg(quoted(item), quoted(customer)));
}

void refuseNewerSchema(int found)
{
    if (found > currentSchemaVersion)
        throw EDatabaseError(QStringLiteral("The database has schema version %1; this program knows up to %2."
                                            " Use a newer plivora-service.")
                                 .arg(found)
                                 .arg(currentSchemaVersion));
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
    const SqliteDatabase::Mode mode = access == StoreAccess::ReadOnly   ? SqliteDatabase::Mode::ReadOnly
                                      : access == StoreAccess::Existing ? SqliteDatabase::Mode::ReadWrite
                                                                        : SqliteDatabase::Mode::Create;
    return std::make_unique<LaundryStore>(database, mode);
}

} // namespace service
