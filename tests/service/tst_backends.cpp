// The service on SQLite and on PostgreSQL side by side: the same demo data give
// the same bytes for every request; two instances share one PostgreSQL database;
// the database going away and coming back under a running service.

#include "service/PgStore.h"
#include "support/PgTestDatabase.h"
#include "support/TlsTestClient.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

using Filters = QMap<QString, QString>;

namespace {

const QString creds = QStringLiteral("USER=1001&PW=Waesche2026");
const char *const demoSizes[] = {"--customers", "2", "--wearers", "40", "--items", "160", "--washes", "600"};

// The chunk request with every pair in the client's order; `set` overrides some (already encoded).
std::string chunk(int list, const QString &key, const QMap<QString, QString> &set = {}, const QString &user = creds)
{
    static const char *const paths[] = {"/BewohnerChunk", "/WaescheChunk", "/WaschChunk"};
    static const QStringList wearerNames = {"BewNum", "Vorname", "Name", "WB"};
    static const QStringList itemNames = {"WaescheID", "BewNum", "Vorname", "Name", "ARTNR", "Artikel",
                                          "Charge", "Groesse", "MaxWasch", "AnzWasch", "AngVor", "AngNach",
                                          "EingVor", "EingNach", "AusgVor", "AusgNach"};
    QString target = QString::fromLatin1(paths[list]) + QLatin1Char('?') + user
                     + (list == 0 ? QStringLiteral("&LBWNum=") : QStringLiteral("&LetzteID=")) + key;
    for (const QString &name : list == 0 ? wearerNames : itemNames)
        target += QLatin1Char('&') + name + QLatin1Char('=') + set.value(name);
    return target.toStdString();
}

// The key of the last data row of a chunk reply, empty after the end row.
QString lastKey(const std::string &body)
{
    static const QRegularExpression row(QStringLiteral("<tr><td>([^<]+)</td>"));
    QString key;
    auto it = row.globalMatch(QString::fromStdString(body));
    int rows = 0;
    while (it.hasNext()) {
        key = it.next().captured(1);
        ++rows;
    }
    return rows == 10 ? key : QString();
}

QString shown(const std::optional<TestReply> &reply)
{
    if (!reply)
        return QStringLiteral("(no reply)");
    QString content;
    if (auto it = reply->headers.find("content-type"); it != reply->headers.end())
        content = QString::fromStdString(it->second);
    return QStringLiteral("%1 [%2] %3").arg(reply->status).arg(content, QString::fromStdString(reply->body));
}

// Standard output and error go into a file: the access log writes a line per
// request, and a pipe nobody reads would stall the service.
struct Instance
{
    QProcess process;
    unsigned short port = 0;
    QString outputPath;

    QByteArray output() const
    {
        QFile file(outputPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

bool startService(Instance &instance, const QString &dir, const QStringList &arguments)
{
    instance.outputPath = dir + QStringLiteral("/service-%1.out").arg(reinterpret_cast<quintptr>(&instance));
    instance.process.setWorkingDirectory(dir);
    instance.process.setProcessChannelMode(QProcess::MergedChannels);
    instance.process.setStandardOutputFile(instance.outputPath, QIODevice::Truncate);
    instance.process.start(QStringLiteral(PLIVORA_SERVICE_EXE), arguments + QStringList{"--port", "0"});
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && instance.process.state() != QProcess::NotRunning) {
        instance.process.waitForFinished(100); // a pause that ends early if the service fails
        const auto match = QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"))
                               .match(QString::fromUtf8(instance.output()));
        if (match.hasMatch()) {
            instance.port = static_cast<unsigned short>(match.captured(1).toUInt());
            return true;
        }
    }
    qWarning() << "service did not start:" << instance.output();
    return false;
}

// `input` goes to standard input (the password of --add-customer).
bool runService(const QStringList &arguments, QByteArray *output = nullptr, const QByteArray &input = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(PLIVORA_SERVICE_EXE), arguments);
    p.write(input);
    p.closeWriteChannel();
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = p.readAll();
    return ok;
}

bool runScript(const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("bash"), QStringList{PgTestDatabase::clusterScript()} + arguments);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestBackends : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void sameRepliesOnBothBackends_data();
    void sameRepliesOnBothBackends();
    void twoInstancesServeOneClientInTurns();
    void chunkQueriesAreIndexRangeScans();
    void unknownCustomerCostsWhatAWrongPasswordCosts();
    void credentialCheckAroundTheQueries();
    void importGivesSameRepliesOnBothBackends();
    void poolHasTheConnectionsTheOptionSays();
    void unreachableDatabaseAtStart();
    void databaseStoppedAndRestarted();

private:
    QTemporaryDir m_dir;
    std::optional<PgTestDatabase> m_pg;
    Instance m_sqlite, m_postgres, m_second;
};

void TestBackends::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_pg.emplace(QStringLiteral("tst_backends"));
    QVERIFY2(m_pg->isValid(), qPrintable(m_pg->error()));
    const QString file = m_dir.filePath(QStringLiteral("demo.db"));
    QStringList sizes;
    for (const char *s : demoSizes)
        sizes << QString::fromLatin1(s);
    for (const QString &db : {file, m_pg->uri()}) {
        QByteArray out;
        QVERIFY2(runService(QStringList{"--init-demo", "--db", db} + sizes, &out), out.constData());
        QVERIFY2(runService({"--db", db, "--add-customer", "K 77"}, &out, "Grüße & Co+1%\n"), out.constData());
    }
    QVERIFY(startService(m_sqlite, m_dir.path(), {"--db", file}));
    // Both PostgreSQL instances share the certificate the first instance made.
    const QStringList tls{"--cert", file + ".crt", "--key", file + ".key"};
    QVERIFY(startService(m_postgres, m_dir.path(), QStringList{"--db", m_pg->uri()} + tls));
    QVERIFY(startService(m_second, m_dir.path(), QStringList{"--db", m_pg->uri()} + tls));
}

void TestBackends::cleanupTestCase()
{
    for (Instance *i : {&m_sqlite, &m_postgres, &m_second}) {
        if (i->process.state() == QProcess::Running) {
            i->process.terminate();
            QVERIFY(i->process.waitForFinished(10000));
            QCOMPARE(i->process.exitCode(), 0);
        }
    }
}

void TestBackends::sameRepliesOnBothBackends_data()
{
    // Every request, and for chunk requests the walk through the whole list from that key on.
    QTest::addColumn<int>("list"); // -1: a single request, not walked
    QTest::addColumn<QString>("key");
    QTest::addColumn<Filters>("filters");
    QTest::addColumn<QString>("target");
    using F = QMap<QString, QString>;
    const auto single = [](const char *name, const QString &target) {
        QTest::newRow(name) << -1 << QString() << F() << target;
    };
    single("login", QStringLiteral("/Login?") + creds);
    single("login wrong password", QStringLiteral("/Login?USER=1001&PW=waesche2026"));
    single("login unknown", QStringLiteral("/Login?USER=9999&PW=Waesche2026"));
    single("login odd customer", QStringLiteral("/Login?USER=K%2077&PW=Gr%C3%BC%C3%9Fe%20%26%20Co%2B1%25"));
    single("login customer with byte 0", QStringLiteral("/Login?USER=1001%00&PW=Waesche2026"));
    single("login without password", QStringLiteral("/Login?USER=1001"));
    single("unknown path", QStringLiteral("/Nope?") + creds);
    for (const char *path : {"/BewohnerInit", "/WaescheInit", "/WaschInit"}) {
        single(path, QString::fromLatin1(path) + QLatin1Char('?') + creds);
        single((QByteArray(path) + " second customer").constData(),
               QString::fromLatin1(path) + QStringLiteral("?USER=1002&PW=Waesche2026"));
        single((QByteArray(path) + " empty customer").constData(),
               QString::fromLatin1(path) + QStringLiteral("?USER=K%2077&PW=Gr%C3%BC%C3%9Fe%20%26%20Co%2B1%25"));
    }
    single("chunk wrong password", QString::fromStdString(chunk(2, "0", {}, QStringLiteral("USER=1001&PW=x"))));
    single("chunk bad date", QString::fromStdString(chunk(1, "S000000", {{"AngVor", "31.02.2020"}})));
    single("chunk bad key", QString::fromStdString(chunk(2, "x")));
    single("chunk missing pair", QStringLiteral("/WaschChunk?") + creds + QStringLiteral("&LetzteID=0"));

    const auto walk = [](const char *name, int list, const QString &key, const F &filters = {}) {
        QTest::newRow(name) << list << key << filters << QString();
    };
    walk("wearers", 0, "0");
    walk("wearers from a negative key", 0, "-5");
    walk("wearers after the last", 0, "99999999999");
    walk("items", 1, "S000000");
    walk("items from an empty key", 1, "");
    walk("items between keys", 1, "S0000095");
    walk("items lower-case key", 1, "s");
    walk("items key with byte 0", 1, "S000010%00x");
    walk("items key beyond ASCII", 1, "%C3%9C");
    walk("washes", 2, "0");
    walk("washes from the middle", 2, "333");
    walk("wearer first names lower umlaut", 0, "0", {{"Vorname", "j%C3%BC"}});
    walk("wearer first names upper umlaut", 0, "0", {{"Vorname", "J%C3%9C"}});
    walk("wearer surnames", 0, "0", {{"Name", "SCH"}});
    walk("wearer surnames sharp s", 0, "0", {{"Name", "wei%C3%9F"}});
    walk("wearer living area", 0, "0", {{"WB", "haus+%C3%84"}});
    walk("wearer number", 0, "0", {{"BewNum", "7"}});
    walk("wearer number not a number", 0, "0", {{"BewNum", "7a"}});
    walk("wearer name with byte 0", 0, "0", {{"Name", "M%00"}});
    for (int list : {1, 2}) {
        const QByteArray p = list == 1 ? "items " : "washes ";
        const QString k = list == 1 ? QStringLiteral("S000000") : QStringLiteral("0");
        walk(p + "item id", list, k, {{"WaescheID", "S000042"}});
        walk(p + "wearer", list, k, {{"BewNum", "3"}});
        walk(p + "surname umlaut", list, k, {{"Name", "M%C3%9C"}});
        walk(p + "first name", list, k, {{"Vorname", "h"}});
        walk(p + "article number", list, k, {{"ARTNR", "1"}});
        walk(p + "article", list, k, {{"Artikel", "HOSE"}});
        walk(p + "batch", list, k, {{"Charge", "2"}});
        walk(p + "size", list, k, {{"Groesse", "x"}});
        walk(p + "max washes", list, k, {{"MaxWasch", "100"}});
        walk(p + "washes above", list, k, {{"AnzWasch", "4"}});
        walk(p + "created range", list, k, {{"AngNach", "01.01.2010"}, {"AngVor", "31.12.2015"}});
        walk(p + "received range", list, k, {{"EingNach", "15.03.2012"}, {"EingVor", "15.03.2020"}});
        walk(p + "dispatched up to", list, k, {{"AusgVor", "01.06.2018"}});
        walk(p + "dispatched from", list, k, {{"AusgNach", "01.06.2018"}});
        walk(p + "every date on one day", list, k,
             {{"AngNach", "01.01.2000"}, {"AngVor", "01.01.2000"}, {"EingNach", "01.01.2000"},
              {"EingVor", "01.01.2000"}, {"AusgNach", "01.01.2000"}, {"AusgVor", "01.01.2000"}});
        walk(p + "several at once", list, k, {{"Name", "m"}, {"Artikel", "h"}, {"AnzWasch", "1"}});
    }
}

void TestBackends::sameRepliesOnBothBackends()
{
    QFETCH(int, list);
    QFETCH(QString, key);
    QFETCH(Filters, filters);
    QFETCH(QString, target);
    TlsTestClient sqlite(m_sqlite.port), postgres(m_postgres.port);
    QVERIFY(sqlite.connect());
    QVERIFY(postgres.connect());
    const auto compare = [&](const std::string &request) -> std::optional<TestReply> {
        const auto a = sqlite.get(request), b = postgres.get(request);
        if (!a || !b || a->status != b->status || a->body != b->body
            || a->headers.count("content-type") != b->headers.count("content-type")) {
            qWarning().noquote() << "request:" << QString::fromStdString(request) << "\nSQLite:" << shown(a)
                                 << "\nPostgreSQL:" << shown(b);
            return std::nullopt;
        }
        return a;
    };
    if (list < 0) {
        QVERIFY(compare(target.toStdString()));
        return;
    }
    // Every chunk of the walk, each after the key the previous one ended with.
    int chunks = 0;
    for (;;) {
        const auto reply = compare(chunk(list, key, filters));
        QVERIFY(reply);
        QVERIFY(++chunks < 200);
        key = lastKey(reply->body);
        if (key.isEmpty())
            break;
    }
}

void TestBackends::twoInstancesServeOneClientInTurns()
{
    // One client's loading of the wash list, each request to the other instance, against one SQLite walk.
    TlsTestClient clients[] = {TlsTestClient(m_postgres.port), TlsTestClient(m_second.port)};
    TlsTestClient reference(m_sqlite.port);
    QVERIFY(clients[0].connect());
    QVERIFY(clients[1].connect());
    QVERIFY(reference.connect());
    int turn = 0;
    const auto both = [&](const std::string &target) {
        const auto got = clients[turn++ % 2].get(target);
        const auto expected = reference.get(target);
        QVERIFY(got && expected);
        QCOMPARE(got->status, 200);
        QCOMPARE(got->body, expected->body);
    };
    both("/Login?" + creds.toStdString());
    both("/WaschInit?" + creds.toStdString());
    QString key = QStringLiteral("0");
    int chunks = 0;
    for (;;) {
        const std::string target = chunk(2, key);
        const auto got = clients[turn++ % 2].get(target);
        const auto expected = reference.get(target);
        QVERIFY(got && expected);
        QCOMPARE(got->status, 200);
        QCOMPARE(got->body, expected->body);
        ++chunks;
        key = lastKey(got->body);
        if (key.isEmpty())
            break;
    }
    QCOMPARE(chunks, 600 / 10 + 1);
}

void TestBackends::chunkQueriesAreIndexRangeScans()
{
    service::PgStore store(m_pg->uri().toStdString());
    const struct
    {
        service::ListKind list;
        const char *table;
        const char *key;
    } lists[] = {{service::ListKind::Wearers, "wearer", "traeger_nr"},
                 {service::ListKind::Items, "item", "waesche_id"},
                 {service::ListKind::Washes, "wash_process", "wash_id"}};
    for (const auto &l : lists) {
        const QString plan = QString::fromStdString(store.chunkQueryPlan(l.list));
        const QString scan = QStringLiteral("Index Scan using %1_pkey on %1").arg(QLatin1String(l.table));
        const QRegularExpression range(QStringLiteral("Index Cond: \\(\\(customer = .*\\) AND \\(%1 > .*\\)\\)")
                                           .arg(QLatin1String(l.key)));
        QVERIFY2(plan.contains(scan), qPrintable(plan));
        QVERIFY2(plan.contains(range), qPrintable(plan));
        QVERIFY2(!plan.contains(QStringLiteral("Seq Scan")), qPrintable(plan));
        QVERIFY2(!plan.contains(QStringLiteral("Sort")), qPrintable(plan));
    }
}

// The check shared by both backends: on PostgreSQL too, a customer number without
// a record (also one no text column can hold) costs one full PBKDF2 run.
void TestBackends::unknownCustomerCostsWhatAWrongPasswordCosts()
{
    service::PgStore store(m_pg->uri().toStdString());
    service::VerifiedCredentials verified;
    auto workOf = [&](std::string_view customer, const char *password) {
        const std::uint64_t before = service::pbkdf2IterationsRun();
        const bool accepted = store.checkCredentials(customer, password, verified);
        return std::pair(accepted, service::pbkdf2IterationsRun() - before);
    };
    const auto wrongPassword = workOf("1001", "falsch");
    const auto unknownCustomer = workOf("9999", "falsch");
    const auto customerWithByte0 = workOf(std::string_view("1001\0", 5), "Waesche2026");
    QVERIFY(!wrongPassword.first);
    QVERIFY(!unknownCustomer.first);
    QVERIFY(!customerWithByte0.first);
    QCOMPARE(wrongPassword.second, std::uint64_t(service::defaultPbkdf2Iterations));
    QCOMPARE(unknownCustomer.second, wrongPassword.second);
    QCOMPARE(customerWithByte0.second, wrongPassword.second);
    QVERIFY(workOf("1001", "Waesche2026").first);
}

// The password lookup shares a round trip with the request's query: the outcome
// follows the stored password at once (a change made by another connection
// included), and the connection serves plain calls again afterwards, also after
// a read without a query or one that throws.
void TestBackends::credentialCheckAroundTheQueries()
{
    service::PgStore store(m_pg->uri().toStdString());
    service::PgStore other(m_pg->uri().toStdString());
    service::VerifiedCredentials verified;
    other.setCustomer("P 42", service::hashPassword("alt", 1000));
    const auto expected = store.wearerChunk("1001", 0, {}, 10);
    QVERIFY(!expected.empty());
    std::vector<service::Row> rows;
    auto check = [&](std::string_view customer, const char *password) {
        rows.clear();
        return store.checkCredentialsAround(customer, password, verified,
                                            [&] { rows = store.wearerChunk(customer, 0, {}, 10); });
    };
    QVERIFY(check("1001", "Waesche2026"));
    QCOMPARE(rows, expected);
    QVERIFY(!check("1001", "falsch"));
    QVERIFY(!check("9999", "Waesche2026"));
    QVERIFY(check("P 42", "alt"));
    other.setCustomer("P 42", service::hashPassword("neu", 1000));
    QVERIFY(!check("P 42", "alt"));
    QVERIFY(check("P 42", "neu"));

    QVERIFY(store.checkCredentialsAround("1001", "Waesche2026", verified, [] {}));
    QCOMPARE(store.wearerChunk("1001", 0, {}, 10), expected);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, store.checkCredentialsAround("1001", "Waesche2026", verified, [] {
        throw std::runtime_error("read failed");
    }));
    QCOMPARE(store.wearerChunk("1001", 0, {}, 10), expected);
}

// The same export files imported into each backend (for the customer without
// data, while the instances serve) give the same bytes on every walk; so does
// importing them again, which must not add a row.
void TestBackends::importGivesSameRepliesOnBothBackends()
{
    const QString user = QStringLiteral("USER=K%2077&PW=Gr%C3%BC%C3%9Fe%20%26%20Co%2B1%25");
    const QStringList surnames{"Müller", "Weiß", "Özdemir", "Schäfer", "Groß", "Mueller"};
    QString wearers = QStringLiteral("TraegerNr;Name;Vorname;Zimmernummer;LieferAdrID;Wohnbereich\r\n");
    for (int n = 1; n <= 15; ++n)
        wearers += QStringLiteral("%1;%2;Jürgen %1;%3;%4;\"Haus Lindenallee; %5. OG\"\r\n")
                       .arg(n * 3)
                       .arg(surnames[n % surnames.size()])
                       .arg(QStringLiteral("2.%1").arg(n))
                       .arg(n % 4)
                       .arg(n % 3);
    QString items = QStringLiteral("WaescheID;TraegerNr;Name;Vorname;ArtNr;Artikel;Ort;AnzEingang;Angelegt;Eingang;"
                                   "LieferAdrID;Ausgang;LetzteCharge;Groesse;MaxWasch\r\n");
    QString washes = QStringLiteral("WaescheID;TraegerNr;Name;Vorname;ArtNr;Artikel;Ort;AnzEingang;Angelegt;Eingang;"
                                    "LieferAdrID;Ausgang;Charge;Groesse;MaxWasch\r\n");
    for (int n = 1; n <= 25; ++n) {
        const QString id = QStringLiteral("S1%1").arg(n, 5, 10, QLatin1Char('0'));
        const int passes = n % 4;
        // Every third item is out right now: received, not yet dispatched.
        const bool out = n % 3 == 0 && passes > 0;
        items += QStringLiteral("%1;%2;;;K-%3;Kasack weiß;%4;%5;%6.01.2015;%7;0;%8;%9;%10;80\r\n")
                     .arg(id)
                     .arg((n % 15 + 1) * 3)
                     .arg(n % 7)
                     .arg(out ? QStringLiteral("Wäscherei") : QStringLiteral("Schrank"))
                     .arg(passes)
                     .arg(n % 28 + 1, 2, 10, QLatin1Char('0'))
                     .arg(passes ? QStringLiteral("%1.03.2020").arg(passes * 5, 2, 10, QLatin1Char('0')) : QString())
                     .arg(passes && !out ? QStringLiteral("%1.03.2020").arg(passes * 5 + 2, 2, 10, QLatin1Char('0'))
                                         : QString())
                     .arg(passes ? QStringLiteral("2003%1-%2").arg(passes * 5, 2, 10, QLatin1Char('0')).arg(n % 3 + 1)
                                 : QString())
                     .arg(n % 2 ? QStringLiteral("L") : QStringLiteral("XL"));
        for (int pass = 1; pass <= passes; ++pass)
            washes += QStringLiteral("%1;0;;;;;;%2;;%3.03.2020;0;%4;2003%3-%5;;\r\n")
                          .arg(id)
                          .arg(pass)
                          .arg(pass * 5, 2, 10, QLatin1Char('0'))
                          .arg(pass == passes && out ? QString()
                                                     : QStringLiteral("%1.03.2020").arg(pass * 5 + 2, 2, 10, QLatin1Char('0')))
                          .arg(n % 3 + 1);
    }
    const QString closing = QStringLiteral(";;;;;\r\n");
    const std::pair<const char *, QString> files[] = {
        {"wearers", wearers + closing}, {"items", items + QStringLiteral(";;;;;;;;;;;;;;\r\n")},
        {"washes", washes + QStringLiteral(";;;;;;;;;;;;;;\r\n")}};
    for (const auto &[kind, text] : files) {
        const QString path = m_dir.filePath(QString::fromLatin1(kind) + QStringLiteral(".csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toLatin1()); // windows-1252, as the client writes; these letters are the same in Latin-1
        file.close();
    }
    const QString sqliteFile = m_dir.filePath(QStringLiteral("demo.db"));
    const auto importAll = [&](int round) {
        for (const QString &db : {sqliteFile, m_pg->uri()}) {
            for (const auto &[kind, text] : files) {
                QByteArray out;
                const QString path = m_dir.filePath(QString::fromLatin1(kind) + QStringLiteral(".csv"));
                if (!runService({"--db", db, "--import", QString::fromLatin1(kind), path, "--customer", "K 77"}, &out)) {
                    qWarning().noquote() << "round" << round << kind << QString::fromUtf8(out);
                    return false;
                }
            }
        }
        return true;
    };
    QVERIFY(importAll(1));

    TlsTestClient sqlite(m_sqlite.port), postgres(m_postgres.port);
    QVERIFY(sqlite.connect());
    QVERIFY(postgres.connect());
    const auto same = [&](const std::string &request) -> std::optional<TestReply> {
        const auto a = sqlite.get(request), b = postgres.get(request);
        if (!a || !b || a->status != 200 || a->status != b->status || a->body != b->body) {
            qWarning().noquote() << "request:" << QString::fromStdString(request) << "\nSQLite:" << shown(a)
                                 << "\nPostgreSQL:" << shown(b);
            return std::nullopt;
        }
        return a;
    };
    const auto compareAll = [&]() {
        const char *const counts[] = {"/BewohnerInit?", "/WaescheInit?", "/WaschInit?"};
        const char *const expected[] = {"<tr>15</tr>", "<tr>25</tr>", "<tr>37</tr>"};
        for (int list = 0; list < 3; ++list) {
            const auto reply = same(counts[list] + user.toStdString());
            if (!reply || reply->body.find(expected[list]) == std::string::npos)
                return false;
        }
        const std::pair<int, Filters> walks[] = {
            {0, {}}, {1, {}}, {2, {}}, {0, {{"Name", "m%C3%BC"}}}, {0, {{"WB", "haus+lindenallee%3B+1"}}},
            {1, {{"Artikel", "KASACK+WEI%C3%9F"}, {"AusgNach", "10.03.2020"}}}, {2, {{"AnzWasch", "1"}}},
            {2, {{"EingNach", "10.03.2020"}, {"EingVor", "15.03.2020"}}}};
        for (const auto &[list, filters] : walks) {
            QString key = list == 1 ? QStringLiteral("S000000") : QStringLiteral("0");
            for (int chunks = 0; !key.isEmpty(); ++chunks) {
                const auto reply = same(chunk(list, key, filters, user));
                if (!reply || chunks > 20)
                    return false;
                key = lastKey(reply->body);
            }
        }
        return true;
    };
    QVERIFY(compareAll());
    QVERIFY(importAll(2)); // replaces in place: the same counts, ids and cells
    QVERIFY(compareAll());
}

// Counted by the server: the instance holds as many connections as --db-connections says.
void TestBackends::poolHasTheConnectionsTheOptionSays()
{
    PgTestDatabase db(QStringLiteral("tst_backends_pool"));
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString file = m_dir.filePath(QStringLiteral("demo.db"));
    for (const char *connections : {"3", "1"}) {
        Instance service;
        QVERIFY(startService(service, m_dir.path(),
                             {"--db", db.uri(), "--db-connections", connections, "--cert", file + ".crt", "--key",
                              file + ".key"}));
        QVERIFY(db.run(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()"
                                      " AND application_name = 'plivora-service'")));
        QCOMPARE(db.output().trimmed(), QString::fromLatin1(connections));
        service.process.terminate();
        QVERIFY(service.process.waitForFinished(10000));
    }
}

void TestBackends::unreachableDatabaseAtStart()
{
    const QString secret = QStringLiteral("TopSecret7");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_dir.path());
    p.start(QStringLiteral(PLIVORA_SERVICE_EXE),
            {"--db", QStringLiteral("postgresql://plivora:%1@%2Fnonexistent-plivora:5/x").arg(secret), "--port", "0"});
    QVERIFY(p.waitForFinished(20000));
    const QString out = QString::fromUtf8(p.readAll());
    QVERIFY(p.exitCode() != 0);
    QVERIFY2(out.contains(QStringLiteral("Cannot connect to the PostgreSQL database")), qPrintable(out));
    QVERIFY2(!out.contains(secret), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("listening")));
}

void TestBackends::databaseStoppedAndRestarted()
{
    // A cluster of its own: stopping the shared one would pull it from under the other tests.
    const QString uriFile = m_dir.filePath(QStringLiteral("own-cluster.uri"));
    QVERIFY(runScript({"start", uriFile}));
    struct StopCluster
    {
        QString file;
        ~StopCluster() { runScript({"stop", file}); }
    } stopAtEnd{uriFile};
    QFile f(uriFile);
    QVERIFY(f.open(QIODevice::ReadOnly));
    // The password is not needed (the test cluster trusts local users) but must never be printed.
    const QString secret = QStringLiteral("TopSecret7");
    QString uri = QString::fromUtf8(f.readAll()).trimmed();
    uri.replace(QStringLiteral("plivora@"), QStringLiteral("plivora:%1@").arg(secret));
    QByteArray out;
    QVERIFY2(runService({"--init-demo", "--db", uri, "--customers", "1", "--wearers", "5", "--items", "20",
                         "--washes", "50"},
                        &out),
             out.constData());
    QVERIFY(!out.contains(secret.toUtf8()));

    Instance service;
    QVERIFY(startService(service, m_dir.path(),
                         {"--db", uri, "--cert", m_dir.filePath("demo.db.crt"), "--key", m_dir.filePath("demo.db.key")}));
    const std::string count = "/WaschInit?" + creds.toStdString();
    const auto ask = [&]() -> int {
        TlsTestClient client(service.port);
        if (!client.connect())
            return -1;
        const auto reply = client.get(count);
        return reply ? reply->status : -1;
    };
    QCOMPARE(ask(), 200);

    QVERIFY(runScript({"ctl", uriFile, "stop"}));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(ask(), 503); // at once, and again: no hang, no crash
    QCOMPARE(service.process.state(), QProcess::Running);

    QVERIFY(runScript({"ctl", uriFile, "start"}));
    int status = 0;
    for (QDeadlineTimer back(20000); !back.hasExpired() && status != 200; QTest::qWait(100))
        status = ask();
    QCOMPARE(status, 200);

    service.process.terminate();
    QVERIFY(service.process.waitForFinished(10000));
    QCOMPARE(service.process.exitCode(), 0);
    const QByteArray output = service.output();
    QVERIFY2(output.contains("503") || output.contains("request failed"), output.constData());
    QVERIFY2(!output.contains(secret.toUtf8()), output.constData());
}

QTEST_GUILESS_MAIN(TestBackends)
#include "tst_backends.moc"
