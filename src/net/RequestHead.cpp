#include "net/RequestHead.h"

#include "net/TIdHTTP.h"

#include <QStringList>

namespace net {

namespace {

QByteArray sevenBit(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text)
        bytes += ch.unicode() < 0x80 ? char(ch.unicode()) : '?';
    return bytes;
}

} // namespace

QByteArray requestBytes(const RequestUrl &url, const TIdHTTPRequest &request, const QString &cookies)
{
    QString head = QStringLiteral("GET ") + url.target + QStringLiteral(" HTTP/1.1\r\n");
    if (!request.ContentType().isEmpty()) {
        head += QStringLiteral("Content-Type: ") + request.ContentType();
        if (!request.CharSet().isEmpty())
            head += QStringLiteral("; charset=") + request.CharSet();
        head += QStringLiteral("\r\n");
    }
    QString host = QStringLiteral("Host: ") + url.host + QLatin1Char(':') + url.portText;
    while (host.endsWith(QLatin1Char(' ')))
        host.chop(1);
    head += host + QStringLiteral("\r\n");
    head += QStringLiteral("Accept: text/html, */*\r\n");
    head += QStringLiteral("User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n");
    if (!cookies.isEmpty())
        head += QStringLiteral("Cookie: ") + cookies + QStringLiteral("\r\n");
    head += QStringLiteral("\r\n");
    return sevenBit(head);
}

} // namespace net

void TIdHTTPRequest::setContentType(const QString &type)
{
    m_contentType = type;
    const QStringList parts = type.split(QLatin1Char(';'));
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString param = parts[i].trimmed();
        if (param.startsWith(QLatin1String("charset="), Qt::CaseInsensitive)) {
            m_contentType = parts[0].trimmed();
            m_charSet = param.mid(8).trimmed();
            return;
        }
    }
    const QString media = parts[0].trimmed().toLower();
    if (!media.startsWith(QLatin1String("text/")))
        return;
    const QString subtype = media.mid(5);
    m_charSet = (subtype == QLatin1String("xml") || subtype == QLatin1String("xml-external-parsed-entity")
                 || subtype.endsWith(QLatin1String("+xml")))
        ? QStringLiteral("us-ascii")
        : QStringLiteral("ISO-8859-1");
}
