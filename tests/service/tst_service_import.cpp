// Bringing a laundry's data in: the reader of the client's CSV export, the
// all-or-nothing import into the store, re-import, the schema migration and
// the round trip client export -> import -> the same chunk replies. Run once
// per backend: PLIVORA_TEST_BACKEND=postgresql imports into a test database.

#include "dataview/StringGridModel.h"
#include "output/CsvExport.h"
#include "service/CsvImport.h"
#include "service/DemoData.h"
#include "service/LaundryStore.h"
#include "service/PgStore.h"
#include "service/QueryString.h"
#include "service/RequestHandler.h"
#include "service/TableReply.h"

#include "platform/AnsiCodePage.h"
#include "support/PgTestDatabase.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace service;

namespace {

constexpr int fastIterations = 1000;

std::chrono::sys_days fixedToday()
{
    return std::chrono::sys_days{std::chrono::year(2026) / std::chrono::March / std::chrono::day(15)};
}

const char *const wearerHead = "TraegerNr;Name;Vorname;Zimmernummer;LieferAdrID;Wohnbereich\r\n";
const char *const itemHead = "WaescheID;TraegerNr;Name;Vorname;ArtNr;Artikel;Ort;AnzEingang;Angelegt;Eingang;"
                             "LieferAdrID;Ausgang;LetzteCharge;Groesse;MaxWasch\r\n";
const char *const washHead = "WaescheID;TraegerNr;Name;Vorname;ArtNr;Artikel;Ort;AnzEingang;Angelegt;Eingang;"
                             "LieferAdrID;Ausgang;Charge;Groesse;MaxWasch\r\n";

// The message of the import error the call raises, or "" when it raises none.
template <typename F>
QString importError(F &&call)
{
    try {
        call();
    } catch (const EImportError &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

std::int64_t scalar(LaundryStore &store, const char *sql)
{
    SqliteStatement s(store.database(), sql);
    s.step();
    return s.integer(0);
}

// The test database of the PostgreSQL run; none in the SQLite run.
std::optional<PgTestDatabase> pg;

// One number by SQL both backends read alike.
std::int64_t scalar(Store &store, const char *sql)
{
    if (auto *sqlite = dynamic_cast<LaundryStore *>(&store))
        return scalar(*sqlite, sql);
    if (!pg->run(QString::fromUtf8(sql)))
        return -1;
    return pg->output().trimmed().toLongLong();
}

// An empty store with today's schema on the run's backend.
std::unique_ptr<Store> emptyStore()
{
    std::unique_ptr<Store> store;
    if (pg) {
        auto postgres = std::make_unique<PgStore>(pg->uri().toStdString());
        postgres->exec("DROP TABLE IF EXISTS schema_version, wash_process, item, wearer, customer CASCADE");
        store = std::move(postgres);
    } else {
        store = std::make_unique<LaundryStore>(":memory:", SqliteDatabase::Mode::Create);
    }
    store->createSchema();
    return store;
}

// The demo rows are drawn into SQLite and copied over, as --init-demo fills PostgreSQL.
void fillDemo(Store &store, const DemoSizes &sizes)
{
    if (auto *sqlite = dynamic_cast<LaundryStore *>(&store)) {
        fillDemoData(*sqlite, sizes, fixedToday(), fastIterations);
        return;
    }
    LaundryStore drawn(":memory:", SqliteDatabase::Mode::Create);
    fillDemoData(drawn, sizes, fixedToday(), fastIterations);
    dynamic_cast<PgStore &>(store).copyFrom(drawn);
}

// The rows of one chunk reply, cells plain (decoded where the service encodes).
QList<QStringList> replyRows(ListKind list, const std::string &body, bool &ended)
{
    QList<QStringList> rows;
    QXmlStreamReader xml(QByteArray::fromStdString(body));
    QStringList row;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"tr")
            row.clear();
        else if (xml.isStartElement() && xml.name() == u"td") {
            const std::string text = xml.readElementText().toStdString();
            const auto decoded = isEncodedCell(list, std::size_t(row.size())) ? percentDecode(text) : text;
            row << QString::fromStdString(decoded.value_or("<undecodable>"));
        } else if (xml.isEndElement() && xml.name() == u"tr") {
            if (row.value(0).isEmpty())
                ended = true;
            else
                rows << row;
        }
    }
    return rows;
}

// Every row of the customer's list, paged through chunk replies as the client pages.
QList<QStringList> pageThrough(Store &store, ListKind list, const std::string &credentials)
{
    VerifiedCredentials verified;
    RequestHandler handler(verified);
    const std::string itemFilters = "&WaescheID=&BewNum=&Vorname=&Name=&ARTNR=&Artikel=&Charge=&Groesse="
                                    "&MaxWasch=&AnzWasch=&AngVor=&AngNach=&EingVor=&EingNach=&AusgVor=&AusgNach=";
    QList<QStringList> all;
    std::string key = list == ListKind::Items ? "S000000" : "0";
    for (bool ended = false; !ended;) {
        std::string target;
        if (list == ListKind::Wearers)
            target = "/BewohnerChunk?" + credentials + "&LBWNum=" + key + "&BewNum=&Vorname=&Name=&WB=";
        else
            target = std::string(list == ListKind::Items ? "/WaescheChunk?" : "/WaschChunk?") + credentials
                   + "&LetzteID=" + key + itemFilters;
        const Reply reply = handler.handle(store, target);
        if (reply.status != 200)
            return {QStringList{QStringLiteral("status %1").arg(reply.status)}};
        const QList<QStringList> rows = replyRows(list, reply.body, ended);
        all += rows;
        if (!rows.isEmpty())
            key = rows.last().first().toStdString();
        else if (!ended)
            return {QStringList{QStringLiteral("a reply without rows and without end row")}};
    }
    return all;
}

// The sheet's grid filled from the rows as the client fills it (header row,
// records, trailing row), exported by the client's CSV writer.
QByteArray clientExport(ImportKind kind, const QList<QStringList> &rows)
{
    const std::vector<std::string_view> header = exportHeader(kind);
    // Wash rows start with the pass's own identifier, which the sheet does not show.
    const int firstCell = kind == ImportKind::Washes ? 1 : 0;
    StringGridModel grid;
    grid.setGridColCount(int(header.size()));
    grid.setGridRowCount(int(rows.size()) + 2);
    for (int c = 0; c < int(header.size()); ++c)
        grid.setCell(c, 0, QString::fromUtf8(header[std::size_t(c)].data(), qsizetype(header[std::size_t(c)].size())));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < int(header.size()); ++c)
            grid.setCell(c, r + 1, rows[r].value(c + firstCell));
    return output::gridCsvBytes(grid);
}

QList<QStringList> withoutWashIds(QList<QStringList> rows)
{
    for (QStringList &row : rows)
        row.removeFirst();
    return rows;
}

} // namespace

class TestServiceImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void readsTheExportFormat();
    void badFiles_data();
    void badFiles();
    void importIsAllOrNothing();
    void reimportReplacesWithoutDuplicates();
    void versionLessDatabaseMigrates();
    void roundTripThroughTheClientsExport();
};

void TestServiceImport::initTestCase()
{
    if (qgetenv("PLIVORA_TEST_BACKEND") == "postgresql") {
        pg.emplace(QStringLiteral("tst_service_import"));
        QVERIFY2(pg->isValid(), qPrintable(pg->error()));
    }
}

void TestServiceImport::cleanupTestCase()
{
    pg.reset();
}

void TestServiceImport::readsTheExportFormat()
{
    // windows-1252 (as the client writes it), with quoted cells of every kind and the closing line.
    const QString text = QString::fromUtf8(wearerHead)
                       + QStringLiteral("7;Müller-Lüdenscheidt;Jürgen;2.14;3;\"Haus Lindenallee 2. OG\"\r\n"
                                        "12;\"O\"\"Brien; Sr.\";Ægidius;1;0;\"Zwei\r\nZeilen\"\r\n"
                                        "13;Weiß,Groß;'Anna';;4;Sonnenhof\r\n"
                                        ";;;;;\r\n");
    for (const QByteArray &bytes : {platform::toAnsi(text), QByteArray("\xEF\xBB\xBF") + text.toUtf8(), text.toUtf8()}) {
        const auto wearers = std::get<std::vector<ImportedWearer>>(parseImport(ImportKind::Wearers, bytes.toStdString()));
        QCOMPARE(wearers.size(), std::size_t(3));
        QCOMPARE(wearers[0].surname, std::string("Müller-Lüdenscheidt"));
        QCOMPARE(wearers[0].livingArea, std::string("Haus Lindenallee 2. OG"));
        QCOMPARE(wearers[1].surname, std::string("O\"Brien; Sr."));
        QCOMPARE(wearers[1].firstName, std::string("Ægidius"));
        QCOMPARE(wearers[1].livingArea, std::string("Zwei\r\nZeilen"));
        QCOMPARE(wearers[2].line, 5); // the quoted line break counts as a line of the file
        QCOMPARE(wearers[2].surname, std::string("Weiß,Groß"));
        QCOMPARE(wearers[2].firstName, std::string("'Anna'"));
        QCOMPARE(wearers[2].room, std::string());
    }

    const std::string washes = std::string(washHead)
                             + "S000004;7;Müller;Jürgen;K-100;Kasack;Wäscherei;3;01.02.2020;14.03.2026;3;;260314-2;XL;80\r\n";
    const auto passes = std::get<std::vector<ImportedWash>>(parseImport(ImportKind::Washes, washes));
    QCOMPARE(passes.size(), std::size_t(1));
    QCOMPARE(passes[0].itemId, std::string("S000004"));
    QCOMPARE(passes[0].pass, std::int64_t(3));
    QCOMPARE(passes[0].received, std::optional<std::string>("2026-03-14"));
    QCOMPARE(passes[0].dispatched, std::optional<std::string>());
    QCOMPARE(passes[0].batch, std::string("260314-2"));
}

void TestServiceImport::badFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");
    const QByteArray w(wearerHead), i(itemHead);
    const QByteArray item = "S000001;7;M;J;K-1;Kasack;Schrank;1;01.02.2020;03.02.2020;3;05.02.2020;200203-1;L;80\r\n";
    QTest::newRow("empty") << int(ImportKind::Wearers) << QByteArray() << "line 1: the file is empty";
    QTest::newRow("header of another list") << int(ImportKind::Wearers) << i << "line 1: not the header of the wearers";
    QTest::newRow("a cell too few") << int(ImportKind::Wearers) << w + "7;A;B;1;2\r\n" << "line 2: 5 cells";
    QTest::newRow("number that is none") << int(ImportKind::Wearers) << w + "7;A;B;1;2;X\r\n8;A;B;1;x2;X\r\n"
                                         << "line 3: LieferAdrID is not a whole number: \"x2\"";
    QTest::newRow("wearer number 0") << int(ImportKind::Wearers) << w + "0;A;B;1;2;X\r\n"
                                     << "line 2: TraegerNr must be at least 1";
    QTest::newRow("same wearer twice") << int(ImportKind::Wearers) << w + "7;A;B;1;2;X\r\n7;C;D;1;2;X\r\n"
                                       << "line 3: TraegerNr 7 is on line 2 already";
    QTest::newRow("quote never closed") << int(ImportKind::Wearers) << w + "7;\"A;B;1;2;X\r\n"
                                        << "line 2: a quoted cell is not closed";
    QTest::newRow("text after a quote") << int(ImportKind::Wearers) << w + "7;\"A\"x;B;1;2;X\r\n"
                                        << "line 2: text after the closing quote";
    QTest::newRow("empty line inside") << int(ImportKind::Wearers) << w + ";;;;;\r\n7;A;B;1;2;X\r\n"
                                       << "line 2: TraegerNr is not a whole number";
    QTest::newRow("no calendar day") << int(ImportKind::Items) << i + QByteArray(item).replace("03.02.2020", "30.02.2020")
                                     << "line 2: Eingang is not a date written dd.MM.yyyy: \"30.02.2020\"";
    QTest::newRow("item id before the first key") << int(ImportKind::Items) << i + QByteArray(item).replace("S000001", "A1")
                                                  << "line 2: WaescheID \"A1\" must sort after \"S000000\"";
    QTest::newRow("byte 0 in a text") << int(ImportKind::Wearers) << w + "7;A" + QByteArray(1, '\0') + "B;C;1;2;X\r\n"
                                      << "line 2: Name holds the byte 0";
    QTest::newRow("pass number 0") << int(ImportKind::Washes)
                                   << QByteArray(washHead) + QByteArray(item).replace(";1;01.02", ";0;01.02")
                                   << "line 2: AnzEingang must be at least 1";
}

void TestServiceImport::badFiles()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    const QString message = importError([&] { parseImport(ImportKind(kind), file.toStdString()); });
    QVERIFY2(message.startsWith(error), qPrintable(message));
}

void TestServiceImport::importIsAllOrNothing()
{
    const std::unique_ptr<Store> owned = emptyStore();
    Store &store = *owned;
    store.setCustomer("1001", hashPassword("pw", fastIterations));
    const std::string wearers = std::string(wearerHead) + "7;Müller;Jürgen;2.14;3;Sonnenhof\r\n";
    QCOMPARE(store.importRecords("1001", parseImport(ImportKind::Wearers, wearers)).added, std::int64_t(1));

    // The third item names a wearer the customer does not have: nothing of the file stays.
    const std::string items = std::string(itemHead)
                            + "S000001;7;M;J;K-1;Kasack;Schrank;1;01.02.2020;03.02.2020;3;05.02.2020;200203-1;L;80\r\n"
                              "S000002;7;M;J;K-1;Kasack;Schrank;0;01.02.2020;;3;;;L;80\r\n"
                              "S000003;8;M;J;K-1;Kasack;Schrank;0;01.02.2020;;3;;;L;80\r\n";
    QString message = importError([&] { store.importRecords("1001", parseImport(ImportKind::Items, items)); });
    QVERIFY2(message.startsWith(QStringLiteral("line 4: TraegerNr 8 is no wearer of customer \"1001\"")),
             qPrintable(message));
    QCOMPARE(store.count(ListKind::Items, "1001"), std::int64_t(0));

    // Passes of an item the customer lacks, and an unknown customer, likewise.
    const std::string washes = std::string(washHead)
                             + "S000009;7;M;J;K-1;Kasack;Schrank;1;01.02.2020;03.02.2020;3;05.02.2020;200203-1;L;80\r\n";
    message = importError([&] { store.importRecords("1001", parseImport(ImportKind::Washes, washes)); });
    QVERIFY2(message.startsWith(QStringLiteral("line 2: WaescheID \"S000009\" is no laundry item")), qPrintable(message));
    message = importError([&] { store.importRecords("2002", parseImport(ImportKind::Wearers, wearers)); });
    QVERIFY2(message.contains(QStringLiteral("customer \"2002\" does not exist")), qPrintable(message));
    QCOMPARE(store.count(ListKind::Washes, "1001"), std::int64_t(0));
    QCOMPARE(store.count(ListKind::Wearers, "2002"), std::int64_t(0));
}

void TestServiceImport::reimportReplacesWithoutDuplicates()
{
    const std::unique_ptr<Store> owned = emptyStore();
    Store &store = *owned;
    // Passes that came before the import keep their identifiers; new ones follow them.
    fillDemo(store, DemoSizes{1, 3, 4, 6});
    store.setCustomer("1001", hashPassword("pw", fastIterations));
    const std::int64_t demoPasses = store.count(ListKind::Washes, "1001");
    const std::int64_t demoItems = store.count(ListKind::Items, "1001");
    const std::int64_t demoWearers = store.count(ListKind::Wearers, "1001");
    const std::string wearers = std::string(wearerHead) + "7;Müller;Jürgen;2.14;3;Sonnenhof\r\n";
    const std::string items = std::string(itemHead)
                            + "S000101;7;M;J;K-1;Kasack;Schrank;2;01.02.2020;03.02.2020;3;;200203-1;L;80\r\n";
    const std::string washes = std::string(washHead)
                             + "S000101;7;M;J;K-1;Kasack;Wäscherei;1;01.02.2020;01.02.2020;3;02.02.2020;200201-1;L;80\r\n"
                               "S000101;7;M;J;K-1;Kasack;Wäscherei;2;01.02.2020;03.02.2020;3;;200203-1;L;80\r\n";
    store.importRecords("1001", parseImport(ImportKind::Wearers, wearers));
    store.importRecords("1001", parseImport(ImportKind::Items, items));
    const ImportCounts first = store.importRecords("1001", parseImport(ImportKind::Washes, washes));
    QCOMPARE(first.added, std::int64_t(2));
    QCOMPARE(first.replaced, std::int64_t(0));
    const std::int64_t idOfSecond =
        scalar(store, "SELECT wash_id FROM wash_process WHERE waesche_id = 'S000101' AND anz_eingang = 2");
    QVERIFY(idOfSecond > demoPasses);

    // The same files again, the second pass now dispatched: replaced in place, nothing added.
    QCOMPARE(store.importRecords("1001", parseImport(ImportKind::Wearers, wearers)).replaced, std::int64_t(1));
    QCOMPARE(store.importRecords("1001", parseImport(ImportKind::Items, items)).replaced, std::int64_t(1));
    std::string dispatched = washes;
    dispatched.replace(dispatched.rfind("03.02.2020;3;;"), 14, "03.02.2020;3;04.02.2020;");
    const ImportCounts again = store.importRecords("1001", parseImport(ImportKind::Washes, dispatched));
    QCOMPARE(again.added, std::int64_t(0));
    QCOMPARE(again.replaced, std::int64_t(2));
    QCOMPARE(store.count(ListKind::Washes, "1001"), demoPasses + 2);
    QCOMPARE(store.count(ListKind::Items, "1001"), demoItems + 1);
    QCOMPARE(store.count(ListKind::Wearers, "1001"), demoWearers + 1);
    QCOMPARE(scalar(store, "SELECT wash_id FROM wash_process WHERE waesche_id = 'S000101' AND anz_eingang = 2"),
             idOfSecond);
    QCOMPARE(scalar(store, "SELECT count(*) FROM wash_process WHERE ausgang = '2020-02-04'"), std::int64_t(1));
}

void TestServiceImport::versionLessDatabaseMigrates()
{
    if (pg) {
        // The tables as the first PostgreSQL release made them: today's without the version and the index.
        const std::unique_ptr<Store> store = emptyStore();
        store->setCustomer("1001", hashPassword("pw", fastIterations));
        QVERIFY2(pg->run(QStringLiteral("DROP TABLE schema_version; DROP INDEX wash_process_pass")),
                 qPrintable(pg->output()));
        QCOMPARE(store->schemaVersion(), 1);
        store->createSchema();
        QCOMPARE(store->schemaVersion(), currentSchemaVersion);
        QCOMPARE(scalar(*store, "SELECT count(*) FROM schema_version"), std::int64_t(1));
        QCOMPARE(scalar(*store, "SELECT count(*) FROM pg_indexes WHERE indexname = 'wash_process_pass'"),
                 std::int64_t(1));
        QCOMPARE(store->customerCount(), std::int64_t(1));
        store->createSchema(); // a current database stays as it is
        QCOMPARE(scalar(*store, "SELECT count(*) FROM schema_version"), std::int64_t(1));
        QVERIFY(pg->run(QStringLiteral("UPDATE schema_version SET version = 99")));
        try {
            store->createSchema();
            QFAIL("a newer schema was accepted");
        } catch (const EDatabaseError &error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(QStringLiteral("schema version 99")), error.what());
        }
        QCOMPARE(store->schemaVersion(), 99);
        return;
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("old.db")).toStdString();
    {
        // The tables exactly as the release before schema versions made them, with a row in each.
        SqliteDatabase old(path, SqliteDatabase::Mode::Create);
        old.exec(R"sql(
PRAGMA journal_mode = DELETE;
CREATE TABLE customer (number TEXT NOT NULL PRIMARY KEY, salt BLOB NOT NULL, digest BLOB NOT NULL,
    iterations INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE wearer (customer TEXT NOT NULL REFERENCES customer(number), traeger_nr INTEGER NOT NULL,
    name TEXT NOT NULL, vorname TEXT NOT NULL, zimmernummer TEXT NOT NULL, liefer_adr_id INTEGER NOT NULL,
    wohnbereich TEXT NOT NULL, PRIMARY KEY (customer, traeger_nr)) WITHOUT ROWID;
CREATE TABLE item (customer TEXT NOT NULL, waesche_id TEXT NOT NULL, traeger_nr INTEGER NOT NULL,
    art_nr TEXT NOT NULL, artikel TEXT NOT NULL, ort TEXT NOT NULL, anz_eingang INTEGER NOT NULL, angelegt TEXT,
    eingang TEXT, ausgang TEXT, letzte_charge TEXT NOT NULL, groesse TEXT NOT NULL, max_wasch INTEGER NOT NULL,
    PRIMARY KEY (customer, waesche_id),
    FOREIGN KEY (customer, traeger_nr) REFERENCES wearer(customer, traeger_nr)) WITHOUT ROWID;
CREATE TABLE wash_process (customer TEXT NOT NULL, wash_id INTEGER NOT NULL, waesche_id TEXT NOT NULL,
    anz_eingang INTEGER NOT NULL, eingang TEXT, ausgang TEXT, charge TEXT NOT NULL, PRIMARY KEY (customer, wash_id),
    FOREIGN KEY (customer, waesche_id) REFERENCES item(customer, waesche_id)) WITHOUT ROWID;
INSERT INTO customer VALUES ('1001', x'00', x'00', 210000);
INSERT INTO wearer VALUES ('1001', 7, 'Müller', 'Jürgen', '2.14', 3, 'Sonnenhof');
INSERT INTO item VALUES ('1001', 'S000001', 7, 'K-1', 'Kasack', 'Schrank', 1, '2020-02-01', '2020-02-03',
    '2020-02-05', '200203-1', 'L', 80);
INSERT INTO wash_process VALUES ('1001', 1, 'S000001', 1, '2020-02-03', '2020-02-05', '200203-1');
)sql");
    }
    LaundryStore store(path, SqliteDatabase::Mode::ReadWrite);
    QCOMPARE(store.schemaVersion(), 1);
    store.createSchema();
    QCOMPARE(store.schemaVersion(), currentSchemaVersion);
    QCOMPARE(scalar(store, "SELECT count(*) FROM schema_version"), std::int64_t(1));
    QCOMPARE(store.count(ListKind::Washes, "1001"), std::int64_t(1));
    QCOMPARE(store.passwordOf("1001")->iterations, 210000); // old hashes stay as they are
    QCOMPARE(scalar(store, "SELECT count(*) FROM sqlite_schema WHERE name = 'wash_process_pass'"), std::int64_t(1));
    store.createSchema(); // a current database stays as it is
    QCOMPARE(scalar(store, "SELECT count(*) FROM schema_version"), std::int64_t(1));
    {
        SqliteStatement journal(store.database(), "PRAGMA journal_mode");
        QVERIFY(journal.step());
        QCOMPARE(std::string(journal.text(0)), std::string("wal")); // the old file used a rollback journal
    }

    // A database of a newer program is refused, not changed.
    store.database().exec("UPDATE schema_version SET version = 99");
    try {
        store.createSchema();
        QFAIL("a newer schema was accepted");
    } catch (const EDatabaseError &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(QStringLiteral("schema version 99")), error.what());
    }
    QCOMPARE(store.schemaVersion(), 99);
}

void TestServiceImport::roundTripThroughTheClientsExport()
{
    LaundryStore source(":memory:", SqliteDatabase::Mode::Create);
    fillDemoData(source, DemoSizes{1, 25, 60, 300}, fixedToday(), fastIterations);
    const std::unique_ptr<Store> owned = emptyStore();
    Store &target = *owned;
    target.setCustomer("1001", hashPassword(demoPassword, fastIterations));
    const std::string credentials = std::string("USER=1001&PW=") + demoPassword;

    const std::pair<ImportKind, ListKind> lists[] = {
        {ImportKind::Wearers, ListKind::Wearers}, {ImportKind::Items, ListKind::Items}, {ImportKind::Washes, ListKind::Washes}};
    for (const auto &[kind, list] : lists) {
        const QList<QStringList> exported = pageThrough(source, list, credentials);
        QCOMPARE(exported.size(), qsizetype(source.count(list, "1001")));
        const QByteArray csv = clientExport(kind, exported);
        QVERIFY2(platform::fromAnsi(csv).toUtf8() != csv, "the export holds no letter beyond ASCII");
        const ImportCounts counts = target.importRecords("1001", parseImport(kind, csv.toStdString()));
        QCOMPARE(counts.added, std::int64_t(exported.size()));
        const QList<QStringList> imported = pageThrough(target, list, credentials);
        if (kind == ImportKind::Washes) // the exported cells: all but the pass's own identifier
            QCOMPARE(withoutWashIds(imported), withoutWashIds(exported));
        else
            QCOMPARE(imported, exported);
    }
}

QTEST_GUILESS_MAIN(TestServiceImport)
#include "tst_service_import.moc"
