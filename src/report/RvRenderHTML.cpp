#include "report/RvRenderHTML.h"

#include "report/ReportDocument.h"
#include "report/ReportErrors.h"

#include <QIODevice>

namespace {

QString mm(double value)
{
    return QString::number(value, 'f', 2) + QLatin1String("mm");
}

QString alignClass(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignRight)
        return QStringLiteral(" class=\"r\"");
    if (alignment & Qt::AlignHCenter)
        return QStringLiteral(" class=\"c\"");
    return QString();
}

} // namespace

RvRenderHTML::RvRenderHTML(QObject *parent)
    : RvRender(QStringLiteral("Web Page (HTML)"), QStringLiteral("*.html;*.htm"), parent)
{
}

QString RvRenderHTML::escape(const QString &text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': result += QLatin1String("&amp;"); break;
        case '<': result += QLatin1String("&lt;"); break;
        case '>': result += QLatin1String("&gt;"); break;
        case '"': result += QLatin1String("&quot;"); break;
        default: result += c;
        }
    }
    return result;
}

QByteArray RvRenderHTML::renderHtml(const ReportDocument &doc, const RvPageProgress &progress) const
{
    auto cellText = [this](const QString &text) {
        QString escaped = escape(text);
        if (!UseBreakingSpaces)
            escaped.replace(QLatin1Char(' '), QLatin1String("&#160;"));
        return escaped;
    };
    const double tableWidth = doc.tableRightMm() - doc.tableLeftMm();
    const double contentWidth = doc.contentRightMm() - doc.pageLayout.margins(QPageLayout::Millimeter).left();

    QString html;
    if (!ServerMode) {
        html += QLatin1String("<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"de\">\n<head>\n"
                              "<meta charset=\"utf-8\"/>\n<meta name=\"generator\" content=\"Plivora\"/>\n");
        html += QLatin1String("<title>") + escape(doc.title) + QLatin1String("</title>\n<style>\n");
        html += QStringLiteral("body { margin: 0; font-family: \"%1\", Arial, sans-serif; font-size: %2pt; }\n")
                    .arg(escape(doc.fontFamily), QString::number(doc.fontSizePt));
        html += QStringLiteral(".page { width: %1; margin: 8mm auto; }\n").arg(mm(contentWidth));
        html += QLatin1String(
            ".page + .page { break-before: page; page-break-before: always; }\n"
            ".head { display: flex; justify-content: space-between; align-items: baseline;"
            " border-bottom: 0.25mm solid #404040; margin-bottom: 4mm; }\n");
        html += QStringLiteral(".head h1 { margin: 0; font-size: %1pt; }\n").arg(doc.titleFontSizePt);
        html += QStringLiteral("table { border-collapse: collapse; table-layout: fixed; width: %1; }\n")
                    .arg(mm(tableWidth));
        html += QStringLiteral("th, td { height: %1; padding: 0 1mm; white-space: nowrap; overflow: hidden;"
                               " text-overflow: ellipsis; text-align: left; border-left: 0.1mm solid #bebebe; }\n")
                    .arg(mm(doc.linePitchMm));
        html += QLatin1String(
            "th:first-child, td:first-child { border-left: none; }\n"
            "thead th { background: #dde4ee; border-top: 0.25mm solid #404040; border-bottom: 0.2mm solid #404040; }\n"
            "tbody tr:nth-child(even) td { background: #f3f3f3; }\n"
            "tbody tr:last-child td { border-bottom: 0.25mm solid #404040; }\n"
            ".r { text-align: right; }\n.c { text-align: center; }\n");
        html += QStringLiteral(".foot { display: flex; justify-content: space-between; margin-top: 4mm;"
                               " border-top: 0.2mm solid #bebebe; font-size: %1pt; }\n")
                    .arg(doc.footerFontSizePt);
        html += QLatin1String("</style>\n</head>\n<body>\n");
    }

    for (int p = 0; p < doc.pageCount(); ++p) {
        const ReportDocumentPage &page = doc.pages.at(p);
        html += QLatin1String("<div class=\"page\">\n<div class=\"head\"><h1>") + escape(doc.title) +
                QLatin1String("</h1><span>") + escape(doc.printDate) + QLatin1String("</span></div>\n<table>\n<colgroup>");
        for (const ReportDocumentColumn &column : doc.columns)
            html += QLatin1String("<col style=\"width: ") + mm(column.widthMm) + QLatin1String("\"/>");
        html += QLatin1String("</colgroup>\n<thead><tr>");
        for (const ReportDocumentColumn &column : doc.columns)
            html += QLatin1String("<th") + alignClass(column.alignment) + QLatin1Char('>') + cellText(column.header) +
                    QLatin1String("</th>");
        html += QLatin1String("</tr></thead>\n<tbody>\n");
        for (int i = 0; i < page.recordCount; ++i) {
            const QStringList &cells = doc.records.at(page.firstRecord + i);
            html += QLatin1String("<tr>");
            for (qsizetype c = 0; c < doc.columns.size(); ++c)
                html += QLatin1String("<td") + alignClass(doc.columns.at(c).alignment) + QLatin1Char('>') +
                        cellText(c < cells.size() ? cells.at(c) : QString()) + QLatin1String("</td>");
            html += QLatin1String("</tr>\n");
        }
        html += QLatin1String("</tbody>\n</table>\n<div class=\"foot\"><span>") + escape(doc.recordCountText) +
                QLatin1String("</span><span>") + escape(doc.pageNumberText(p)) + QLatin1String("</span></div>\n</div>\n");
        if (progress)
            progress(p + 1);
    }
    if (!ServerMode)
        html += QLatin1String("</body>\n</html>\n");
    return html.toUtf8();
}

void RvRenderHTML::render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const
{
    const QByteArray bytes = renderHtml(doc, progress);
    if (out.write(bytes) != bytes.size())
        throw EReportOutputError(QStringLiteral("The HTML output cannot be written: %1.").arg(out.errorString()));
}
