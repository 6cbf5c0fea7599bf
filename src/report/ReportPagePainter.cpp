#include "report/ReportPagePainter.h"

#include "report/ReportDocument.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

namespace {

const QColor headerFill(221, 228, 238);
const QColor stripeFill(243, 243, 243);
const QColor gridLine(190, 190, 190);
const QColor ruleLine(64, 64, 64);

class PageGeometry
{
public:
    PageGeometry(const QPaintDevice &device, const ReportDocument &doc)
        : m_doc(doc)
        , m_pxPerMmX(device.logicalDpiX() / 25.4)
        , m_pxPerMmY(device.logicalDpiY() / 25.4)
    {
    }

    double x(double mm) const { return mm * m_pxPerMmX; }
    double width(double mm) const { return mm * m_pxPerMmX; }
    double lineTop(int line) const { return m_doc.lineTopMm(line) * m_pxPerMmY; }
    double pitch() const { return m_doc.linePitchMm * m_pxPerMmY; }
    double height(double mm) const { return mm * m_pxPerMmY; }

    // The baseline that centres a font's text vertically in a line.
    double baseline(int line, const QFontMetricsF &metrics) const
    {
        return lineTop(line) + (pitch() + metrics.ascent() - metrics.descent()) / 2;
    }

private:
    const ReportDocument &m_doc;
    double m_pxPerMmX;
    double m_pxPerMmY;
};

QFont makeFont(const ReportDocument &doc, double pointSize, bool bold)
{
    QFont font(doc.fontFamily);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void drawHorizontal(QPainter &painter, const QColor &color, double widthPx, double left, double right, double y)
{
    painter.setPen(QPen(color, widthPx, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(left, y), QPointF(right, y));
}

// A cell's text, cut with an ellipsis where it is wider than its column, so a
// long value never runs into the next column.
void drawCell(QPainter &painter, const QFontMetricsF &metrics, const QString &text, double left, double width,
              Qt::Alignment alignment, double padding, double baseline)
{
    if (text.isEmpty())
        return;
    const double room = width - 2 * padding;
    if (room <= 0)
        return;
    const QString shown = metrics.elidedText(text, Qt::ElideRight, room);
    if (shown.isEmpty())
        return;
    double x = left + padding;
    if (alignment & (Qt::AlignRight | Qt::AlignHCenter)) {
        const double free = room - metrics.horizontalAdvance(shown);
        x += (alignment & Qt::AlignRight) ? free : free / 2;
    }
    painter.drawText(QPointF(x, baseline), shown);
}

} // namespace

void ReportPagePainter::paint(QPainter &painter, const ReportDocument &doc, int pageIndex)
{
    const ReportDocumentPage &page = doc.pages.at(pageIndex);
    const PageGeometry g(*painter.device(), doc);
    const QFont bodyFont = makeFont(doc, doc.fontSizePt, false);
    const QFont headerFont = makeFont(doc, doc.fontSizePt, true);
    const QFont titleFont = makeFont(doc, doc.titleFontSizePt, true);
    const QFont footerFont = makeFont(doc, doc.footerFontSizePt, false);
    const QFontMetricsF bodyMetrics(bodyFont, painter.device());
    const QFontMetricsF headerMetrics(headerFont, painter.device());
    const QFontMetricsF titleMetrics(titleFont, painter.device());
    const QFontMetricsF footerMetrics(footerFont, painter.device());

    const double contentLeft = g.x(doc.pageLayout.margins(QPageLayout::Millimeter).left());
    const double contentRight = g.x(doc.contentRightMm());
    const double tableLeft = g.x(doc.tableLeftMm());
    const double tableRight = g.x(doc.tableRightMm());
    const double padding = g.width(1.0);
    const double thin = g.height(0.1);
    const double rule = g.height(0.25);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    // Title band: title and print date share the baseline near the band's foot.
    const double bandBottom = g.lineTop(ReportDocument::TitleLine + 2);
    const double titleBaseline = bandBottom - titleMetrics.descent() - g.height(0.6);
    painter.setFont(bodyFont);
    painter.setPen(Qt::black);
    const double dateWidth = bodyMetrics.horizontalAdvance(doc.printDate);
    painter.drawText(QPointF(contentRight - dateWidth, titleBaseline), doc.printDate);
    painter.setFont(titleFont);
    const double titleRoom = contentRight - contentLeft - dateWidth - g.width(5);
    painter.drawText(QPointF(contentLeft, titleBaseline), titleMetrics.elidedText(doc.title, Qt::ElideRight, titleRoom));
    drawHorizontal(painter, ruleLine, rule, contentLeft, contentRight, bandBottom);

    // Header row and record rows.
    const double headerTop = g.lineTop(ReportDocument::HeaderLine);
    const double tableBottom = g.lineTop(ReportDocument::FirstRecordLine + page.recordCount);
    painter.fillRect(QRectF(tableLeft, headerTop, tableRight - tableLeft, g.pitch()), headerFill);
    for (int i = 1; i < page.recordCount; i += 2) {
        const double top = g.lineTop(ReportDocument::FirstRecordLine + i);
        painter.fillRect(QRectF(tableLeft, top, tableRight - tableLeft, g.pitch()), stripeFill);
    }
    painter.setPen(QPen(gridLine, thin, Qt::SolidLine, Qt::FlatCap));
    for (qsizetype c = 1; c < doc.columns.size(); ++c) {
        const double x = g.x(doc.columns.at(c).leftMm);
        painter.drawLine(QPointF(x, headerTop), QPointF(x, tableBottom));
    }
    drawHorizontal(painter, ruleLine, rule, tableLeft, tableRight, headerTop);
    drawHorizontal(painter, ruleLine, thin * 2, tableLeft, tableRight, g.lineTop(ReportDocument::FirstRecordLine));
    drawHorizontal(painter, ruleLine, rule, tableLeft, tableRight, tableBottom);

    painter.setPen(Qt::black);
    painter.setFont(headerFont);
    const double headerBaseline = g.baseline(ReportDocument::HeaderLine, headerMetrics);
    for (const ReportDocumentColumn &column : doc.columns)
        drawCell(painter, headerMetrics, column.header, g.x(column.leftMm), g.width(column.widthMm), column.alignment,
                 padding, headerBaseline);

    painter.setFont(bodyFont);
    for (int i = 0; i < page.recordCount; ++i) {
        const QStringList &cells = doc.records.at(page.firstRecord + i);
        const double baseline = g.baseline(ReportDocument::FirstRecordLine + i, bodyMetrics);
        for (qsizetype c = 0; c < doc.columns.size() && c < cells.size(); ++c) {
            const ReportDocumentColumn &column = doc.columns.at(c);
            drawCell(painter, bodyMetrics, cells.at(c), g.x(column.leftMm), g.width(column.widthMm), column.alignment,
                     padding, baseline);
        }
    }

    // Footer: record count left, page number right, under a thin rule.
    const double footerTop = g.lineTop(doc.footerLine());
    drawHorizontal(painter, gridLine, thin * 2, contentLeft, contentRight, footerTop);
    painter.setPen(Qt::black);
    painter.setFont(footerFont);
    const double footerBaseline = g.baseline(doc.footerLine(), footerMetrics);
    painter.drawText(QPointF(contentLeft, footerBaseline), doc.recordCountText);
    const QString number = doc.pageNumberText(pageIndex);
    painter.drawText(QPointF(contentRight - footerMetrics.horizontalAdvance(number), footerBaseline), number);

    painter.restore();
}
