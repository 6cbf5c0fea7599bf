#include "platform/AnsiCodePage.h"
#include "output/CsvExport.h"
#include "platform/ErrorBox.h"
#include "app/Startup.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "dataview/widgets/TStringGrid.h"
#include "app/UPlivora.h"
#include "contract/ListContract.h"
#include "dataview/UPlivoraDaten.h"
#include "support/PgTestDatabase.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <utility>

namespace {

using Records = QList<QStringList>;

const QString customer = QStringLiteral("1001");
const QString password = QStringLiteral("Waesche2026");

// Sizes that are no multiple of the ten-row chunk, so every list ends in a
// partial chunk followed by the end row.
const int wearerCount = 23;
const int itemCount = 37;
const int washCount = 45;

// Expected cells straight from the tables, in key order, shaped like the
// sheet's columns: dates as dd.MM.yyyy, empty where the column is NULL.
const char *const sheetSql[3] = {
    "SELECT traeger_nr, name, vorname, zimmernummer, liefer_adr_id, wohnbereich"
    " FROM wearer WHERE customer = ?1 ORDER BY traeger_nr",

    "SELECT i.waesche_id, i.traeger_nr, w.name, w.vorname, i.art_nr, i.artikel, i.ort, i.anz_eingang,"
    " i.angelegt, i.eingang, w.liefer_adr_id, i.ausgang, i.letzte_charge, i.groesse, i.max_wasch"
    " FROM item i JOIN wearer w ON w.customer = i.customer AND w.traeger_nr = i.traeger_nr"
    " WHERE i.customer = ?1 ORDER BY i.waesche_id",

    // The wash id only pages the list; the sheet starts at the item.
    "SELECT p.waesche_id, i.traeger_nr, w.name, w.vorname, i.art_nr, i.artikel, i.ort, p.anz_eingang,"
    " i.angelegt, p.eingang, w.liefer_adr_id, p.ausgang, p.charge, i.groesse, i.max_wasch"
    " FROM wash_process p"
    " JOIN item i ON i.customer = p.customer AND i.waesche_id = p.waesche_id"
    " JOIN wearer w ON w.customer = i.customer AND w.traeger_nr = i.traeger_nr"
    " WHERE p.customer = ?1 ORDER BY p.wash_id",
};

const QStringList headers[3] = {
    {"TraegerNr", "Name", "Vorname", "Zimmernummer", "LieferAdrID", "Wohnbereich"},
    {"WaescheID", "TraegerNr", "Name", "Vorname", "ArtNr", "Artikel", "Ort", "AnzEingang", "Angelegt", "Eingang",
     "LieferAdrID", "Ausgang", "LetzteCharge", "Groesse", "MaxWasch"},
    {"WaescheID", "TraegerNr", "Name", "Vorname", "ArtNr", "Artikel", "Ort", "AnzEingang", "Angelegt", "Eingang",
     "LieferAdrID", "Ausgang", "Charge", "Groesse", "MaxWasch"},
};

const QString csvFiles[3] = {QStringLiteral("Bewohner.csv"), QStringLiteral("Wäsche.csv"),
                             QStringLiteral("Waschevorgänge.csv")};

struct SqliteCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct StatementFinalizer
{
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

// Reads one sheet's records from the database; the error text when that fails.
std::optional<QString> readSheetRecords(const QString &dbPath, int sheet, Records &out)
{
    sqlite3 *raw = nullptr;
    const int openResult = sqlite3_open_v2(dbPath.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    if (openResult != SQLITE_OK)
        return QStringLiteral("open: %1").arg(QString::fromUtf8(sqlite3_errmsg(raw)));
    sqlite3_stmt *rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), sheetSql[sheet], -1, &rawStatement, nullptr) != SQLITE_OK)
        return QStringLiteral("prepare: %1").arg(QString::fromUtf8(sqlite3_errmsg(db.get())));
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(rawStatement);
    const std::span<const contract::Column> columns = contract::lists[sheet]->columns;
    if (sqlite3_column_count(statement.get()) != int(columns.size()))
        return QStringLiteral("the query selects %1 columns, the sheet has %2")
            .arg(sqlite3_column_count(statement.get()))
            .arg(columns.size());
    const QByteArray number = customer.toUtf8();
    sqlite3_bind_text(statement.get(), 1, number.constData(), int(number.size()), SQLITE_TRANSIENT);
    int step;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        QStringList cells;
        for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement.get(), c));
            QString cell = text ? QString::fromUtf8(text, sqlite3_column_bytes(statement.get(), c)) : QString();
            if (columns[std::size_t(c)].date && !cell.isEmpty()) {
                const QDate day = QDate::fromString(cell, Qt::ISODate);
                if (!day.isValid())
                    return QStringLiteral("stored date \"%1\" is no ISO date").arg(cell);
                cell = day.toString(QStringLiteral("dd.MM.yyyy"));
            }
            cells << cell;
        }
        out << cells;
    }
    if (step != SQLITE_DONE)
        return QStringLiteral("step: %1").arg(QString::fromUtf8(sqlite3_errmsg(db.get())));
    return std::nullopt;
}

// The same on PostgreSQL, through psql: fields split by US, records by RS.
std::optional<QString> readSheetRecordsPostgres(const QString &uri, int sheet, Records &out)
{
    QString sql = QString::fromLatin1(sheetSql[sheet]);
    sql.replace(QStringLiteral("?1"), QStringLiteral("'%1'").arg(customer));
    QProcess psql;
    psql.start(QStringLiteral("psql"), {uri, QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                                        QStringLiteral("-t"), QStringLiteral("-F"), QStringLiteral("\x1f"),
                                        QStringLiteral("-R"), QStringLiteral("\x1e"), QStringLiteral("-c"), sql});
    if (!psql.waitForFinished(60000) || psql.exitCode() != 0)
        return QStringLiteral("psql: ") + QString::fromUtf8(psql.readAllStandardError());
    QString text = QString::fromUtf8(psql.readAllStandardOutput());
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    const std::span<const contract::Column> columns = contract::lists[sheet]->columns;
    for (const QString &record : text.split(QChar(0x1e), Qt::SkipEmptyParts)) {
        QStringList cells = record.split(QChar(0x1f));
        if (cells.size() != qsizetype(columns.size()))
            return QStringLiteral("psql gave %1 columns, the sheet has %2").arg(cells.size()).arg(columns.size());
        for (qsizetype c = 0; c < cells.size(); ++c) {
            if (columns[std::size_t(c)].date && !cells[c].isEmpty()) {
                const QDate day = QDate::fromString(cells[c], Qt::ISODate);
                if (!day.isValid())
                    return QStringLiteral("stored date \"%1\" is no ISO date").arg(cells[c]);
                cells[c] = day.toString(QStringLiteral("dd.MM.yyyy"));
            }
        }
        out << cells;
    }
    return std::nullopt;
}

// A reader written apart from the exporter: ";" between cells, CR LF after
// each record, a quoted cell may hold ";", CR, LF and doubled quotes. Every
// record must end with CR LF; anything else is reported as malformed.
std::optional<QString> parseCsv(const QString &text, Records &out)
{
    QStringList record;
    QString cell;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (text[i] == u'"') {
            if (!cell.isEmpty())
                return QStringLiteral("quote inside an unquoted cell at %1").arg(i);
            ++i;
            for (;;) {
                if (i >= n)
                    return QStringLiteral("unterminated quoted cell");
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        cell += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell += text[i++];
            }
            if (i < n && text[i] != u';' && text[i] != u'\r')
                return QStringLiteral("text after a closing quote at %1").arg(i);
            continue;
        }
        if (text[i] == u';') {
            record << cell;
            cell.clear();
            ++i;
        } else if (text[i] == u'\r') {
            if (i + 1 >= n || text[i + 1] != u'\n')
                return QStringLiteral("CR without LF at %1").arg(i);
            record << cell;
            cell.clear();
            out << record;
            record.clear();
            i += 2;
        } else if (text[i] == u'\n') {
            return QStringLiteral("bare LF outside quotes at %1").arg(i);
        } else {
            cell += text[i++];
        }
    }
    if (!record.isEmpty() || !cell.isEmpty())
        return QStringLiteral("last record not ended by CR LF");
    return std::nullopt;
}

QString describe(const QList<platform::ShownMessage> &messages)
{
    QStringList texts;
    for (const auto &m : messages)
        texts << QStringLiteral("[%1] %2").arg(m.title, m.text);
    return texts.join(QStringLiteral("; "));
}

} // namespace

// The real client logs in at the real service, loads all three lists through
// its timer and exports them; the files must hold exactly what the database holds.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void loginOpensTheDataWindow();
    void listLoadsToItsEnd_data();
    void listLoadsToItsEnd();
    void exportHoldsTheDatabaseRecords_data();
    void exportHoldsTheDatabaseRecords();
    void fullPaceLoadExportsTheSame_data();
    void fullPaceLoadExportsTheSame();

private:
    void sheetColumns();
    TStringGrid *gridOf(int sheet) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    QString m_dbPath;
    std::optional<PgTestDatabase> m_pg;
    std::unique_ptr<QProcess> m_service;
    Records m_expected[3];
    QList<platform::ShownMessage> m_messages;
    platform::MessagePresenter m_previousPresenter;
    bool m_objectsCreated = false;
};

void TestEndToEnd::initTestCase()
{
    m_previousDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_dbPath = m_dir->filePath(QStringLiteral("laundry.db"));
    // Run once per backend: PLIVORA_TEST_BACKEND=postgresql serves a PostgreSQL test database.
    const bool postgres = qgetenv("PLIVORA_TEST_BACKEND") == "postgresql";
    if (postgres) {
        m_pg.emplace(QStringLiteral("tst_e2e"));
        QVERIFY2(m_pg->isValid(), qPrintable(m_pg->error()));
        m_dbPath = m_pg->uri();
    }

    QProcess demo;
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(QStringLiteral(PLIVORA_SERVICE_EXE),
               {QStringLiteral("--init-demo"), QStringLiteral("--db"), m_dbPath, QStringLiteral("--customers"),
                QStringLiteral("1"), QStringLiteral("--wearers"), QString::number(wearerCount),
                QStringLiteral("--items"), QString::number(itemCount), QStringLiteral("--washes"),
                QString::number(washCount)});
    QVERIFY2(demo.waitForFinished(60000), qPrintable(demo.errorString()));
    const QByteArray demoOutput = demo.readAll();
    QVERIFY2(demo.exitStatus() == QProcess::NormalExit && demo.exitCode() == 0, demoOutput.constData());
    QVERIFY2(demoOutput.contains("customer 1001 password Waesche2026"), demoOutput.constData());

    for (int sheet = 0; sheet < 3; ++sheet) {
        const auto error = postgres ? readSheetRecordsPostgres(m_dbPath, sheet, m_expected[sheet])
                                    : readSheetRecords(m_dbPath, sheet, m_expected[sheet]);
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
    }
    QCOMPARE(m_expected[0].size(), wearerCount);
    QCOMPARE(m_expected[1].size(), itemCount);
    QCOMPARE(m_expected[2].size(), washCount);

    m_service = std::make_unique<QProcess>();
    m_service->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_service->setWorkingDirectory(m_dir->path());
    m_service->start(QStringLiteral(PLIVORA_SERVICE_EXE),
                     {QStringLiteral("--db"), m_dbPath, QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY2(m_service->waitForStarted(30000), qPrintable(m_service->errorString()));
    // The first start also makes the certificate, which can take a moment.
    while (!m_service->canReadLine()) {
        if (!m_service->waitForReadyRead(60000))
            QFAIL("the service printed no \"listening on\" line");
    }
    const QByteArray line = m_service->readLine();
    const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\\s*$"));
    const auto match = listening.match(QString::fromUtf8(line));
    QVERIFY2(match.hasMatch(), line.constData());
    const QByteArray port = match.captured(1).toLatin1();
    QVERIFY(port.toInt() > 0);

    QVERIFY(QDir::setCurrent(m_dir->path()));
    QFile config(QStringLiteral("config.ini"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[Global]\r\nIPWebServer=127.0.0.1\r\nPortWebServer=" + port + "\r\n");
    config.close();

    m_previousPresenter = platform::setMessagePresenter([this](const platform::ShownMessage &m) { m_messages << m; });
    createPlivoraObjects();
    m_objectsCreated = true;
}

void TestEndToEnd::cleanup()
{
    // Any box the user would have had to dismiss is a failure of that step,
    // reported once.
    const auto shown = std::exchange(m_messages, {});
    QVERIFY2(shown.isEmpty(), qPrintable(describe(shown)));
}

void TestEndToEnd::cleanupTestCase()
{
    if (m_objectsCreated) {
        destroyPlivoraObjects();
        platform::setMessagePresenter(m_previousPresenter);
    }
    if (m_service && m_service->state() != QProcess::NotRunning) {
        m_service->terminate();
        QVERIFY(m_service->waitForFinished(30000));
        QCOMPARE(m_service->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_service->exitCode(), 0);
    }
    QDir::setCurrent(m_previousDir);
}

TStringGrid *TestEndToEnd::gridOf(int sheet) const
{
    TStringGrid *const grids[3] = {FPlivoraDaten->StringGridBewohner, FPlivoraDaten->StringGridWaesche,
                                   FPlivoraDaten->StringGridWaschVG};
    return grids[sheet];
}

void TestEndToEnd::loginOpensTheDataWindow()
{
    FPlivora->show();
    QVERIFY(QTest::qWaitForWindowExposed(FPlivora));
    QTest::keyClicks(FPlivora->KDNummer, customer);
    QTest::keyClicks(FPlivora->PW, password);
    QTest::mouseClick(FPlivora->BitBtnLogin, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([] { return !FPlivora->isVisible() || FPlivora->BitBtnLogin->isEnabled(); }, 60000));

    QVERIFY(FPlivoraDaten->isVisible());
    QVERIFY(!FPlivora->isVisible());
    QCOMPARE(FPlivoraDaten->loadInterval(), 500); // config.ini has no LadeIntervall
    QCOMPARE(FPlivoraDaten->PageControlData->currentIndex(), 0);
    QVERIFY(FPlivoraDaten->Timer1->isActive());
}

void TestEndToEnd::sheetColumns()
{
    QTest::addColumn<int>("sheet");
    QTest::newRow("Träger") << 0;
    QTest::newRow("Wäsche") << 1;
    QTest::newRow("Waschvorgänge") << 2;
}

void TestEndToEnd::listLoadsToItsEnd_data()
{
    sheetColumns();
}

void TestEndToEnd::listLoadsToItsEnd()
{
    QFETCH(int, sheet);
    QVERIFY2(FPlivoraDaten && FPlivoraDaten->isVisible(), "not logged in");
    bool *const endFlags[3] = {&FPlivoraDaten->NoMoreBew, &FPlivoraDaten->NoMoreWae, &FPlivoraDaten->NoMoreWasch};
    TLabeledEdit *const counters[3] = {FPlivoraDaten->DatenBew, FPlivoraDaten->DatenWae, FPlivoraDaten->DatenWasch};

    FPlivoraDaten->PageControlData->setCurrentIndex(sheet);
    QVERIFY2(QTest::qWaitFor([&] { return *endFlags[sheet] || !m_messages.isEmpty(); }, 60000),
             qPrintable(QStringLiteral("the list did not reach its end; counter reads \"%1\"")
                            .arg(counters[sheet]->text())));
    QVERIFY2(m_messages.isEmpty(), qPrintable(describe(m_messages)));
    QVERIFY(!FPlivoraDaten->isPaused(sheet));

    const int n = int(m_expected[sheet].size());
    QCOMPARE(counters[sheet]->text(), QStringLiteral("%1 / %1").arg(n));
    // Header row, one row per record, the empty row that takes the next one.
    QCOMPARE(gridOf(sheet)->rowCount(), n + 2);

    // A tick after the end asks for nothing more and adds nothing.
    QTest::qWait(2 * FPlivoraDaten->Timer1->interval());
    QCOMPARE(counters[sheet]->text(), QStringLiteral("%1 / %1").arg(n));
    QCOMPARE(gridOf(sheet)->rowCount(), n + 2);
}

void TestEndToEnd::exportHoldsTheDatabaseRecords_data()
{
    sheetColumns();
}

void TestEndToEnd::exportHoldsTheDatabaseRecords()
{
    QFETCH(int, sheet);
    QVERIFY2(FPlivoraDaten && FPlivoraDaten->isVisible(), "not logged in");
    QPushButton *const buttons[3] = {FPlivoraDaten->BitBtnBewExport, FPlivoraDaten->BitBtnWaeExport,
                                     FPlivoraDaten->BitBtnWaschExport};
    QFile::remove(csvFiles[sheet]);

    FPlivoraDaten->PageControlData->setCurrentIndex(sheet);
    QVERIFY(buttons[sheet]->isVisible());
    QVERIFY(buttons[sheet]->isEnabled());
    QTest::mouseClick(buttons[sheet], Qt::LeftButton);
    QVERIFY2(m_messages.isEmpty(), qPrintable(describe(m_messages)));
    QVERIFY(buttons[sheet]->isEnabled());

    QFile file(csvFiles[sheet]);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(csvFiles[sheet] + QStringLiteral(": ") + file.errorString()));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));

    QStringDecoder decoder("windows-1252");
    QVERIFY(decoder.isValid());
    const QString text = decoder.decode(bytes);
    QVERIFY(!decoder.hasError());
    Records parsed;
    const auto error = parseCsv(text, parsed);
    QVERIFY2(!error, qPrintable(error.value_or(QString())));

    // What the file can hold of each database text: windows-1252 with its best-fit replacements.
    Records expected;
    expected << headers[sheet];
    expected << m_expected[sheet];
    expected << QStringList(headers[sheet].size(), QString());
    for (QStringList &record : expected)
        for (QString &cell : record)
            cell = platform::fromAnsi(platform::toAnsi(cell));

    QCOMPARE(parsed.size(), expected.size());
    for (qsizetype r = 0; r < expected.size(); ++r)
        QVERIFY2(parsed[r] == expected[r],
                 qPrintable(QStringLiteral("record %1:\n  file:     %2\n  database: %3")
                                .arg(r)
                                .arg(parsed[r].join(QStringLiteral(" | ")), expected[r].join(QStringLiteral(" | ")))));

    // Same records, now byte for byte: quoting, separators and line ends as written.
    QString expectedText;
    for (const QStringList &record : expected)
        expectedText += output::csvLine(record) + QStringLiteral("\r\n");
    QCOMPARE(bytes, platform::toAnsi(expectedText));
}

void TestEndToEnd::fullPaceLoadExportsTheSame_data()
{
    sheetColumns();
}

void TestEndToEnd::fullPaceLoadExportsTheSame()
{
    // Each list again with LadeIntervall=0: a new load through "Neu Laden",
    // every chunk asked for as soon as the one before is placed.
    QFETCH(int, sheet);
    QVERIFY2(FPlivoraDaten && FPlivoraDaten->isVisible(), "not logged in");
    QPushButton *const reload[3] = {FPlivoraDaten->BitBtnBewLaden, FPlivoraDaten->BitBtnWaeLaden,
                                    FPlivoraDaten->BitBtnWaschLaden};
    QPushButton *const exports[3] = {FPlivoraDaten->BitBtnBewExport, FPlivoraDaten->BitBtnWaeExport,
                                     FPlivoraDaten->BitBtnWaschExport};
    bool *const endFlags[3] = {&FPlivoraDaten->NoMoreBew, &FPlivoraDaten->NoMoreWae, &FPlivoraDaten->NoMoreWasch};
    TLabeledEdit *const counters[3] = {FPlivoraDaten->DatenBew, FPlivoraDaten->DatenWae, FPlivoraDaten->DatenWasch};

    QFile earlier(csvFiles[sheet]);
    QVERIFY2(earlier.open(QIODevice::ReadOnly), "the export at the default pace is missing");
    const QByteArray atDefaultPace = earlier.readAll();
    earlier.close();
    QVERIFY(QFile::remove(csvFiles[sheet]));

    FPlivoraDaten->setLoadInterval(0);
    FPlivoraDaten->PageControlData->setCurrentIndex(sheet);
    QTest::mouseClick(reload[sheet], Qt::LeftButton);
    bool *const reloadFlags[3] = {&FPlivoraDaten->ReloadBewohner, &FPlivoraDaten->ReloadWaesche,
                                  &FPlivoraDaten->ReloadWasch};
    QVERIFY(*reloadFlags[sheet]);
    QVERIFY(QTest::qWaitFor([&] { return !*reloadFlags[sheet]; }, 10000)); // the new load has begun
    QVERIFY2(QTest::qWaitFor([&] { return *endFlags[sheet] || !m_messages.isEmpty(); }, 60000),
             qPrintable(QStringLiteral("the list did not reach its end; counter reads \"%1\"")
                            .arg(counters[sheet]->text())));
    QVERIFY2(m_messages.isEmpty(), qPrintable(describe(m_messages)));
    const int n = int(m_expected[sheet].size());
    QCOMPARE(counters[sheet]->text(), QStringLiteral("%1 / %1").arg(n));
    QCOMPARE(gridOf(sheet)->rowCount(), n + 2);

    QTest::mouseClick(exports[sheet], Qt::LeftButton);
    QVERIFY2(m_messages.isEmpty(), qPrintable(describe(m_messages)));
    QFile file(csvFiles[sheet]);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), atDefaultPace);
    FPlivoraDaten->setLoadInterval(500);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
