#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QIODevice;
struct ReportDocument;

// Called with each page number (from 1) once that page is out.
using RvPageProgress = std::function<void(int)>;

// A file renderer component: writes the page model in one file format. The
// output-options dialog offers every renderer registered with the RvSystem by
// its DisplayName and FileExtension.
class RvRender : public QObject
{
    Q_OBJECT

public:
    QString DisplayName;
    QString FileExtension; // file dialog patterns separated by ";", e.g. "*.html;*.htm"

    // The first pattern's suffix with its dot (".html"); empty when there is none.
    QString defaultSuffix() const;
    // Whether the file name ends in one of the patterns' suffixes (case-insensitive).
    bool matchesFileName(const QString &fileName) const;
    // "Web Page (HTML) (*.html *.htm)", for file dialogs.
    QString fileDialogFilter() const;

    // Writes the whole document to fileName. The bytes go to a temporary file in
    // the same directory that replaces fileName only once complete, so a failure
    // leaves no half-written file behind and an older file untouched. Failures
    // raise EReportOutputError.
    void renderToFile(const ReportDocument &doc, const QString &fileName, const RvPageProgress &progress = {}) const;

    virtual void render(const ReportDocument &doc, QIODevice &out, const RvPageProgress &progress) const = 0;

protected:
    RvRender(QString displayName, QString fileExtension, QObject *parent);
};
