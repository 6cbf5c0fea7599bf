#pragma once

#include "platform/Exception.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class TStringGrid;

// A file that exists but cannot be opened: "Datei "<path>" kann nicht geöffnet werden. <reason>"
PLIVORA_DECLARE_EXCEPTION(EFOpenError, EStreamError)
// A file that was opened but could not be read to its end: "Stream-Lesefehler"
PLIVORA_DECLARE_EXCEPTION(EReadError, EStreamError)

// The column-width files keep the user's column widths between runs: one line
// per grid column, column 0 first, each the width in pixels as a decimal
// integer; every line ends with CR LF; ANSI code page, no byte-order mark.
namespace dataview {

QByteArray widthFileBytes(const QList<int> &widths);

// The file's lines: a byte-order mark selects UTF-8 or UTF-16 (LE/BE), without
// one the text is ANSI; CR, LF and CR LF each end a line, and a break at the
// very end does not start another line.
QStringList widthFileLines(const QByteArray &bytes);

// A line's width, or std::nullopt when the line is not a decimal integer
// (leading blanks and a sign are allowed, nothing after the digits).
std::optional<int> readWidth(const QString &line);

// The widths of columns 0 .. colCount - 1 from the lines present (surplus
// lines ignored; a line that is not an integer gives the default width 64).
// The result is shorter than colCount when the file has fewer lines.
QList<int> widthFileWidths(const QByteArray &bytes, int colCount);

// Sets the grid's column widths from the file's bytes. When the file has fewer
// lines than the grid has columns, the widths present are applied first and
// the first missing line then raises EListError
// "Listenindex überschreitet das Maximum (<index>)".
void applyWidthFile(TStringGrid &grid, const QByteArray &bytes);

// Reads the file and applies it. Returns false, leaving the widths as they
// are, when the file does not exist; a file that exists but cannot be opened
// raises EFOpenError, one that cannot be read EReadError.
bool loadWidthFile(TStringGrid &grid, const QString &fileName);

// Creates or replaces the file with the grid's present widths (EFCreateError,
// EWriteError as platform::writeFile raises them).
void saveWidthFile(const TStringGrid &grid, const QString &fileName);

QString listIndexErrorMessage(int index);
QString fileOpenErrorMessage(const QString &fileName, const QString &reason);

} // namespace dataview
