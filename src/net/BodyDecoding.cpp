#include "net/BodyDecoding.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace net {

namespace {

struct MediaType
{
    QString type;    // lower case, e.g. "text"
    QString subtype; // lower case, e.g. "xml"
    QString charset; // as given, without quotes; empty when absent
};

MediaType parseMediaType(const QString &value)
{
    MediaType media;
    const QStringList parts = value.split(QLatin1Char(';'));
    const QString full = parts.value(0).trimmed().toLower();
    const qsizetype slash = full.indexOf(QLatin1Char('/'));
    media.type = slash < 0 ? full : full.left(slash);
    media.subtype = slash < 0 ? QString() : full.mid(slash + 1);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString param = parts[i].trimmed();
        const qsizetype eq = param.indexOf(QLatin1Char('='));
        if (eq > 0 && param.left(eq).trimmed().compare(QLatin1String("charset"), Qt::CaseInsensitive) == 0) {
            QString cs = param.mid(eq + 1).trimmed();
            if (cs.size() >= 2 && cs.startsWith(QLatin1Char('"')) && cs.endsWith(QLatin1Char('"')))
                cs = cs.mid(1, cs.size() - 2);
            media.charset = cs;
        }
    }
    return media;
}

bool isXmlSubtype(const QString &subtype)
{
    return subtype == QLatin1String("xml") || subtype == QLatin1String("xml-external-parsed-entity")
        || subtype.endsWith(QLatin1String("+xml"));
}

QString latin1(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

QString usAscii(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes)
        text += static_cast<unsigned char>(c) < 0x80 ? QChar(QLatin1Char(c)) : QChar(QChar::ReplacementCharacter);
    return text;
}

QString decodeAs(const QString &charset, const QByteArray &bytes)
{
    const QString name = charset.trimmed().toLower();
    if (name == QLatin1String("us-ascii") || name == QLatin1String("ascii"))
        return usAscii(bytes);
    QStringDecoder decoder(name.toLatin1().constData());
    if (!decoder.isValid())
        return latin1(bytes); // an unknown charset maps each byte to the same code
    return decoder.decode(bytes);
}

// An XML text's own statement of its encoding: a byte-order mark or the declaration.
QString xmlEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringLiteral("utf-8");
    if (bytes.startsWith("\xFF\xFE"))
        return QStringLiteral("utf-16le");
    if (bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("utf-16be");
    static const QRegularExpression declaration(
        QStringLiteral("^<\\?xml[^>]*encoding\\s*=\\s*[\"']([A-Za-z0-9._:-]+)[\"']"));
    const auto match = declaration.match(latin1(bytes.left(200)));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("utf-8");
}

QString metaCharset(const QByteArray &bytes)
{
    static const QRegularExpression meta(QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?([A-Za-z0-9._:-]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = meta.match(latin1(bytes.left(4096)));
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

QString decodeBody(const QByteArray &body, const QByteArray &contentType)
{
    const MediaType media = parseMediaType(QString::fromLatin1(contentType));
    const bool html = (media.type == QLatin1String("text")
                       && (media.subtype == QLatin1String("html") || media.subtype == QLatin1String("html-sandboxed")))
        || (media.type == QLatin1String("application") && media.subtype == QLatin1String("xhtml+xml"));
    if (html) {
        const QString meta = metaCharset(body);
        if (!meta.isEmpty())
            return decodeAs(meta, body);
    }
    if (!media.charset.isEmpty())
        return decodeAs(media.charset, body);
    if (media.type == QLatin1String("text"))
        return isXmlSubtype(media.subtype) ? usAscii(body) : latin1(body);
    if (media.type == QLatin1String("application")
        && (media.subtype == QLatin1String("xml") || media.subtype == QLatin1String("xml-external-parsed-entity")
            || media.subtype == QLatin1String("xml-dtd")))
        return decodeAs(xmlEncoding(body), body);
    if (media.subtype.endsWith(QLatin1String("+xml")))
        return decodeAs(xmlEncoding(body), body);
    return latin1(body);
}

} // namespace net
