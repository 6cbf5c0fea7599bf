#include "dataview/widgets/ColumnWidthFile.h"

#include "platform/AnsiCodePage.h"
#include "platform/FileWriting.h"
#include "dataview/widgets/TStringGrid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <limits>

namespace dataview {

QString listIndexErrorMessage(int index)
{
    return QStringLiteral("Listenindex überschreitet das Maximum (%1)").arg(index);
}

QString fileOpenErrorMessage(const QString &fileName, const QString &reason)
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
    return QStringLiteral("Datei \"%1\" kann nicht geöffnet werden. %2").arg(fullPath, reason);
}

QByteArray widthFileBytes(const QList<int> &widths)
{
    QString text;
    for (int width : widths)
        text += QString::number(width) + QLatin1String("\r\n");
    return platform::toAnsi(text);
}

namespace {

QString decode(const QByteArray &bytes)
{
    struct Bom
    {
        QByteArrayView mark;
        QStringConverter::Encoding encoding;
    };
    static const Bom boms[] = {
        {"\xEF\xBB\xBF", QStringConverter::Utf8},
        {"\xFF\xFE", QStringConverter::Utf16LE},
        {"\xFE\xFF", QStringConverter::Utf16BE},
    };
    for (const Bom &bom : boms) {
        if (bytes.startsWith(bom.mark)) {
            QStringDecoder decoder(bom.encoding, QStringConverter::Flag::Stateless);
            return decoder.decode(QByteArrayView(bytes).sliced(bom.mark.size()));
        }
    }
    return platform::fromAnsi(bytes);
}

} // namespace

QStringList widthFileLines(const QByteArray &bytes)
{
    const QString text = decode(bytes);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch != u'\r' && ch != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

std::optional<int> readWidth(const QString &line)
{
    qsizetype i = 0;
    while (i < line.size() && line.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < line.size() && (line.at(i) == u'+' || line.at(i) == u'-')) {
        negative = line.at(i) == u'-';
        ++i;
    }
    if (i == line.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < line.size(); ++i) {
        const char16_t c = line.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return std::nullopt;
    return int(value);
}

QList<int> widthFileWidths(const QByteArray &bytes, int colCount)
{
    const QStringList lines = widthFileLines(bytes);
    QList<int> widths;
    for (int col = 0; col < colCount && col < lines.size(); ++col)
        widths.append(readWidth(lines.at(col)).value_or(TStringGrid::defaultColWidth()));
    return widths;
}

void applyWidthFile(TStringGrid &grid, const QByteArray &bytes)
{
    const QList<int> widths = widthFileWidths(bytes, grid.colCount());
    for (int col = 0; col < widths.size(); ++col)
        grid.setColWidth(col, widths.at(col));
    if (widths.size() < grid.colCount())
        throw EListError(listIndexErrorMessage(int(widths.size())));
}

bool loadWidthFile(TStringGrid &grid, const QString &fileName)
{
    // Only a file counts; a directory of that name is no width file.
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir())
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(fileOpenErrorMessage(fileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EReadError(QStringLiteral("Stream-Lesefehler"));
    applyWidthFile(grid, bytes);
    return true;
}

void saveWidthFile(const TStringGrid &grid, const QString &fileName)
{
    platform::writeFile(fileName, widthFileBytes(grid.colWidths()));
}

} // namespace dataview
