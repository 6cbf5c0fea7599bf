#pragma once

#include "report/RvRender.h"

// "Adobe Acrobat (PDF)": vector pages with selectable text and embedded font
// subsets; the document information names the report's title and "Plivora".
class RvRenderPDF : public RvRender
{
    Q_OBJECT

public:
    explicit RvRenderPDF(QObject *parent = nullptr);

    void render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const override;
};
