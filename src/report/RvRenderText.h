#pragma once

#include "report/RvRender.h"

#include <QByteArray>

// "Plain Text (TXT)": each page as a fixed grid of CPI characters per inch and
// LPI lines per inch over the paper size, every item at the character cell of its
// printed position, cut to its column. UTF-8, lines end in CR LF (trailing blanks
// dropped), pages are separated by a form feed.
class RvRenderText : public RvRender
{
    Q_OBJECT

public:
    explicit RvRenderText(QObject *parent = nullptr);

    double CPI = 10.0;
    double LPI = 6.0;

    int pageWidthChars(const ReportDocument &doc) const;
    int pageHeightLines(const ReportDocument &doc) const;
    QByteArray renderText(const ReportDocument &doc, const RvPageProgress &progress = {}) const;

    void render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const override;
};
