#include "dataview/StringGridModel.h"
#include "output/CsvExport.h"
#include "platform/Exception.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Rows = QList<QStringList>;

class TestCsvExport : public QObject
{
    Q_OBJECT

private slots:
    void exportBytes_data();
    void exportBytes();
    void secondShorterExportReplacesTheFirst();
    void failures_data();
    void failures();

private:
    static void fill(StringGridModel &grid, int columns, const Rows &rows)
    {
        grid.setGridColCount(columns);
        grid.setGridRowCount(int(rows.size()));
        for (int r = 0; r < rows.size(); ++r) {
            grid.clearRow(r);
            for (int c = 0; c < rows[r].size(); ++c)
                grid.setCell(c, r, rows[r][c]);
        }
    }
    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

void TestCsvExport::exportBytes_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QByteArray>("bytes");

    const QStringList traeger = {"TraegerNr", "Name", "Vorname", "Zimmernummer", "LieferAdrID", "Wohnbereich"};
    QTest::newRow("never loaded: header and trailing row")
        << 6 << Rows{traeger, {}}
        << QByteArray("TraegerNr;Name;Vorname;Zimmernummer;LieferAdrID;Wohnbereich\r\n;;;;;\r\n");
    QTest::newRow("never loaded wide sheet: 14 semicolons") << 15 << Rows{{"WaescheID"}, {}}
                                                           << QByteArray("WaescheID;;;;;;;;;;;;;;\r\n;;;;;;;;;;;;;;\r\n");
    QTest::newRow("n records give n + 2 lines")
        << 3 << Rows{{"A", "B", "C"}, {"1", "Meier", "Udo"}, {"2", "Schulz", "Eva"}, {}}
        << QByteArray("A;B;C\r\n1;Meier;Udo\r\n2;Schulz;Eva\r\n;;\r\n");
    QTest::newRow("blanks quote, also blanks only")
        << 3 << Rows{{"Anna Maria", "   ", " x"}} << QByteArray("\"Anna Maria\";\"   \";\" x\"\r\n");
    QTest::newRow("comma and apostrophe stay unquoted")
        << 2 << Rows{{"Haus2,OG", "O'Neill"}} << QByteArray("Haus2,OG;O'Neill\r\n");
    QTest::newRow("quote doubled") << 2 << Rows{{"5\"", "a\"b\"c"}} << QByteArray("\"5\"\"\";\"a\"\"b\"\"c\"\r\n");
    QTest::newRow("semicolon quoted") << 2 << Rows{{"a;b", "c"}} << QByteArray("\"a;b\";c\r\n");
    QTest::newRow("line break stays inside the field")
        << 2 << Rows{{"Zeile 1\r\nZeile 2", "x"}} << QByteArray("\"Zeile 1\r\nZeile 2\";x\r\n");
    QTest::newRow("tab and control characters quote") << 2 << Rows{{"a\tb", QString(QChar(1))}}
                                                       << QByteArray("\"a\tb\";\"\x01\"\r\n");
    QTest::newRow("ANSI letters, euro, best fit, unknown")
        << 4 << Rows{{"Größe", "5€", "Łukasz", "洗衣"}} << QByteArray("Gr\xF6\xDF" "e;5\x80;Lukasz;??\r\n");
}

void TestCsvExport::exportBytes()
{
    QFETCH(int, columns);
    QFETCH(Rows, rows);
    QFETCH(QByteArray, bytes);

    StringGridModel grid;
    fill(grid, columns, rows);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Wäsche.csv"));
    output::writeGridCsv(grid, path);
    QCOMPARE(readAll(path), bytes);
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/W\u00e4sche.csv"))); // stored under its Unicode name
}

void TestCsvExport::secondShorterExportReplacesTheFirst()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Bewohner.csv"));
    StringGridModel grid;
    fill(grid, 2, {{"A", "B"}, {"ein langer Name", "x"}, {"noch einer", "y"}, {}});
    output::writeGridCsv(grid, path);
    fill(grid, 2, {{"A", "B"}, {}});
    output::writeGridCsv(grid, path);
    QCOMPARE(readAll(path), QByteArray("A;B\r\n;\r\n"));
}

void TestCsvExport::failures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("file name taken by a directory") << "directory";
    QTest::newRow("working directory gone") << "nodir";
    QTest::newRow("disk full") << "full";
}

void TestCsvExport::failures()
{
    QFETCH(QString, situation);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Bewohner.csv"));
    if (situation == "directory")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Bewohner.csv")));
    else if (situation == "nodir")
        path = dir.filePath(QStringLiteral("weg/Bewohner.csv"));
    else
        path = QStringLiteral("/dev/full");

    StringGridModel grid;
    fill(grid, 2, {{"A", "B"}, {"1", "2"}, {}});
    try {
        output::writeGridCsv(grid, path);
        QFAIL("export did not fail");
    } catch (const EFCreateError &e) {
        QVERIFY(situation != "full");
        QVERIFY2(e.message().startsWith(
                     QStringLiteral("Datei \"%1\" kann nicht erstellt werden. ").arg(QDir::toNativeSeparators(path))),
                 qPrintable(e.message()));
    } catch (const EWriteError &e) {
        QCOMPARE(situation, QStringLiteral("full"));
        QCOMPARE(e.message(), QStringLiteral("Stream-Schreibfehler"));
    }
    QCOMPARE(grid.cell(0, 1), QStringLiteral("1")); // the grid is untouched
}

QTEST_GUILESS_MAIN(TestCsvExport)
#include "tst_csv_export.moc"
