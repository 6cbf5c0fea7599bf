// The loading cycle of one list without a window and without a server: a fake
// exchange hands the loader scripted replies and a fake sheet records what it shows.
#include "dataview/ListLoader.h"
#include "dataview/StringGridModel.h"
#include "exchange/XmlDocument.h"
#include "platform/Exception.h"

#include <QAbstractItemModelTester>
#include <QtTest>

#include <deque>
#include <optional>

using dataview::Lamp;

namespace {

QString keyOf(const TBWKom &record)
{
    return QString::number(record.LetzteBewNummer);
}

template <ItemList list>
QString keyOf(const TItemKom<list> &record)
{
    return record.LetzteIDNummer;
}

// The paging keys the exchange object starts with.
void setStartKey(TBWKom &) {}
void setStartKey(TWaeKom &record)
{
    record.LetzteIDNummer = QStringLiteral("S000000");
}
void setStartKey(TWaschKom &record)
{
    record.LetzteIDNummer = QStringLiteral("0");
}

// One scripted outcome of a chunk exchange.
struct Reply
{
    enum Kind { Table, Empty, Failure, Held } kind = Table;
    QString text;

    static Reply table(const QString &rows) { return {Table, QStringLiteral("<table>") + rows + QStringLiteral("</table>")}; }
    static Reply empty() { return {Empty, {}}; }     // an empty body, as after an HTTP error status
    static Reply failure() { return {Failure, {}}; } // the request itself failed
    static Reply held(const QString &rows) { return {Held, QStringLiteral("<table>") + rows + QStringLiteral("</table>")}; }
};

// The exchange object's side of one list, behaving as the real exchanges do:
// Status 2 on every way out, an empty reply leaves the document alone.
template <class Record>
class FakeExchange final : public dataview::ListExchange<Record>
{
public:
    FakeExchange()
    {
        m_record.XMLFile = NewXMLDocument(QStringLiteral("1.0"));
        m_record.AnzahlDatensaetzeGesamt = 35;
        m_record.Status = 0; // as after the count exchange
        setStartKey(m_record);
    }

    Record &record() override { return m_record; }

    void requestChunk() override
    {
        sentKeys << keyOf(m_record);
        if (events)
            *events << QStringLiteral("request %1").arg(keyOf(m_record));
        QVERIFY2(!replies.empty(), "a request without a scripted reply");
        const Reply reply = replies.front();
        replies.pop_front();
        if (reply.kind == Reply::Held) {
            m_held = reply.text; // the outcome comes later; Status stays 1
            return;
        }
        m_record.Status = 2;
        if (reply.kind == Reply::Failure)
            throw Exception(QStringLiteral("Socket-Fehler # 10061"));
        if (reply.kind == Reply::Table)
            m_record.XMLFile.LoadFromXML(reply.text);
    }

    // The outcome of a held request arrives.
    void release()
    {
        QVERIFY(m_held.has_value());
        m_record.XMLFile.LoadFromXML(*m_held);
        m_record.Status = 2;
        m_held.reset();
    }

    std::deque<Reply> replies;
    QStringList sentKeys;
    QStringList *events = nullptr;

private:
    Record m_record;
    std::optional<QString> m_held;
};

// The sheet: lamp, counter, initialisation (which clears the end flag, as the
// window's does) and the moments where queued input is handled.
class FakeSheet final : public dataview::SheetView
{
public:
    explicit FakeSheet(bool &endFlag)
        : m_endFlag(endFlag)
    {
    }

    void showLamp(Lamp colour) override
    {
        lamp = colour;
        static const char *const names[] = {"maroon", "red", "yellow", "lime"};
        events << QStringLiteral("lamp %1").arg(QLatin1String(names[int(colour)]));
    }
    void showCounter(const QString &text) override
    {
        counter = text;
        events << QStringLiteral("counter %1").arg(text);
    }
    void initSheet() override
    {
        m_endFlag = false;
        events << QStringLiteral("init");
    }
    void processPendingMessages() override
    {
        events << QStringLiteral("messages");
        if (duringMessages)
            duringMessages();
    }

    std::optional<Lamp> lamp;
    QString counter;
    QStringList events;
    std::function<void()> duringMessages;

private:
    bool &m_endFlag;
};

// One list with its loader, grid and flags; a failing step is caught the way
// the window's guard does and its message kept.
template <class Record>
struct List
{
    explicit List(int columns, const contract::ListContract &contract = contract::wearers)
        : loader(exchange, grid, sheet, reload, noMore, contract, [this](const std::function<void()> &step) {
            try {
                step();
                return true;
            } catch (const Exception &e) {
                errors << e.message();
                return false;
            }
        })
    {
        grid.setGridColCount(columns);
        grid.setCell(0, 0, QStringLiteral("Key"));
        exchange.events = &sheet.events;
    }

    QStringList column(int col) const
    {
        QStringList texts;
        for (int row = 0; row < grid.gridRowCount(); ++row)
            texts << grid.cell(col, row);
        return texts;
    }

    bool reload = false;
    bool noMore = false;
    StringGridModel grid;
    QAbstractItemModelTester tester{&grid, QAbstractItemModelTester::FailureReportingMode::QtTest};
    FakeExchange<Record> exchange;
    FakeSheet sheet{noMore};
    QStringList errors;
    dataview::ListLoader<Record> loader;
};

QString wearerRow(int number)
{
    const QString n = QString::number(number);
    return QStringLiteral("<tr><td>%1</td><td>M%C3%BCller</td><td>Anna</td><td>%1a</td><td>7</td><td>Haus+Sonne</td></tr>").arg(n);
}

const QString endRow = QStringLiteral("<tr><td></td></tr>");

} // namespace

Q_DECLARE_METATYPE(Reply)

class TestListLoader : public QObject
{
    Q_OBJECT

private slots:
    void loading_data();
    void loading();
    void stepsOfOneTickInOrder();
    void aReplyIsNeverPlacedTwice();
    void aFailedListPausesOnlyItself();
    void reloadDropsAWaitingReply();
    void aListInFlightIsLeftAlone();
    void washCellOneOnlyFeedsTheKey();
};

void TestListLoader::loading_data()
{
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QStringList>("keys");     // grid column 0, header row included
    QTest::addColumn<QString>("counter");
    QTest::addColumn<Lamp>("lamp");
    QTest::addColumn<QStringList>("sentKeys"); // paging key of each request
    QTest::addColumn<bool>("ended");

    const QStringList header{"Key"};
    QTest::newRow("no tr: ends at once") << QList<Reply>{Reply::table("")} << 2 << header + QStringList{""}
                                         << "0 / 35" << Lamp::Lime << QStringList{"0"} << true;
    QTest::newRow("three rows, more to come")
        << QList<Reply>{Reply::table(wearerRow(1) + wearerRow(2) + wearerRow(3)), Reply::table(wearerRow(4))} << 2
        << header + QStringList{"1", "2", "3", ""} << "3 / 35" << Lamp::Yellow << QStringList{"0", "3"} << false;
    QTest::newRow("end row in the middle: rows after it are placed")
        << QList<Reply>{Reply::table(wearerRow(1) + endRow + wearerRow(3))} << 2
        << header + QStringList{"1", "3", ""} << "2 / 35" << Lamp::Lime << QStringList{"0"} << true;
    QTest::newRow("end of list: nothing more is asked, lime every tick")
        << QList<Reply>{Reply::table(wearerRow(1)), Reply::table(wearerRow(2) + endRow)} << 6
        << header + QStringList{"1", "2", ""} << "2 / 35" << Lamp::Lime << QStringList{"0", "1"} << true;
    QTest::newRow("empty reply: nothing placed twice, same chunk again")
        << QList<Reply>{Reply::table(wearerRow(1)), Reply::empty(), Reply::table(wearerRow(2) + endRow)} << 4
        << header + QStringList{"1", "2", ""} << "2 / 35" << Lamp::Lime << QStringList{"0", "1", "1"} << true;
    QTest::newRow("empty first reply: nothing placed, asked again")
        << QList<Reply>{Reply::empty(), Reply::table("")} << 3 << header + QStringList{""} << "0 / 35"
        << Lamp::Lime << QStringList{"0", "0"} << true;
}

void TestListLoader::loading()
{
    QFETCH(QList<Reply>, replies);
    QFETCH(int, ticks);
    QFETCH(QStringList, keys);
    QFETCH(QString, counter);
    QFETCH(Lamp, lamp);
    QFETCH(QStringList, sentKeys);
    QFETCH(bool, ended);

    List<TBWKom> list(6);
    list.exchange.replies.assign(replies.begin(), replies.end());
    for (int i = 0; i < ticks; ++i)
        QVERIFY(list.loader.serve());

    QCOMPARE(list.column(0), keys);
    QCOMPARE(list.sheet.counter, counter);
    QCOMPARE(list.sheet.lamp, std::optional<Lamp>(lamp));
    QCOMPARE(list.exchange.sentKeys, sentKeys);
    QCOMPARE(list.noMore, ended);
    QVERIFY(list.errors.isEmpty());
}

void TestListLoader::stepsOfOneTickInOrder()
{
    List<TBWKom> list(6);
    list.exchange.replies = {Reply::table(wearerRow(1) + wearerRow(2)), Reply::table(wearerRow(3))};
    QVERIFY(list.loader.serve());
    QCOMPARE(list.sheet.events, (QStringList{"lamp yellow", "messages", "request 0"}));
    QCOMPARE(list.exchange.record().Status, 2);

    list.sheet.events.clear();
    QVERIFY(list.loader.serve()); // append, then request in the same tick
    QCOMPARE(list.sheet.events,
             (QStringList{"lamp red", "messages", "counter 2 / 35", "lamp yellow", "messages", "request 2"}));
    QCOMPARE(list.grid.rowCells(1), (QStringList{"1", "Müller", "Anna", "1a", "7", "Haus Sonne"}));

    list.sheet.events.clear();
    list.reload = true;
    list.exchange.replies = {Reply::table("")};
    QVERIFY(list.loader.serve()); // a new load requests its first chunk in the same tick
    QCOMPARE(list.sheet.events, (QStringList{"lamp maroon", "init", "counter 0 / 35", "messages", "lamp yellow",
                                             "messages", "request 0"}));
    QVERIFY(!list.reload);
    QCOMPARE(list.exchange.record().AnzahlDatensaetzeGelesen, 0);
    QCOMPARE(list.exchange.record().AnzahlDatensaetzeGesamt, 35);
}

void TestListLoader::aReplyIsNeverPlacedTwice()
{
    List<TBWKom> list(6);
    list.exchange.replies = {Reply::table(wearerRow(1) + wearerRow(2))};
    QVERIFY(list.loader.serve());
    list.loader.readRows();
    list.loader.readRows(); // the row reader run again on the same document
    QCOMPARE(list.column(0), (QStringList{"Key", "1", "2", ""}));
    QCOMPARE(list.exchange.record().AnzahlDatensaetzeGelesen, 2);

    // Status 2 again without a new reply, as after an empty one: nothing placed.
    list.exchange.replies = {Reply::empty()};
    QVERIFY(list.loader.serve());
    QCOMPARE(list.exchange.record().Status, 2);
    list.exchange.replies = {Reply::table(endRow)};
    QVERIFY(list.loader.serve());
    QCOMPARE(list.column(0), (QStringList{"Key", "1", "2", ""}));
    QCOMPARE(list.exchange.sentKeys, (QStringList{"0", "2", "2"}));
}

void TestListLoader::aFailedListPausesOnlyItself()
{
    List<TBWKom> wearers(6);
    List<TWaeKom> items(15);
    wearers.exchange.replies = {Reply::failure()};
    QVERIFY(!wearers.loader.serve());
    QCOMPARE(wearers.errors, QStringList{"Socket-Fehler # 10061"});
    QVERIFY(wearers.loader.isPaused());
    QCOMPARE(wearers.sheet.lamp, std::optional<Lamp>(Lamp::Maroon));
    QCOMPARE(wearers.exchange.record().Status, 2);

    for (int i = 0; i < 3; ++i)
        QVERIFY(wearers.loader.serve()); // paused: nothing asked, nothing placed
    QCOMPARE(wearers.exchange.sentKeys, QStringList{"0"});
    QCOMPARE(wearers.sheet.lamp, std::optional<Lamp>(Lamp::Maroon));

    items.exchange.replies = {Reply::table(QStringLiteral("<tr><td>S000001</td></tr>")), Reply::table("")};
    QVERIFY(items.loader.serve());
    QVERIFY(items.loader.serve());
    QCOMPARE(items.exchange.sentKeys, (QStringList{"S000000", "S000001"}));

    wearers.reload = true; // "Neu Laden"
    wearers.exchange.replies = {Reply::table(wearerRow(3))};
    QVERIFY(wearers.loader.serve());
    QVERIFY(!wearers.loader.isPaused());
    QCOMPARE(wearers.exchange.sentKeys, (QStringList{"0", "0"}));
    QCOMPARE(wearers.sheet.lamp, std::optional<Lamp>(Lamp::Yellow));
}

void TestListLoader::reloadDropsAWaitingReply()
{
    List<TWaeKom> items(15);
    items.exchange.replies = {Reply::table(QStringLiteral("<tr><td>S000001</td></tr><tr><td>S000002</td></tr>")),
                              Reply::table(QStringLiteral("<tr><td>S000009</td></tr>"))};
    QVERIFY(items.loader.serve());
    QVERIFY(items.loader.serve()); // two placed, the next reply waits
    QCOMPARE(items.grid.gridRowCount(), 4);

    items.reload = true;
    items.exchange.replies = {Reply::table(QStringLiteral("<tr><td>S000005</td></tr>")), Reply::table("")};
    QVERIFY(items.loader.serve());
    QCOMPARE(items.column(0), (QStringList{"Key", ""}));
    QCOMPARE(items.sheet.counter, QStringLiteral("0 / 35"));
    QCOMPARE(items.exchange.sentKeys, (QStringList{"S000000", "S000002", "S000000"}));
    QVERIFY(items.loader.serve());
    QCOMPARE(items.column(0), (QStringList{"Key", "S000005", ""}));
}

void TestListLoader::aListInFlightIsLeftAlone()
{
    List<TBWKom> list(6);
    list.exchange.replies = {Reply::held(wearerRow(1))};
    QVERIFY(list.loader.serve());
    QCOMPARE(list.exchange.record().Status, 1);

    list.sheet.events.clear();
    list.reload = true; // a reload waits while the list is requesting
    QVERIFY(list.loader.serve());
    QVERIFY(list.sheet.events.isEmpty());
    QVERIFY(list.reload);
    QCOMPARE(list.exchange.sentKeys, QStringList{"0"});

    // The outcome arrives; the reload then drops it unplaced and starts
    // again. The new load's first reply is empty, which leaves the dropped
    // reply in the document: it must stay unplaced all the same.
    list.exchange.release();
    list.exchange.replies = {Reply::empty(), Reply::table(wearerRow(7)), Reply::table("")};
    QVERIFY(list.loader.serve());
    QCOMPARE(list.column(0), (QStringList{"Key", ""}));
    QVERIFY(list.loader.serve());
    QCOMPARE(list.column(0), (QStringList{"Key", ""}));
    QVERIFY(list.loader.serve());
    QCOMPARE(list.column(0), (QStringList{"Key", "7", ""}));
    QCOMPARE(list.exchange.sentKeys, (QStringList{"0", "0", "0", "7"}));
}

void TestListLoader::washCellOneOnlyFeedsTheKey()
{
    List<TWaschKom> washes(15, contract::washes);
    QString cells = QStringLiteral("<td>77</td>");
    QStringList expected;
    for (int c = 2; c <= 16; ++c) {
        cells += QStringLiteral("<td>c%1</td>").arg(c);
        expected << QStringLiteral("c%1").arg(c);
    }
    washes.exchange.replies = {Reply::table(QStringLiteral("<tr>") + cells + QStringLiteral("</tr>")), Reply::table("")};
    QVERIFY(washes.loader.serve());
    QVERIFY(washes.loader.serve());
    QCOMPARE(washes.grid.rowCells(1), expected);
    QCOMPARE(washes.exchange.sentKeys, (QStringList{"0", "77"}));
    QCOMPARE(washes.sheet.counter, QStringLiteral("1 / 35"));
}

QTEST_GUILESS_MAIN(TestListLoader)
#include "tst_listloader.moc"
