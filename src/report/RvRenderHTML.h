#pragma once

#include "report/RvRender.h"

// "Web Page (HTML)": one standalone UTF-8 page per report, well-formed XHTML, each
// printed page a section with title, print date, a real <table> of its records
// under the column header row, and "Seite n von m"; sections break pages when
// the web page is printed.
class RvRenderHTML : public RvRender
{
    Q_OBJECT

public:
    explicit RvRenderHTML(QObject *parent = nullptr);

    // Only the sections, without <html>, <head> and <body>, for a server that
    // embeds the report in a page of its own.
    bool ServerMode = false;
    // False writes the blanks inside cells as no-break spaces (&#160;), so a cell
    // never wraps even where the style sheet is lost; true keeps ordinary blanks.
    bool UseBreakingSpaces = false;

    QByteArray renderHtml(const ReportDocument &doc, const RvPageProgress &progress = {}) const;

    void render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const override;

    // &, <, > and " as entity references.
    static QString escape(const QString &text);
};
