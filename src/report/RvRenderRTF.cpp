#include "report/RvRenderRTF.h"

#include "platform/AnsiCodePage.h"
#include "report/ReportDocument.h"
#include "report/ReportErrors.h"

#include <QIODevice>
#include <cmath>

namespace {

// Colour table indexes.
constexpr int headerColor = 2;
constexpr int stripeColor = 3;
constexpr int ruleColor = 4;
constexpr int gridColor = 5;

int twips(double mm)
{
    return int(std::lround(mm * 1440.0 / 25.4));
}

int halfPoints(double pt)
{
    return int(std::lround(pt * 2));
}

QString alignWord(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignRight)
        return QStringLiteral("\\qr");
    if (alignment & Qt::AlignHCenter)
        return QStringLiteral("\\qc");
    return QStringLiteral("\\ql");
}

// The one character a reader that ignores \uN shows instead: the character in
// the document's code page (windows-1252) or a similar one, "?" when there is none.
QString fallback(QChar c)
{
    const char16_t u = c.unicode();
    QByteArray ansi;
    if (u >= 0xA0 && u <= 0xFF)
        ansi = QByteArray(1, char(u)); // windows-1252 agrees with Latin-1 here
    else if (!c.isSurrogate())
        ansi = platform::toAnsi(QString(c));
    if (ansi.size() != 1 || uchar(ansi.at(0)) < 0x20 || ansi.at(0) == 0x7F)
        return QStringLiteral("?");
    const uchar byte = uchar(ansi.at(0));
    if (byte == '\\' || byte == '{' || byte == '}')
        return QString(QLatin1Char('\\')) + QLatin1Char(char(byte));
    if (byte < 0x80)
        return QString(QLatin1Char(char(byte)));
    return QStringLiteral("\\'%1").arg(byte, 2, 16, QLatin1Char('0'));
}

// The lengths every part of a document's RTF is measured in.
struct RtfMeasures
{
    explicit RtfMeasures(const ReportDocument &doc)
        : page(doc.pageSizeMm())
        , margins(doc.pageLayout.margins(QPageLayout::Millimeter))
        , landscape(doc.pageLayout.orientation() == QPageLayout::Landscape)
        , pitch(twips(doc.linePitchMm))
        , contentWidth(twips(doc.contentRightMm() - margins.left()))
        , tableIndent(twips(doc.tableLeftMm() - margins.left()))
        , bodySize(QString::number(halfPoints(doc.fontSizePt)))
    {
    }

    QSizeF page;
    QMarginsF margins;
    bool landscape;
    int pitch;        // one line of the page model
    int contentWidth; // from the left margin to the right one
    int tableIndent;  // from the left margin to the table
    QString bodySize; // in half points
};

// Everything before the first page: fonts, colours, document information, paper
// and the footer.
QString documentStart(const ReportDocument &doc, const RtfMeasures &m)
{
    QString rtf;
    rtf += QLatin1String("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n");
    rtf += QLatin1String("{\\fonttbl{\\f0\\fswiss\\fcharset0 ") + RvRenderRTF::escape(doc.fontFamily) +
           QLatin1String(";}}\n");
    rtf += QLatin1String("{\\colortbl;\\red0\\green0\\blue0;\\red221\\green228\\blue238;\\red243\\green243\\blue243;"
                         "\\red64\\green64\\blue64;\\red190\\green190\\blue190;}\n");
    rtf += QLatin1String("{\\info{\\title ") + RvRenderRTF::escape(doc.title) + QLatin1String("}{\\doccomm Plivora}}\n");
    // The body leaves the footer's two lines (an empty one and the footer itself)
    // free, so each page holds exactly the lines of the page model.
    rtf += QStringLiteral("\\paperw%1\\paperh%2\\margl%3\\margr%4\\margt%5\\margb%6%7\n")
               .arg(twips(m.page.width()))
               .arg(twips(m.page.height()))
               .arg(twips(m.margins.left()))
               .arg(twips(m.margins.right()))
               .arg(twips(m.margins.top()))
               .arg(twips(m.margins.bottom()) + 2 * m.pitch)
               .arg(m.landscape ? QStringLiteral("\\landscape") : QString());
    rtf += QStringLiteral("\\sectd%1\\pgwsxn%2\\pghsxn%3\\footery%4\n")
               .arg(m.landscape ? QStringLiteral("\\lndscpsxn") : QString())
               .arg(twips(m.page.width()))
               .arg(twips(m.page.height()))
               .arg(twips(m.margins.bottom()));
    rtf += QStringLiteral("{\\footer\\pard\\plain\\f0\\fs%1\\tqr\\tx%2 ")
               .arg(halfPoints(doc.footerFontSizePt))
               .arg(m.contentWidth);
    rtf += RvRenderRTF::escape(doc.recordCountText) +
           QStringLiteral("\\tab Seite {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}} von {\\field{\\*\\fldinst NUMPAGES}"
                          "{\\fldrslt %1}}\\par}\n")
               .arg(doc.pageCount());
    return rtf;
}

// A page's title line with the print date at the right, and the empty line under it.
QString pageTitle(const ReportDocument &doc, const RtfMeasures &m, int pageIndex)
{
    // Texts are appended, never passed through arg(): a "%1" in a title must stay as it is.
    QString rtf = QStringLiteral("\\pard\\plain\\f0%1\\sl-%2\\slmult0\\tqr\\tx%3{\\fs%4\\b ")
                      .arg(pageIndex > 0 ? QStringLiteral("\\pagebb") : QString())
                      .arg(2 * m.pitch)
                      .arg(m.contentWidth)
                      .arg(halfPoints(doc.titleFontSizePt));
    rtf += RvRenderRTF::escape(doc.title) + QLatin1String("}\\tab{\\fs") + m.bodySize + QLatin1Char(' ') +
           RvRenderRTF::escape(doc.printDate) + QLatin1String("}\\par\n");
    rtf += QStringLiteral("\\pard\\plain\\f0\\fs%1\\sl-%2\\slmult0").arg(m.bodySize).arg(m.pitch) +
           QLatin1String("\\par\n");
    return rtf;
}

// The definition of one table row: its cells' borders, shading and right edges.
QString rowStart(const ReportDocument &doc, const RtfMeasures &m, bool header, bool striped, bool last)
{
    QString row = QStringLiteral("\\trowd\\trgaph57\\trleft%1\\trrh-%2").arg(m.tableIndent).arg(m.pitch);
    if (header)
        row += QLatin1String("\\trhdr");
    for (qsizetype c = 0; c < doc.columns.size(); ++c) {
        const ReportDocumentColumn &column = doc.columns.at(c);
        row += QLatin1String("\\clvertalc");
        if (header)
            row += QStringLiteral("\\clbrdrt\\brdrs\\brdrw10\\brdrcf%1\\clbrdrb\\brdrs\\brdrw10\\brdrcf%1").arg(ruleColor);
        else if (last)
            row += QStringLiteral("\\clbrdrb\\brdrs\\brdrw10\\brdrcf%1").arg(ruleColor);
        if (c > 0)
            row += QStringLiteral("\\clbrdrl\\brdrs\\brdrw2\\brdrcf%1").arg(gridColor);
        if (header)
            row += QStringLiteral("\\clcbpat%1").arg(headerColor);
        else if (striped)
            row += QStringLiteral("\\clcbpat%1").arg(stripeColor);
        row += QStringLiteral("\\cellx%1").arg(twips(column.leftMm + column.widthMm - m.margins.left()));
    }
    return row + QLatin1Char('\n');
}

QString cell(const RtfMeasures &m, const QString &text, Qt::Alignment alignment, bool bold)
{
    return QLatin1String("\\pard\\plain\\intbl\\f0\\fs") + m.bodySize + alignWord(alignment) +
           (bold ? QLatin1String("\\b ") : QLatin1String(" ")) + RvRenderRTF::escape(text) + QLatin1String("\\cell\n");
}

// The header row and the page's records, every other one shaded.
QString pageTable(const ReportDocument &doc, const RtfMeasures &m, const ReportDocumentPage &rows)
{
    QString rtf = rowStart(doc, m, true, false, rows.recordCount == 0);
    for (const ReportDocumentColumn &column : doc.columns)
        rtf += cell(m, column.header, column.alignment, true);
    rtf += QLatin1String("\\row\n");
    for (int i = 0; i < rows.recordCount; ++i) {
        const QStringList &cells = doc.records.at(rows.firstRecord + i);
        rtf += rowStart(doc, m, false, i % 2 == 1, i == rows.recordCount - 1);
        for (qsizetype c = 0; c < doc.columns.size(); ++c)
            rtf += cell(m, c < cells.size() ? cells.at(c) : QString(), doc.columns.at(c).alignment, false);
        rtf += QLatin1String("\\row\n");
    }
    return rtf;
}

} // namespace

RvRenderRTF::RvRenderRTF(QObject *parent)
    : RvRender(QStringLiteral("Rich Text Format (RTF)"), QStringLiteral("*.rtf"), parent)
{
}

QString RvRenderRTF::escape(const QString &text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            result += QLatin1Char('\\');
            result += c;
        } else if (u < 0x20) {
            result += QLatin1Char(' ');
        } else if (u < 0x7F) {
            result += c;
        } else {
            // One \uN per UTF-16 unit, so characters beyond the BMP go as their surrogate pair.
            result += QLatin1String("\\u") + QString::number(qint16(u)) + fallback(c);
        }
    }
    return result;
}

QByteArray RvRenderRTF::renderRtf(const ReportDocument &doc, const RvPageProgress &progress) const
{
    const RtfMeasures m(doc);
    QString rtf = documentStart(doc, m);
    for (int p = 0; p < doc.pageCount(); ++p) {
        rtf += pageTitle(doc, m, p);
        rtf += pageTable(doc, m, doc.pages.at(p));
        if (progress)
            progress(p + 1);
    }
    // A document may not end inside a table: close with a tiny empty paragraph.
    rtf += QLatin1String("\\pard\\plain\\f0\\fs2\\sl-20\\slmult0\\par\n}\n");
    return rtf.toLatin1();
}

void RvRenderRTF::render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const
{
    const QByteArray bytes = renderRtf(doc, progress);
    if (out.write(bytes) != bytes.size())
        throw EReportOutputError(QStringLiteral("The RTF output cannot be written: %1.").arg(out.errorString()));
}
