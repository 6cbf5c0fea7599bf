#pragma once

class QPainter;
struct ReportDocument;

// Paints pages of the page model; preview, printer and PDF all go through here.
class ReportPagePainter
{
public:
    // Paints one page with its top-left corner at the painter's origin, measured in
    // the paint device's logical resolution (so fonts and lengths keep their size
    // on a 96 dpi preview image, a 1200 dpi PDF or a printer).
    static void paint(QPainter &painter, const ReportDocument &doc, int pageIndex);
};
