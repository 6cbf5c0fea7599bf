#include "exchange/ChunkRows.h"
#include "exchange/PercentDecoding.h"

#include <QtTest>

// Reading count replies, walking chunk replies and decoding their cells.
class TestChunkRows : public QObject
{
    Q_OBJECT

private slots:
    void percentDecode_data();
    void percentDecode();
    void replyCount_data();
    void replyCount();
    void walk_data();
    void walk();
    void walkWithoutDocumentElementReadsNothing();
};

namespace {

enum List { Wearers, Items, Washes };

// Builds rows of cells "<td>k</td><td>c2</td>..." for a reply.
QString row(const QStringList &cells)
{
    QString r = QStringLiteral("<tr>");
    for (const QString &c : cells)
        r += QStringLiteral("<td>%1</td>").arg(c);
    return r + QStringLiteral("</tr>");
}

QStringList numbered(const QString &key, int count)
{
    QStringList cells{key};
    for (int i = 2; i <= count; ++i)
        cells << QStringLiteral("c%1").arg(i);
    return cells;
}

// What the sink saw: "row"/"end" before each row, then "n=value" per cell.
struct Recorder
{
    QStringList log;
    RowSink sink()
    {
        return RowSink{[this](bool end) { log << (end ? QStringLiteral("end") : QStringLiteral("row")); },
                       [this](int n, const QString &v) { log << QStringLiteral("%1=%2").arg(n).arg(v); }};
    }
};

struct Outcome
{
    QStringList log;
    int readCount = 0;
    QString key;
    QString error;
};

template<typename Record, typename KeyText>
Outcome walkRecord(Record &record, const QString &reply, KeyText keyText)
{
    record.XMLFile = NewXMLDocument(QStringLiteral("1.0"));
    record.XMLFile.LoadFromXML(reply);
    record.AnzahlDatensaetzeGelesen = 3;
    Recorder recorder;
    Outcome outcome;
    try {
        walkChunkRows(record, recorder.sink());
    } catch (const Exception &error) {
        outcome.error = error.message();
    }
    outcome.log = recorder.log;
    outcome.readCount = record.AnzahlDatensaetzeGelesen - 3;
    outcome.key = keyText(record);
    return outcome;
}

Outcome walkList(List list, const QString &reply)
{
    switch (list) {
    case Wearers: {
        TBWKom record;
        record.LetzteBewNummer = 42;
        return walkRecord(record, reply, [](const TBWKom &r) { return QString::number(r.LetzteBewNummer); });
    }
    case Items: {
        TWaeKom record;
        record.LetzteIDNummer = QStringLiteral("before");
        return walkRecord(record, reply, [](const TWaeKom &r) { return r.LetzteIDNummer; });
    }
    case Washes: {
        TWaschKom record;
        record.LetzteIDNummer = QStringLiteral("before");
        return walkRecord(record, reply, [](const TWaschKom &r) { return r.LetzteIDNummer; });
    }
    }
    return {};
}

} // namespace

void TestChunkRows::percentDecode_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("decoded");
    QTest::addColumn<QString>("error"); // exact message, empty when none is raised

    QTest::newRow("utf-8 bytes and plus") << "Wei%C3%9F+Blau" << "Weiß Blau" << "";
    QTest::newRow("double per cent") << "50%%" << "50%" << "";
    QTest::newRow("lower-case hex") << "%c3%a4%2b%26" << "ä+&" << "";
    QTest::newRow("plain text and non-ASCII kept") << "Müller-Lüdenscheidt (3)" << "Müller-Lüdenscheidt (3)" << "";
    QTest::newRow("encoded and raw mixed") << "%C3%9F=ß" << "ß=ß" << "";
    QTest::newRow("astral character kept") << QString::fromUtf8("a\U0001F600%21") << QString::fromUtf8("a\U0001F600!") << "";
    QTest::newRow("invalid utf-8 byte") << "a%FFb" << QString::fromUtf8("a\uFFFDb") << "";
    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("one digit left")
        << "%4" << "" << "Fehler beim Decodieren eines im URL-Stil (%XX) codierten Strings bei Position 1";
    QTest::newRow("lone per cent at end")
        << "ab%" << "" << "Fehler beim Decodieren eines im URL-Stil (%XX) codierten Strings bei Position 3";
    QTest::newRow("not hex") << "%G1" << "" << "Ungültiges URL-codiertes Zeichen (%G1) an Position 1";
    QTest::newRow("second digit not hex, later position")
        << "Blau%2x" << "" << "Ungültiges URL-codiertes Zeichen (%2x) an Position 5";
    QTest::newRow("per cent digit placeholder-like") << "%1x" << "" << "Ungültiges URL-codiertes Zeichen (%1x) an Position 1";
}

void TestChunkRows::percentDecode()
{
    QFETCH(QString, encoded);
    QFETCH(QString, decoded);
    QFETCH(QString, error);

    if (error.isEmpty()) {
        QCOMPARE(exchange::percentDecode(encoded), decoded);
        return;
    }
    const bool cutOff = error.startsWith(QLatin1String("Fehler"));
    try {
        exchange::percentDecode(encoded);
        QFAIL("no error raised");
    } catch (const EHTTPException &e) {
        QVERIFY(cutOff);
        QCOMPARE(e.message(), error);
    } catch (const EConvertError &e) {
        QVERIFY(!cutOff);
        QCOMPARE(e.message(), error);
    }
}

void TestChunkRows::replyCount_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("error"); // "parse", "none" or empty

    QTest::newRow("523") << "<table><tr>523</tr></table>" << 523 << "";
    QTest::newRow("indented, declaration") << "<?xml version=\"1.0\"?>\n<table>\n  <tr>523</tr>\n</table>" << 523 << "";
    QTest::newRow("only the first tr") << "<t><tr>5</tr><tr>6</tr></t>" << 5 << "";
    QTest::newRow("negative") << "<t><tr>-7</tr></t>" << -7 << "";
    QTest::newRow("largest") << "<t><tr>2147483647</tr></t>" << 2147483647 << "";
    QTest::newRow("beyond 32 bits") << "<t><tr>2147483648</tr></t>" << 0 << "";
    QTest::newRow("empty tr") << "<t><tr></tr></t>" << 0 << "";
    QTest::newRow("abc") << "<t><tr>abc</tr></t>" << 0 << "";
    QTest::newRow("hex is no decimal") << "<t><tr>$1F</tr></t>" << 0 << "";
    QTest::newRow("no tr") << "<t><TR>9</TR></t>" << 0 << "";
    QTest::newRow("not xml") << "<html><body>Server Error</html>" << 0 << "parse";
    QTest::newRow("empty reply") << "" << 0 << "none";
}

void TestChunkRows::replyCount()
{
    QFETCH(QString, reply);
    QFETCH(int, count);
    QFETCH(QString, error);

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    if (error == QLatin1String("parse")) {
        QVERIFY_THROWS_EXCEPTION(EDOMParseError, document.LoadFromXML(reply));
        QVERIFY_THROWS_EXCEPTION(EXMLDocError, exchange::replyCount(document));
        return;
    }
    document.LoadFromXML(reply);
    if (error == QLatin1String("none")) {
        try {
            exchange::replyCount(document);
            QFAIL("no error raised");
        } catch (const ECountReplyError &e) {
            QCOMPARE(e.message(), QStringLiteral("Die Antwort des Servers enthält keine Anzahl"));
        }
        return;
    }
    QCOMPARE(exchange::replyCount(document), count);
}

void TestChunkRows::walk_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("readCount"); // increments of the read count
    QTest::addColumn<QString>("key");   // paging key afterwards (wearer key as a number)
    QTest::addColumn<QString>("error");

    const QString tdError = QStringLiteral("Element \"td\" enthält keinen einzelnen Textknoten");

    QTest::newRow("wearer rows, decoded cells")
        << int(Wearers)
        << "<table>" + row({"17", "M%C3%BCller", "Hans+Peter", "1+2", "L%41", "Haus+A"})
               + row({"18", "Ott", "Eva", "3", "L2", "B"}) + "</table>"
        << QStringList{"row", "1=17", "2=Müller", "3=Hans Peter", "4=1+2", "5=L%41", "6=Haus A",
                       "row", "1=18", "2=Ott", "3=Eva", "4=3", "5=L2", "6=B"}
        << 2 << "18" << "";
    QTest::newRow("no tr is an end row")
        << int(Wearers) << "<table/>" << QStringList{"end", "1="} << 0 << "100000" << "";
    QTest::newRow("tr without td is an end row")
        << int(Wearers) << "<table><tr/></table>" << QStringList{"end", "1="} << 0 << "100000" << "";
    QTest::newRow("upper-case TR is not a row")
        << int(Wearers) << "<table><TR><td>5</td></TR></table>" << QStringList{"end", "1="} << 0 << "100000" << "";
    QTest::newRow("more cells than the list has")
        << int(Wearers) << "<t>" + row(numbered("5", 8)) + "</t>"
        << QStringList{"row", "1=5", "2=c2", "3=c3", "4=c4", "5=c5", "6=c6"} << 1 << "5" << "";
    QTest::newRow("fewer cells")
        << int(Wearers) << "<t>" + row({"5", "A"}) + "</t>" << QStringList{"row", "1=5", "2=A"} << 1 << "5" << "";
    QTest::newRow("key A12 gives 100000")
        << int(Wearers) << "<t>" + row({"A12"}) + "</t>" << QStringList{"row", "1=A12"} << 1 << "100000" << "";
    QTest::newRow("negative wearer key")
        << int(Wearers) << "<t>" + row({"-4"}) + "</t>" << QStringList{"row", "1=-4"} << 1 << "-4" << "";
    QTest::newRow("line breaks and indentation")
        << int(Wearers) << "<t>\n  <tr>\n    <td>7</td>\n    <td>N</td>\n  </tr>\n</t>\n"
        << QStringList{"row", "1=7", "2=N"} << 1 << "7" << "";
    {
        QString reply = "<t>";
        QStringList log;
        for (int i = 1; i <= 11; ++i) {
            reply += row({QString::number(i)});
            if (i <= 10)
                log << "row" << QStringLiteral("1=%1").arg(i);
        }
        QTest::newRow("eleven rows: ten read") << int(Wearers) << reply + "</t>" << log << 10 << "10" << "";
    }
    QTest::newRow("end row in the middle, rows after it read")
        << int(Items) << "<t>" + row({"S1", "9"}) + row({"", "x"}) + row({"S3"}) + "</t>"
        << QStringList{"row", "1=S1", "2=9", "end", "1=", "2=x", "row", "1=S3"} << 2 << "S3" << "";
    QTest::newRow("end row last: empty item key")
        << int(Items) << "<t>" + row({"S1"}) + row({""}) + "</t>"
        << QStringList{"row", "1=S1", "end", "1="} << 1 << "" << "";
    QTest::newRow("wearer end row last")
        << int(Wearers) << "<t>" + row({"8"}) + "<tr><td/></tr></t>"
        << QStringList{"row", "1=8", "end", "1="} << 1 << "100000" << "";
    QTest::newRow("item: fifteen cells, 3 4 6 7 decoded")
        << int(Items) << "<t>" + row({"S9", "a+b", "N%C3%A4", "V+W", "a+r", "Art%21", "Ort+1", "8+", "9", "10", "11",
                                       "12", "13", "1+4", "15", "16"}) + "</t>"
        << QStringList{"row", "1=S9", "2=a+b", "3=Nä", "4=V W", "5=a+r", "6=Art!", "7=Ort 1", "8=8+", "9=9",
                       "10=10", "11=11", "12=12", "13=13", "14=1+4", "15=15"}
        << 1 << "S9" << "";
    QTest::newRow("wash: sixteen cells, 4 5 7 8 decoded")
        << int(Washes) << "<t>" + row({"77", "S9", "a+b", "N+1", "V+W", "a+r", "Art%21", "Ort+1", "9+", "10", "11",
                                        "12", "13", "14", "15", "40", "17"}) + "</t>"
        << QStringList{"row", "1=77", "2=S9", "3=a+b", "4=N 1", "5=V W", "6=a+r", "7=Art!", "8=Ort 1", "9=9+",
                       "10=10", "11=11", "12=12", "13=13", "14=14", "15=15", "16=40"}
        << 1 << "77" << "";
    QTest::newRow("element in a cell fails, earlier rows kept")
        << int(Wearers) << "<t>" + row({"1", "A"}) + "<tr><td>2</td><td><b>x</b></td></tr>" + row({"3"}) + "</t>"
        << QStringList{"row", "1=1", "2=A", "row", "1=2"} << 1 << "42" << tdError;
    QTest::newRow("element as first cell fails before the row starts")
        << int(Items) << "<t><tr><td><b>x</b></td></tr></t>" << QStringList{} << 0 << "before" << tdError;
    QTest::newRow("bad encoding fails, key unchanged")
        << int(Items) << "<t>" + row({"S1"}) + row({"S2", "x", "%G1"}) + "</t>"
        << QStringList{"row", "1=S1", "row", "1=S2", "2=x"} << 1 << "before"
        << "Ungültiges URL-codiertes Zeichen (%G1) an Position 1";
}

void TestChunkRows::walk()
{
    QFETCH(int, list);
    QFETCH(QString, reply);
    QFETCH(QStringList, log);
    QFETCH(int, readCount);
    QFETCH(QString, key);
    QFETCH(QString, error);

    const Outcome outcome = walkList(List(list), reply);
    QCOMPARE(outcome.error, error);
    QCOMPARE(outcome.log, log);
    QCOMPARE(outcome.readCount, readCount);
    QCOMPARE(outcome.key, key);
}

void TestChunkRows::walkWithoutDocumentElementReadsNothing()
{
    TBWKom record;
    record.XMLFile = NewXMLDocument(QStringLiteral("1.0"));
    record.LetzteBewNummer = 31;
    record.AnzahlDatensaetzeGelesen = 5;
    Recorder recorder;
    walkChunkRows(record, recorder.sink());
    record.XMLFile.LoadFromXML(QString()); // an empty load has no element either
    walkChunkRows(record, recorder.sink());
    QVERIFY(recorder.log.isEmpty());
    QCOMPARE(record.LetzteBewNummer, 31);
    QCOMPARE(record.AnzahlDatensaetzeGelesen, 5);
    QVERIFY(record.RootNode.isNull());

    // After a failed load the walk fails with the document error and changes nothing.
    TWaschKom wash;
    wash.XMLFile = NewXMLDocument(QStringLiteral("1.0"));
    wash.XMLFile.LoadFromXML(QStringLiteral("<t><tr><td>1</td></tr></t>"));
    walkChunkRows(wash, recorder.sink());
    QVERIFY(!wash.RootNode.isNull());
    QVERIFY_THROWS_EXCEPTION(EDOMParseError, wash.XMLFile.LoadFromXML(QStringLiteral("<t>")));
    QVERIFY_THROWS_EXCEPTION(EXMLDocError, walkChunkRows(wash, recorder.sink()));
    QCOMPARE(wash.LetzteIDNummer, QStringLiteral("1"));
    QCOMPARE(wash.AnzahlDatensaetzeGelesen, 1);
}

QTEST_GUILESS_MAIN(TestChunkRows)
#include "tst_chunkrows.moc"
