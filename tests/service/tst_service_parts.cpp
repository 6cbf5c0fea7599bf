// The service's parts without a socket: folding, query decoding, dates,
// passwords, the store's queries and paging, demo data, options, certificate.

#include "contract/ListContract.h"
#include "service/Certificate.h"
#include "service/DayDate.h"
#include "service/DemoData.h"
#include "service/LaundryStore.h"
#include "service/PasswordHash.h"
#include "platform/PercentCoding.h"
#include "service/QueryString.h"
#include "service/RequestHandler.h"
#include "service/ServiceOptions.h"
#include "service/TableReply.h"
#include "service/TextFold.h"

#include <QTemporaryDir>
#include <QtTest>

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>

using namespace service;

namespace {

constexpr int fastIterations = 1000; // the tests check the logic, not the cost

std::chrono::sys_days fixedToday()
{
    return std::chrono::sys_days{std::chrono::year(2026) / std::chrono::March / std::chrono::day(15)};
}

std::string str(const QString &s)
{
    return s.toStdString();
}

} // namespace

class TestServiceParts : public QObject
{
    Q_OBJECT

private slots:
    void prefixIgnoresCase_data();
    void prefixIgnoresCase();
    void percentDecode_data();
    void percentDecode();
    void percentDecodeUndoesTheClientsEncoding();
    void queryParameters();
    void germanDates_data();
    void germanDates();
    void passwords();
    void chunkQueriesArePrimaryKeyRangeScans();
    void endRowOnlyWhenFewerThanTenRemain_data();
    void endRowOnlyWhenFewerThanTenRemain();
    void cellsAreEscaped();
    void demoDataIsDeterministicAndRealistic();
    void dateCellsAreTheListsDateCells();
    void options_data();
    void options();
    void configFile_data();
    void configFileTakesPostgresUri();
    void configFile();
    void selfSignedCertificate();
};

void TestServiceParts::prefixIgnoresCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("matches");
    QTest::newRow("ascii") << "Schmidt" << "SCHM" << true;
    QTest::newRow("lower umlaut") << "Müller" << "mü" << true;
    QTest::newRow("upper umlaut") << "müller" << "MÜLL" << true;
    QTest::newRow("capital umlaut first") << "Öztürk" << "öz" << true;
    QTest::newRow("capital sharp s") << "WEIẞ" << "weiß" << true;
    QTest::newRow("sharp s is no ss") << "Straße" << "strasse" << false;
    QTest::newRow("umlaut is no plain vowel") << "Müller" << "mu" << false;
    QTest::newRow("Latin Extended-A") << "Łukasz" << "ł" << true;
    QTest::newRow("accent") << "Émile" << "é" << true;
    QTest::newRow("empty prefix") << "Müller" << "" << true;
    QTest::newRow("prefix longer than text") << "Mü" << "müller" << false;
    QTest::newRow("two-part name") << "Müller-Lüdenscheidt" << "MÜLLER-LÜ" << true;
    QTest::newRow("not inside") << "Hans-Jürgen" << "jür" << false;
}

void TestServiceParts::prefixIgnoresCase()
{
    QFETCH(QString, text);
    QFETCH(QString, prefix);
    QFETCH(bool, matches);
    QCOMPARE(startsWithFolded(str(text), foldCase(str(prefix))), matches);
    QCOMPARE(foldCase(str(text)).starts_with(foldCase(str(prefix))), matches);
}

void TestServiceParts::percentDecode_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("plus is blank") << "Haus+Lindenallee" << true << "Haus Lindenallee";
    QTest::newRow("upper hex") << "Wei%C3%9F" << true << "Weiß";
    QTest::newRow("lower hex") << "wei%c3%9f" << true << "weiß";
    QTest::newRow("encoded plus and per cent") << "%2B%25" << true << "+%";
    QTest::newRow("raw UTF-8") << "Müller" << true << "Müller";
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("lone per cent") << "%" << false << "";
    QTest::newRow("one digit at the end") << "ab%4" << false << "";
    QTest::newRow("not hex") << "%G1" << false << "";
    QTest::newRow("not UTF-8") << "%FF" << false << "";
    QTest::newRow("cut UTF-8") << "%C3" << false << "";
    QTest::newRow("overlong slash") << "%C0%AF" << false << "";
    QTest::newRow("surrogate") << "%ED%A0%80" << false << "";
}

void TestServiceParts::percentDecode()
{
    QFETCH(QString, encoded);
    QFETCH(bool, valid);
    QFETCH(QString, decoded);
    const auto result = service::percentDecode(str(encoded));
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(QString::fromStdString(*result), decoded);
}

void TestServiceParts::percentDecodeUndoesTheClientsEncoding()
{
    for (const QString &text : {QStringLiteral("Grüße & Co+1%"), QStringLiteral("'; DROP TABLE item; --"),
                               QStringLiteral("a=b?c#d"), QStringLiteral("€ 😀 ẞ"), QStringLiteral("  ")}) {
        const auto back = service::percentDecode(str(platform::percentEncode(text)));
        QVERIFY(back);
        QCOMPARE(QString::fromStdString(*back), text);
    }
}

void TestServiceParts::queryParameters()
{
    const auto q = QueryParameters::fromTarget("/WaschChunk?USER=1001&PW=a%26b&Name=&x&&USER=2002&Vor+name=M%C3%BC");
    QVERIFY(q);
    QCOMPARE(q->path(), std::string("/WaschChunk"));
    QCOMPARE(*q->value("USER"), std::string("1001")); // the first of two wins
    QCOMPARE(*q->value("PW"), std::string("a&b"));
    QCOMPARE(*q->value("Name"), std::string());
    QCOMPARE(*q->value("x"), std::string());
    QCOMPARE(*q->value("Vor name"), std::string("Mü"));
    QVERIFY(!q->value("WB"));
    QVERIFY(!q->value("user"));

    const auto bare = QueryParameters::fromTarget("/Login");
    QVERIFY(bare);
    QCOMPARE(bare->path(), std::string("/Login"));
    QVERIFY(!bare->value("USER"));
    QVERIFY(!QueryParameters::fromTarget("/Login?USER=%"));
    QVERIFY(!QueryParameters::fromTarget("/Login?%zz=1"));
}

void TestServiceParts::germanDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("iso");
    QTest::newRow("plain") << "24.12.2025" << "2025-12-24";
    QTest::newRow("leap day") << "29.02.2024" << "2024-02-29";
    QTest::newRow("no leap day") << "29.02.2023" << "";
    QTest::newRow("31 April") << "31.04.2020" << "";
    QTest::newRow("day zero") << "00.01.2000" << "";
    QTest::newRow("month 13") << "01.13.2000" << "";
    QTest::newRow("year zero") << "01.01.0000" << "";
    QTest::newRow("one digit") << "1.1.2000" << "";
    QTest::newRow("ISO") << "2000-01-01" << "";
    QTest::newRow("letters") << "aa.bb.cccc" << "";
    QTest::newRow("trailing blank") << "01.01.2000 " << "";
}

void TestServiceParts::germanDates()
{
    QFETCH(QString, text);
    QFETCH(QString, iso);
    const auto result = isoFromGerman(str(text));
    QCOMPARE(result.has_value(), !iso.isEmpty());
    if (result) {
        QCOMPARE(QString::fromStdString(*result), iso);
        QCOMPARE(QString::fromStdString(germanFromIso(*result)), text);
    }
}

void TestServiceParts::passwords()
{
    const PasswordHash a = hashPassword("Wäsche2026", fastIterations);
    const PasswordHash b = hashPassword("Wäsche2026", fastIterations);
    QVERIFY(a.salt != b.salt);
    QVERIFY(a.digest != b.digest);
    QVERIFY(verifyPassword("Wäsche2026", a));
    QVERIFY(verifyPassword("Wäsche2026", b));
    QVERIFY(!verifyPassword("wäsche2026", a));
    QVERIFY(!verifyPassword("", a));
    PasswordHash tampered = a;
    tampered.digest[5] ^= 1;
    QVERIFY(!verifyPassword("Wäsche2026", tampered));

    LaundryStore store(":memory:", SqliteDatabase::Mode::Create);
    store.createSchema();
    store.setCustomer("1001", a);
    VerifiedCredentials verified;
    QVERIFY(!store.checkCredentials("1001", "falsch", verified));
    QVERIFY(!store.checkCredentials("1002", "Wäsche2026", verified));
    QVERIFY(store.checkCredentials("1001", "Wäsche2026", verified));
    QVERIFY(verified.contains("1001", a, "Wäsche2026"));
    QVERIFY(!verified.contains("1001", a, "falsch"));
    // A new password replaces the remembered check of the old one.
    store.setCustomer("1001", hashPassword("Neu", fastIterations));
    QVERIFY(!store.checkCredentials("1001", "Wäsche2026", verified));
    QVERIFY(store.checkCredentials("1001", "Neu", verified));

    // New hashes take the current work factor; one stored with another count still verifies.
    QCOMPARE(hashPassword("Neu").iterations, 600000);
    store.setCustomer("1002", hashPassword("Alt", 210000));
    QVERIFY(store.checkCredentials("1002", "Alt", verified));
}

void TestServiceParts::chunkQueriesArePrimaryKeyRangeScans()
{
    LaundryStore store(":memory:", SqliteDatabase::Mode::Create);
    store.createSchema();
    const std::pair<ListKind, const char *> expected[] = {
        {ListKind::Wearers, "SEARCH wearer USING PRIMARY KEY (customer=? AND traeger_nr>?)"},
        {ListKind::Items, "SEARCH i USING PRIMARY KEY (customer=? AND waesche_id>?)"},
        {ListKind::Washes, "SEARCH p USING PRIMARY KEY (customer=? AND wash_id>?)"},
    };
    for (const auto &[list, range] : expected) {
        const QString plan = QString::fromStdString(store.chunkQueryPlan(list));
        const QStringList steps = plan.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(steps.value(0) == QLatin1String(range), qPrintable(plan));
        for (const QString &step : steps) {
            QVERIFY2(!step.startsWith(QLatin1String("SCAN")), qPrintable(plan));
            QVERIFY2(!step.contains(QLatin1String("TEMP B-TREE")), qPrintable(plan)); // no sorting
        }
    }
}

void TestServiceParts::endRowOnlyWhenFewerThanTenRemain_data()
{
    QTest::addColumn<int>("wearers");
    QTest::addColumn<QList<int>>("chunks"); // rows per reply; a trailing -1 marks the reply with the end row
    QTest::newRow("none") << 0 << QList<int>{0, -1};
    QTest::newRow("three") << 3 << QList<int>{3, -1};
    QTest::newRow("exactly ten") << 10 << QList<int>{10, 0, -1};
    QTest::newRow("twenty") << 20 << QList<int>{10, 10, 0, -1};
    QTest::newRow("twenty-five") << 25 << QList<int>{10, 10, 5, -1};
}

void TestServiceParts::endRowOnlyWhenFewerThanTenRemain()
{
    QFETCH(int, wearers);
    QFETCH(QList<int>, chunks);
    LaundryStore store(":memory:", SqliteDatabase::Mode::Create);
    store.createSchema();
    store.setCustomer("7", hashPassword("pw", fastIterations));
    auto insert = store.database().prepare(
        "INSERT INTO wearer VALUES ('7', :nr, 'Name', 'Vorname', '1.01', 11, 'Wohnbereich Sonnenhof')");
    for (int i = 0; i < wearers; ++i) {
        insert.bind(":nr", std::int64_t{5 * i + 3});
        insert.step();
        insert.reset();
    }
    VerifiedCredentials verified;
    RequestHandler handler(verified);
    std::int64_t key = 0;
    chunks.removeLast();
    for (int c = 0; c < chunks.size(); ++c) {
        const Reply reply = handler.handle(
            store, "/BewohnerChunk?USER=7&PW=pw&LBWNum=" + std::to_string(key) + "&BewNum=&Vorname=&Name=&WB=");
        QCOMPARE(reply.status, 200u);
        const QString body = QString::fromStdString(reply.body);
        const bool last = c + 1 == chunks.size();
        QCOMPARE(body.count(QStringLiteral("<tr><td></td></tr>")), last ? 1 : 0);
        QCOMPARE(body.count(QStringLiteral("<tr>")), chunks[c] + (last ? 1 : 0));
        if (last)
            QVERIFY(body.endsWith(QStringLiteral("<tr><td></td></tr></table>")));
        key += 5 * chunks[c];
    }
}

void TestServiceParts::cellsAreEscaped()
{
    const std::vector<Row> rows{{"12", "Weiß & Söhne", "Ünal", "<1.01>", "11", "Haus \"A\""}};
    QCOMPARE(QString::fromStdString(chunkReply(ListKind::Wearers, rows, true)),
             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><table><tr><td>12</td>"
                            "<td>Wei%C3%9F+%26+S%C3%B6hne</td><td>%C3%9Cnal</td><td>&lt;1.01&gt;</td><td>11</td>"
                            "<td>Haus+%22A%22</td></tr><tr><td></td></tr></table>"));
}

void TestServiceParts::demoDataIsDeterministicAndRealistic()
{
    const DemoSizes sizes{2, 40, 300, 1200};
    auto everything = [&](LaundryStore &store) {
        std::vector<Row> all;
        for (const char *customer : {"1001", "1002"}) {
            for (auto &r : store.wearerChunk(customer, 0, {}, 1 << 20))
                all.push_back(r);
            for (auto &r : store.itemChunk(customer, "", {}, 1 << 20))
                all.push_back(r);
            for (auto &r : store.washChunk(customer, 0, {}, 1 << 20))
                all.push_back(r);
        }
        return all;
    };
    LaundryStore first(":memory:", SqliteDatabase::Mode::Create);
    LaundryStore second(":memory:", SqliteDatabase::Mode::Create);
    const auto customers = fillDemoData(first, sizes, fixedToday(), fastIterations);
    fillDemoData(second, sizes, fixedToday(), fastIterations);
    QCOMPARE(customers.size(), std::size_t{2});
    QCOMPARE(customers[0].number, std::string("1001"));
    QCOMPARE(customers[0].password, std::string(demoPassword));
    const std::vector<Row> a = everything(first);
    QVERIFY(a == everything(second));
    QCOMPARE(a.size(), std::size_t{2 * (40 + 300 + 1200)});
    QCOMPARE(first.count(ListKind::Washes, "1002"), std::int64_t{1200});
    QVERIFY(first.wearerChunk("1001", 0, {}, 100) != first.wearerChunk("1002", 0, {}, 100));

    bool twoPartName = false, sharpS = false, undispatched = false;
    const QDate earliest(2000, 1, 1), latest(2026, 3, 15);
    for (const auto &item : first.itemChunk("1001", "", {}, 1 << 20)) {
        twoPartName |= item[2] == "Müller-Lüdenscheidt";
        sharpS |= QString::fromStdString(item[5]).contains(QChar(0xDF));
        undispatched |= !item[9].empty() && item[11].empty();
        for (int c : {8, 9, 11}) {
            if (item[c].empty())
                continue;
            const QDate d = QDate::fromString(QString::fromStdString(item[c]), u"dd.MM.yyyy");
            QVERIFY2(d.isValid() && d >= earliest && d <= latest, item[c].c_str());
        }
    }
    QVERIFY(twoPartName && sharpS && undispatched);
}

void TestServiceParts::dateCellsAreTheListsDateCells()
{
    // A cell holds dates exactly where the list says so: a flag missing sends
    // ISO dates to the client, a flag too many sends a non-date as if converted.
    LaundryStore store(":memory:", SqliteDatabase::Mode::Create);
    fillDemoData(store, {1, 20, 100, 300}, fixedToday(), fastIterations);
    const std::pair<const contract::ListContract *, std::vector<Row>> chunks[] = {
        {&contract::wearers, store.wearerChunk("1001", 0, {}, 1 << 20)},
        {&contract::items, store.itemChunk("1001", "", {}, 1 << 20)},
        {&contract::washes, store.washChunk("1001", 0, {}, 1 << 20)},
    };
    for (const auto &[list, rows] : chunks) {
        QVERIFY(!rows.empty());
        for (int cell = 1; cell <= list->cellCount(); ++cell) {
            bool anyValue = false, allDates = true;
            for (const Row &row : rows) {
                QCOMPARE(int(row.size()), list->cellCount());
                const std::string &value = row[std::size_t(cell - 1)];
                if (value.empty())
                    continue;
                anyValue = true;
                allDates &= QDate::fromString(QString::fromStdString(value), u"dd.MM.yyyy").isValid();
            }
            const QByteArray where = QByteArray::fromStdString(std::string(list->chunkPath)) + " cell "
                + QByteArray::number(cell);
            QVERIFY2(anyValue, where.constData());
            QVERIFY2(allDates == list->isDateCell(cell), where.constData());
        }
    }
}

void TestServiceParts::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("defaults") << QStringList{} << "";
    QTest::newRow("ephemeral port") << QStringList{"--port", "0", "--host", "127.0.0.1"} << "";
    QTest::newRow("inline value") << QStringList{"--port=8443"} << "";
    QTest::newRow("demo sizes") << QStringList{"--init-demo", "--wearers", "5", "--items", "9"} << "";
    QTest::newRow("limits") << QStringList{"--max-per-address", "64", "--header-timeout=5", "--login-failures", "20",
                                           "--login-window", "300"}
                            << "";
    QTest::newRow("database connections") << QStringList{"--db-connections", "16"} << "";
    QTest::newRow("no database connection") << QStringList{"--db-connections", "0"} << "--db-connections";
    QTest::newRow("port too big") << QStringList{"--port", "70000"} << "--port";
    QTest::newRow("header timeout zero") << QStringList{"--header-timeout", "0"} << "--header-timeout";
    QTest::newRow("port missing") << QStringList{"--port"} << "needs a value";
    QTest::newRow("sizes without demo") << QStringList{"--wearers", "5"} << "--init-demo";
    QTest::newRow("items without wearers") << QStringList{"--init-demo", "--wearers", "0"} << "wearer";
    QTest::newRow("cert without key") << QStringList{"--cert", "a.pem"} << "--key";
    QTest::newRow("unknown") << QStringList{"--verbose"} << "Unknown option";
    QTest::newRow("value on a switch") << QStringList{"--help=yes"} << "takes no value";
    QTest::newRow("add customer") << QStringList{"--add-customer", "1001"} << "";
    QTest::newRow("password never an argument") << QStringList{"--add-customer", "1001", "geheim"} << "Unknown option \"geheim\"";
    QTest::newRow("import") << QStringList{"--import", "washes", "W.csv", "--customer", "1001"} << "";
    QTest::newRow("import without customer") << QStringList{"--import", "items", "W.csv"} << "--customer";
    QTest::newRow("import of an unknown list") << QStringList{"--import", "things", "W.csv", "--customer", "1"}
                                               << "wearers, items or washes";
    QTest::newRow("import and demo") << QStringList{"--import", "items", "W.csv", "--customer", "1", "--init-demo"}
                                     << "do not go together";
    QTest::newRow("version") << QStringList{"--version"} << "";
}

void TestServiceParts::configFile_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: accepted, port 9001, host 0.0.0.0, 5 login failures
    QTest::newRow("top level") << QByteArray("# comment\nport = 9001\nhost=0.0.0.0\n; other\nlogin-failures = 5\n"
                                             "db-connections = 7\n")
                               << QStringList{} << "";
    QTest::newRow("in its section") << QByteArray("[plivora-service]\nport = 9001\nhost = 0.0.0.0\nlogin-failures = 5\n")
                                    << QStringList{} << "";
    QTest::newRow("command line wins wherever it stands")
        << QByteArray("port = 8443\nhost = 127.0.0.1\nlogin-failures = 5\n")
        << QStringList{"--port", "9001", "--config", "CONFIG", "--host=0.0.0.0"} << "";
    QTest::newRow("bad value") << QByteArray("port = 99999\n") << QStringList{} << "--port needs a whole number";
    QTest::newRow("unknown key") << QByteArray("prot = 1\n") << QStringList{} << "unknown setting \"prot\"";
    QTest::newRow("an action") << QByteArray("init-demo = yes\n") << QStringList{} << "\"init-demo\" is no setting";
    QTest::newRow("other section") << QByteArray("[client]\nport = 1\n") << QStringList{} << "unknown section [client]";
    QTest::newRow("syntax") << QByteArray("port = 1\nhost\n") << QStringList{} << "line 2";
    QTest::newRow("missing file") << QByteArray() << QStringList{} << "Cannot read the configuration file";
}

void TestServiceParts::configFile()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("service.ini"));
    if (!ini.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    if (!arguments.contains(QStringLiteral("--config")))
        arguments << QStringLiteral("--config") << QStringLiteral("CONFIG");
    std::vector<std::string> args;
    for (const QString &a : arguments)
        args.push_back(str(a == QLatin1String("CONFIG") ? path : a));
    const auto parsed = parseServiceOptions(args);
    if (!error.isEmpty()) {
        QVERIFY(std::holds_alternative<std::string>(parsed));
        QVERIFY2(QString::fromStdString(std::get<std::string>(parsed)).contains(error),
                 std::get<std::string>(parsed).c_str());
        return;
    }
    QVERIFY2(std::holds_alternative<ServiceOptions>(parsed),
             std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed).c_str() : "");
    const auto &o = std::get<ServiceOptions>(parsed);
    QCOMPARE(o.port, 9001);
    QCOMPARE(o.host, std::string("0.0.0.0"));
    QCOMPARE(o.loginFailureLimit, 5);
    QCOMPARE(o.threads, 2); // not in the file: the default
    QCOMPARE(o.databaseConnections, QTest::currentDataTag() == QByteArray("top level") ? 7 : 4);
}

// A libpq URI holds ":", "/", "@", "?" and "=": all of it is the value.
void TestServiceParts::configFileTakesPostgresUri()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("service.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[plivora-service]\ndb = postgresql://plivora@db.example:5432/laundry?sslmode=require\n");
    file.close();
    const auto parsed = parseServiceOptions({"--config", str(path)});
    QVERIFY2(std::holds_alternative<ServiceOptions>(parsed),
             std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed).c_str() : "");
    QCOMPARE(std::get<ServiceOptions>(parsed).databasePath,
             std::string("postgresql://plivora@db.example:5432/laundry?sslmode=require"));
    QVERIFY(isPostgresUri(std::get<ServiceOptions>(parsed).databasePath));
}

void TestServiceParts::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    std::vector<std::string> args;
    for (const QString &a : arguments)
        args.push_back(str(a));
    const auto parsed = parseServiceOptions(args);
    if (error.isEmpty()) {
        QVERIFY2(std::holds_alternative<ServiceOptions>(parsed),
                 std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed).c_str() : "");
    } else {
        QVERIFY(std::holds_alternative<std::string>(parsed));
        QVERIFY2(QString::fromStdString(std::get<std::string>(parsed)).contains(error),
                 std::get<std::string>(parsed).c_str());
    }
    if (arguments.startsWith(QStringLiteral("--import")) && error.isEmpty()) {
        const auto &o = std::get<ServiceOptions>(parsed);
        QCOMPARE(o.importKind, std::optional<ImportKind>(ImportKind::Washes));
        QCOMPARE(o.importFile, std::string("W.csv"));
        QCOMPARE(o.importCustomer, std::string("1001"));
    }
    if (arguments == QStringList{"--port=8443"})
        QCOMPARE(std::get<ServiceOptions>(parsed).port, 8443);
    if (arguments.startsWith(QStringLiteral("--max-per-address"))) {
        const auto &o = std::get<ServiceOptions>(parsed);
        QCOMPARE(o.maxConnectionsPerAddress, 64);
        QCOMPARE(o.headerTimeoutSeconds, 5);
        QCOMPARE(o.loginFailureLimit, 20);
        QCOMPARE(o.loginWindowSeconds, 300);
    }
    if (arguments.isEmpty()) {
        const auto &o = std::get<ServiceOptions>(parsed);
        QCOMPARE(o.host, std::string("127.0.0.1"));
        QCOMPARE(o.port, 8080);
        QCOMPARE(o.demoSizes.washes, 15000);
        QCOMPARE(o.maxConnectionsPerAddress, 32);
        QCOMPARE(o.headerTimeoutSeconds, 10);
    }
}

void TestServiceParts::selfSignedCertificate()
{
    QTemporaryDir dir;
    const std::string crt = str(dir.filePath("s.db.crt")), key = str(dir.filePath("s.db.key"));
    QVERIFY(ensureSelfSignedCertificate(crt, key));
    QVERIFY(!ensureSelfSignedCertificate(crt, key)); // kept, not replaced
    QCOMPARE(QFile::permissions(QString::fromStdString(key)) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());

    FILE *cf = std::fopen(crt.c_str(), "r");
    FILE *kf = std::fopen(key.c_str(), "r");
    QVERIFY(cf && kf);
    X509 *cert = PEM_read_X509(cf, nullptr, nullptr, nullptr);
    EVP_PKEY *pkey = PEM_read_PrivateKey(kf, nullptr, nullptr, nullptr);
    std::fclose(cf);
    std::fclose(kf);
    QVERIFY(cert && pkey);
    QCOMPARE(X509_check_private_key(cert, pkey), 1);
    QCOMPARE(X509_check_host(cert, "localhost", 0, 0, nullptr), 1);
    QCOMPARE(X509_check_ip_asc(cert, "127.0.0.1", 0), 1);
    X509_free(cert);
    EVP_PKEY_free(pkey);

    QVERIFY(QFile::remove(QString::fromStdString(crt)));
    QVERIFY_THROWS_EXCEPTION(ECertificateError, ensureSelfSignedCertificate(crt, key));
}

QTEST_GUILESS_MAIN(TestServiceParts)
#include "tst_service_parts.moc"
