#pragma once

#include "report/RvRender.h"

// "Rich Text Format (RTF)": the pages as word-processor pages, each with its title
// line and a real table (header row marked to repeat, rows of exact height so a
// long value stays inside its cell), a page break before every further page and
// a footer with the record count and "Seite {PAGE} von {NUMPAGES}". Pure ASCII:
// "\", "{", "}" escaped, every other character as \uN (N signed 16-bit) followed
// by one fallback character for readers without Unicode: the windows-1252 byte
// as \'xx ("ä" is \u228\'e4), a similar ASCII letter, or "?" ("€" \u8364\'80,
// "ł" \u322l, "中" \u20013?).
class RvRenderRTF : public RvRender
{
    Q_OBJECT

public:
    explicit RvRenderRTF(QObject *parent = nullptr);

    QByteArray renderRtf(const ReportDocument &doc, const RvPageProgress &progress = {}) const;

    void render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const override;

    static QString escape(const QString &text);
};
