#include "report/ReportDocument.h"

QString ReportDocument::pageNumberText(int pageIndex) const
{
    return QStringLiteral("Seite %1 von %2").arg(pageIndex + 1).arg(pageCount());
}

QSizeF ReportDocument::pageSizeMm() const
{
    return pageLayout.fullRect(QPageLayout::Millimeter).size();
}

double ReportDocument::lineTopMm(int line) const
{
    return pageLayout.margins(QPageLayout::Millimeter).top() + line * linePitchMm;
}

double ReportDocument::tableLeftMm() const
{
    return columns.isEmpty() ? pageLayout.margins(QPageLayout::Millimeter).left() : columns.first().leftMm;
}

double ReportDocument::tableRightMm() const
{
    return columns.isEmpty() ? tableLeftMm() : columns.last().leftMm + columns.last().widthMm;
}

double ReportDocument::contentRightMm() const
{
    return pageSizeMm().width() - pageLayout.margins(QPageLayout::Millimeter).right();
}
