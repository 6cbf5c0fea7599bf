#pragma once

#include <QList>
#include <QString>

class StringGridModel;

namespace dataview {

// One cell as a spreadsheet reads it from tab-separated text: a cell holding a
// tab, a line break or a double quote goes between double quotes, each of its
// double quotes doubled; every other cell goes out as it is.
QString spreadsheetCell(const QString &text);

// The given grid rows (row 0 = headers) as tab-separated text, one line per
// row in grid order, each line ended by "\n"; withHeaders puts row 0 first.
// Rows outside the grid and repeated rows are skipped.
QString copyRowsText(const StringGridModel &grid, QList<int> gridRows, bool withHeaders);

} // namespace dataview
