#pragma once

#include "net/TIdHTTP.h"

#include <QString>

// What every request is built from: the server of "config.ini", the credentials
// of the latest login attempt and the one HTTP client. The login window derives
// from this; the exchange object references it.
struct LoginData
{
    QString IPWebServer;
    QString PortWebServer;
    QString KDNummerPub;
    QString PWPub;
    TIdHTTP IdHTTPPlivora;

    // "https://" + host + ":" + port + path literal + query; path literals start
    // with a blank, e.g. " /BewohnerInit?", which the channel drops on the wire.
    QString requestUrl(const QString &pathLiteral, const QString &query) const;
    // "USER=<customer number>&PW=<password>", both percent-encoded so that a
    // "&", "#" or blank in them cannot change the query.
    QString credentialsQuery() const;
    // The login request: requestUrl(" /Login?", credentialsQuery()).
    QString loginUrl() const;
};
