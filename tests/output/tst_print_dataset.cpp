// The print data set and the copy of a grid into it, without the report engine.
#include "dataview/StringGridModel.h"
#include "output/ClientDataSet.h"
#include "support/PrintFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::Rows;

namespace {

// A fresh working directory holding the three data files the program ships.
struct WorkingDirectory : testsupport::WorkingDirectory
{
    WorkingDirectory()
        : testsupport::WorkingDirectory(QStringLiteral(PLIVORA_RESOURCES), {"Bewohner.xml", "Waesche.xml", "WaschVG.xml"})
    {
    }
};

// The login window's print data set: its name and its fifteen fields.
struct PrintDataSet
{
    TClientDataSet ClientDataSet{QStringLiteral("ClientDataSet")};
    std::array<TStringField *, 15> fields = addPrintFields(ClientDataSet);
};

const auto fill = testsupport::fillGrid;

Rows dataFileRecords(const QString &fileName)
{
    return testsupport::dataFileRecords<PrintDataSet>(fileName);
}

} // namespace

class TestPrintDataSet : public QObject
{
    Q_OBJECT

private slots:
    void dataSetKeepsTwentyBytes();
    void dataSetOpenErrors_data();
    void dataSetOpenErrors();
    void gridRowsBecomeRecords_data();
    void gridRowsBecomeRecords();
    void missingDataFileWritesNothing();
};

void TestPrintDataSet::dataSetKeepsTwentyBytes()
{
    WorkingDirectory wd;
    PrintDataSet pc;
    QCOMPARE(pc.ClientDataSet.fieldCount(), 15);
    QCOMPARE(pc.fields[6]->Name, QStringLiteral("ClientDataSetFeld7"));
    QCOMPARE(pc.fields[6]->FieldName, QStringLiteral("Spalte7"));
    QCOMPARE(pc.fields[7]->Name, QStringLiteral("ClientDataSetSpalte8"));
    QCOMPARE(pc.fields[0]->DisplayLabel, QStringLiteral("BewNummer"));

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

void TestPrintDataSet::dataSetOpenErrors_data()
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

void TestPrintDataSet::dataSetOpenErrors()
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
    PrintDataSet pc;
    pc.ClientDataSet.FileName = QStringLiteral("./Bewohner.xml");
    try {
        pc.ClientDataSet.Open();
        QFAIL("opened");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
    }
    QVERIFY(!pc.ClientDataSet.Active());
}

void TestPrintDataSet::gridRowsBecomeRecords_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<Rows>("records");
    QTest::newRow("never loaded: no record") << 6 << Rows{};
    QTest::newRow("wearers: fields 7 to 15 stay empty") << 6 << Rows{{"1", "Meier", "Udo", "1a", "7", "Sonne"},
                                                                    {"2", "Öztürk", "", "", "", ""}};
    QStringList item;
    for (int c = 1; c <= 15; ++c)
        item << QStringLiteral("c%1").arg(c);
    QTest::newRow("items: all fifteen fields") << 15 << Rows{item, item.mid(0, 3)};
}

void TestPrintDataSet::gridRowsBecomeRecords()
{
    QFETCH(int, columns);
    QFETCH(Rows, records);
    WorkingDirectory wd;
    PrintDataSet pc;
    // An earlier print of another list leaves its records in the data set.
    StringGridModel earlier;
    fill(earlier, 15, {{"alt"}, {"alt"}, {"alt"}});
    copyGridToDataSet(pc.ClientDataSet, earlier, QStringLiteral("./Waesche.xml"), QStringLiteral("Waesche.xml"));

    StringGridModel grid;
    fill(grid, columns, records);
    copyGridToDataSet(pc.ClientDataSet, grid, QStringLiteral("./Bewohner.xml"), QStringLiteral("Bewohner.xml"));
    QVERIFY(pc.ClientDataSet.Active());
    QVERIFY(!pc.ClientDataSet.LogChanges);
    QCOMPARE(pc.ClientDataSet.FileName, QStringLiteral("./Bewohner.xml"));

    const Rows saved = dataFileRecords(QStringLiteral("./Bewohner.xml"));
    QCOMPARE(saved.size(), records.size());
    for (int r = 0; r < records.size(); ++r)
        for (int c = 0; c < 15; ++c)
            QCOMPARE(saved[r][c], c < columns ? records[r].value(c) : QString());
    QCOMPARE(dataFileRecords(QStringLiteral("./Waesche.xml")).size(), 3);
}

void TestPrintDataSet::missingDataFileWritesNothing()
{
    WorkingDirectory wd;
    QVERIFY(QFile::remove(wd.path("WaschVG.xml")));
    PrintDataSet pc;
    StringGridModel grid;
    fill(grid, 15, {{"1"}});
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, copyGridToDataSet(pc.ClientDataSet, grid, QStringLiteral("./WaschVG.xml"),
                                                               QStringLiteral("WaschVG.xml")));
    QVERIFY(!pc.ClientDataSet.Active());
    QVERIFY(!QFile::exists(wd.path("WaschVG.xml")));
}

QTEST_GUILESS_MAIN(TestPrintDataSet)
#include "tst_print_dataset.moc"
