#include "platform/IniFile.h"

#include <QFile>
#include <QStringView>

// Hand-written because Debian's packaged inih is built with continuation lines
// and inline ";" comments switched on, which the profile functions do not know:
// an indented line would be glued to the value above and "8443 ; TLS" cut short.

namespace {

QString unquoted(QStringView value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2).toString();
    }
    return value.toString();
}

} // namespace

IniFile::IniFile(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        parse(file.readAll());
}

IniFile IniFile::fromContent(const QByteArray &content)
{
    IniFile ini;
    ini.parse(content);
    return ini;
}

void IniFile::parse(const QByteArray &content)
{
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    QString section;
    bool inSection = false;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != u'\n' && text.at(end) != u'\r')
            ++end;
        const QStringView line = QStringView(text).mid(start, end - start).trimmed();
        start = end + 1;

        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            section = line.mid(1, close < 0 ? -1 : close - 1).trimmed().toString();
            inSection = true;
            continue;
        }
        if (!inSection || line.startsWith(u';'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        m_entries.push_back({section, line.left(equals).trimmed().toString(),
                             unquoted(line.mid(equals + 1).trimmed())});
    }
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    for (const Entry &entry : m_entries) {
        if (entry.section.compare(section, Qt::CaseInsensitive) == 0
            && entry.key.compare(key, Qt::CaseInsensitive) == 0)
            return entry.value;
    }
    return defaultValue;
}
