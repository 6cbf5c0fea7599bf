// plivora-service as a whole: the real executable on an ephemeral port with a
// small demo database, spoken to over TLS with the desktop client's requests.

#include "platform/PercentCoding.h"
#include "support/PgTestDatabase.h"
#include "support/TlsTestClient.h"

#include <QDate>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>
#include <sys/stat.h>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr const char *password = "Waesche2026";
// Sizes of the test's demo database: small enough for seconds, large enough for many chunks.
constexpr int wearerCount = 60;
constexpr int itemCount = 240;
constexpr int washCount = 1500;
// A customer added by hand whose password needs every kind of encoding.
const QString oddCustomer = QStringLiteral("K 77");
const QString oddPassword = QStringLiteral("Grüße & Co+1%");

enum List { Wearers = 0, Items = 1, Washes = 2 };

const QStringList cellNames[] = {
    {"TraegerNr", "Name", "Vorname", "Zimmernummer", "LieferAdrID", "Wohnbereich"},
    {"WaescheID", "TraegerNr", "Name", "Vorname", "ArtNr", "Artikel", "Ort", "AnzEingang", "Angelegt", "Eingang",
     "LieferAdrID", "Ausgang", "LetzteCharge", "Groesse", "MaxWasch"},
    {"ID", "WaescheID", "TraegerNr", "Name", "Vorname", "ArtNr", "Artikel", "Ort", "AnzEingang", "Angelegt",
     "Eingang", "LieferAdrID", "Ausgang", "Charge", "Groesse", "MaxWasch"},
};
const QStringList encodedCells = {"Name", "Vorname", "Wohnbereich", "Artikel", "Ort"};

int cellIndex(int list, const QString &name)
{
    const int i = cellNames[list].indexOf(name);
    Q_ASSERT_X(i >= 0, "cellIndex", qPrintable(name));
    return i;
}

QString enc(const QString &text)
{
    return platform::percentEncode(text);
}

QString credentials(const QString &user = QStringLiteral("1001"), const QString &pw = QString::fromLatin1(password))
{
    return QStringLiteral("USER=") + enc(user) + QStringLiteral("&PW=") + enc(pw);
}

// The chunk request as the client builds it: every pair, in its order, filters percent-encoded.
std::string chunkTarget(int list, const QString &key, const QMap<QString, QString> &filters,
                        const QString &creds = credentials())
{
    static const char *const paths[] = {"/BewohnerChunk", "/WaescheChunk", "/WaschChunk"};
    static const QStringList wearerNames = {"BewNum", "Vorname", "Name", "WB"};
    static const QStringList itemNames = {"WaescheID", "BewNum",  "Vorname", "Name",    "ARTNR",   "Artikel",
                                          "Charge",    "Groesse", "MaxWasch", "AnzWasch", "AngVor", "AngNach",
                                          "EingVor",   "EingNach", "AusgVor", "AusgNach"};
    QString target = QString::fromLatin1(paths[list]) + QLatin1Char('?') + creds;
    target += list == Wearers ? QStringLiteral("&LBWNum=") : QStringLiteral("&LetzteID=");
    target += key;
    for (const QString &name : list == Wearers ? wearerNames : itemNames)
        target += QLatin1Char('&') + name + QLatin1Char('=') + enc(filters.value(name));
    return target.toStdString();
}

std::string header(const TestReply &reply, const std::string &name)
{
    const auto it = reply.headers.find(name);
    return it == reply.headers.end() ? std::string() : it->second;
}

QString decodeCell(const QString &cell)
{
    QByteArray bytes = cell.toLatin1();
    bytes.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

struct Table
{
    bool wellFormed = false;
    QList<QStringList> rows;
};

Table parseTable(const std::string &body)
{
    Table table;
    QXmlStreamReader xml(QByteArray::fromStdString(body));
    if (!xml.readNextStartElement() || xml.name() != u"table")
        return table;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"tr")
            return table;
        QStringList cells;
        while (xml.readNextStartElement()) {
            if (xml.name() != u"td")
                return table;
            cells << xml.readElementText();
        }
        table.rows << cells;
    }
    table.wellFormed = !xml.hasError();
    return table;
}

struct Paged
{
    QString problem; // empty when every reply had the promised shape
    QList<QStringList> rows; // as sent
    int requests = 0;
};

// Walks a list chunk by chunk as the client does, checking each reply's shape.
Paged pageThrough(TlsTestClient &client, int list, const QMap<QString, QString> &filters = {})
{
    Paged result;
    QString key = list == Wearers ? QStringLiteral("0") : list == Items ? QStringLiteral("S000000")
                                                                         : QStringLiteral("0");
    for (;;) {
        if (++result.requests > 1000)
            return result.problem = QStringLiteral("no end row after 1000 chunks"), result;
        const auto reply = client.get(chunkTarget(list, key, filters));
        if (!reply || reply->status != 200)
            return result.problem = QStringLiteral("status %1").arg(reply ? reply->status : -1), result;
        if (header(*reply, "content-type") != "text/xml; charset=UTF-8")
            return result.problem = QStringLiteral("content type"), result;
        const Table table = parseTable(reply->body);
        if (!table.wellFormed)
            return result.problem = QStringLiteral("not a table: ") + QString::fromStdString(reply->body), result;
        QList<QStringList> data;
        bool ended = false;
        for (const QStringList &row : table.rows) {
            if (ended)
                return result.problem = QStringLiteral("row after the end row"), result;
            if (row.isEmpty() || row.first().isEmpty())
                ended = true;
            else
                data << row;
        }
        if (data.size() > 10)
            return result.problem = QStringLiteral("more than 10 rows"), result;
        if (ended && data.size() == 10)
            return result.problem = QStringLiteral("end row as eleventh row, which the client never reads"), result;
        if (!ended && data.size() < 10)
            return result.problem = QStringLiteral("short chunk without end row"), result;
        result.rows << data;
        if (ended)
            return result;
        key = data.last().first();
    }
}

QList<QStringList> decodedRows(int list, const QList<QStringList> &rows)
{
    QList<QStringList> out;
    for (QStringList row : rows) {
        for (int c = 0; c < row.size(); ++c)
            if (encodedCells.contains(cellNames[list].value(c)))
                row[c] = decodeCell(row[c]);
        out << row;
    }
    return out;
}

QStringList keys(const QList<QStringList> &rows)
{
    QStringList k;
    for (const QStringList &row : rows)
        k << row.first();
    return k;
}

enum class Rule { Prefix, Exact, Greater, DateFrom, DateTo };

struct FilterCondition
{
    QString param;
    QString value; // "@row:N" takes row N's cell; "@prefix:K" the first K letters of the first non-empty
                   // cell; "@umlaut:upper|lower" a cell's start up to its first non-ASCII letter, cased
    QString cell;
    Rule rule;
};

enum class Expect { Subset, Nothing, Everything };

// After a load test: the service still answers a login, and ends cleanly when told to.
void servesALoginThenStopsCleanly(QProcess &service, unsigned short port)
{
    TlsTestClient client(port);
    QVERIFY(client.connect());
    const auto reply = client.get("/Login?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
    service.terminate();
    QVERIFY(service.waitForFinished(10000));
    QCOMPARE(service.exitCode(), 0);
}

} // namespace

Q_DECLARE_METATYPE(QList<FilterCondition>)
Q_DECLARE_METATYPE(Expect)

class TestService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void login_data();
    void login();
    void countsMatchTheDatabase_data();
    void countsMatchTheDatabase();
    void pagingReachesEveryRecordOnceInKeyOrder_data();
    void pagingReachesEveryRecordOnceInKeyOrder();
    void encodedCellsRoundTrip();
    void listsAgreeWithEachOther();
    void filters_data();
    void filters();
    void clientDefaultDatesKeepEveryRecord();
    void badRequests_data();
    void badRequests();
    void desktopClientsTls();
    void oversizeRequests();
    void truncatedRequests();
    void notTlsAtAll();
    void concurrentConnections();
    void connectionCapRefusesCleanly();
    void slowHeaderIsCutButKeptAliveConnectionsMayIdle();
    void connectionsPerAddressAreCapped();
    void repeatedFailedLoginsGet429();
    void interruptedInitDemoBlocksNothing();
    void accessLogHasNoQueryValues();
    void versionIsShown();
    void importWhileServing();

private:
    bool startService(QProcess &process, const QStringList &extra, unsigned short &port);
    QString outputFile(const QProcess &process) const;
    QByteArray outputOf(const QProcess &process) const;
    static bool logShows(QProcess &process, QByteArray &log, const QString &text);
    static void stopService(QProcess &process);
    const QList<QStringList> &fullList(int list);
    void checkAlive();

    QTemporaryDir m_dir;
    // Run once per backend: PLIVORA_TEST_BACKEND=postgresql puts the data into a test database.
    std::optional<PgTestDatabase> m_pg;
    QString m_db;
    QString m_certificateBase; // where the service makes its self-signed certificate
    QProcess m_service;
    QByteArray m_serviceLog;
    unsigned short m_port = 0;
    QList<QStringList> m_full[3];
};

// The access log goes to standard output, a line per request: into a file, so
// that no pipe fills up while a test keeps the service busy.
QString TestService::outputFile(const QProcess &process) const
{
    return m_dir.filePath(QStringLiteral("service-%1.out").arg(reinterpret_cast<quintptr>(&process)));
}

QByteArray TestService::outputOf(const QProcess &process) const
{
    QFile file(outputFile(process));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestService::startService(QProcess &process, const QStringList &extra, unsigned short &port)
{
    process.setProgram(QStringLiteral(PLIVORA_SERVICE_EXE));
    process.setArguments(QStringList{"--db", m_db, "--port", "0"} + extra);
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardOutputFile(outputFile(process), QIODevice::Truncate);
    process.start();
    if (!process.waitForStarted(10000))
        return false;
    QDeadlineTimer deadline(30000);
    QByteArray out;
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        QThread::msleep(50);
        out = outputOf(process);
        const auto match = QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"))
                               .match(QString::fromUtf8(out));
        if (match.hasMatch()) {
            port = static_cast<unsigned short>(match.captured(1).toUInt());
            return port != 0;
        }
    }
    qWarning() << "service did not start:" << out << process.readAllStandardError();
    return false;
}

void TestService::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (qgetenv("PLIVORA_TEST_BACKEND") == "postgresql") {
        m_pg.emplace(QStringLiteral("tst_service"));
        QVERIFY2(m_pg->isValid(), qPrintable(m_pg->error()));
        m_db = m_pg->uri();
        m_certificateBase = m_dir.filePath(QStringLiteral("plivora-service"));
    } else {
        m_db = m_dir.filePath(QStringLiteral("demo.db"));
        m_certificateBase = m_db;
    }
    QProcess init;
    init.start(QStringLiteral(PLIVORA_SERVICE_EXE),
               {"--init-demo", "--db", m_db, "--customers", "2", "--wearers", QString::number(wearerCount),
                "--items", QString::number(itemCount), "--washes", QString::number(washCount)});
    QVERIFY(init.waitForFinished(60000));
    QCOMPARE(init.exitCode(), 0);
    const QString printed = QString::fromUtf8(init.readAllStandardOutput());
    QVERIFY2(printed.contains(QStringLiteral("customer 1001 password Waesche2026")), qPrintable(printed));
    QVERIFY(printed.contains(QStringLiteral("customer 1002 password Waesche2026")));

    QProcess refill;
    refill.start(QStringLiteral(PLIVORA_SERVICE_EXE), {"--init-demo", "--db", m_db});
    QVERIFY(refill.waitForFinished(60000));
    QVERIFY2(refill.exitCode() != 0, "--init-demo must not touch an existing database");

    // The password comes from standard input, never from the command line.
    QProcess add;
    add.start(QStringLiteral(PLIVORA_SERVICE_EXE), {"--db", m_db, "--add-customer", oddCustomer});
    add.write(oddPassword.toUtf8() + "\n");
    add.closeWriteChannel();
    QVERIFY(add.waitForFinished(60000));
    QVERIFY2(add.exitCode() == 0, add.readAllStandardError().constData());
    QProcess none;
    none.start(QStringLiteral(PLIVORA_SERVICE_EXE), {"--db", m_db, "--add-customer", QStringLiteral("5555")});
    none.closeWriteChannel();
    QVERIFY(none.waitForFinished(60000));
    QCOMPARE(none.exitCode(), 1);
    QVERIFY(none.readAllStandardError().contains("No password on standard input"));

    // All of the tests come from one address and fail logins on purpose: the limits on both are raised.
    QVERIFY(startService(m_service,
                         {"--idle-timeout", "2", "--header-timeout", "2", "--max-per-address", "256",
                          "--login-failures", "1000"},
                         m_port));
    QVERIFY(QFile::exists(m_certificateBase + QStringLiteral(".crt")));
    QVERIFY(QFile::exists(m_certificateBase + QStringLiteral(".key")));
    // Key and certificate, and an SQLite database with its WAL files (there while the
    // service runs): the owner's alone.
    QStringList privateFiles{m_certificateBase + QStringLiteral(".key"), m_certificateBase + QStringLiteral(".crt")};
    if (!m_pg) {
        for (const char *suffix : {"", "-wal", "-shm"})
            privateFiles << m_db + QLatin1String(suffix);
    }
    for (const QString &path : privateFiles) {
        struct stat st;
        QVERIFY2(::stat(QFile::encodeName(path).constData(), &st) == 0, qPrintable(path));
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
    }
}

void TestService::cleanupTestCase()
{
    if (m_service.state() != QProcess::Running)
        return;
    m_service.terminate(); // SIGTERM: the service must stop on its own and say so
    QVERIFY(m_service.waitForFinished(10000));
    QCOMPARE(m_service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_service.exitCode(), 0);
}

bool TestService::logShows(QProcess &process, QByteArray &log, const QString &text)
{
    QDeadlineTimer deadline(5000);
    for (;;) {
        log += process.readAllStandardError();
        if (QString::fromUtf8(log).contains(text))
            return true;
        if (deadline.hasExpired() || process.state() != QProcess::Running) {
            qWarning() << "log so far:" << log;
            return false;
        }
        process.waitForReadyRead(100);
    }
}

void TestService::stopService(QProcess &process)
{
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
}

void TestService::checkAlive()
{
    QCOMPARE(m_service.state(), QProcess::Running);
    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    const auto reply = client.get("/Login?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
}

const QList<QStringList> &TestService::fullList(int list)
{
    if (m_full[list].isEmpty()) {
        TlsTestClient client(m_port);
        if (client.connect()) {
            const Paged paged = pageThrough(client, list);
            if (paged.problem.isEmpty())
                m_full[list] = decodedRows(list, paged.rows);
        }
    }
    return m_full[list];
}

void TestService::login_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    QTest::newRow("valid") << credentials() << 200;
    QTest::newRow("second customer") << credentials(QStringLiteral("1002")) << 200;
    QTest::newRow("encoded blank, umlauts, ampersand, plus, per cent")
        << credentials(oddCustomer, oddPassword) << 200;
    QTest::newRow("wrong password") << credentials(QStringLiteral("1001"), QStringLiteral("waesche2026")) << 401;
    QTest::newRow("password of another customer") << credentials(oddCustomer) << 401;
    QTest::newRow("unknown customer") << credentials(QStringLiteral("9999")) << 401;
    QTest::newRow("empty both") << QStringLiteral("USER=&PW=") << 401;
    QTest::newRow("unencoded password cut at its ampersand")
        << QStringLiteral("USER=K+77&PW=Gr%C3%BC%C3%9Fe+&+Co%2B1%25") << 401;
    QTest::newRow("PW missing") << QStringLiteral("USER=1001") << 400;
    QTest::newRow("USER missing") << QStringLiteral("PW=Waesche2026") << 400;
}

void TestService::login()
{
    QFETCH(QString, query);
    QFETCH(int, status);
    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    const auto reply = client.get("/Login?" + query.toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, status);
    if (status == 200) {
        QCOMPARE(header(*reply, "content-type"), std::string("text/xml; charset=UTF-8"));
        const Table table = parseTable(reply->body);
        QVERIFY2(table.wellFormed, reply->body.c_str());
        QVERIFY(table.rows.isEmpty());
    } else {
        QCOMPARE(reply->body, std::string());
    }
    QVERIFY(!reply->headers.count("connection")); // kept alive
}

void TestService::countsMatchTheDatabase_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("customer");
    QTest::addColumn<int>("count");
    for (const char *customer : {"1001", "1002"}) {
        QTest::addRow("wearers %s", customer) << "/BewohnerInit" << QString::fromLatin1(customer) << wearerCount;
        QTest::addRow("items %s", customer) << "/WaescheInit" << QString::fromLatin1(customer) << itemCount;
        QTest::addRow("washes %s", customer) << "/WaschInit" << QString::fromLatin1(customer) << washCount;
    }
    QTest::newRow("customer without data") << "/WaschInit" << oddCustomer << 0;
}

void TestService::countsMatchTheDatabase()
{
    QFETCH(QString, path);
    QFETCH(QString, customer);
    QFETCH(int, count);
    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    const QString pw = customer == oddCustomer ? oddPassword : QString::fromLatin1(password);
    auto reply = client.get((path + QLatin1Char('?') + credentials(customer, pw)).toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
    QCOMPARE(QString::fromStdString(reply->body),
             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><table><tr>%1</tr></table>").arg(count));

    reply = client.get((path + QLatin1Char('?') + credentials(customer, QStringLiteral("falsch"))).toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 401);
    QCOMPARE(reply->body, std::string());
}

void TestService::pagingReachesEveryRecordOnceInKeyOrder_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("total");
    QTest::newRow("wearers") << int(Wearers) << wearerCount;
    QTest::newRow("laundry items") << int(Items) << itemCount;
    QTest::newRow("wash processes") << int(Washes) << washCount;
}

void TestService::pagingReachesEveryRecordOnceInKeyOrder()
{
    QFETCH(int, list);
    QFETCH(int, total);
    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    const Paged paged = pageThrough(client, list); // one kept-alive connection for the whole walk
    QVERIFY2(paged.problem.isEmpty(), qPrintable(paged.problem));
    QCOMPARE(paged.rows.size(), total);
    QCOMPARE(paged.requests, total / 10 + 1);
    for (const QStringList &row : paged.rows)
        QCOMPARE(row.size(), cellNames[list].size());
    const QStringList k = keys(paged.rows);
    for (int i = 1; i < k.size(); ++i) {
        if (list == Items) {
            QVERIFY2(k[i - 1] < k[i], qPrintable(k[i]));
            QVERIFY(QRegularExpression(QStringLiteral("^S\\d{6}$")).match(k[i]).hasMatch());
        } else {
            QVERIFY2(k[i - 1].toLongLong() < k[i].toLongLong(), qPrintable(k[i]));
        }
    }
}

void TestService::encodedCellsRoundTrip()
{
    int withUmlaut = 0;
    for (int list : {Wearers, Items, Washes}) {
        TlsTestClient client(m_port);
        QVERIFY(client.connect());
        const Paged paged = pageThrough(client, list);
        QVERIFY(paged.problem.isEmpty());
        for (const QStringList &row : paged.rows) {
            for (int c = 0; c < row.size(); ++c) {
                const QString &sent = row[c];
                if (!encodedCells.contains(cellNames[list][c])) {
                    QVERIFY2(!sent.contains(QLatin1Char('%')), qPrintable(sent));
                    continue;
                }
                const QString decoded = decodeCell(sent);
                QVERIFY(!decoded.contains(QChar::ReplacementCharacter));
                QCOMPARE(enc(decoded), sent); // the client's own encoding, byte for byte
                if (decoded.contains(QRegularExpression(QStringLiteral("[äöüÄÖÜß]"))))
                    ++withUmlaut;
            }
        }
    }
    QVERIFY(withUmlaut > 50);
}

void TestService::listsAgreeWithEachOther()
{
    const auto &wearers = fullList(Wearers);
    const auto &items = fullList(Items);
    const auto &washes = fullList(Washes);
    QVERIFY(!wearers.isEmpty() && !items.isEmpty() && !washes.isEmpty());
    QHash<QString, QStringList> wearerById, itemById;
    for (const auto &w : wearers)
        wearerById.insert(w[0], w);
    for (const auto &i : items)
        itemById.insert(i[0], i);

    for (const auto &i : items) {
        const QStringList w = wearerById.value(i[cellIndex(Items, "TraegerNr")]);
        QVERIFY(!w.isEmpty());
        for (const char *cell : {"Name", "Vorname", "LieferAdrID"})
            QCOMPARE(i[cellIndex(Items, cell)], w[cellIndex(Wearers, cell)]);
    }
    QHash<QString, int> passes;
    QHash<QString, QStringList> lastPass;
    for (const auto &p : washes) {
        const QString id = p[cellIndex(Washes, "WaescheID")];
        const QStringList i = itemById.value(id);
        QVERIFY(!i.isEmpty());
        for (const char *cell : {"TraegerNr", "Name", "Vorname", "ArtNr", "Artikel", "Ort", "Angelegt",
                                 "LieferAdrID", "Groesse", "MaxWasch"})
            QCOMPARE(p[cellIndex(Washes, cell)], i[cellIndex(Items, cell)]);
        QCOMPARE(p[cellIndex(Washes, "AnzEingang")].toInt(), ++passes[id]);
        lastPass.insert(id, p);
    }
    for (const auto &i : items) {
        const QString id = i[0];
        QCOMPARE(i[cellIndex(Items, "AnzEingang")].toInt(), passes.value(id));
        const QStringList last = lastPass.value(id);
        QCOMPARE(i[cellIndex(Items, "Eingang")], last.isEmpty() ? QString() : last[cellIndex(Washes, "Eingang")]);
        QCOMPARE(i[cellIndex(Items, "LetzteCharge")], last.isEmpty() ? QString() : last[cellIndex(Washes, "Charge")]);
    }
}

void TestService::filters_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<QList<FilterCondition>>("conditions");
    QTest::addColumn<Expect>("expect");
    using R = Rule;
    auto row = [](const char *name, List list, QList<FilterCondition> conditions, Expect expect = Expect::Subset) {
        QTest::newRow(name) << int(list) << conditions << expect;
    };
    // Texts: case-insensitive prefixes, umlauts included.
    row("wearer surname lower-case umlaut", Wearers, {{"Name", "mü", "Name", R::Prefix}});
    row("wearer surname both parts upper case", Wearers, {{"Name", "MÜLLER-LÜ", "Name", R::Prefix}});
    row("wearer first name umlaut upper case", Wearers, {{"Vorname", "@umlaut:upper", "Vorname", R::Prefix}});
    row("living area", Wearers, {{"WB", "haus lindenallee", "Wohnbereich", R::Prefix}});
    row("living area umlaut upper case", Wearers, {{"WB", "@umlaut:upper", "Wohnbereich", R::Prefix}});
    row("wearer number exact", Wearers, {{"BewNum", "@row:3", "TraegerNr", R::Exact}});
    row("wearer number not a number", Wearers, {{"BewNum", "abc", "TraegerNr", R::Exact}}, Expect::Nothing);
    row("SQL in surname", Wearers, {{"Name", "'; DROP TABLE wearer; --", "Name", R::Prefix}}, Expect::Nothing);
    row("LIKE wildcard per cent", Wearers, {{"Name", "%", "Name", R::Prefix}}, Expect::Nothing);
    row("LIKE wildcard underscore", Wearers, {{"Vorname", "_", "Vorname", R::Prefix}}, Expect::Nothing);

    row("item id exact", Items, {{"WaescheID", "@row:7", "WaescheID", R::Exact}});
    row("item wearer number", Items, {{"BewNum", "@row:2", "TraegerNr", R::Exact}});
    row("item surname", Items, {{"Name", "mü", "Name", R::Prefix}});
    row("item first name umlaut lower case", Items, {{"Vorname", "@umlaut:lower", "Vorname", R::Prefix}});
    row("article upper case with sharp s", Items, {{"Artikel", "KASACK WEIß", "Artikel", R::Prefix}});
    row("article umlaut", Items, {{"Artikel", "@umlaut:upper", "Artikel", R::Prefix}});
    row("article number", Items, {{"ARTNR", "101", "ArtNr", R::Prefix}});
    row("last batch", Items, {{"Charge", "@prefix:4", "LetzteCharge", R::Prefix}});
    row("size", Items, {{"Groesse", "x", "Groesse", R::Prefix}});
    row("max washes exact", Items, {{"MaxWasch", "60", "MaxWasch", R::Exact}});
    row("receipts greater than", Items, {{"AnzWasch", "8", "AnzEingang", R::Greater}});
    row("created after", Items, {{"AngNach", "01.01.2015", "Angelegt", R::DateFrom}});
    row("created before", Items, {{"AngVor", "31.12.2004", "Angelegt", R::DateTo}});
    row("received after keeps never received", Items, {{"EingNach", "01.01.2024", "Eingang", R::DateFrom}});
    row("dispatched before keeps undispatched", Items, {{"AusgVor", "01.06.2020", "Ausgang", R::DateTo}});
    row("max washes not a number", Items, {{"MaxWasch", "viele", "MaxWasch", R::Exact}}, Expect::Nothing);
    row("SQL in article", Items, {{"Artikel", "' OR '1'='1", "Artikel", R::Prefix}}, Expect::Nothing);

    row("wash item id", Washes, {{"WaescheID", "@row:5", "WaescheID", R::Exact}});
    row("wash batch", Washes, {{"Charge", "@prefix:4", "Charge", R::Prefix}});
    row("wash receipts greater than", Washes, {{"AnzWasch", "3", "AnzEingang", R::Greater}});
    row("wash surname", Washes, {{"Name", "mü", "Name", R::Prefix}});
    row("wash received in a range", Washes,
        {{"EingNach", "01.01.2020", "Eingang", R::DateFrom}, {"EingVor", "31.12.2022", "Eingang", R::DateTo}});
    row("wash dispatched after keeps undispatched", Washes, {{"AusgNach", "01.01.2025", "Ausgang", R::DateFrom}});
    row("wash surname and article together", Washes,
        {{"Name", "m", "Name", R::Prefix}, {"Artikel", "h", "Artikel", R::Prefix}});
}

void TestService::filters()
{
    QFETCH(int, list);
    QFETCH(QList<FilterCondition>, conditions);
    QFETCH(Expect, expect);
    const QList<QStringList> &all = fullList(list);
    QVERIFY(!all.isEmpty());

    QMap<QString, QString> query;
    QList<std::function<bool(const QStringList &)>> tests;
    for (const FilterCondition &condition : conditions) {
        const int c = cellIndex(list, condition.cell);
        QString value = condition.value;
        if (value.startsWith(QLatin1String("@row:"))) {
            value = all.value(value.mid(5).toInt()).value(c);
        } else if (value.startsWith(QLatin1String("@prefix:"))) {
            const int k = value.mid(8).toInt();
            value.clear();
            for (const QStringList &r : all)
                if (!r[c].isEmpty())
                    value = r[c].left(k);
        } else if (value.startsWith(QLatin1String("@umlaut:"))) {
            const bool upper = value.endsWith(QLatin1String("upper"));
            value.clear();
            for (const QStringList &r : all) {
                const int at = r[c].indexOf(QRegularExpression(QStringLiteral("[^\\x00-\\x7f]")));
                if (at >= 0 && value.isEmpty())
                    value = upper ? r[c].left(at + 1).toUpper() : r[c].left(at + 1).toLower();
            }
        }
        QVERIFY2(!value.isEmpty(), qPrintable(condition.value));
        query.insert(condition.param, value);
        tests << [c, value, rule = condition.rule](const QStringList &r) {
            const QString &cell = r[c];
            switch (rule) {
            case Rule::Prefix: return cell.startsWith(value, Qt::CaseInsensitive);
            case Rule::Exact: return cell == value;
            case Rule::Greater: return cell.toLongLong() > value.toLongLong();
            case Rule::DateFrom:
                return cell.isEmpty() || QDate::fromString(cell, u"dd.MM.yyyy") >= QDate::fromString(value, u"dd.MM.yyyy");
            case Rule::DateTo:
                return cell.isEmpty() || QDate::fromString(cell, u"dd.MM.yyyy") <= QDate::fromString(value, u"dd.MM.yyyy");
            }
            return false;
        };
    }
    QStringList expected;
    for (const QStringList &r : all)
        if (std::all_of(tests.begin(), tests.end(), [&](const auto &t) { return t(r); }))
            expected << r.first();
    switch (expect) {
    case Expect::Subset:
        QVERIFY2(!expected.isEmpty() && expected.size() < all.size(), "the case must narrow the list");
        break;
    case Expect::Nothing:
        expected.clear();
        break;
    case Expect::Everything:
        break;
    }

    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    const Paged paged = pageThrough(client, list, query);
    QVERIFY2(paged.problem.isEmpty(), qPrintable(paged.problem));
    QCOMPARE(keys(paged.rows), expected);
}

void TestService::clientDefaultDatesKeepEveryRecord()
{
    // The client's date pickers start at 01.01.2000 and today; undispatched items must still show.
    const QString today = QDate::currentDate().toString(u"dd.MM.yyyy");
    const QMap<QString, QString> defaults{{"AngVor", today},  {"AngNach", "01.01.2000"}, {"EingVor", today},
                                          {"EingNach", "01.01.2000"}, {"AusgVor", today},
                                          {"AusgNach", "01.01.2000"}};
    for (int list : {Items, Washes}) {
        TlsTestClient client(m_port);
        QVERIFY(client.connect());
        const Paged paged = pageThrough(client, list, defaults);
        QVERIFY2(paged.problem.isEmpty(), qPrintable(paged.problem));
        QCOMPARE(paged.rows.size(), list == Items ? itemCount : washCount);
        const int ausgang = cellIndex(list, "Ausgang");
        QVERIFY(std::any_of(paged.rows.begin(), paged.rows.end(), [&](const auto &r) { return r[ausgang].isEmpty(); }));
    }
}

void TestService::badRequests_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    const QString creds = credentials();
    const QString emptyItemFilters = QStringLiteral(
        "&WaescheID=&BewNum=&Vorname=&Name=&ARTNR=&Artikel=&Charge=&Groesse=&MaxWasch=&AnzWasch="
        "&AngVor=&AngNach=&EingVor=&EingNach=&AusgVor=&AusgNach=");
    QTest::newRow("bad hex digit") << "/Login?USER=1001&PW=Waesche2026%G1" << 400;
    QTest::newRow("per cent at the end") << "/Login?USER=1001&PW=Waesche2026%4" << 400;
    QTest::newRow("bytes that are not UTF-8") << "/Login?USER=1001&PW=%FF%FE" << 400;
    QTest::newRow("bad encoding in a filter")
        << "/BewohnerChunk?" + creds + "&LBWNum=0&BewNum=&Vorname=%zz&Name=&WB=" << 400;
    QTest::newRow("filter missing") << "/BewohnerChunk?" + creds + "&LBWNum=0&BewNum=&Vorname=&Name=" << 400;
    QTest::newRow("paging key missing") << "/WaescheChunk?" + creds + emptyItemFilters << 400;
    QTest::newRow("paging key not a number") << "/BewohnerChunk?" + creds + "&LBWNum=zehn&BewNum=&Vorname=&Name=&WB="
                                             << 400;
    QTest::newRow("wash key not a number") << "/WaschChunk?" + creds + "&LetzteID=S000000" + emptyItemFilters << 400;
    QTest::newRow("date not a calendar day")
        << "/WaschChunk?" + creds + "&LetzteID=0" + QString(emptyItemFilters).replace("AngVor=", "AngVor=31.02.2024")
        << 400;
    QTest::newRow("date in ISO form")
        << "/WaescheChunk?" + creds + "&LetzteID=S000000" + QString(emptyItemFilters).replace("AusgNach=", "AusgNach=2024-01-01")
        << 400;
    QTest::newRow("chunk with a wrong password")
        << "/WaescheChunk?USER=1001&PW=x&LetzteID=S000000" + emptyItemFilters << 401;
    QTest::newRow("unknown parameters ignored") << "/WaschInit?" + creds + "&Sprache=de&x" << 200;
    QTest::newRow("unknown path") << "/Logout?" + creds << 404;
    QTest::newRow("path in lower case") << "/login?" + creds << 404;
    QTest::newRow("root") << "/" << 404;
}

void TestService::badRequests()
{
    QFETCH(QString, target);
    QFETCH(int, status);
    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    auto reply = client.get(target.toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, status);
    if (status != 200)
        QCOMPARE(reply->body, std::string());
    // The same connection goes on serving.
    reply = client.get("/BewohnerInit?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
}

void TestService::desktopClientsTls()
{
    TlsTestClient client(m_port, true);
    QVERIFY(client.connect());
    QCOMPARE(client.protocol(), std::string("TLSv1.2"));
    const auto reply = client.get("/Login?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
}

void TestService::oversizeRequests()
{
    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    const std::string target = "/Login?" + credentials().toStdString() + "&pad=" + std::string(17 * 1024, 'a');
    QVERIFY(client.sendRaw(TlsTestClient::clientRequest(target, m_port)));
    const auto reply = client.readReply();
    QVERIFY(reply);
    QCOMPARE(reply->status, 431);
    QCOMPARE(reply->body, std::string());
    QVERIFY(client.closedByServer(std::chrono::seconds(5)));

    TlsTestClient body(m_port);
    QVERIFY(body.connect());
    QVERIFY(body.sendRaw("GET /Login?" + credentials().toStdString()
                         + " HTTP/1.1\r\nHost: x\r\nContent-Length: 20000\r\n\r\n"));
    const auto tooLarge = body.readReply();
    QVERIFY(tooLarge);
    QCOMPARE(tooLarge->status, 413);

    TlsTestClient post(m_port);
    QVERIFY(post.connect());
    QVERIFY(post.sendRaw("POST /Login HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc"));
    const auto refused = post.readReply();
    QVERIFY(refused);
    QCOMPARE(refused->status, 405);
    checkAlive();
}

void TestService::truncatedRequests()
{
    const std::string half = "GET /Login?" + credentials().toStdString() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAcc";
    {
        // Silent after half a request: the header timeout (2 s here) ends the connection, no reply.
        TlsTestClient client(m_port);
        QVERIFY(client.connect());
        QVERIFY(client.sendRaw(half));
        QVERIFY(client.closedByServer(std::chrono::seconds(8)));
    }
    {
        // Half a request, then gone.
        TlsTestClient client(m_port);
        QVERIFY(client.connect());
        QVERIFY(client.sendRaw(half));
    }
    {
        // A request line that is no HTTP.
        TlsTestClient client(m_port);
        QVERIFY(client.connect());
        QVERIFY(client.sendRaw("HELLO\r\n\r\n"));
        const auto reply = client.readReply();
        QVERIFY(reply);
        QCOMPARE(reply->status, 400);
    }
    {
        // Connected, never said a word: closed after the idle timeout too.
        TlsTestClient client(m_port);
        QVERIFY(client.connect());
        QVERIFY(client.closedByServer(std::chrono::seconds(8)));
    }
    checkAlive();
}

void TestService::notTlsAtAll()
{
    // Plain HTTP to the TLS port: the handshake fails and the service drops the connection.
    const auto received = plainExchange(m_port, "GET /Login HTTP/1.1\r\nHost: x\r\n\r\n",
                                        std::chrono::seconds(8));
    QVERIFY2(received, "the service kept a connection that is not TLS");
    QVERIFY(received->rfind("HTTP/", 0) != 0);
    QVERIFY(logShows(m_service, m_serviceLog, QStringLiteral(": TLS handshake failed: ")));
    checkAlive();
}

void TestService::concurrentConnections()
{
    // An instance with the default idle timeout: the shared one gives a handshake
    // 2 s, which 200 handshakes at once can outlast on a busy machine.
    QProcess busy;
    unsigned short port = 0;
    QVERIFY(startService(busy, {"--max-per-address", "256"}, port));
    const ConcurrentOutcome outcome = runConcurrentGets(port, 200, "/WaescheInit?" + credentials().toStdString());
    QCOMPARE(outcome.ok, 200);
    QCOMPARE(outcome.refused, 0);
    QCOMPARE(outcome.other, 0);

    servesALoginThenStopsCleanly(busy, port);
}

void TestService::connectionCapRefusesCleanly()
{
    QProcess capped;
    unsigned short port = 0;
    QVERIFY(startService(capped, {"--max-connections", "20"}, port));
    const ConcurrentOutcome outcome = runConcurrentGets(port, 200, "/WaescheInit?" + credentials().toStdString());
    QCOMPARE(outcome.other, 0);
    QCOMPARE(outcome.ok + outcome.refused, 200);
    QVERIFY2(outcome.ok >= 20, qPrintable(QString::number(outcome.ok)));
    QVERIFY(outcome.refused > 0);

    servesALoginThenStopsCleanly(capped, port);
}

void TestService::slowHeaderIsCutButKeptAliveConnectionsMayIdle()
{
    QProcess guarded;
    unsigned short port = 0;
    QVERIFY(startService(guarded, {"--header-timeout", "1", "--idle-timeout", "30"}, port));
    QByteArray log;

    // A byte every 200 ms: each is far inside the idle timeout, the whole header
    // would take a minute. The header timeout ends it, long before the idle one could.
    const std::string request = TlsTestClient::clientRequest("/Login?" + credentials().toStdString(), port);
    TlsTestClient slow(port);
    QVERIFY(slow.connect());
    const auto sent = slow.sendTrickling(request, std::chrono::milliseconds(200), std::chrono::seconds(10));
    QVERIFY2(sent, "a header trickled in byte by byte kept its connection");
    QVERIFY(*sent < request.size());
    QVERIFY(logShows(guarded, log, QStringLiteral("127.0.0.1:")));
    QVERIFY(logShows(guarded, log, QStringLiteral(": reading a request failed: ")));

    // Silence between requests is the idle timeout's business, not the header timeout's.
    TlsTestClient client(port);
    QVERIFY(client.connect());
    for (int i = 0; i < 2; ++i) {
        const auto reply = client.get("/Login?" + credentials().toStdString());
        QVERIFY(reply);
        QCOMPARE(reply->status, 200);
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    }
    stopService(guarded);
}

void TestService::connectionsPerAddressAreCapped()
{
    QProcess guarded;
    unsigned short port = 0;
    QVERIFY(startService(guarded, {"--max-per-address", "3"}, port));
    QByteArray log;

    std::vector<std::unique_ptr<TlsTestClient>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<TlsTestClient>(port));
        QVERIFY(held.back()->connect());
    }
    TlsTestClient fourth(port);
    QVERIFY2(!fourth.connect(), "a fourth connection from the same address was served");
    QVERIFY(logShows(guarded, log, QStringLiteral("127.0.0.1 holds 3 connections")));

    // Another address is not affected, and the held connections still serve.
    TlsTestClient elsewhere(port);
    elsewhere.setSourceAddress("127.0.0.2");
    QVERIFY(elsewhere.connect());
    auto reply = elsewhere.get("/Login?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
    reply = held.front()->get("/Login?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);

    // A connection given up makes room again.
    held.pop_back();
    bool admitted = false;
    for (int attempt = 0; attempt < 50 && !admitted; ++attempt) {
        TlsTestClient again(port);
        admitted = again.connect() && again.get("/Login?" + credentials().toStdString());
        if (!admitted)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    QVERIFY2(admitted, "the freed place was never given back");
    stopService(guarded);
}

void TestService::repeatedFailedLoginsGet429()
{
    QProcess guarded;
    unsigned short port = 0;
    QVERIFY(startService(guarded, {"--login-failures", "3", "--login-window", "60"}, port));
    QByteArray log;

    TlsTestClient client(port);
    QVERIFY(client.connect());
    for (const QString &query : {credentials(QStringLiteral("1001"), QStringLiteral("falsch")),
                                 credentials(QStringLiteral("9999")), // an unknown customer counts too
                                 credentials(QStringLiteral("1002"), QStringLiteral("nochmal"))}) {
        const auto reply = client.get("/Login?" + query.toStdString());
        QVERIFY(reply);
        QCOMPARE(reply->status, 401);
    }
    QVERIFY(logShows(guarded, log, QStringLiteral("127.0.0.1: 3 failed logins within 60 s")));

    // Now even the right password is refused, without a word about it, until the window has passed.
    for (const std::string path : {"/Login?", "/WaschInit?"}) {
        const auto reply = client.get(path + credentials().toStdString());
        QVERIFY(reply);
        QCOMPARE(reply->status, 429);
        QCOMPARE(reply->body, std::string());
        const int retryAfter = std::stoi(header(*reply, "retry-after"));
        QVERIFY2(retryAfter >= 1 && retryAfter <= 60, header(*reply, "retry-after").c_str());
    }

    // Another address logs in, and its own failures are its own.
    TlsTestClient elsewhere(port);
    elsewhere.setSourceAddress("127.0.0.2");
    QVERIFY(elsewhere.connect());
    auto reply = elsewhere.get("/Login?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
    reply = elsewhere.get("/Login?" + credentials(QStringLiteral("1001"), QStringLiteral("falsch")).toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 401);
    stopService(guarded);
}

void TestService::interruptedInitDemoBlocksNothing()
{
    if (m_pg)
        QSKIP("an SQLite file of its own whatever the backend: checked in the SQLite run");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString db = dir.filePath(QStringLiteral("interrupted.db"));

    // Big enough to be killed in the middle: every customer's password hash alone takes tens of milliseconds.
    QProcess big;
    big.start(QStringLiteral(PLIVORA_SERVICE_EXE),
              {"--init-demo", "--db", db, "--customers", "100", "--washes", "10000000"});
    QVERIFY(big.waitForStarted(10000));
    QDeadlineTimer deadline(30000);
    while (QDir(dir.path()).isEmpty(QDir::Files) && !deadline.hasExpired() && big.state() == QProcess::Running)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QCOMPARE(big.state(), QProcess::Running);
    big.kill();
    QVERIFY(big.waitForFinished(10000));
    QVERIFY2(!QFile::exists(db), "an interrupted --init-demo left the database behind");

    QProcess again;
    again.start(QStringLiteral(PLIVORA_SERVICE_EXE),
                {"--init-demo", "--db", db, "--wearers", "3", "--items", "5", "--washes", "8"});
    QVERIFY(again.waitForFinished(60000));
    QVERIFY2(again.exitCode() == 0, again.readAllStandardError().constData());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("interrupted.db")});

    QProcess refill;
    refill.start(QStringLiteral(PLIVORA_SERVICE_EXE), {"--init-demo", "--db", db});
    QVERIFY(refill.waitForFinished(60000));
    QVERIFY(refill.exitCode() != 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("interrupted.db")});
}

void TestService::accessLogHasNoQueryValues()
{
    checkAlive();
    TlsTestClient client(m_port);
    QVERIFY(client.connect());
    auto reply = client.get("/WaschInit?" + credentials().toStdString());
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
    const std::size_t countBytes = reply->body.size();
    reply = client.get("/Login?USER=4711&PW=Geheimnis%3F99");
    QVERIFY(reply);
    QCOMPARE(reply->status, 401);
    QVERIFY(logShows(m_service, m_serviceLog, QStringLiteral("warning: failed login for customer \"4711\" from 127.0.0.1")));

    // Time (ISO 8601, UTC), address, method, path, status, body bytes, microseconds.
    const QRegularExpression line(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6}Z 127\\.0\\.0\\.1 GET (/\\w+) (\\d{3}) (\\d+) (\\d+)$"));
    QStringList seen;
    QDeadlineTimer deadline(5000);
    while (seen.size() < 2 && !deadline.hasExpired()) {
        seen.clear();
        const QStringList lines = QString::fromUtf8(outputOf(m_service)).split(QLatin1Char('\n'));
        for (const QString &text : lines) {
            const auto match = line.match(text);
            if (match.hasMatch() && match.captured(1) == QLatin1String("/WaschInit") && match.captured(3).toULongLong() == countBytes)
                seen << QStringLiteral("count");
            if (match.hasMatch() && match.captured(1) == QLatin1String("/Login") && match.captured(2) == QLatin1String("401")
                && match.captured(3) == QLatin1String("0"))
                seen << QStringLiteral("refused");
        }
        seen.removeDuplicates();
        QThread::msleep(50);
    }
    const QByteArray log = outputOf(m_service);
    QVERIFY2(seen.size() == 2, log.right(2000).constData());
    for (const char *secret : {"Waesche2026", "Geheimnis", "Gr%C3%BC", "PW=", "USER=", "?"})
        QVERIFY2(!log.contains(secret), secret);
    QVERIFY(!m_serviceLog.contains("Geheimnis"));
}

void TestService::versionIsShown()
{
    QProcess version;
    version.start(QStringLiteral(PLIVORA_SERVICE_EXE), {"--version"});
    QVERIFY(version.waitForFinished(10000));
    QCOMPARE(version.exitCode(), 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^plivora-service \\d+\\.\\d+(\\.\\d+)*\n$"))
                 .match(QString::fromUtf8(version.readAllStandardOutput()))
                 .hasMatch(),
             "no version line");
}

// Last: it changes the served data. The import writes while the service reads
// (SQLite in WAL mode; PostgreSQL in its own transaction).
void TestService::importWhileServing()
{
    const QString csv = m_dir.filePath(QStringLiteral("Bewohner.csv"));
    const auto runImport = [&](const QByteArray &content, QByteArray &err) {
        QFile file(csv);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return -1;
        file.write(content);
        file.close();
        QProcess import;
        import.start(QStringLiteral(PLIVORA_SERVICE_EXE),
                     {"--db", m_db, "--import", "wearers", csv, "--customer", "1002"});
        import.waitForFinished(60000);
        err = import.readAllStandardError();
        return import.exitCode();
    };
    const auto count = [&] {
        TlsTestClient client(m_port);
        const auto reply = client.connect() ? client.get("/BewohnerInit?" + credentials(QStringLiteral("1002")).toStdString())
                                            : std::nullopt;
        const auto match = QRegularExpression(QStringLiteral("<tr>(\\d+)</tr>"))
                               .match(QString::fromStdString(reply ? reply->body : std::string()));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    };
    const int before = count();
    QCOMPARE(before, wearerCount);
    const QByteArray head = "TraegerNr;Name;Vorname;Zimmernummer;LieferAdrID;Wohnbereich\r\n";
    QByteArray err;
    // windows-1252, as the client writes; the third record is bad, so nothing comes in.
    QCOMPARE(runImport(head + "90001;M\xFCller;J\xFCrgen;1.01;1;Sonnenhof\r\n90002;A;B;1;1;X\r\n90003;A;B;1;eins;X\r\n;;;;;\r\n", err), 1);
    QVERIFY2(err.contains("line 4: LieferAdrID is not a whole number: \"eins\"") && err.contains("nothing was imported"),
             err.constData());
    QCOMPARE(count(), before);
    QCOMPARE(runImport(head + "90001;M\xFCller;J\xFCrgen;1.01;1;Sonnenhof\r\n90002;A;B;1;1;X\r\n;;;;;\r\n", err), 0);
    QCOMPARE(count(), before + 2);
    QCOMPARE(runImport(head + "90001;M\xFCller;J\xFCrgen;1.01;1;Sonnenhof\r\n;;;;;\r\n", err), 0);
    QCOMPARE(count(), before + 2);
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
