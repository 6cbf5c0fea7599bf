#include "net/RequestUrl.h"

#include <QRegularExpression>

namespace net {

RequestUrl splitUrl(const QString &url)
{
    RequestUrl parts;
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    const qsizetype authorityStart = schemeEnd < 0 ? 0 : schemeEnd + 3;
    qsizetype slash = url.indexOf(QLatin1Char('/'), authorityStart);
    if (slash < 0)
        slash = url.size();
    const QString authority = url.mid(authorityStart, slash - authorityStart);
    const qsizetype colon = authority.indexOf(QLatin1Char(':'));
    parts.host = colon < 0 ? authority : authority.left(colon);
    parts.portText = colon < 0 ? QString() : authority.mid(colon + 1);

    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const QString trimmed = parts.portText.trimmed();
    if (digits.match(trimmed).hasMatch() && trimmed.toUInt() <= 65535)
        parts.port = static_cast<quint16>(trimmed.toUInt());

    QString target = slash < url.size() ? url.mid(slash) : QStringLiteral("/");
    const qsizetype question = target.indexOf(QLatin1Char('?'));
    if (question >= 0) {
        const qsizetype hash = target.indexOf(QLatin1Char('#'), question);
        if (hash >= 0)
            target.truncate(hash); // a fragment is not sent
    }
    parts.target = target;
    return parts;
}

} // namespace net
