#include "platform/PercentCoding.h"

namespace platform {

namespace {

bool staysAsIs(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
        || c == u'!' || c == u'$' || c == u'\'' || c == u'(' || c == u')' || c == u'*'
        || c == u'-' || c == u'.' || c == u'@' || c == u'_';
}

} // namespace

QString percentEncode(const QString &text)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size() * 3);
    qsizetype runStart = -1;
    auto flushRun = [&](qsizetype end) {
        if (runStart < 0)
            return;
        const QByteArray bytes = text.mid(runStart, end - runStart).toUtf8();
        for (const char byte : bytes) {
            const auto b = static_cast<unsigned char>(byte);
            out += QLatin1Char('%');
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 0x0F]);
        }
        runStart = -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (staysAsIs(c) || c == u' ') {
            flushRun(i);
            out += c == u' ' ? QLatin1Char('+') : QChar(c);
        } else if (runStart < 0) {
            runStart = i; // encode whole runs so surrogate pairs stay together
        }
    }
    flushRun(text.size());
    return out;
}

} // namespace platform
