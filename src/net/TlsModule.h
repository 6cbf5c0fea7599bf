#pragma once

#include "net/TlsTransport.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace net {

// Where the TLS module is looked for, in order: beside the program as installed
// (its library folder, found from the program's own folder), then where the
// build put it.
QStringList tlsModuleCandidates();

// Opens the TLS module (the first existing candidate when modulePath is empty)
// and makes its transport. Throws EIdOSSLCouldNotLoadSSLLibrary when the module
// or the OpenSSL libraries it needs cannot be loaded.
std::unique_ptr<TlsTransport> openTlsTransport(const QString &modulePath = {});

} // namespace net
