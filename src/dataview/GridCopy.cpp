#include "dataview/GridCopy.h"

#include "dataview/StringGridModel.h"

#include <QStringList>

#include <algorithm>

namespace dataview {

QString spreadsheetCell(const QString &text)
{
    const bool needsQuotes = std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('"');
    });
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

QString lineOf(const StringGridModel &grid, int row)
{
    QStringList cells;
    cells.reserve(grid.gridColCount());
    for (int col = 0; col < grid.gridColCount(); ++col)
        cells << spreadsheetCell(grid.cell(col, row));
    return cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace

QString copyRowsText(const StringGridModel &grid, QList<int> gridRows, bool withHeaders)
{
    std::sort(gridRows.begin(), gridRows.end());
    gridRows.erase(std::unique(gridRows.begin(), gridRows.end()), gridRows.end());
    QString text;
    if (withHeaders)
        text += lineOf(grid, 0);
    for (int row : gridRows) {
        if (row >= 1 && row < grid.gridRowCount())
            text += lineOf(grid, row);
    }
    return text;
}

} // namespace dataview
