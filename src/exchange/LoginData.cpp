#include "exchange/LoginData.h"

#include "platform/PercentCoding.h"

QString LoginData::requestUrl(const QString &pathLiteral, const QString &query) const
{
    return QStringLiteral("https://") + IPWebServer + QLatin1Char(':') + PortWebServer + pathLiteral + query;
}

QString LoginData::credentialsQuery() const
{
    return QStringLiteral("USER=") + platform::percentEncode(KDNummerPub) + QStringLiteral("&PW=")
        + platform::percentEncode(PWPub);
}

QString LoginData::loginUrl() const
{
    return requestUrl(QStringLiteral(" /Login?"), credentialsQuery());
}
