#include "exchange/PercentDecoding.h"

#include <QByteArray>

namespace exchange {

namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

} // namespace

QString percentDecode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('+')) {
            bytes += ' ';
            ++i;
        } else if (c == QLatin1Char('%')) {
            if (i + 1 < n && text.at(i + 1) == QLatin1Char('%')) {
                bytes += '%';
                i += 2;
                continue;
            }
            if (i + 2 >= n) {
                throw EHTTPException(QStringLiteral("Fehler beim Decodieren eines im URL-Stil (%XX) "
                                                    "codierten Strings bei Position %1")
                                         .arg(i + 1));
            }
            const int high = hexValue(text.at(i + 1));
            const int low = hexValue(text.at(i + 2));
            if (high < 0 || low < 0) {
                throw EConvertError(QStringLiteral("Ungültiges URL-codiertes Zeichen (%1) an Position %2")
                                        .arg(text.mid(i, 3), QString::number(i + 1)));
            }
            bytes += static_cast<char>(high * 16 + low);
            i += 3;
        } else if (c.unicode() < 128) {
            bytes += static_cast<char>(c.unicode());
            ++i;
        } else {
            // Take a surrogate pair whole so the code point's UTF-8 form comes out.
            const qsizetype len = (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
            bytes += text.mid(i, len).toUtf8();
            i += len;
        }
    }
    return QString::fromUtf8(bytes);
}

} // namespace exchange
