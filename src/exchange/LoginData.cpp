#include "exchange/LoginData.h"

#include "exchange/ContractText.h"
#include "platform/PercentCoding.h"

#include <stdexcept>

QString LoginData::requestUrl(std::string_view path, const QString &query) const
{
    return QStringLiteral("https://") + IPWebServer + QLatin1Char(':') + PortWebServer + QLatin1Char(' ')
        + exchange::contractText(path) + QLatin1Char('?') + query;
}

QString LoginData::credential(const contract::Parameter &parameter) const
{
    QString value;
    switch (parameter.field) {
    case contract::Field::Customer: value = KDNummerPub; break;
    case contract::Field::Password: value = PWPub; break;
    default: throw std::logic_error("no credential: " + std::string(parameter.name));
    }
    return parameter.conversion == contract::Conversion::PercentEncoded ? platform::percentEncode(value) : value;
}

QString LoginData::credentialsQuery() const
{
    QString query;
    for (const contract::Parameter &parameter : contract::credentials) {
        if (!query.isEmpty())
            query += QLatin1Char('&');
        query += exchange::contractText(parameter.name) + QLatin1Char('=') + credential(parameter);
    }
    return query;
}

QString LoginData::loginUrl() const
{
    return requestUrl(contract::loginPath, credentialsQuery());
}
