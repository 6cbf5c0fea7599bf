#include "platform/ErrorBox.h"
#include "output/PrintComponents.h"
#include "report/RvOutputOptionsDialog.h"
#include "dataview/widgets/TStringGrid.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using Rows = QList<QStringList>;

namespace {

// A fresh working directory laid out as the program's: report projects and data files.
struct WorkingDirectory
{
    QTemporaryDir dir;
    QString previous = QDir::currentPath();

    WorkingDirectory()
    {
        for (const char *name : {"XMLBewohnerListe.rav", "XMLWaescheListe.rav", "XMLWaschVGListe.rav",
                                    "Bewohner.xml", "Waesche.xml", "WaschVG.xml"})
            QFile::copy(QStringLiteral(PLIVORA_RESOURCES "/") + QLatin1String(name), dir.filePath(QLatin1String(name)));
        QDir::setCurrent(dir.path());
    }
    ~WorkingDirectory() { QDir::setCurrent(previous); }
    QString path(const QString &name) const { return dir.filePath(name); }
};

void fill(TStringGrid &grid, int columns, const Rows &records)
{
    grid.setColCount(columns);
    grid.setRowCount(int(records.size()) + 2);
    for (int r = 0; r < grid.rowCount(); ++r)
        grid.clearRow(r);
    for (int c = 0; c < columns; ++c)
        grid.setCell(c, 0, QStringLiteral("H%1").arg(c));
    for (int r = 0; r < records.size(); ++r)
        for (int c = 0; c < records[r].size(); ++c)
            grid.setCell(c, r + 1, records[r][c]);
}

// Reads a data file back through a data set of the same layout.
Rows dataFileRecords(const QString &fileName)
{
    PrintComponents reader;
    reader.ClientDataSet.FileName = fileName;
    reader.ClientDataSet.Open();
    Rows rows;
    for (int r = 0; r < reader.ClientDataSet.RecordCount(); ++r) {
        QStringList values;
        for (int f = 0; f < reader.ClientDataSet.fieldCount(); ++f)
            values << reader.ClientDataSet.value(r, f);
        rows << values;
    }
    return rows;
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
    void dataSetKeepsTwentyBytes();
    void dataSetOpenErrors_data();
    void dataSetOpenErrors();
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

void TestPrinting::dataSetKeepsTwentyBytes()
{
    WorkingDirectory wd;
    PrintComponents pc;
    QCOMPARE(pc.ClientDataSet.fieldCount(), 15);
    QCOMPARE(pc.ClientDataSetFields[6]->Name, QStringLiteral("ClientDataSetFeld7"));
    QCOMPARE(pc.ClientDataSetFields[6]->FieldName, QStringLiteral("Spalte7"));
    QCOMPARE(pc.ClientDataSetFields[7]->Name, QStringLiteral("ClientDataSetSpalte8"));
    QCOMPARE(pc.ClientDataSetFields[0]->DisplayLabel, QStringLiteral("BewNummer"));

    pc.ClientDataSet.FileName = QStringLiteral("./Bewohner.xml");
    pc.ClientDataSet.Open();
    pc.ClientDataSet.Append();
    pc.ClientDataSet.FieldByName("Spalte1").setAsString(QStringLiteral("Müller-Lüdenscheidt-Weißenfels"));
    pc.ClientDataSet.FieldByName("Spalte2").setAsString(QStringLiteral("12345678901234567890€"));
    pc.ClientDataSet.FieldByName("Spalte3").setAsString(QStringLiteral("a\x01z"));
    pc.ClientDataSet.Post();
    pc.ClientDataSet.SaveToFile(QStringLiteral("Bewohner.xml"));

    const Rows rows = dataFileRecords(QStringLiteral("./Bewohner.xml"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0], QStringLiteral("Müller-Lüdenscheidt-")); // 20 bytes in windows-1252
    QCOMPARE(rows[0][1], QStringLiteral("12345678901234567890"));
    QCOMPARE(rows[0][2], QStringLiteral("a?z"));
    QCOMPARE(rows[0][3], QString());
}

void TestPrinting::dataSetOpenErrors_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << QByteArray() << "ClientDataSet: Fehlender Daten-Provider oder Datenpaket";
    QByteArray other;
    {
        QFile f(QStringLiteral(PLIVORA_RESOURCES "/Bewohner.xml"));
        f.open(QIODevice::ReadOnly);
        other = f.readAll();
    }
    QTest::newRow("field of another name") << QByteArray(other).replace("Spalte7", "Feld7")
                                           << "ClientDataSet: Feld 'Spalte7' nicht gefunden";
    QTest::newRow("field missing") << QByteArray(other).replace(
        "<field name=\"Spalte15\" type=\"string\" size=\"20\"/>", "")
                                   << "ClientDataSet: Feld 'Spalte15' nicht gefunden";
    QTest::newRow("other width") << QByteArray(other).replace("name=\"Spalte3\" type=\"string\" size=\"20\"",
                                                              "name=\"Spalte3\" type=\"string\" size=\"40\"")
                                 << "ClientDataSet: Feld 'Spalte3' hat die Größe 40, erwartet: 20";
    QTest::newRow("not a data packet") << QByteArray("<html><body>nope") << "ClientDataSet: Datenpaket";
}

void TestPrinting::dataSetOpenErrors()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    WorkingDirectory wd;
    QFile::remove(wd.path("Bewohner.xml"));
    if (!content.isEmpty()) {
        QFile f(wd.path("Bewohner.xml"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    PrintComponents pc;
    pc.ClientDataSet.FileName = QStringLiteral("./Bewohner.xml");
    try {
        pc.ClientDataSet.Open();
        QFAIL("opened");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
    }
    QVERIFY(!pc.ClientDataSet.Active());
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
    TStringGrid stringGrid;
    fill(stringGrid, columns, grid);
    pc.printGrid(stringGrid, *lists[list]);

    QCOMPARE(shown, QStringList{QStringLiteral("RvOutputOptionsDialog")});
    QCOMPARE(QDir::currentPath(), wd.dir.path());
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
    TStringGrid grid;
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
    TStringGrid grid;
    fill(grid, 6, {{"1", "Meier"}});
    pc.printGrid(grid, PrintComponents::bewohner);
    QCOMPARE(QDir::currentPath(), wd.dir.path());
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
    TStringGrid grid;
    fill(grid, 15, {{"S000001"}});
    QVERIFY_THROWS_EXCEPTION(Exception, pc.printGrid(grid, PrintComponents::waesche));
    QVERIFY(!pc.RvProject.isOpen());
    QCOMPARE(QDir::currentPath(), wd.dir.path());

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
    TStringGrid grid;
    fill(grid, 15, {{"S000001", "7"}, {"S000002", "8"}});
    try {
        pc.printGrid(grid, PrintComponents::waesche);
        QFAIL("printed without a project");
    } catch (const Exception &e) {
        QCOMPARE(e.message(), QStringLiteral("The following reporting project does not exist:\r\"%1\"")
                                  .arg(QDir::toNativeSeparators(wd.path("XMLWaescheListe.rav"))));
    }
    QCOMPARE(dataFileRecords(QStringLiteral("./Waesche.xml")).size(), 2);
    QCOMPARE(QDir::currentPath(), wd.dir.path());
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
    TStringGrid grid;
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
    TStringGrid wearers, items;
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
