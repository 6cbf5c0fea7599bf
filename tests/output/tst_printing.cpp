#include "dataview/StringGridModel.h"
#include "output/PrintComponents.h"
#include "platform/ErrorBox.h"
#include "report/RvOutputOptionsDialog.h"
#include "support/PrintFixtures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::Rows;

namespace {

// A fresh working directory laid out as the program's: report projects and data files.
struct WorkingDirectory : testsupport::WorkingDirectory
{
    WorkingDirectory()
        : testsupport::WorkingDirectory(QStringLiteral(PLIVORA_RESOURCES),
                                        {"XMLBewohnerListe.rav", "XMLWaescheListe.rav", "XMLWaschVGListe.rav",
                                         "Bewohner.xml", "Waesche.xml", "WaschVG.xml"})
    {
    }
};

const auto fill = testsupport::fillGrid;

Rows dataFileRecords(const QString &fileName)
{
    return testsupport::dataFileRecords<PrintComponents>(fileName);
}

QString pdfText(const QString &fileName)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), fileName, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

private slots:
    void printDataSetHasTheFifteenPrintFields();
    void printsRecordsInGridOrderToPdf_data();
    void printsRecordsInGridOrderToPdf();
    void projectNameAndJobTitle_data();
    void projectNameAndJobTitle();
    void cancelRestoresTheWorkingDirectory();
    void failedRunClosesProjectAndRestoresDirectory();
    void missingProjectStillWritesTheDataFile();
    void missingDataFileFailsEveryTimeOthersStillPrint();
    void printingTwiceAndAnotherListBetween();
};

void TestPrinting::printDataSetHasTheFifteenPrintFields()
{
    PrintComponents pc;
    QCOMPARE(pc.ClientDataSet.fieldCount(), 15);
    for (int i = 0; i < 15; ++i)
        QCOMPARE(pc.ClientDataSetFields[i], &pc.ClientDataSet.field(i));
    QCOMPARE(pc.ClientDataSetFields[6]->Name, QStringLiteral("ClientDataSetFeld7"));
    QCOMPARE(pc.ClientDataSet.FileName, QStringLiteral("./TestBase.xml"));
}

void TestPrinting::printsRecordsInGridOrderToPdf_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("records");
    QTest::newRow("wearers, empty list") << 0 << 0;
    QTest::newRow("wearers, three") << 0 << 3;
    QTest::newRow("laundry items, 60 over two pages") << 1 << 60;
    QTest::newRow("wash processes, one") << 2 << 1;
}

void TestPrinting::printsRecordsInGridOrderToPdf()
{
    QFETCH(int, list);
    QFETCH(int, records);
    const ListPrint *lists[] = {&PrintComponents::bewohner, &PrintComponents::waesche, &PrintComponents::waschVG};
    const int columns = list == 0 ? 6 : 15;

    WorkingDirectory wd;
    PrintComponents pc;
    const QString pdf = wd.path("liste.pdf");
    QStringList shown;
    pc.RvSystem.setModalRunner([&](QDialog &dialog) {
        shown << QString::fromLatin1(dialog.metaObject()->className());
        auto *options = qobject_cast<RvOutputOptionsDialog *>(&dialog);
        if (!options || !options->previewButton()->isChecked()) // preview is preselected
            return int(QDialog::Rejected);
        options->fileButton()->setChecked(true);
        options->selectFormat(QStringLiteral("Adobe Acrobat (PDF)"));
        options->fileNameEdit()->setText(pdf);
        return int(QDialog::Accepted);
    });

    Rows grid;
    for (int r = 0; r < records; ++r) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row << QStringLiteral("R%1C%2").arg(r + 1).arg(c + 1);
        grid << row;
    }
    StringGridModel stringGrid;
    fill(stringGrid, columns, grid);
    pc.printGrid(stringGrid, *lists[list]);

    QCOMPARE(shown, QStringList{QStringLiteral("RvOutputOptionsDialog")});
    QCOMPARE(QDir::currentPath(), wd.path());
    QVERIFY(!pc.RvProject.isOpen());

    const Rows saved = dataFileRecords(lists[list]->dataSetFileName);
    QCOMPARE(saved.size(), records);
    for (int r = 0; r < records; ++r) {
        for (int c = 0; c < 15; ++c)
            QCOMPARE(saved[r][c], c < columns ? grid[r][c] : QString()); // wearer fields 7 to 15 stay empty
    }
    QVERIFY(QFile::exists(pdf));
    const QString text = pdfText(pdf);
    if (records > 0) {
        QVERIFY2(text.contains(QStringLiteral("R1C1")), qPrintable(text.left(400)));
        if (records > 1)
            QVERIFY(text.indexOf(QStringLiteral("R1C2")) < text.lastIndexOf(QStringLiteral("R%1C2").arg(records)));
    }
    QVERIFY(text.contains(QStringLiteral("Seite 1 von")));
}

void TestPrinting::projectNameAndJobTitle_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<QString>("projectFile");
    QTest::addColumn<QString>("title");
    QTest::newRow("wearers: no extension passed") << 0 << "XMLBewohnerListe.rav" << "XMLBewohnerListe";
    QTest::newRow("laundry items") << 1 << "XMLWaescheListe.rav" << "XMLWaescheListe.rav";
    QTest::newRow("wash processes") << 2 << "XMLWaschVGListe.rav" << "XMLWaschVGListe.rav";
}

void TestPrinting::projectNameAndJobTitle()
{
    QFETCH(int, list);
    QFETCH(QString, projectFile);
    QFETCH(QString, title);
    const ListPrint *lists[] = {&PrintComponents::bewohner, &PrintComponents::waesche, &PrintComponents::waschVG};
    WorkingDirectory wd;
    PrintComponents pc;
    QString openedProject;
    pc.RvSystem.setModalRunner([&](QDialog &) {
        openedProject = pc.RvProject.openedPath();
        return int(QDialog::Rejected);
    });
    StringGridModel grid;
    fill(grid, list == 0 ? 6 : 15, {});
    pc.printGrid(grid, *lists[list]);
    QCOMPARE(pc.RvProject.ProjectFile(), projectFile);
    QCOMPARE(openedProject, wd.path(projectFile));
    QCOMPARE(pc.RvSystem.SystemPrinter.Title, title);
    QCOMPARE(pc.RvSystem.SystemPrinter.Copies, 1);
    QCOMPARE(pc.RvSystem.TitlePreview, QStringLiteral("Kelvaro3"));
    QCOMPARE(pc.RvSystem.DefaultDest, rdPreview);
}

void TestPrinting::cancelRestoresTheWorkingDirectory()
{
    WorkingDirectory wd;
    QTemporaryDir elsewhere;
    PrintComponents pc;
    pc.RvSystem.setModalRunner([&](QDialog &) {
        QDir::setCurrent(elsewhere.path()); // as a file dialog may do
        return int(QDialog::Rejected);
    });
    StringGridModel grid;
    fill(grid, 6, {{"1", "Meier"}});
    pc.printGrid(grid, PrintComponents::bewohner);
    QCOMPARE(QDir::currentPath(), wd.path());
    QVERIFY(!pc.RvProject.isOpen());
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList());
}

void TestPrinting::failedRunClosesProjectAndRestoresDirectory()
{
    WorkingDirectory wd;
    QTemporaryDir elsewhere;
    PrintComponents pc;
    pc.RvSystem.setModalRunner([&](QDialog &dialog) {
        auto *options = qobject_cast<RvOutputOptionsDialog *>(&dialog);
        if (!options)
            return int(QDialog::Rejected);
        QDir::setCurrent(elsewhere.path());
        options->fileButton()->setChecked(true);
        options->selectFormat(QStringLiteral("Plain Text (TXT)"));
        options->fileNameEdit()->setText(wd.path("fehlt/liste.txt"));
        return int(QDialog::Accepted);
    });
    StringGridModel grid;
    fill(grid, 15, {{"S000001"}});
    QVERIFY_THROWS_EXCEPTION(Exception, pc.printGrid(grid, PrintComponents::waesche));
    QVERIFY(!pc.RvProject.isOpen());
    QCOMPARE(QDir::currentPath(), wd.path());

    // The next print runs its own project again.
    QString opened;
    pc.RvSystem.setModalRunner([&](QDialog &) {
        opened = pc.RvProject.openedPath();
        return int(QDialog::Rejected);
    });
    pc.printGrid(grid, PrintComponents::waschVG);
    QCOMPARE(opened, wd.path("XMLWaschVGListe.rav"));
}

void TestPrinting::missingProjectStillWritesTheDataFile()
{
    WorkingDirectory wd;
    QVERIFY(QFile::remove(wd.path("XMLWaescheListe.rav")));
    PrintComponents pc;
    StringGridModel grid;
    fill(grid, 15, {{"S000001", "7"}, {"S000002", "8"}});
    try {
        pc.printGrid(grid, PrintComponents::waesche);
        QFAIL("printed without a project");
    } catch (const Exception &e) {
        QCOMPARE(e.message(), QStringLiteral("The following reporting project does not exist:\r\"%1\"")
                                  .arg(QDir::toNativeSeparators(wd.path("XMLWaescheListe.rav"))));
    }
    QCOMPARE(dataFileRecords(QStringLiteral("./Waesche.xml")).size(), 2);
    QCOMPARE(QDir::currentPath(), wd.path());
}

void TestPrinting::missingDataFileFailsEveryTimeOthersStillPrint()
{
    WorkingDirectory wd;
    QVERIFY(QFile::remove(wd.path("WaschVG.xml")));
    PrintComponents pc;
    int runs = 0;
    pc.RvSystem.setModalRunner([&](QDialog &) {
        ++runs;
        return int(QDialog::Rejected);
    });
    StringGridModel grid;
    fill(grid, 15, {{"1"}});
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            pc.printGrid(grid, PrintComponents::waschVG);
            QFAIL("printed without a data file");
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.message(), QStringLiteral("ClientDataSet: Fehlender Daten-Provider oder Datenpaket"));
        }
        QVERIFY(!pc.ClientDataSet.Active());
        QVERIFY(!QFile::exists(wd.path("WaschVG.xml")));
    }
    pc.printGrid(grid, PrintComponents::waesche);
    QCOMPARE(runs, 1);
}

void TestPrinting::printingTwiceAndAnotherListBetween()
{
    WorkingDirectory wd;
    PrintComponents pc;
    pc.RvSystem.setModalRunner([](QDialog &) { return int(QDialog::Rejected); });
    StringGridModel wearers, items;
    fill(wearers, 6, {{"1", "Meier"}, {"2", "Öztürk"}});
    fill(items, 15, {{"S000001"}});
    pc.printGrid(wearers, PrintComponents::bewohner);
    pc.printGrid(items, PrintComponents::waesche);
    QCOMPARE(dataFileRecords(QStringLiteral("./Bewohner.xml")).size(), 2);
    fill(wearers, 6, {{"3", "Weiß"}});
    pc.printGrid(wearers, PrintComponents::bewohner);
    const Rows rows = dataFileRecords(QStringLiteral("./Bewohner.xml"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][1], QStringLiteral("Weiß"));
    QCOMPARE(dataFileRecords(QStringLiteral("./Waesche.xml")).size(), 1);
}

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
