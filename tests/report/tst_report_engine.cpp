#include "platform/ErrorBox.h"
#include "report/ReportErrors.h"
#include "support/ReportTestSupport.h"
#include "report/ReportDocument.h"
#include "report/RvDataSetConnection.h"
#include "report/RvOutputOptionsDialog.h"
#include "report/RvPreviewWindow.h"
#include "report/RvProject.h"
#include "report/RvRenderHTML.h"
#include "report/RvRenderPDF.h"
#include "report/RvRenderRTF.h"
#include "report/RvRenderText.h"
#include "report/RvStatusWindow.h"
#include "report/RvSystem.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QPrintDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

using namespace reporttest;

namespace {

const RvSystemSetups allSetups(ssAllowSetup | ssAllowCopies | ssAllowCollate | ssAllowDuplex | ssAllowDestPreview |
                               ssAllowDestPrinter | ssAllowDestFile | ssAllowPrinterSetup | ssAllowPreviewSetup);

QStringList filesHere()
{
    QStringList files = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    files.sort();
    return files;
}

RvStatusWindow *visibleStatusWindow()
{
    for (QWidget *widget : QApplication::allWidgets()) {
        if (auto *status = qobject_cast<RvStatusWindow *>(widget); status && status->isVisible())
            return status;
    }
    return nullptr;
}

} // namespace

class TestReportEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void dialogPreselection_data();
    void dialogPreselection();
    void dialogChoosesFileOutput();
    void dialogCancelled_data();
    void dialogCancelled();
    void formatFollowsFileName_data();
    void formatFollowsFileName();
    void previewNavigatesAndSaves();
    void previewWithoutPrintAndSave();
    void nonModalPreview();
    void previewShowsSaveErrors();
    void printerSetupAndBrowse();
    void printerGetsTitleAndCopies_data();
    void printerGetsTitleAndCopies();
    void statusWindow_data();
    void statusWindow();
    void dataFileSource();
    void presetFileOutputNeedsFormatAndName();
    void englishUnderAGermanTranslator();

private:
    void presetFileOutput(RvRender *renderer, const QString &fileName);

    QString m_previousDir;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<platform::ShownMessage> m_messages;
    platform::MessagePresenter m_previousPresenter;
    ReportTable m_data;
    std::unique_ptr<RvSystem> m_engine;
    std::unique_ptr<RvDataSetConnection> m_connection;
    std::unique_ptr<RvProject> m_project;
    RvRenderPDF m_pdf;
    RvRenderHTML m_html;
    RvRenderRTF m_rtf;
    RvRenderText m_text;
    QStringList m_statuses;
};

void TestReportEngine::initTestCase()
{
    m_previousPresenter =
        platform::setMessagePresenter([this](const platform::ShownMessage &message) { m_messages.append(message); });
}

void TestReportEngine::cleanupTestCase()
{
    platform::setMessagePresenter(m_previousPresenter);
}

// A two-page report (50 records, 38 per page) over the data connection, with all
// four renderers registered, as the program sets the engine up.
void TestReportEngine::init()
{
    m_previousDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    writeFile(QStringLiteral("Test.rav"), smallProject());
    m_messages.clear();
    m_statuses.clear();
    m_data = numberedData(50);
    m_engine = std::make_unique<RvSystem>();
    m_engine->ReportDateTime = QDateTime(QDate(2024, 2, 1), QTime(9, 5));
    for (RvRender *renderer : std::initializer_list<RvRender *>{&m_pdf, &m_html, &m_rtf, &m_text})
        m_engine->addRenderer(renderer);
    m_connection = std::make_unique<RvDataSetConnection>(QStringLiteral("RvDataSetConnectionPlivora"));
    m_connection->setDataSet(&m_data);
    m_engine->addDataConnection(m_connection.get());
    connect(m_engine.get(), &RvSystem::statusChanged, this, [this](const QString &text) { m_statuses.append(text); });
    m_project = std::make_unique<RvProject>();
    m_project->setEngine(m_engine.get());
    m_project->setProjectFile(QStringLiteral("Test"));
}

void TestReportEngine::cleanup()
{
    m_project.reset();
    m_engine.reset();
    m_connection.reset();
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

void TestReportEngine::presetFileOutput(RvRender *renderer, const QString &fileName)
{
    m_engine->SystemSetups = RvSystemSetups();
    m_engine->DefaultDest = rdFile;
    m_engine->RenderObject = renderer;
    m_engine->OutputFileName = fileName;
}

void TestReportEngine::dialogPreselection_data()
{
    QTest::addColumn<int>("defaultDest");
    QTest::addColumn<int>("setups");
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("enabled"); // v preview, p printer, f file, c copies/collate/duplex, s printer setup
    const int all = int(allSetups);
    QTest::newRow("preview") << int(rdPreview) << all << "preview" << "vpfcs";
    QTest::newRow("printer") << int(rdPrinter) << all << "printer" << "vpfcs";
    QTest::newRow("file") << int(rdFile) << all << "file" << "vpf";
    QTest::newRow("printer not allowed") << int(rdPrinter) << int(all & ~int(ssAllowDestPrinter)) << "preview" << "vfcs";
    QTest::newRow("only file allowed") << int(rdPreview) << int(ssAllowSetup | ssAllowDestFile) << "file" << "f";
    QTest::newRow("no printer options") << int(rdPrinter)
                                        << int(all & ~int(ssAllowCopies | ssAllowCollate | ssAllowDuplex | ssAllowPrinterSetup))
                                        << "printer" << "vpf";
}

void TestReportEngine::dialogPreselection()
{
    QFETCH(int, defaultDest);
    QFETCH(int, setups);
    QFETCH(QString, checked);
    QFETCH(QString, enabled);
    m_engine->DefaultDest = RvDestination(defaultDest);
    m_engine->SystemSetups = RvSystemSetups(setups);
    RvOutputOptionsDialog dialog(m_engine->outputSettings(), RvOutputOptionsDialog::Purpose::Run);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Output Options"));
    QCOMPARE(dialog.previewButton()->isChecked(), checked == u"preview");
    QCOMPARE(dialog.printerButton()->isChecked(), checked == u"printer");
    QCOMPARE(dialog.fileButton()->isChecked(), checked == u"file");
    QCOMPARE(dialog.previewButton()->isEnabled(), enabled.contains('v'));
    QCOMPARE(dialog.printerButton()->isEnabled(), enabled.contains('p'));
    QCOMPARE(dialog.fileButton()->isEnabled(), enabled.contains('f'));
    QCOMPARE(dialog.copiesBox()->isEnabled(), enabled.contains('c'));
    QCOMPARE(dialog.collateBox()->isEnabled(), enabled.contains('c'));
    QCOMPARE(dialog.duplexBox()->isEnabled(), enabled.contains('c'));
    QCOMPARE(dialog.printerSetupButton()->isEnabled(), enabled.contains('s'));
    QCOMPARE(dialog.fileNameEdit()->isEnabled(), checked == u"file");
    QStringList formats;
    for (int i = 0; i < dialog.formatBox()->count(); ++i)
        formats.append(dialog.formatBox()->itemText(i));
    QCOMPARE(formats, (QStringList{"Adobe Acrobat (PDF)", "Web Page (HTML)", "Rich Text Format (RTF)",
                                   "Plain Text (TXT)"}));
}

// The real modal dialog, worked with mouse and keyboard: file output, the RTF
// format picked in the list, a name typed without extension.
void TestReportEngine::dialogChoosesFileOutput()
{
    bool sawDialog = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<RvOutputOptionsDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        sawDialog = true;
        auto closeOnFailure = qScopeGuard([dialog] { dialog->reject(); });
        QTest::mouseClick(dialog->fileButton(), Qt::LeftButton);
        QVERIFY(dialog->fileButton()->isChecked());
        QVERIFY(!dialog->okButton()->isEnabled()); // no file name yet
        dialog->formatBox()->setFocus();
        QTest::keyClicks(dialog->formatBox(), QStringLiteral("Rich"));
        QCOMPARE(dialog->formatBox()->currentText(), QStringLiteral("Rich Text Format (RTF)"));
        QTest::keyClicks(dialog->fileNameEdit(), QStringLiteral("ausgabe"));
        QVERIFY(dialog->okButton()->isEnabled());
        closeOnFailure.dismiss();
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    });
    m_project->Execute();
    QVERIFY(sawDialog);
    QCOMPARE(filesHere(), (QStringList{"Test.rav", "ausgabe.rtf"}));
    const RtfContent rtf = readRtf(readFile(QStringLiteral("ausgabe.rtf")));
    QVERIFY2(rtf.error.isEmpty(), qPrintable(rtf.error));
    QCOMPARE(rtf.headerRows, 2);
    QCOMPARE(rtf.rows.size(), 52);
    QVERIFY(m_messages.isEmpty());
}

void TestReportEngine::dialogCancelled_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("cancel button") << false;
    QTest::newRow("escape key") << true;
}

// The printing routine's sequence, cancelled in the dialog: a normal return, no
// output, no message, nothing generated; the project closes after it as usual.
void TestReportEngine::dialogCancelled()
{
    QFETCH(bool, escape);
    QVERIFY(QFile::copy(QStringLiteral(PLIVORA_REPORT_RESOURCES "/XMLBewohnerListe.rav"), "XMLBewohnerListe.rav"));
    ReportTable wearers(fifteenFields());
    wearers.appendRecord({"10001", "Müller", "Käthe"});
    m_connection->setDataSet(&wearers);

    m_project->setProjectFile(QStringLiteral("XMLBewohnerListe"));
    m_engine->DefaultDest = rdPreview;
    m_project->Open();
    m_engine->SystemPrinter.Copies = 1;
    m_engine->TitlePreview = QStringLiteral("Kelvaro3");
    m_engine->SystemPreview.FormState = Qt::WindowMaximized;
    m_engine->SystemPrinter.Title = QStringLiteral("XMLBewohnerListe");
    m_engine->RenderObject = nullptr;
    m_engine->OutputFileName.clear();

    QString fileName = QStringLiteral("unset");
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<RvOutputOptionsDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto closeOnFailure = qScopeGuard([dialog] { dialog->reject(); });
        QVERIFY(dialog->previewButton()->isChecked());
        fileName = dialog->fileNameEdit()->text();
        closeOnFailure.dismiss();
        if (escape)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    });
    m_project->Execute();
    m_project->Close();
    QCOMPARE(fileName, QString());
    QVERIFY(!m_project->isOpen());
    QCOMPARE(filesHere(), (QStringList{"Test.rav", "XMLBewohnerListe.rav"}));
    QVERIFY(m_statuses.isEmpty());
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());
}

void TestReportEngine::formatFollowsFileName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("written");
    QTest::newRow("suffix follows the format") << "liste.pdf" << "Web Page (HTML)" << "liste.html" << "liste.html";
    QTest::newRow("second extension kept") << "liste.htm" << "Web Page (HTML)" << "liste.htm" << "liste.htm";
    QTest::newRow("no suffix gets one") << "liste" << "Rich Text Format (RTF)" << "liste" << "liste.rtf";
    QTest::newRow("foreign suffix kept") << "liste.v2" << "Plain Text (TXT)" << "liste.v2" << "liste.v2.txt";
    QTest::newRow("suffix in capitals") << "LISTE.PDF" << "Plain Text (TXT)" << "LISTE.txt" << "LISTE.txt";
}

void TestReportEngine::formatFollowsFileName()
{
    QFETCH(QString, typed);
    QFETCH(QString, format);
    QFETCH(QString, shown);
    QFETCH(QString, written);
    m_engine->DefaultDest = rdFile;
    RvOutputOptionsDialog dialog(m_engine->outputSettings(), RvOutputOptionsDialog::Purpose::Run);
    dialog.fileNameEdit()->setText(typed);
    QVERIFY(dialog.selectFormat(format));
    QCOMPARE(dialog.fileNameEdit()->text(), shown);
    const RvOutputChoice choice = dialog.choice();
    QCOMPARE(choice.destination, rdFile);
    QCOMPARE(choice.renderer->DisplayName, format);
    QCOMPARE(choice.fileName, QDir(m_dir->path()).filePath(written));
}

// Preview as the program runs it: modal, maximised, captioned, at 100 %; page
// through it, zoom, and save it as HTML from the preview.
void TestReportEngine::previewNavigatesAndSaves()
{
    m_engine->TitlePreview = QStringLiteral("Kelvaro3");
    QStringList shown;
    m_engine->setModalRunner([&](QDialog &dialog) -> int {
        shown.append(QString::fromLatin1(dialog.metaObject()->className()));
        if (auto *options = qobject_cast<RvOutputOptionsDialog *>(&dialog)) {
            if (shown.size() == 1) {
                if (!options->previewButton()->isChecked())
                    return QDialog::Rejected;
                return QDialog::Accepted;
            }
            // Saving from the preview: only the file part is offered.
            if (options->windowTitle() != u"Save Report" || options->previewButton()->isVisibleTo(options) ||
                !options->fileNameEdit()->isVisibleTo(options) || !options->selectFormat("Web Page (HTML)"))
                return QDialog::Rejected;
            options->fileNameEdit()->setText(QStringLiteral("vorschau"));
            return QDialog::Accepted;
        }
        auto *preview = qobject_cast<RvPreviewWindow *>(&dialog);
        if (!preview)
            return QDialog::Rejected;
        [&] {
            QCOMPARE(preview->windowTitle(), QStringLiteral("Kelvaro3"));
            QVERIFY(preview->windowState() & Qt::WindowMaximized);
            QVERIFY(preview->isModal());
            QCOMPARE(preview->zoomFactor(), 100.0);
            QCOMPARE(preview->pageCount(), 2);
            QCOMPARE(preview->currentPage(), 0);
            // 100 % is the paper's size: A5 is 148 mm wide.
            const int width = preview->pageView()->pixmap().width();
            QVERIFY(qAbs(width - 148 / 25.4 * preview->logicalDpiX()) <= 1);
            QVERIFY(!preview->previousButton()->isEnabled());
            QTest::mouseClick(preview->nextButton(), Qt::LeftButton);
            QCOMPARE(preview->currentPage(), 1);
            QVERIFY(!preview->nextButton()->isEnabled());
            QTest::keyClick(preview, Qt::Key_PageUp);
            QCOMPARE(preview->currentPage(), 0);
            QTest::mouseClick(preview->zoomInButton(), Qt::LeftButton);
            QCOMPARE(preview->zoomFactor(), 125.0);
            QVERIFY(qAbs(preview->pageView()->pixmap().width() - 1.25 * width) <= 2);
            QVERIFY(!preview->printButton()->isHidden());
            QVERIFY(!preview->saveButton()->isHidden());
            QTest::mouseClick(preview->saveButton(), Qt::LeftButton);
        }();
        return QDialog::Accepted;
    });
    m_project->Execute();
    QCOMPARE(shown, (QStringList{"RvOutputOptionsDialog", "RvPreviewWindow", "RvOutputOptionsDialog"}));
    const HtmlTables html = readHtmlTables(readFile(QStringLiteral("vorschau.html")));
    QVERIFY2(html.error.isEmpty(), qPrintable(html.error));
    QCOMPARE(html.tables.size(), 2);
    QCOMPARE(html.tables.at(1).size(), 1 + 12);
    QVERIFY(m_messages.isEmpty());
}

void TestReportEngine::previewWithoutPrintAndSave()
{
    m_engine->SystemOptions = RvSystemOptions(soPreviewModal);
    bool checked = false;
    m_engine->setModalRunner([&](QDialog &dialog) -> int {
        if (auto *preview = qobject_cast<RvPreviewWindow *>(&dialog)) {
            checked = preview->printButton()->isHidden() && preview->saveButton()->isHidden();
            return QDialog::Accepted;
        }
        return QDialog::Accepted;
    });
    m_project->Execute();
    QVERIFY(checked);
}

// A file that cannot be written from the preview is reported in the error box;
// the preview stays open and the run ends normally.
void TestReportEngine::previewShowsSaveErrors()
{
    bool stillOpen = false;
    m_engine->setModalRunner([&](QDialog &dialog) -> int {
        if (auto *options = qobject_cast<RvOutputOptionsDialog *>(&dialog)) {
            options->fileNameEdit()->setText(QStringLiteral("fehlt/liste.pdf"));
            return QDialog::Accepted;
        }
        if (auto *preview = qobject_cast<RvPreviewWindow *>(&dialog)) {
            preview->saveReport();
            stillOpen = m_messages.size() == 1;
        }
        return QDialog::Accepted;
    });
    m_project->Execute();
    QVERIFY(stillOpen);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().icon, QMessageBox::Critical);
    QVERIFY2(m_messages.first().text.contains(QStringLiteral("The output file \"%1\" cannot be created")
                                                  .arg(QDir(m_dir->path()).filePath("fehlt/liste.pdf"))),
             qPrintable(m_messages.first().text));
    QCOMPARE(filesHere(), QStringList{"Test.rav"});
}

// Without soPreviewModal the run returns with the preview open; the preview
// keeps its pages and goes when the engine goes.
void TestReportEngine::nonModalPreview()
{
    m_engine->SystemOptions &= ~RvSystemOptions(soPreviewModal);
    m_engine->SystemSetups &= ~RvSystemSetups(ssAllowSetup);
    m_engine->setModalRunner([](QDialog &) -> int { return QDialog::Rejected; });
    m_project->Execute();
    QPointer<RvPreviewWindow> preview;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<RvPreviewWindow *>(widget))
            preview = found;
    }
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QVERIFY(!preview->isModal());
    QCOMPARE(preview->pageCount(), 2);
    QTest::mouseClick(preview->lastButton(), Qt::LeftButton);
    QCOMPARE(preview->currentPage(), 1);
    m_engine.reset();
    QVERIFY(!preview);
}

// The dialog's printer setup and browse buttons open their dialogs through the
// engine's modal runner and take over what was chosen there.
void TestReportEngine::printerSetupAndBrowse()
{
    const QString chosen = QDir(m_dir->path()).filePath("gewaehlt.rtf");
    QStringList filters;
    m_engine->setModalRunner([&](QDialog &dialog) -> int {
        if (auto *print = qobject_cast<QPrintDialog *>(&dialog)) {
            print->printer()->setCopyCount(3);
            print->printer()->setCollateCopies(true);
            return QDialog::Accepted;
        }
        if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
            filters = files->nameFilters();
            files->selectNameFilter(m_rtf.fileDialogFilter());
            files->selectFile(chosen);
            return QDialog::Accepted;
        }
        return QDialog::Rejected;
    });
    RvOutputOptionsDialog dialog(m_engine->outputSettings(), RvOutputOptionsDialog::Purpose::Run);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.printerSetupButton(), Qt::LeftButton);
    QCOMPARE(dialog.copiesBox()->value(), 3);
    QVERIFY(dialog.collateBox()->isChecked());
    QTest::mouseClick(dialog.fileButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
    QCOMPARE(filters, (QStringList{"Adobe Acrobat (PDF) (*.pdf)", "Web Page (HTML) (*.html *.htm)",
                                   "Rich Text Format (RTF) (*.rtf)", "Plain Text (TXT) (*.txt)"}));
    QCOMPARE(dialog.formatBox()->currentText(), QStringLiteral("Rich Text Format (RTF)"));
    QCOMPARE(dialog.choice().fileName, chosen);
    QVERIFY(dialog.okButton()->isEnabled());
    QVERIFY(m_messages.isEmpty());
}

// Printer output (a PDF printer here): the job carries SystemPrinter.Title, the
// copies chosen in the dialog go to the printer, each page is reported.
void TestReportEngine::printerGetsTitleAndCopies_data()
{
    QTest::addColumn<QString>("orientation");
    QTest::addColumn<QString>("pageSize");
    QTest::addColumn<int>("pages");
    QTest::newRow("portrait") << "portrait" << "420 x 595 pts (A5)" << 2;
    QTest::newRow("landscape") << "landscape" << "595 x 420 pts (A5)" << 3;
}

void TestReportEngine::printerGetsTitleAndCopies()
{
    QFETCH(QString, orientation);
    QFETCH(QString, pageSize);
    QFETCH(int, pages);
    writeFile(QStringLiteral("Test.rav"), smallProject().replace("portrait", orientation.toUtf8()));
    const QString printed = QDir(m_dir->path()).filePath("gedruckt.pdf");
    m_engine->printer().setOutputFileName(printed);
    m_engine->SystemPrinter.Title = QStringLiteral("XMLBewohnerListe");
    QList<QPrinter *> beforePrint;
    connect(m_engine.get(), &RvSystem::beforePrint, this, [&](QPrinter *printer) { beforePrint.append(printer); });
    m_engine->setModalRunner([](QDialog &dialog) -> int {
        auto *options = qobject_cast<RvOutputOptionsDialog *>(&dialog);
        if (!options)
            return QDialog::Rejected;
        // Shown, so the radio button has its real size to be clicked.
        options->show();
        if (!QTest::qWaitForWindowExposed(options))
            return QDialog::Rejected;
        QTest::mouseClick(options->printerButton(), Qt::LeftButton);
        options->copiesBox()->setValue(2);
        return QDialog::Accepted;
    });
    m_project->Execute();
    QCOMPARE(beforePrint, QList<QPrinter *>{&m_engine->printer()});
    QCOMPARE(m_engine->printer().copyCount(), 2);
    QCOMPARE(m_engine->SystemPrinter.Copies, 2);
    QCOMPARE(m_engine->printer().docName(), QStringLiteral("XMLBewohnerListe"));
    const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {printed}));
    QVERIFY2(info.contains(QRegularExpression("Title: +XMLBewohnerListe\n")), qPrintable(info));
    QVERIFY2(info.contains(QStringLiteral("Page size:       ") + pageSize), qPrintable(info));
    const QString text = QString::fromUtf8(runTool(QStringLiteral("pdftotext"), {"-layout", printed, "-"}));
    QVERIFY(text.contains(QStringLiteral("Seite %1 von %1").arg(pages)));
    QStringList printing;
    for (int page = 1; page <= pages; ++page)
        printing.append(QStringLiteral("Printing page %1").arg(page));
    QCOMPARE(m_statuses.filter(QStringLiteral("Printing")), printing);
}

void TestReportEngine::statusWindow_data()
{
    QTest::addColumn<bool>("showStatus");
    QTest::newRow("soShowStatus") << true;
    QTest::newRow("without soShowStatus") << false;
}

// Generating a two-page report into a file reports each page twice (page model,
// then file), in the status window only with soShowStatus; the window is gone after the run.
void TestReportEngine::statusWindow()
{
    QFETCH(bool, showStatus);
    if (!showStatus)
        m_engine->SystemOptions &= ~RvSystemOptions(soShowStatus);
    m_engine->SystemFiler.StatusFormat = QStringLiteral("Seite %p von Datei (%p)");
    presetFileOutput(&m_text, QStringLiteral("status.txt"));
    QStringList windowTexts;
    connect(m_engine.get(), &RvSystem::statusChanged, this, [&] {
        if (RvStatusWindow *window = visibleStatusWindow())
            windowTexts.append(window->windowTitle() + ": " + window->statusText());
    });
    m_project->Execute();
    const QStringList expected{"Seite 1 von Datei (1)", "Seite 2 von Datei (2)", "Seite 1 von Datei (1)",
                               "Seite 2 von Datei (2)"};
    QCOMPARE(m_statuses, expected);
    QStringList expectedWindow;
    if (showStatus) {
        for (const QString &text : expected)
            expectedWindow.append("Report Status: " + text);
    }
    QCOMPARE(windowTexts, expectedWindow);
    QVERIFY(!visibleStatusWindow());
    QVERIFY(QFileInfo::exists(QStringLiteral("status.txt")));
}

void TestReportEngine::dataFileSource()
{
    writeFile(QStringLiteral("Datei.rav"), smallProject(QStringLiteral("file=\"Liste.xml\"")));
    m_project->setProjectFile(QStringLiteral("Datei"));
    presetFileOutput(&m_text, QStringLiteral("datei.txt"));
    try {
        m_project->Execute();
        QFAIL("ran without a data-file reader");
    } catch (const EReportDataError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("no reader for data files")), qPrintable(error.message()));
    }
    QStringList asked;
    m_engine->setDataFileReader([&](const QString &path) {
        asked.append(path);
        auto table = std::make_unique<ReportTable>(numberedData(3));
        return std::unique_ptr<ReportDataSet>(std::move(table));
    });
    m_project->Execute();
    QCOMPARE(asked, QStringList{QDir(m_dir->path()).filePath("Liste.xml")});
    const QString text = QString::fromUtf8(readFile(QStringLiteral("datei.txt")));
    QVERIFY(text.contains(QStringLiteral("    Name 3 ")));
    QVERIFY(text.contains(QStringLiteral("3 Datensätze")));

    m_engine->setDataFileReader([](const QString &) -> std::unique_ptr<ReportDataSet> {
        throw EReportDataError(QStringLiteral("ClientDataSet: Fehlender Daten-Provider oder Datenpaket"));
    });
    QVERIFY_THROWS_EXCEPTION(EReportDataError, m_project->Execute());
}

void TestReportEngine::presetFileOutputNeedsFormatAndName()
{
    presetFileOutput(nullptr, QStringLiteral("x.txt"));
    QVERIFY_THROWS_EXCEPTION(EReportOutputError, m_project->Execute());
    presetFileOutput(&m_text, QString());
    QVERIFY_THROWS_EXCEPTION(EReportOutputError, m_project->Execute());
    QCOMPARE(filesHere(), QStringList{"Test.rav"});
}

// The program installs the toolkit's German translation; the engine's own
// windows keep their English texts all the same, their buttons included.
void TestReportEngine::englishUnderAGermanTranslator()
{
    QTranslator german;
    QVERIFY(german.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    QVERIFY(QCoreApplication::installTranslator(&german));
    auto removeTranslator = qScopeGuard([&german] { QCoreApplication::removeTranslator(&german); });
    const QDialogButtonBox toolkit(QDialogButtonBox::Cancel);
    QCOMPARE(toolkit.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));

    const RvOutputOptionsDialog run(m_engine->outputSettings(), RvOutputOptionsDialog::Purpose::Run);
    QCOMPARE(run.windowTitle(), QStringLiteral("Output Options"));
    QCOMPARE(run.okButton()->text(), QStringLiteral("OK"));
    QCOMPARE(run.cancelButton()->text(), QStringLiteral("Cancel"));
    const RvOutputOptionsDialog save(m_engine->outputSettings(), RvOutputOptionsDialog::Purpose::Save);
    QCOMPARE(save.windowTitle(), QStringLiteral("Save Report"));
    QCOMPARE(save.cancelButton()->text(), QStringLiteral("Cancel"));

    m_project->Open();
    auto doc = std::make_shared<ReportDocument>(
        m_engine->generate(m_project->activeReport(), m_project->openedPath()));
    const RvPreviewWindow preview(*m_engine, std::move(doc));
    QStringList texts;
    for (const QPushButton *button : preview.findChildren<QPushButton *>())
        texts << button->text();
    texts.sort();
    QCOMPARE(texts, (QStringList{"&Close", "&Print...", "&Save...", "First", "Last", "Next", "Previous",
                                 "Zoom In", "Zoom Out"}));
}

QTEST_MAIN(TestReportEngine)
#include "tst_report_engine.moc"
