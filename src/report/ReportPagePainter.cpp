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

// The parts of one page, with the fonts and edges they share.
class PageParts
{
public:
    PageParts(QPainter &painter, const ReportDocument &doc)
        : m_painter(painter)
        , m_doc(doc)
        , g(*painter.device(), doc)
        , bodyFont(makeFont(doc, doc.fontSizePt, false))
        , headerFont(makeFont(doc, doc.fontSizePt, true))
        , titleFont(makeFont(doc, doc.titleFontSizePt, true))
        , footerFont(makeFont(doc, doc.footerFontSizePt, false))
        , bodyMetrics(bodyFont, painter.device())
        , headerMetrics(headerFont, painter.device())
        , titleMetrics(titleFont, painter.device())
        , footerMetrics(footerFont, painter.device())
        , contentLeft(g.x(doc.pageLayout.margins(QPageLayout::Millimeter).left()))
        , contentRight(g.x(doc.contentRightMm()))
        , tableLeft(g.x(doc.tableLeftMm()))
        , tableRight(g.x(doc.tableRightMm()))
        , padding(g.width(1.0))
        , thin(g.height(0.1))
        , rule(g.height(0.25))
    {
    }

    // Title and print date share the baseline near the band's foot.
    void titleBand()
    {
        const double bandBottom = g.lineTop(ReportDocument::TitleLine + 2);
        const double titleBaseline = bandBottom - titleMetrics.descent() - g.height(0.6);
        m_painter.setFont(bodyFont);
        m_painter.setPen(Qt::black);
        const double dateWidth = bodyMetrics.horizontalAdvance(m_doc.printDate);
        m_painter.drawText(QPointF(contentRight - dateWidth, titleBaseline), m_doc.printDate);
        m_painter.setFont(titleFont);
        const double titleRoom = contentRight - contentLeft - dateWidth - g.width(5);
        m_painter.drawText(QPointF(contentLeft, titleBaseline),
                           titleMetrics.elidedText(m_doc.title, Qt::ElideRight, titleRoom));
        drawHorizontal(m_painter, ruleLine, rule, contentLeft, contentRight, bandBottom);
    }

    // The header band, the shaded stripes, the column lines and the rules.
    void tableFrame(const ReportDocumentPage &page)
    {
        const double headerTop = g.lineTop(ReportDocument::HeaderLine);
        const double tableBottom = g.lineTop(ReportDocument::FirstRecordLine + page.recordCount);
        m_painter.fillRect(QRectF(tableLeft, headerTop, tableRight - tableLeft, g.pitch()), headerFill);
        for (int i = 1; i < page.recordCount; i += 2) {
            const double top = g.lineTop(ReportDocument::FirstRecordLine + i);
            m_painter.fillRect(QRectF(tableLeft, top, tableRight - tableLeft, g.pitch()), stripeFill);
        }
        m_painter.setPen(QPen(gridLine, thin, Qt::SolidLine, Qt::FlatCap));
        for (qsizetype c = 1; c < m_doc.columns.size(); ++c) {
            const double x = g.x(m_doc.columns.at(c).leftMm);
            m_painter.drawLine(QPointF(x, headerTop), QPointF(x, tableBottom));
        }
        drawHorizontal(m_painter, ruleLine, rule, tableLeft, tableRight, headerTop);
        drawHorizontal(m_painter, ruleLine, thin * 2, tableLeft, tableRight,
                       g.lineTop(ReportDocument::FirstRecordLine));
        drawHorizontal(m_painter, ruleLine, rule, tableLeft, tableRight, tableBottom);
    }

    void tableTexts(const ReportDocumentPage &page)
    {
        m_painter.setPen(Qt::black);
        m_painter.setFont(headerFont);
        const double headerBaseline = g.baseline(ReportDocument::HeaderLine, headerMetrics);
        for (const ReportDocumentColumn &column : m_doc.columns)
            drawCell(m_painter, headerMetrics, column.header, g.x(column.leftMm), g.width(column.widthMm),
                     column.alignment, padding, headerBaseline);

        m_painter.setFont(bodyFont);
        for (int i = 0; i < page.recordCount; ++i) {
            const QStringList &cells = m_doc.records.at(page.firstRecord + i);
            const double baseline = g.baseline(ReportDocument::FirstRecordLine + i, bodyMetrics);
            for (qsizetype c = 0; c < m_doc.columns.size() && c < cells.size(); ++c) {
                const ReportDocumentColumn &column = m_doc.columns.at(c);
                drawCell(m_painter, bodyMetrics, cells.at(c), g.x(column.leftMm), g.width(column.widthMm),
                         column.alignment, padding, baseline);
            }
        }
    }

    // Record count left, page number right, under a thin rule.
    void footer(int pageIndex)
    {
        const double footerTop = g.lineTop(m_doc.footerLine());
        drawHorizontal(m_painter, gridLine, thin * 2, contentLeft, contentRight, footerTop);
        m_painter.setPen(Qt::black);
        m_painter.setFont(footerFont);
        const double footerBaseline = g.baseline(m_doc.footerLine(), footerMetrics);
        m_painter.drawText(QPointF(contentLeft, footerBaseline), m_doc.recordCountText);
        const QString number = m_doc.pageNumberText(pageIndex);
        m_painter.drawText(QPointF(contentRight - footerMetrics.horizontalAdvance(number), footerBaseline), number);
    }

private:
    QPainter &m_painter;
    const ReportDocument &m_doc;
    const PageGeometry g;
    const QFont bodyFont;
    const QFont headerFont;
    const QFont titleFont;
    const QFont footerFont;
    const QFontMetricsF bodyMetrics;
    const QFontMetricsF headerMetrics;
    const QFontMetricsF titleMetrics;
    const QFontMetricsF footerMetrics;
    const double contentLeft;
    const double contentRight;
    const double tableLeft;
    const double tableRight;
    const double padding;
    const double thin; // column lines
    const double rule; // the rules under the title and around the table
};

} // namespace

void ReportPagePainter::paint(QPainter &painter, const ReportDocument &doc, int pageIndex)
{
    const ReportDocumentPage &page = doc.pages.at(pageIndex);
    PageParts parts(painter, doc);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    parts.titleBand();
    parts.tableFrame(page);
    parts.tableTexts(page);
    parts.footer(pageIndex);
    painter.restore();
}
