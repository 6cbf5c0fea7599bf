#include "net/TIdHTTP.h"

#include "net/BodyDecoding.h"
#include "net/RequestHead.h"
#include "net/RequestUrl.h"
#include "net/TlsModule.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

using net::TransportReply;

class TIdHTTP::Impl
{
public:
    QNetworkCookieJar cookies;
    net::TransportLimits limits;
    QString modulePath;
    std::unique_ptr<net::TlsTransport> transport;

    // The TLS module is opened at the first request, so that a missing OpenSSL
    // fails that request rather than the program's start; until it opens, every
    // request tries again.
    net::TlsTransport &tls()
    {
        if (!transport)
            transport = net::openTlsTransport(modulePath);
        return *transport;
    }

    QString get(const QString &urlText, const TIdHTTPRequest &request)
    {
        net::TlsTransport &channel = tls();
        const net::RequestUrl url = net::splitUrl(urlText);
        const QUrl cookieUrl(QStringLiteral("https://%1:%2%3").arg(url.host).arg(url.port).arg(url.target));
        QStringList pairs;
        for (const QNetworkCookie &cookie : cookies.cookiesForUrl(cookieUrl))
            pairs << QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly));
        const QByteArray wire = net::requestBytes(url, request, pairs.join(QStringLiteral("; ")));

        const std::string host = url.host.toStdString();
        const std::string bytes = wire.toStdString();
        TransportReply reply = channel.exchange(host, url.port, bytes, limits);
        // A server may close a kept connection just as the next request goes
        // out; no poll before reuse can see that. HTTP/1.1 lets a client send an
        // idempotent request once more then, and only then: on a new connection,
        // the same bytes, when not one byte of the reply had come.
        if (reply.failure != TransportReply::Failure::None && reply.reusedConnection && reply.peerEnded
            && !reply.replyStarted)
            reply = channel.exchange(host, url.port, bytes, limits);

        QByteArray contentType;
        bool typeSeen = false;
        for (const auto &[name, value] : reply.headers) {
            const QByteArray fieldValue(value.data(), qsizetype(value.size()));
            if (QByteArray::fromStdString(name).compare("Set-Cookie", Qt::CaseInsensitive) == 0)
                cookies.setCookiesFromUrl(QNetworkCookie::parseCookies(fieldValue), cookieUrl);
            else if (!typeSeen && QByteArray::fromStdString(name).compare("Content-Type", Qt::CaseInsensitive) == 0) {
                contentType = fieldValue;
                typeSeen = true;
            }
        }
        if (reply.failure != TransportReply::Failure::None)
            raise(reply);
        if (reply.status < 200 || reply.status > 299)
            return {};
        return net::decodeBody(QByteArray::fromStdString(reply.body), contentType);
    }

    [[noreturn]] static void raise(const TransportReply &reply)
    {
        const QString message = QString::fromStdString(reply.message);
        switch (reply.failure) {
        case TransportReply::Failure::Closed:
            throw EIdConnClosedGracefully(message);
        case TransportReply::Failure::Handshake:
            throw EIdOSSLConnectError(message);
        case TransportReply::Failure::TimedOut:
            throw EIdReadTimeout(message);
        case TransportReply::Failure::HeaderLine:
            throw EIdHTTPProtocolError(message);
        case TransportReply::Failure::Socket:
        case TransportReply::Failure::None:
            break;
        }
        throw EIdSocketError(message);
    }
};

TIdHTTP::TIdHTTP()
    : d(std::make_unique<Impl>())
{
}

TIdHTTP::~TIdHTTP() = default;

QString TIdHTTP::Get(const QString &url)
{
    return d->get(url, Request);
}

void TIdHTTP::setProgressTimeout(std::chrono::milliseconds limit)
{
    d->limits.transfer = limit;
}

void TIdHTTP::setHandshakeTimeout(std::chrono::milliseconds limit)
{
    d->limits.handshake = limit;
}

void TIdHTTP::setTlsModulePath(const QString &path)
{
    d->modulePath = path;
}

int TIdHTTP::handshakeCount() const
{
    return d->transport ? d->transport->handshakeCount() : 0;
}
