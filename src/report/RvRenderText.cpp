#include "report/RvRenderText.h"

#include "report/ReportDocument.h"
#include "report/ReportErrors.h"

#include <QIODevice>
#include <cmath>

namespace {

class TextPage
{
public:
    TextPage(int width, int height)
        : m_width(width)
        , m_lines(height, QString(width, QLatin1Char(' ')))
    {
    }

    // Writes text into [column, column + width) of a row, cut to that room.
    void put(int row, int column, int width, const QString &text, Qt::Alignment alignment = Qt::AlignLeft)
    {
        if (row < 0 || row >= m_lines.size() || width <= 0)
            return;
        const QString shown = text.left(width);
        int start = column;
        if (alignment & Qt::AlignRight)
            start += width - int(shown.size());
        else if (alignment & Qt::AlignHCenter)
            start += (width - int(shown.size())) / 2;
        QString &line = m_lines[row];
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const qsizetype at = start + i;
            if (at >= 0 && at < m_width)
                line[at] = shown.at(i);
        }
    }

    void fill(int row, int column, int width, QChar c) { put(row, column, width, QString(width, c)); }

    QString text() const
    {
        qsizetype used = m_lines.size();
        while (used > 0 && m_lines.at(used - 1).trimmed().isEmpty())
            --used;
        QString result;
        for (qsizetype i = 0; i < used; ++i) {
            QString line = m_lines.at(i);
            qsizetype end = line.size();
            while (end > 0 && line.at(end - 1) == QLatin1Char(' '))
                --end;
            line.truncate(end);
            result += line;
            result += QLatin1String("\r\n");
        }
        return result;
    }

private:
    int m_width;
    QList<QString> m_lines;
};

} // namespace

RvRenderText::RvRenderText(QObject *parent)
    : RvRender(QStringLiteral("Plain Text (TXT)"), QStringLiteral("*.txt"), parent)
{
}

int RvRenderText::pageWidthChars(const ReportDocument &doc) const
{
    return int(std::floor(doc.pageSizeMm().width() / 25.4 * CPI + 1e-9));
}

int RvRenderText::pageHeightLines(const ReportDocument &doc) const
{
    return int(std::floor(doc.pageSizeMm().height() / 25.4 * LPI + 1e-9));
}

QByteArray RvRenderText::renderText(const ReportDocument &doc, const RvPageProgress &progress) const
{
    if (CPI <= 0 || LPI <= 0)
        throw EReportOutputError(QStringLiteral("The text renderer needs positive CPI and LPI."));
    const int width = pageWidthChars(doc);
    const int height = pageHeightLines(doc);
    auto column = [&](double mm) { return int(std::lround(mm / 25.4 * CPI)); };
    auto row = [&](int line) { return int(std::lround(doc.lineTopMm(line) / 25.4 * LPI)); };
    const QMarginsF margins = doc.pageLayout.margins(QPageLayout::Millimeter);
    const int left = column(margins.left());
    const int right = std::min(width, column(doc.contentRightMm()));

    QString all;
    for (int p = 0; p < doc.pageCount(); ++p) {
        const ReportDocumentPage &page = doc.pages.at(p);
        TextPage text(width, height);
        // Title and print date share a line, as on the printed page.
        const int dateLength = int(doc.printDate.size());
        text.put(row(ReportDocument::DateLine), left, right - left - dateLength - 2, doc.title);
        text.put(row(ReportDocument::DateLine), right - dateLength, dateLength, doc.printDate);
        text.fill(row(ReportDocument::DateLine + 1), left, right - left, QLatin1Char('='));

        // One blank stays between neighbouring columns.
        auto putRow = [&](int line, const QStringList &cells) {
            for (qsizetype c = 0; c < doc.columns.size() && c < cells.size(); ++c) {
                const ReportDocumentColumn &col = doc.columns.at(c);
                const int start = column(col.leftMm);
                const int end = std::min(right, column(col.leftMm + col.widthMm));
                text.put(row(line), start, end - start - 1, cells.at(c), col.alignment);
            }
        };
        QStringList headers;
        for (const ReportDocumentColumn &col : doc.columns)
            headers.append(col.header);
        putRow(ReportDocument::HeaderLine, headers);
        for (int i = 0; i < page.recordCount; ++i)
            putRow(ReportDocument::FirstRecordLine + i, doc.records.at(page.firstRecord + i));

        text.fill(row(doc.footerLine() - 1), left, right - left, QLatin1Char('-'));
        const QString number = doc.pageNumberText(p);
        text.put(row(doc.footerLine()), left, right - left - int(number.size()) - 2, doc.recordCountText);
        text.put(row(doc.footerLine()), right - int(number.size()), int(number.size()), number);

        if (p > 0)
            all += QLatin1Char('\f');
        all += text.text();
        if (progress)
            progress(p + 1);
    }
    return all.toUtf8();
}

void RvRenderText::render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const
{
    const QByteArray bytes = renderText(doc, progress);
    if (out.write(bytes) != bytes.size())
        throw EReportOutputError(QStringLiteral("The text output cannot be written: %1.").arg(out.errorString()));
}
