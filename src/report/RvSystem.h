#pragma once

#include "report/RvOutputSettings.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QPrinter>
#include <functional>
#include <memory>

class QDialog;
class QWidget;
class ReportDataSet;
class RvDataSetConnection;
class RvPreviewWindow;
class RvRender;
class RvStatusWindow;
struct ReportDefinition;
struct ReportDocument;

enum RvSystemOption {
    soShowStatus = 0x1,
    soAllowPrintFromPreview = 0x2,
    soAllowSaveFromPreview = 0x4,
    soPreviewModal = 0x8,
};
Q_DECLARE_FLAGS(RvSystemOptions, RvSystemOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(RvSystemOptions)

struct RvSystemFiler
{
    QString StatusFormat = QStringLiteral("Generating page %p"); // %p: the page number
};

struct RvSystemPrinter
{
    QString StatusFormat = QStringLiteral("Printing page %p");
    QString Title; // the print job's name
    int Copies = 1;
    bool Collate = false;
    QPrinter::DuplexMode Duplex = QPrinter::DuplexNone;
    double ScaleX = 100.0; // per cent
    double ScaleY = 100.0;
    double UnitsFactor = 1.0; // a further factor on both scales
};

struct RvSystemPreview
{
    Qt::WindowState FormState = Qt::WindowMaximized;
    double ZoomFactor = 100.0; // per cent of the paper's real size
};

// The report engine: settings, registered renderers and data connections, and
// one run of a report (output-options dialog, page generation with the status
// window, then preview, printer or file).
class RvSystem : public QObject
{
    Q_OBJECT

public:
    explicit RvSystem(QObject *parent = nullptr);
    ~RvSystem() override;

    QString TitleSetup = QStringLiteral("Output Options");
    QString TitleStatus = QStringLiteral("Report Status");
    QString TitlePreview = QStringLiteral("Report Preview");
    RvSystemFiler SystemFiler;
    RvSystemPrinter SystemPrinter;
    RvSystemPreview SystemPreview;
    RvDestination DefaultDest = rdPreview;
    RvSystemSetups SystemSetups = RvSystemSetups(ssAllowSetup | ssAllowCopies | ssAllowCollate | ssAllowDuplex |
                                                 ssAllowDestPreview | ssAllowDestPrinter | ssAllowDestFile |
                                                 ssAllowPrinterSetup | ssAllowPreviewSetup);
    RvSystemOptions SystemOptions =
        RvSystemOptions(soShowStatus | soAllowPrintFromPreview | soAllowSaveFromPreview | soPreviewModal);
    RvRender *RenderObject = nullptr; // preselected file format; none lets the user pick
    QString OutputFileName;
    QDateTime ReportDateTime;         // the print date shown; invalid means "now" at each run

    // Components the engine works with; none is owned.
    void addRenderer(RvRender *renderer);
    QList<RvRender *> renderers() const;
    void addDataConnection(RvDataSetConnection *connection);
    RvDataSetConnection *dataConnection(const QString &componentName) const;

    // Reports whose records come from a data file read it through this hook; the
    // printing code, which owns the data file's format, supplies it. It gets the
    // file's absolute path and returns the data set (or throws).
    using DataFileReader = std::function<std::unique_ptr<ReportDataSet>(const QString &absolutePath)>;
    void setDataFileReader(DataFileReader reader);

    // Every modal window of the engine (output options, preview, printer setup,
    // file dialogs) runs through this; the default is QDialog::exec(). Tests put
    // in a function that works the dialog and returns its result.
    using ModalRunner = RvModalRunner;
    void setModalRunner(ModalRunner runner);
    int runModal(QDialog &dialog) const;

    QPrinter &printer();

    // Where a run goes when it is not asked: DefaultDest, RenderObject,
    // OutputFileName and the printer settings.
    RvOutputChoice presetChoice() const;
    // What the output-options dialog of a run edits, preset from the settings above.
    RvOutputSettings outputSettings();

    // One run of a report read from projectPath (see RvProject::Execute).
    void execute(const ReportDefinition &report, const QString &projectPath);

    // Checks that the report's data connection exists and has its fields; a report
    // reading a data file is checked when it runs, before anything is asked.
    void checkReport(const ReportDefinition &report, const QString &projectPath) const;

    // The page model of a report over its data, with "Generating page %p" in the status window.
    ReportDocument generate(const ReportDefinition &report, const QString &projectPath);

    // Output of a page model; used by a run and by the preview's print and save.
    void printDocument(const ReportDocument &doc);
    void saveDocument(const ReportDocument &doc, const RvRender &renderer, const QString &fileName);

    static QString statusText(const QString &format, int page);

signals:
    // Every status line of a run, whether or not the status window shows it.
    void statusChanged(const QString &text);
    // Right before the printer starts, to pick a printer or adjust the job.
    void beforePrint(QPrinter *printer);

private:
    struct Records;
    Records records(const ReportDefinition &report, const QString &projectPath) const;
    ReportDocument build(const ReportDefinition &report, const Records &found, const QList<int> &fields);
    void showStatus(const QString &text);
    void closeStatus();
    void showPreview(std::shared_ptr<const ReportDocument> doc);
    QWidget *dialogParent() const;

    QList<QPointer<RvRender>> m_renderers;
    QList<QPointer<RvDataSetConnection>> m_connections;
    DataFileReader m_dataFileReader;
    ModalRunner m_modalRunner;
    std::unique_ptr<QPrinter> m_printer;
    QPointer<RvStatusWindow> m_statusWindow;
    QList<QPointer<RvPreviewWindow>> m_openPreviews;
};
