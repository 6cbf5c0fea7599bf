#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class StringGridModel;

namespace output {

// One CSV line: cells joined by ";"; a cell holding a double quote, a
// semicolon or a character of code 1 to 32 goes out quoted, its quotes doubled.
QString csvLine(const QStringList &cells);

// Every grid row, header and trailing row included, each line ended by CR LF,
// in the ANSI code page without byte-order mark.
QByteArray gridCsvBytes(const StringGridModel &grid);

// Creates or replaces the file; raises the file errors of platform::writeFile.
void writeGridCsv(const StringGridModel &grid, const QString &fileName);

} // namespace output
