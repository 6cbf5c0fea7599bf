#include "app/Startup.h"
#include "app/UPlivora.h"
#include "dataview/UPlivoraDaten.h"
#include "dataview/widgets/TStringGrid.h"
#include "output/PrintComponents.h"
#include "output/PrintDataFileReader.h"
#include "report/RvOutputOptionsDialog.h"
#include "support/ReportTestSupport.h"
#include "support/WindowTestFixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace reporttest;

namespace {

// The wearer project as shipped, but reading its records from a data file.
QByteArray wearerProjectReading(const QString &dataFile)
{
    QByteArray project = readFile(QStringLiteral(PLIVORA_REPORT_RESOURCES "/XMLBewohnerListe.rav"));
    const QByteArray connection = R"(<data connection="RvDataSetConnectionPlivora"/>)";
    if (!project.contains(connection))
        return {};
    return project.replace(connection, QStringLiteral(R"(<data file="%1"/>)").arg(dataFile).toUtf8());
}

QByteArray shippedWearerData()
{
    return readFile(QStringLiteral(PLIVORA_REPORT_RESOURCES "/Bewohner.xml"));
}

} // namespace

// Report projects that take their records from the print data file, as the
// program sets up its report engine at start-up.
class TestReportDataFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void printsADataFileProjectToPdf();
    void unreadableDataFileFailsBeforeTheDialog_data();
    void unreadableDataFileFailsBeforeTheDialog();

private:
    std::unique_ptr<testsupport::WindowTestFixture> m_fixture;
};

void TestReportDataFile::init()
{
    m_fixture = std::make_unique<testsupport::WindowTestFixture>();
}

void TestReportDataFile::cleanup()
{
    m_fixture.reset();
}

// From start-up to PDF: the wearer sheet's "Drucken" saves the grid to
// "Bewohner.xml", and the project reads its records back from that file.
void TestReportDataFile::printsADataFileProjectToPdf()
{
    createPlivoraObjects();
    auto destroy = qScopeGuard([] { destroyPlivoraObjects(); });
    writeFile(QStringLiteral("Bewohner.xml"), shippedWearerData());
    const QByteArray project = wearerProjectReading(QStringLiteral("Bewohner.xml"));
    QVERIFY(!project.isEmpty());
    writeFile(QStringLiteral("XMLBewohnerListe.rav"), project);

    const QList<QStringList> wearers{
        {"10001", "Müller-Lüdenscheidt", "Käthe", "1.12", "L7", "Wohnbereich A"},
        {"10002", "Öztürk", "Ayşe", "2.03", "L7", "Wohnbereich B"},
        {"10003", "Weiß", "Jürgen", "", "L9", ""},
    };
    TStringGrid &grid = *FPlivoraDaten->StringGridBewohner;
    grid.setRowCount(int(wearers.size()) + 2);
    for (int r = 0; r < wearers.size(); ++r) {
        for (int c = 0; c < wearers[r].size(); ++c)
            grid.setCell(c, r + 1, wearers[r][c]);
    }

    const QString pdf = QDir::current().filePath(QStringLiteral("traeger.pdf"));
    QStringList shown;
    FPlivora->Print.RvSystem.setModalRunner([&](QDialog &dialog) {
        shown << QString::fromLatin1(dialog.metaObject()->className());
        auto *options = qobject_cast<RvOutputOptionsDialog *>(&dialog);
        if (!options)
            return int(QDialog::Rejected);
        options->fileButton()->setChecked(true);
        options->selectFormat(QStringLiteral("Adobe Acrobat (PDF)"));
        options->fileNameEdit()->setText(pdf);
        return int(QDialog::Accepted);
    });
    FPlivoraDaten->BitBtnBewDrucken->click();

    QVERIFY2(m_fixture->messages.isEmpty(), qPrintable(m_fixture->messages.value(0).text));
    QCOMPARE(shown, QStringList{QStringLiteral("RvOutputOptionsDialog")});
    const QString text = QString::fromUtf8(runTool(QStringLiteral("pdftotext"), {"-layout", pdf, "-"}));
    QVERIFY2(text.contains(QStringLiteral("3 Datensätze")), qPrintable(text));
    // The file holds windows-1252: "Müller-Lüdenscheidt" fits its 20 bytes whole, "ş" becomes "s".
    const QStringList expectedTexts{"Müller-Lüdenscheidt", "Öztürk", "Ayse", "Wohnbereich B", "10003"};
    for (const QString &expected : expectedTexts)
        QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" missing in:\n") + text));
    QVERIFY(text.indexOf(QStringLiteral("10001")) < text.indexOf(QStringLiteral("10003")));
}

void TestReportDataFile::unreadableDataFileFailsBeforeTheDialog_data()
{
    QTest::addColumn<bool>("readerInstalled");
    QTest::addColumn<QByteArray>("content"); // of "Anders.xml"; empty: no such file
    QTest::addColumn<QString>("message");

    QByteArray fourteenFields = shippedWearerData();
    fourteenFields.replace(R"(  <field name="Spalte15" type="string" size="20"/>)" "\n", "");
    QTest::newRow("no reader installed")
        << false << shippedWearerData() << "takes its records from the data file \"%1\", but no reader for data files is installed.";
    QTest::newRow("missing file") << true << QByteArray() << "ClientDataSet: Fehlender Daten-Provider oder Datenpaket";
    QTest::newRow("fields differ") << true << fourteenFields << "ClientDataSet: Feld 'Spalte15' nicht gefunden";
    QTest::newRow("not XML") << true << QByteArray("<plivora-data") << "ClientDataSet: Datenpaket \"%1\" ist ungültig: ";
}

// A project reading a data file that cannot be read fails before the user is
// asked anything; the print routine then closes the project and stays where it was.
void TestReportDataFile::unreadableDataFileFailsBeforeTheDialog()
{
    QFETCH(bool, readerInstalled);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    writeFile(QStringLiteral("Datei.rav"), wearerProjectReading(QStringLiteral("Anders.xml")));
    if (!content.isEmpty())
        writeFile(QStringLiteral("Anders.xml"), content);
    const QString dataFile = QDir::current().filePath(QStringLiteral("Anders.xml"));
    const QString workingDirectory = QDir::currentPath();

    PrintComponents print;
    if (readerInstalled)
        output::installPrintDataFileReader(print);
    QStringList shown;
    print.RvSystem.setModalRunner([&](QDialog &dialog) {
        shown << QString::fromLatin1(dialog.metaObject()->className());
        return int(QDialog::Rejected);
    });
    try {
        print.Ausdrucken(QStringLiteral("Bewohner"), 1, QStringLiteral("Datei"));
        QFAIL("the run went on");
    } catch (const Exception &error) {
        const QString expected = message.contains(QLatin1String("%1")) ? message.arg(dataFile) : message;
        QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
    }
    QCOMPARE(shown, QStringList());
    QVERIFY(!print.RvProject.isOpen());
    QCOMPARE(QDir::currentPath(), workingDirectory);
}

QTEST_MAIN(TestReportDataFile)
#include "tst_report_datafile.moc"
