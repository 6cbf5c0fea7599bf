#include "report/RvRenderPDF.h"

#include "report/ReportDocument.h"
#include "report/ReportErrors.h"
#include "report/ReportPagePainter.h"

#include <QPainter>
#include <QPdfWriter>

RvRenderPDF::RvRenderPDF(QObject *parent)
    : RvRender(QStringLiteral("Adobe Acrobat (PDF)"), QStringLiteral("*.pdf"), parent)
{
}

void RvRenderPDF::render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const
{
    QPdfWriter writer(&out);
    writer.setCreator(QStringLiteral("Plivora"));
    writer.setTitle(doc.title);
    writer.setResolution(1200);
    // The page model carries its own margins; the writer's origin is the paper corner.
    writer.setPageLayout(QPageLayout(doc.pageLayout.pageSize(), doc.pageLayout.orientation(), QMarginsF()));
    QPainter painter;
    if (!painter.begin(&writer))
        throw EReportOutputError(QStringLiteral("The PDF output cannot be started."));
    for (int page = 0; page < doc.pageCount(); ++page) {
        if (page > 0)
            writer.newPage();
        ReportPagePainter::paint(painter, doc, page);
        if (progress)
            progress(page + 1);
    }
    painter.end();
}
