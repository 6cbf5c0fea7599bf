#pragma once

#include <QString>

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

} // namespace net
