#pragma once

#include "RvRender.h"

// "Rich Text Format (RTF)": the pages as word-processor pages, each with its title
// line and a real table (header row marked to repeat, rows of exact height so a
// long value stays inside its cell), a page break before every further page and
// a footer with the record count and "Seite {PAGE} von {NUMPAGES}". Pure ASCII:
// "\", "{", "}" escaped, every other character as \uN? (N signed 16-bit).
class RvRenderRTF : public RvRender
{
    Q_OBJECT

public:
    explicit RvRenderRTF(QObject *parent = nullptr);

    QByteArray renderRtf(const ReportDocument &doc, const RvPageProgress &progress = {}) const;

    void render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const override;

    static QString escape(const QString &text);
};
