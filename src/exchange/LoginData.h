#pragma once

#include "contract/ListContract.h"
#include "net/TIdHTTP.h"

#include <QString>

#include <string_view>

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

    // "https://" + host + ":" + port + " " + path + "?" + query: the request
    // convention puts a blank before the path, which the channel drops on the wire.
    QString requestUrl(std::string_view path, const QString &query) const;
    // "USER=<customer number>&PW=<password>", both percent-encoded so that a
    // "&", "#" or blank in them cannot change the query.
    QString credentialsQuery() const;
    // The value of the customer or password parameter, converted as it says.
    QString credential(const contract::Parameter &parameter) const;
    // The login request: requestUrl("/Login", credentialsQuery()).
    QString loginUrl() const;
};
