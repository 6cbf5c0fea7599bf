#pragma once

#include <QByteArray>
#include <QString>

namespace net {

// The reply body as text, by the charset the Content-Type names or implies.
QString decodeBody(const QByteArray &body, const QByteArray &contentType);

} // namespace net
