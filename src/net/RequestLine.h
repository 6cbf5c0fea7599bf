#pragma once

#include <QByteArray>
#include <QString>

class TIdHTTPRequest;

namespace net {

// A request URL as the program assembles it: "https://" host ":" port-text
// " /" document "?" query. The port text keeps the blank before the path.
struct RequestUrl
{
    QString host;
    QString portText;
    quint16 port = 80; // the port text read as a number; 80 when it is none
    QString target;    // "/" document "?" query, the query cut at "#"
};

RequestUrl splitUrl(const QString &url);

// The request exactly as it goes on the wire: request line, then
// Content-Type, Host, Accept, User-Agent and Cookie, each only with a value,
// in 7-bit ASCII with "?" for every other character.
QByteArray requestBytes(const RequestUrl &url, const TIdHTTPRequest &request, const QString &cookies);

// The reply body as text, by the charset the Content-Type names or implies.
QString decodeBody(const QByteArray &body, const QByteArray &contentType);

} // namespace net
