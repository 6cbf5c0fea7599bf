#pragma once

#include "net/RequestUrl.h"

#include <QByteArray>
#include <QString>

class TIdHTTPRequest;

namespace net {

// The request exactly as it goes on the wire: request line, then
// Content-Type, Host, Accept, User-Agent and Cookie, each only with a value,
// in 7-bit ASCII with "?" for every other character.
QByteArray requestBytes(const RequestUrl &url, const TIdHTTPRequest &request, const QString &cookies);

} // namespace net
