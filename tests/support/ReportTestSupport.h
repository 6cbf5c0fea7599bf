#pragma once

#include "report/ReportTable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Fixtures and readers the report tests share.
namespace reporttest {

// A report project over fields Spalte1..Spalte4 (Name, Artikel, Anz right-aligned,
// Bemerkung) on A5 portrait with 10 mm margins: 38 records per page.
QByteArray smallProject(const QString &source = QStringLiteral("connection=\"RvDataSetConnectionPlivora\""));

// Four records: umlauts, "&", "<", quotes and RTF specials, a 1000-character cell, an empty record.
ReportTable smallData();
// n records "Name 1" .. "Name n" in the same four fields.
ReportTable numberedData(int n);
QStringList fifteenFields();

void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Runs a command-line tool and returns its standard output; fails the test on an error.
QByteArray runTool(const QString &program, const QStringList &arguments);

// The tables of an XHTML page: per <table>, its rows of cell texts (header row first).
struct HtmlTables
{
    QString error;
    QList<QList<QStringList>> tables;
    QStringList footers; // texts of the "foot" sections
};
HtmlTables readHtmlTables(const QByteArray &html);

// A strict RTF reader: ASCII only, balanced groups, every control word known, every
// \row with as many \cell as its \cellx. Gives the tables' rows of decoded cell text.
struct RtfContent
{
    QString error;
    QList<QStringList> rows;
    QList<bool> headerRow; // per row: marked \trhdr
    int headerRows = 0;
    int pageBreaks = 0;  // \page and \pagebb
    QStringList paragraphs; // text of paragraphs outside tables
};
RtfContent readRtf(const QByteArray &rtf);

} // namespace reporttest
