#include "output/CsvExport.h"

#include "dataview/StringGridModel.h"
#include "platform/AnsiCodePage.h"
#include "platform/FileWriting.h"

namespace output {

namespace {

bool needsQuotes(const QString &cell)
{
    for (const QChar ch : cell) {
        const char16_t c = ch.unicode();
        if (c == u'"' || c == u';' || (c >= 1 && c <= 32))
            return true;
    }
    return false;
}

void appendCell(QString &line, const QString &cell)
{
    if (!needsQuotes(cell)) {
        line += cell;
        return;
    }
    line += QLatin1Char('"');
    for (const QChar ch : cell) {
        if (ch == QLatin1Char('"'))
            line += QLatin1Char('"');
        line += ch;
    }
    line += QLatin1Char('"');
}

} // namespace

QString csvLine(const QStringList &cells)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(';');
        appendCell(line, cells.at(i));
    }
    return line;
}

QByteArray gridCsvBytes(const StringGridModel &grid)
{
    QString text;
    for (int row = 0; row < grid.gridRowCount(); ++row) {
        QStringList cells;
        cells.reserve(grid.gridColCount());
        for (int col = 0; col < grid.gridColCount(); ++col)
            cells << grid.cell(col, row);
        text += csvLine(cells);
        text += QLatin1String("\r\n");
    }
    return platform::toAnsi(text);
}

void writeGridCsv(const StringGridModel &grid, const QString &fileName)
{
    platform::writeFile(fileName, gridCsvBytes(grid));
}

} // namespace output
