#include "report/RvSystem.h"

#include "report/ReportDataSet.h"
#include "report/ReportDefinition.h"
#include "report/ReportDocument.h"
#include "report/ReportErrors.h"
#include "report/ReportLayout.h"
#include "report/ReportPagePainter.h"
#include "report/RvDataSetConnection.h"
#include "report/RvOutputOptionsDialog.h"
#include "report/RvPreviewWindow.h"
#include "report/RvRender.h"
#include "report/RvStatusWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>

struct RvSystem::Records
{
    std::unique_ptr<ReportDataSet> owned; // a data set read from a data file
    const ReportDataSet *data = nullptr;
    QString description;                  // "the data connection "X"", for messages
};

namespace {

// Closes the status window however the run ends.
class StatusCloser
{
public:
    explicit StatusCloser(std::function<void()> close)
        : m_close(std::move(close))
    {
    }
    ~StatusCloser() { m_close(); }
    StatusCloser(const StatusCloser &) = delete;
    StatusCloser &operator=(const StatusCloser &) = delete;

private:
    std::function<void()> m_close;
};

} // namespace

RvSystem::RvSystem(QObject *parent)
    : QObject(parent)
{
}

RvSystem::~RvSystem()
{
    // A non-modal preview refers to this engine; it must not outlive it.
    for (const QPointer<RvPreviewWindow> &preview : std::as_const(m_openPreviews))
        delete preview.data();
}

void RvSystem::addRenderer(RvRender *renderer)
{
    if (renderer && !renderers().contains(renderer))
        m_renderers.append(renderer);
}

QList<RvRender *> RvSystem::renderers() const
{
    QList<RvRender *> result;
    for (const QPointer<RvRender> &renderer : m_renderers) {
        if (renderer)
            result.append(renderer.data());
    }
    return result;
}

void RvSystem::addDataConnection(RvDataSetConnection *connection)
{
    if (connection)
        m_connections.append(connection);
}

RvDataSetConnection *RvSystem::dataConnection(const QString &componentName) const
{
    for (const QPointer<RvDataSetConnection> &connection : m_connections) {
        if (connection && connection->objectName() == componentName)
            return connection.data();
    }
    return nullptr;
}

void RvSystem::setDataFileReader(DataFileReader reader)
{
    m_dataFileReader = std::move(reader);
}

void RvSystem::setModalRunner(ModalRunner runner)
{
    m_modalRunner = std::move(runner);
}

int RvSystem::runModal(QDialog &dialog) const
{
    return m_modalRunner ? m_modalRunner(dialog) : dialog.exec();
}

QPrinter &RvSystem::printer()
{
    // Made on first use: asking the print system for its printers can take a while.
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

QString RvSystem::statusText(const QString &format, int page)
{
    QString text = format;
    return text.replace(QLatin1String("%p"), QString::number(page));
}

RvSystem::Records RvSystem::records(const ReportDefinition &report, const QString &projectPath) const
{
    Records result;
    if (report.source == ReportDefinition::Source::Connection) {
        RvDataSetConnection *connection = dataConnection(report.sourceName);
        if (!connection)
            throw EReportDataError(QStringLiteral("The report project \"%1\" takes its records from the data "
                                                  "connection \"%2\", which the report system does not know.")
                                       .arg(projectPath, report.sourceName));
        if (!connection->DataSet())
            throw EReportDataError(
                QStringLiteral("The data connection \"%1\" has no data set.").arg(report.sourceName));
        result.data = connection->DataSet();
        result.description = QStringLiteral("the data connection \"%1\"").arg(report.sourceName);
        return result;
    }
    const QString path = QDir::cleanPath(QFileInfo(report.sourceName).absoluteFilePath());
    if (!m_dataFileReader)
        throw EReportDataError(QStringLiteral("The report project \"%1\" takes its records from the data file "
                                              "\"%2\", but no reader for data files is installed.")
                                   .arg(projectPath, path));
    result.owned = m_dataFileReader(path);
    if (!result.owned)
        throw EReportDataError(QStringLiteral("The data file \"%1\" gave no records.").arg(path));
    result.data = result.owned.get();
    result.description = QStringLiteral("the data file \"%1\"").arg(path);
    return result;
}

void RvSystem::checkReport(const ReportDefinition &report, const QString &projectPath) const
{
    if (report.source != ReportDefinition::Source::Connection)
        return;
    const Records found = records(report, projectPath);
    ReportLayout::bindFields(report, *found.data, found.description, projectPath);
}

ReportDocument RvSystem::generate(const ReportDefinition &report, const QString &projectPath)
{
    const Records found = records(report, projectPath);
    return build(report, found, ReportLayout::bindFields(report, *found.data, found.description, projectPath));
}

ReportDocument RvSystem::build(const ReportDefinition &report, const Records &found, const QList<int> &fields)
{
    const QDateTime printTime = ReportDateTime.isValid() ? ReportDateTime : QDateTime::currentDateTime();
    return ReportLayout::build(report, *found.data, fields, printTime,
                               [this](int page) { showStatus(statusText(SystemFiler.StatusFormat, page)); });
}

RvOutputChoice RvSystem::presetChoice() const
{
    RvOutputChoice choice;
    choice.destination = DefaultDest;
    choice.renderer = RenderObject;
    choice.fileName = OutputFileName;
    choice.copies = SystemPrinter.Copies;
    choice.collate = SystemPrinter.Collate;
    choice.duplex = SystemPrinter.Duplex;
    return choice;
}

RvOutputSettings RvSystem::outputSettings()
{
    RvOutputSettings settings;
    settings.title = TitleSetup;
    settings.allowed = SystemSetups;
    settings.renderers = renderers();
    settings.preset = presetChoice();
    settings.printer = [this]() -> QPrinter & { return printer(); };
    settings.runModal = [this](QDialog &dialog) { return runModal(dialog); };
    return settings;
}

void RvSystem::execute(const ReportDefinition &report, const QString &projectPath)
{
    // The records are read and their fields checked before the user is asked
    // anything: a report whose records cannot be had fails at once.
    const Records found = records(report, projectPath);
    const QList<int> fields = ReportLayout::bindFields(report, *found.data, found.description, projectPath);

    RvOutputChoice choice = presetChoice();
    if (SystemSetups & ssAllowSetup) {
        RvOutputOptionsDialog dialog(outputSettings(), RvOutputOptionsDialog::Purpose::Run, dialogParent());
        if (runModal(dialog) != QDialog::Accepted)
            return;
        choice = dialog.choice();
    } else if (choice.destination == rdFile && (!choice.renderer || choice.fileName.isEmpty())) {
        throw EReportOutputError(
            QStringLiteral("File output needs a file format (RenderObject) and an output file name."));
    }
    SystemPrinter.Copies = choice.copies;
    SystemPrinter.Collate = choice.collate;
    SystemPrinter.Duplex = choice.duplex;

    StatusCloser closer([this] { closeStatus(); });
    auto doc = std::make_shared<ReportDocument>(build(report, found, fields));
    switch (choice.destination) {
    case rdPreview:
        closeStatus();
        showPreview(std::move(doc));
        break;
    case rdPrinter:
        printDocument(*doc);
        break;
    case rdFile:
        saveDocument(*doc, *choice.renderer, choice.fileName);
        break;
    }
}

void RvSystem::printDocument(const ReportDocument &doc)
{
    StatusCloser closer([this] { closeStatus(); });
    QPrinter &target = printer();
    target.setDocName(SystemPrinter.Title);
    target.setCopyCount(std::max(1, SystemPrinter.Copies));
    target.setCollateCopies(SystemPrinter.Collate);
    target.setDuplex(SystemPrinter.Duplex);
    // Size and orientation one by one: a whole page layout with zero margins is
    // refused by printers with unprintable edges, orientation included. In full-page
    // mode the origin is the paper's corner, where the page model measures from.
    target.setPageSize(doc.pageLayout.pageSize());
    target.setPageOrientation(doc.pageLayout.orientation());
    target.setFullPage(true);
    emit beforePrint(&target);

    QPainter painter;
    if (!painter.begin(&target))
        throw EReportOutputError(QStringLiteral("The printer \"%1\" cannot be used.").arg(target.printerName()));
    const double scaleX = SystemPrinter.ScaleX / 100.0 * SystemPrinter.UnitsFactor;
    const double scaleY = SystemPrinter.ScaleY / 100.0 * SystemPrinter.UnitsFactor;
    for (int page = 0; page < doc.pageCount(); ++page) {
        if (page > 0 && !target.newPage())
            throw EReportOutputError(QStringLiteral("The printer \"%1\" failed at page %2.")
                                         .arg(target.printerName(), QString::number(page + 1)));
        showStatus(statusText(SystemPrinter.StatusFormat, page + 1));
        painter.save();
        painter.scale(scaleX, scaleY);
        ReportPagePainter::paint(painter, doc, page);
        painter.restore();
    }
    if (!painter.end() || target.printerState() == QPrinter::Error)
        throw EReportOutputError(QStringLiteral("The printer \"%1\" failed.").arg(target.printerName()));
}

void RvSystem::saveDocument(const ReportDocument &doc, const RvRender &renderer, const QString &fileName)
{
    StatusCloser closer([this] { closeStatus(); });
    renderer.renderToFile(doc, fileName,
                          [this](int page) { showStatus(statusText(SystemFiler.StatusFormat, page)); });
}

void RvSystem::showStatus(const QString &text)
{
    if (SystemOptions & soShowStatus) {
        if (!m_statusWindow) {
            m_statusWindow = new RvStatusWindow(dialogParent());
            m_statusWindow->setWindowTitle(TitleStatus);
        }
        m_statusWindow->showStatus(text);
    }
    emit statusChanged(text);
}

void RvSystem::closeStatus()
{
    delete m_statusWindow.data();
}

void RvSystem::showPreview(std::shared_ptr<const ReportDocument> doc)
{
    if (SystemOptions & soPreviewModal) {
        RvPreviewWindow preview(*this, std::move(doc), dialogParent());
        runModal(preview);
        return;
    }
    auto *preview = new RvPreviewWindow(*this, std::move(doc), dialogParent());
    preview->setAttribute(Qt::WA_DeleteOnClose);
    m_openPreviews.append(preview);
    preview->show();
}

QWidget *RvSystem::dialogParent() const
{
    return QApplication::activeWindow();
}
