#include "net/TlsModule.h"

#include "net/TIdHTTP.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace net {

namespace {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

} // namespace

QStringList tlsModuleCandidates()
{
    const QString name = QStringLiteral(PLIVORA_TLS_MODULE_NAME);
    return {QDir::cleanPath(programFolder() + QLatin1Char('/') + QStringLiteral(PLIVORA_TLS_MODULE_FROM_BINDIR)
                            + QLatin1Char('/') + name),
            QStringLiteral(PLIVORA_TLS_MODULE_BUILD_DIR "/") + name};
}

std::unique_ptr<TlsTransport> openTlsTransport(const QString &modulePath)
{
    const QStringList candidates = modulePath.isEmpty() ? tlsModuleCandidates() : QStringList{modulePath};
    QString path;
    for (const QString &candidate : candidates) {
        if (QFileInfo::exists(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty())
        throw EIdOSSLCouldNotLoadSSLLibrary(
            QStringLiteral("Could not load SSL library: no TLS module at %1").arg(candidates.join(QStringLiteral(" or "))));
    // The module stays loaded for the rest of the run: the transport's code lives in it.
    QLibrary module(path);
    module.setLoadHints(QLibrary::PreventUnloadHint);
    const auto create = reinterpret_cast<CreateTlsTransport>(module.resolve(createTlsTransportSymbol));
    if (!create)
        throw EIdOSSLCouldNotLoadSSLLibrary(QStringLiteral("Could not load SSL library: %1").arg(module.errorString()));
    std::unique_ptr<TlsTransport> transport(create());
    if (!transport)
        throw EIdOSSLCouldNotLoadSSLLibrary(QStringLiteral("Could not load SSL library: the TLS context could not be made"));
    return transport;
}

} // namespace net
