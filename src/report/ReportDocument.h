#pragma once

#include <QList>
#include <QPageLayout>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

struct ReportDocumentColumn
{
    QString header;
    double leftMm = 0; // from the page's left edge
    double widthMm = 0;
    Qt::Alignment alignment = Qt::AlignLeft;
};

struct ReportDocumentPage
{
    int firstRecord = 0;
    int recordCount = 0;
};

// The page model of one report run, built once by ReportLayout and read by every
// destination (preview, printer, the four file renderers), so they all break the
// pages at the same records.
//
// Vertically a page is a grid of lines of linePitchMm from the top margin: the
// title band (two lines, print date on its second line at the right), one empty
// line, the column header row, the records, one empty line, and the footer line
// (record count left, "Seite n von m" right) as the last line of the page.
struct ReportDocument
{
    static constexpr int TitleLine = 0;
    static constexpr int DateLine = 1;
    static constexpr int HeaderLine = 3;
    static constexpr int FirstRecordLine = 4;
    static constexpr int LinesAroundRecords = FirstRecordLine + 2;

    QString title;
    QString printDate;        // "Druckdatum: dd.MM.yyyy hh:mm"
    QString recordCountText;  // "250 Datensätze"
    QPageLayout pageLayout;   // size, orientation and margins in millimetres
    QString fontFamily;
    double fontSizePt = 9;
    double titleFontSizePt = 15;
    double footerFontSizePt = 8;
    double linePitchMm = 0;
    int linesPerPage = 0;
    int rowsPerPage = 0;
    QList<ReportDocumentColumn> columns;
    QList<QStringList> records; // one display text per column, single-line
    QList<ReportDocumentPage> pages;

    int pageCount() const { return int(pages.size()); }
    int footerLine() const { return linesPerPage - 1; }
    QString pageNumberText(int pageIndex) const;
    QSizeF pageSizeMm() const;
    double lineTopMm(int line) const;
    double tableLeftMm() const;
    double tableRightMm() const;
    double contentRightMm() const;
};
