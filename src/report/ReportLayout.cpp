#include "report/ReportLayout.h"

#include "platform/DateText.h"
#include "report/ReportDataSet.h"
#include "report/ReportErrors.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double mmPerPoint = 25.4 / 72.0;

bool breaksLine(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F || u == 0x2028 || u == 0x2029;
}

} // namespace

QList<int> ReportLayout::bindFields(const ReportDefinition &report, const ReportDataSet &data,
                                    const QString &sourceDescription, const QString &projectPath)
{
    const QStringList names = data.fieldNames();
    QList<int> indexes;
    indexes.reserve(report.columns.size());
    for (const ReportColumn &column : report.columns) {
        const qsizetype index = names.indexOf(column.field);
        if (index < 0)
            throw EReportDataError(
                QStringLiteral("The report project \"%1\" names the field \"%2\", which %3 does not have "
                               "(its fields: %4).")
                    .arg(projectPath, column.field, sourceDescription, names.join(QStringLiteral(", "))));
        indexes.append(int(index));
    }
    return indexes;
}

QString ReportLayout::singleLine(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), breaksLine))
        return text;
    QString line = text;
    for (QChar &c : line) {
        if (breaksLine(c))
            c = QLatin1Char(' ');
    }
    return line;
}

ReportDocument ReportLayout::build(const ReportDefinition &report, const ReportDataSet &data,
                                   const QList<int> &fieldIndexes, const QDateTime &printTime,
                                   const std::function<void(int)> &pageDone)
{
    ReportDocument doc;
    doc.title = singleLine(report.title);
    doc.printDate = QStringLiteral("Druckdatum: %1 %2")
                        .arg(platform::dateText(printTime.date()), printTime.time().toString(QStringLiteral("HH:mm")));
    doc.pageLayout = QPageLayout(QPageSize(report.pageSize), report.orientation, report.marginsMm,
                                 QPageLayout::Millimeter);
    doc.fontFamily = report.fontFamily;
    doc.fontSizePt = report.fontSizePt;
    doc.titleFontSizePt = report.fontSizePt + 6;
    doc.footerFontSizePt = std::max(report.fontSizePt - 1, 4.0);
    // One line per sixth of an inch at the usual sizes, so the text renderer's
    // 6 lines per inch meet the printed lines one to one.
    doc.linePitchMm = std::max(12.0, report.fontSizePt * 1.33) * mmPerPoint;

    const QSizeF page = doc.pageSizeMm();
    const QMarginsF margins = report.marginsMm;
    const double usableHeight = page.height() - margins.top() - margins.bottom();
    doc.linesPerPage = int(std::floor(usableHeight / doc.linePitchMm + 1e-9));
    doc.rowsPerPage = doc.linesPerPage - ReportDocument::LinesAroundRecords;
    if (doc.rowsPerPage < 1)
        throw EReportError(QStringLiteral("The page of report \"%1\" is too small for a single record.")
                               .arg(report.name));

    // Columns wider than the page together are narrowed in proportion.
    const double usableWidth = page.width() - margins.left() - margins.right();
    double total = 0;
    for (const ReportColumn &column : report.columns)
        total += column.widthMm;
    const double scale = total > usableWidth ? usableWidth / total : 1.0;
    double left = margins.left();
    for (const ReportColumn &column : report.columns) {
        const double width = column.widthMm * scale;
        doc.columns.append({singleLine(column.header), left, width, column.alignment});
        left += width;
    }

    const int count = data.recordCount();
    doc.recordCountText = count == 1 ? QStringLiteral("1 Datensatz") : QStringLiteral("%1 Datensätze").arg(count);
    doc.records.reserve(count);
    const int pageCount = std::max(1, (count + doc.rowsPerPage - 1) / doc.rowsPerPage);
    doc.pages.reserve(pageCount);
    for (int p = 0; p < pageCount; ++p) {
        ReportDocumentPage pageRows{p * doc.rowsPerPage, std::min(doc.rowsPerPage, count - p * doc.rowsPerPage)};
        for (int r = pageRows.firstRecord; r < pageRows.firstRecord + pageRows.recordCount; ++r) {
            QStringList cells;
            cells.reserve(fieldIndexes.size());
            for (int field : fieldIndexes)
                cells.append(singleLine(data.value(r, field)));
            doc.records.append(std::move(cells));
        }
        doc.pages.append(pageRows);
        if (pageDone)
            pageDone(p + 1);
    }
    return doc;
}
