#include "exchange/ChunkRows.h"
#include "platform/DateText.h"
#include "support/ScriptedHttpsServer.h"
#include "exchange/UPlivoraCom.h"

#include <QtTest>
#include <functional>
#include <memory>

using testsupport::RecordedRequest;
using testsupport::ScriptedHttpsServer;
using testsupport::ScriptedReply;

// The six list exchanges against the scripted service: requests as they reach
// the server, and the record state each outcome leaves.
class TestPlivoraCom : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultsAfterCreation();
    void requestTargets_data();
    void requestTargets();
    void contentTypeOfCountAndChunkRequests();
    void countExchange_data();
    void countExchange();
    void chunkExchange_data();
    void chunkExchange();
    void pagingKeyOfOneChunkGoesIntoTheNext();
    void loginRequestCarriesEncodedCredentials();

private:
    std::unique_ptr<ScriptedHttpsServer> m_server;
    std::unique_ptr<LoginData> m_login;
    std::unique_ptr<TFPlivoraCom> m_com;
};

namespace {

enum Exchange { BewInit, WaeInit, WaschInit, BewChunk, WaeChunk, WaschChunk };

// Runs one exchange to its outcome and throws its error here, as a blocking
// call would. The exchange itself returns before the outcome is in.
void run(TFPlivoraCom &com, Exchange exchange)
{
    bool done = false;
    std::exception_ptr error;
    auto outcome = [&](std::exception_ptr e) {
        error = e;
        done = true;
    };
    switch (exchange) {
    case BewInit: com.InitBewohnerCom(outcome); break;
    case WaeInit: com.InitWaescheCom(outcome); break;
    case WaschInit: com.InitWaschCom(outcome); break;
    case BewChunk: com.GetChunkBewohner(outcome); break;
    case WaeChunk: com.GetChunkWaesche(outcome); break;
    case WaschChunk: com.GetChunkWasch(outcome); break;
    }
    if (done)
        throw std::logic_error("the outcome came before the exchange returned");
    if (!com.exchangeInFlight())
        throw std::logic_error("the exchange is not counted as in flight");
    QDeadlineTimer deadline(std::chrono::seconds(90));
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!done)
        throw std::logic_error("no outcome");
    if (com.exchangeInFlight())
        throw std::logic_error("the exchange is still counted as in flight");
    if (error)
        std::rethrow_exception(error);
}

// The record an exchange works on, seen through the fields all three share.
struct RecordView
{
    std::int32_t *total;
    std::int32_t *status;
    XmlDocument *document;
};

RecordView recordOf(TFPlivoraCom &com, Exchange exchange)
{
    switch (exchange) {
    case BewInit:
    case BewChunk: return {&com.BWTransfer.AnzahlDatensaetzeGesamt, &com.BWTransfer.Status, &com.BWTransfer.XMLFile};
    case WaeInit:
    case WaeChunk: return {&com.WAETransfer.AnzahlDatensaetzeGesamt, &com.WAETransfer.Status, &com.WAETransfer.XMLFile};
    default: return {&com.WASCHTransfer.AnzahlDatensaetzeGesamt, &com.WASCHTransfer.Status, &com.WASCHTransfer.XMLFile};
    }
}

// Sets a field of the laundry or wash record by its name, so a table row can list them.
template<typename Record>
bool setLaundryField(Record &r, const QString &name, const QString &value)
{
    const std::pair<const char *, QString Record::*> fields[] = {
        {"LetzteIDNummer", &Record::LetzteIDNummer}, {"FilterWaescheID", &Record::FilterWaescheID},
        {"FilterTraegerNr", &Record::FilterTraegerNr}, {"FilterVorname", &Record::FilterVorname},
        {"FilterName", &Record::FilterName},         {"FilterArtNr", &Record::FilterArtNr},
        {"FilterArtikel", &Record::FilterArtikel},   {"FilterCharge", &Record::FilterCharge},
        {"FilterGroesse", &Record::FilterGroesse},   {"FilterMaxWasch", &Record::FilterMaxWasch},
        {"FilterAnzWasch", &Record::FilterAnzWasch}, {"FilterAngVor", &Record::FilterAngVor},
        {"FilterAngNach", &Record::FilterAngNach},   {"FilterEingVor", &Record::FilterEingVor},
        {"FilterEingNach", &Record::FilterEingNach}, {"FilterAusgVor", &Record::FilterAusgVor},
        {"FilterAusgNach", &Record::FilterAusgNach}};
    for (const auto &[fieldName, member] : fields) {
        if (name == QLatin1String(fieldName)) {
            r.*member = value;
            return true;
        }
    }
    return false;
}

bool setField(TFPlivoraCom &com, Exchange exchange, const QString &name, const QString &value)
{
    if (exchange == BewChunk) {
        TBWKom &r = com.BWTransfer;
        if (name == QLatin1String("LetzteBewNummer")) { r.LetzteBewNummer = value.toInt(); return true; }
        if (name == QLatin1String("FilterBewNr")) { r.FilterBewNr = value; return true; }
        if (name == QLatin1String("FilterVorname")) { r.FilterVorname = value; return true; }
        if (name == QLatin1String("FilterName")) { r.FilterName = value; return true; }
        if (name == QLatin1String("FilterWB")) { r.FilterWB = value; return true; }
        return false;
    }
    if (exchange == WaeChunk)
        return setLaundryField(com.WAETransfer, name, value);
    return setLaundryField(com.WASCHTransfer, name, value);
}

QString errorKind(const std::function<void()> &action)
{
    try {
        action();
    } catch (const EDOMParseError &) {
        return QStringLiteral("EDOMParseError");
    } catch (const ECountReplyError &) {
        return QStringLiteral("ECountReplyError");
    } catch (const EIdException &) {
        return QStringLiteral("EIdException");
    } catch (const Exception &e) {
        return QStringLiteral("other: ") + e.message();
    }
    return QString();
}

QString headerValue(const std::string &raw, const QByteArray &name)
{
    const QList<QByteArray> lines = QByteArray::fromStdString(raw).split('\n');
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (line.toLower().startsWith(name.toLower() + ':'))
            return QString::fromLatin1(line.mid(name.size() + 1).trimmed());
    }
    return QString();
}

unsigned short refusedPort()
{
    // A port that was just listening and is closed again refuses the connection.
    ScriptedHttpsServer gone;
    return gone.port();
}

const char *const kd = "4711";
const char *const pw = "geheim";

} // namespace

void TestPlivoraCom::init()
{
    m_server = std::make_unique<ScriptedHttpsServer>();
    m_login = std::make_unique<LoginData>();
    m_login->IPWebServer = QStringLiteral("127.0.0.1");
    m_login->PortWebServer = QString::number(m_server->port());
    m_login->KDNummerPub = QLatin1String(kd);
    m_login->PWPub = QLatin1String(pw);
    m_login->IdHTTPPlivora.setProgressTimeout(std::chrono::seconds(20));
    m_com = std::make_unique<TFPlivoraCom>(*m_login);
}

void TestPlivoraCom::cleanup()
{
    m_com.reset();
    m_login.reset();
    m_server.reset();
}

void TestPlivoraCom::defaultsAfterCreation()
{
    const QString today = platform::dateText(QDate::currentDate());
    QCOMPARE(today, QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));

    const TBWKom &bw = m_com->BWTransfer;
    QCOMPARE(bw.Initialisiert, false);
    QCOMPARE(bw.AnzahlDatensaetzeGesamt, 0);
    QCOMPARE(bw.AnzahlDatensaetzeGelesen, 0);
    QCOMPARE(bw.LetzteBewNummer, 0);
    QCOMPARE(bw.Status, -1);
    QVERIFY(bw.XMLFile.isActive());
    QVERIFY(bw.XMLFile.DocumentElement().isNull());
    QVERIFY(bw.RootNode.isNull() && bw.CurNodeRead.isNull() && bw.CurNodeWrite.isNull());
    QVERIFY(bw.FilterBewNr.isEmpty() && bw.FilterVorname.isEmpty() && bw.FilterName.isEmpty()
            && bw.FilterWB.isEmpty());

    auto checkLaundry = [&](const auto &r, const QString &key) {
        QCOMPARE(r.Initialisiert, false);
        QCOMPARE(r.AnzahlDatensaetzeGesamt, 0);
        QCOMPARE(r.AnzahlDatensaetzeGelesen, 0);
        QCOMPARE(r.LetzteIDNummer, key);
        QCOMPARE(r.Status, -1);
        QVERIFY(r.XMLFile.isActive());
        QVERIFY(r.XMLFile.DocumentElement().isNull());
        QVERIFY(r.RootNode.isNull() && r.CurNodeRead.isNull() && r.CurNodeWrite.isNull());
        for (const QString *text : {&r.FilterWaescheID, &r.FilterTraegerNr, &r.FilterVorname, &r.FilterName,
                                    &r.FilterArtNr, &r.FilterArtikel, &r.FilterCharge, &r.FilterGroesse,
                                    &r.FilterMaxWasch, &r.FilterAnzWasch, &r.FilterAngVor, &r.FilterAngNach})
            QVERIFY(text->isEmpty());
        QCOMPARE(r.FilterEingVor, today);
        QCOMPARE(r.FilterAusgVor, today);
        QCOMPARE(r.FilterEingNach, QStringLiteral("01.01.2000"));
        QCOMPARE(r.FilterAusgNach, QStringLiteral("01.01.2000"));
    };
    checkLaundry(m_com->WAETransfer, QStringLiteral("S000000"));
    checkLaundry(m_com->WASCHTransfer, QStringLiteral("0"));

    // Each record has a document of its own.
    m_com->BWTransfer.XMLFile.LoadFromXML(QStringLiteral("<t/>"));
    QCOMPARE(m_com->WAETransfer.XMLFile.generation(), 0u);
    QCOMPARE(m_com->WASCHTransfer.XMLFile.generation(), 0u);
}

void TestPlivoraCom::requestTargets_data()
{
    QTest::addColumn<int>("exchange");
    QTest::addColumn<QString>("customer");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("fields"); // "Field=value" set on the record before the request
    QTest::addColumn<QString>("target");

    const QString today = platform::dateText(QDate::currentDate());
    const QString cred = QStringLiteral("USER=4711&PW=geheim");
    const QString emptyLaundry = "&WaescheID=&BewNum=&Vorname=&Name=&ARTNR=&Artikel=&Charge=&Groesse=&MaxWasch="
                                 "&AnzWasch=&AngVor=&AngNach=&EingVor=&EingNach=&AusgVor=&AusgNach=";
    const QStringList noDates{"FilterEingVor=", "FilterEingNach=", "FilterAusgVor=", "FilterAusgNach="};
    const QString initialDates = "&AngVor=&AngNach=&EingVor=" + today + "&EingNach=01.01.2000&AusgVor=" + today
        + "&AusgNach=01.01.2000";

    QTest::newRow("wearer count") << int(BewInit) << kd << pw << QStringList{} << "/BewohnerInit?" + cred;
    QTest::newRow("item count") << int(WaeInit) << kd << pw << QStringList{} << "/WaescheInit?" + cred;
    QTest::newRow("wash count") << int(WaschInit) << kd << pw << QStringList{} << "/WaschInit?" + cred;

    QTest::newRow("wearer chunk, initial key, filters empty")
        << int(BewChunk) << kd << pw << QStringList{}
        << "/BewohnerChunk?" + cred + "&LBWNum=0&BewNum=&Vorname=&Name=&WB=";
    QTest::newRow("item chunk, initial key and dates")
        << int(WaeChunk) << kd << pw << QStringList{}
        << "/WaescheChunk?" + cred + "&LetzteID=S000000&WaescheID=&BewNum=&Vorname=&Name=&ARTNR=&Artikel=&Charge="
               "&Groesse=&MaxWasch=&AnzWasch=" + initialDates;
    QTest::newRow("wash chunk, initial key and dates")
        << int(WaschChunk) << kd << pw << QStringList{}
        << "/WaschChunk?" + cred + "&LetzteID=0&WaescheID=&BewNum=&Vorname=&Name=&ARTNR=&Artikel=&Charge="
               "&Groesse=&MaxWasch=&AnzWasch=" + initialDates;
    QTest::newRow("item chunk, all filters empty")
        << int(WaeChunk) << kd << pw << noDates << "/WaescheChunk?" + cred + "&LetzteID=S000000" + emptyLaundry;
    QTest::newRow("wash chunk, all filters empty")
        << int(WaschChunk) << kd << pw << noDates << "/WaschChunk?" + cred + "&LetzteID=0" + emptyLaundry;

    QTest::newRow("wearer chunk, negative key")
        << int(BewChunk) << kd << pw << QStringList{"LetzteBewNummer=-17"}
        << "/BewohnerChunk?" + cred + "&LBWNum=-17&BewNum=&Vorname=&Name=&WB=";
    QTest::newRow("wearer chunk, every filter as stored")
        << int(BewChunk) << kd << pw
        << QStringList{"LetzteBewNummer=100000", "FilterBewNr=12", "FilterVorname=Hans+Peter",
                       "FilterName=M%C3%BCller", "FilterWB=Haus%26Hof"}
        << "/BewohnerChunk?" + cred + "&LBWNum=100000&BewNum=12&Vorname=Hans+Peter&Name=M%C3%BCller&WB=Haus%26Hof";

    const QStringList laundryFields{"LetzteIDNummer=S000123", "FilterWaescheID=W1", "FilterTraegerNr=T2",
                                    "FilterVorname=V3", "FilterName=N%C3%A44", "FilterArtNr=A5",
                                    "FilterArtikel=Art+6", "FilterCharge=C7", "FilterGroesse=G8",
                                    "FilterMaxWasch=M9", "FilterAnzWasch=Z10", "FilterAngVor=11.01.2011",
                                    "FilterAngNach=12.02.2012", "FilterEingVor=13.03.2013",
                                    "FilterEingNach=14.04.2014", "FilterAusgVor=15.05.2015",
                                    "FilterAusgNach=16.06.2016"};
    const QString laundryQuery = "&LetzteID=S000123&WaescheID=W1&BewNum=T2&Vorname=V3&Name=N%C3%A44&ARTNR=A5"
                                 "&Artikel=Art+6&Charge=C7&Groesse=G8&MaxWasch=M9&AnzWasch=Z10&AngVor=11.01.2011"
                                 "&AngNach=12.02.2012&EingVor=13.03.2013&EingNach=14.04.2014&AusgVor=15.05.2015"
                                 "&AusgNach=16.06.2016";
    QTest::newRow("item chunk, all 19 pairs in order")
        << int(WaeChunk) << kd << pw << laundryFields << "/WaescheChunk?" + cred + laundryQuery;
    QStringList washFields = laundryFields;
    washFields.first() = "LetzteIDNummer=998";
    QTest::newRow("wash chunk, all 19 pairs in order")
        << int(WaschChunk) << kd << pw << washFields
        << "/WaschChunk?" + cred + QString(laundryQuery).replace("S000123", "998");

    const QString oddCred = QStringLiteral("USER=47+11&PW=a%26b%23c+%C3%A4");
    QTest::newRow("credentials with &, #, ä and blanks encoded, count")
        << int(WaeInit) << "47 11" << "a&b#c ä" << QStringList{} << "/WaescheInit?" + oddCred;
    QTest::newRow("credentials with &, #, ä and blanks encoded, chunk")
        << int(BewChunk) << "47 11" << "a&b#c ä" << QStringList{}
        << "/BewohnerChunk?" + oddCred + "&LBWNum=0&BewNum=&Vorname=&Name=&WB=";
    QTest::newRow("credentials of safe characters go out unchanged")
        << int(WaschInit) << "K-4711_x" << "Pass.W0rd!*" << QStringList{}
        << "/WaschInit?USER=K-4711_x&PW=Pass.W0rd!*";
    QTest::newRow("empty credentials") << int(BewInit) << "" << "" << QStringList{} << "/BewohnerInit?USER=&PW=";
}

void TestPlivoraCom::requestTargets()
{
    QFETCH(int, exchange);
    QFETCH(QString, customer);
    QFETCH(QString, password);
    QFETCH(QStringList, fields);
    QFETCH(QString, target);

    m_login->KDNummerPub = customer;
    m_login->PWPub = password;
    for (const QString &field : fields) {
        const qsizetype eq = field.indexOf(QLatin1Char('='));
        QVERIFY2(setField(*m_com, Exchange(exchange), field.left(eq), field.mid(eq + 1)), qPrintable(field));
    }
    m_server->enqueue(ScriptedReply::xml("<table><tr>1</tr></table>"));
    run(*m_com, Exchange(exchange));

    const std::vector<RecordedRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), std::size_t(1));
    const QString sent = QString::fromStdString(requests.front().target);
    qInfo().noquote() << "request target:" << sent;
    QCOMPARE(sent, target);
}

void TestPlivoraCom::contentTypeOfCountAndChunkRequests()
{
    // The client keeps its request settings between requests: each exchange sets its own.
    m_login->IdHTTPPlivora.Request.setContentType(QStringLiteral("text/html")); // as the login leaves it
    for (int i = 0; i < 6; ++i)
        m_server->enqueue(ScriptedReply::xml("<table><tr>1</tr></table>"));
    run(*m_com, BewInit);
    run(*m_com, BewChunk);
    run(*m_com, WaeInit);
    run(*m_com, WaeChunk);
    run(*m_com, WaschChunk);
    run(*m_com, WaschInit);

    QStringList types;
    for (const RecordedRequest &request : m_server->requests())
        types << QString::fromStdString(request.path) + QLatin1Char(' ') + headerValue(request.raw, "Content-Type");
    const QString count = QStringLiteral("text/xml; charset=us-ascii");
    const QString chunk = QStringLiteral("text/html; charset=UTF-8");
    QCOMPARE(types, (QStringList{"/BewohnerInit " + count, "/BewohnerChunk " + chunk, "/WaescheInit " + count,
                                 "/WaescheChunk " + chunk, "/WaschChunk " + chunk, "/WaschInit " + count}));
}

void TestPlivoraCom::countExchange_data()
{
    QTest::addColumn<int>("exchange");
    QTest::addColumn<QString>("outcome"); // "xml", "status" or "refused"
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("total");  // afterwards; the start is 9
    QTest::addColumn<int>("status"); // afterwards; the start is -1
    QTest::addColumn<QString>("error");

    QTest::newRow("wearers 523") << int(BewInit) << "xml" << 200 << "<table><tr>523</tr></table>" << 523 << 0 << "";
    QTest::newRow("items with BOM and declaration")
        << int(WaeInit) << "xml" << 200 << "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><t><tr>12</tr></t>"
        << 12 << 0 << "";
    QTest::newRow("washes, no tr gives 0") << int(WaschInit) << "xml" << 200 << "<table/>" << 0 << 0 << "";
    QTest::newRow("not a number gives 0") << int(BewInit) << "xml" << 200 << "<t><tr>abc</tr></t>" << 0 << 0 << "";
    QTest::newRow("HTTP 500 is an empty reply")
        << int(BewInit) << "status" << 500 << "" << 9 << -1 << "ECountReplyError";
    QTest::newRow("HTTP 401 is an empty reply")
        << int(WaeInit) << "status" << 401 << "" << 9 << -1 << "ECountReplyError";
    QTest::newRow("200 with empty body") << int(WaschInit) << "xml" << 200 << "" << 9 << -1 << "ECountReplyError";
    QTest::newRow("not XML") << int(BewInit) << "xml" << 200 << "<html><body>Fehler</html>" << 9 << -1
                             << "EDOMParseError";
    QTest::newRow("connection refused") << int(WaeInit) << "refused" << 0 << "" << 9 << -1 << "EIdException";
}

void TestPlivoraCom::countExchange()
{
    QFETCH(int, exchange);
    QFETCH(QString, outcome);
    QFETCH(int, httpStatus);
    QFETCH(QString, body);
    QFETCH(int, total);
    QFETCH(int, status);
    QFETCH(QString, error);

    if (outcome == QLatin1String("refused"))
        m_login->PortWebServer = QString::number(refusedPort());
    else if (outcome == QLatin1String("status"))
        m_server->enqueue(ScriptedReply::withStatus(httpStatus));
    else
        m_server->enqueue(ScriptedReply::xml(body.toStdString()));

    const RecordView record = recordOf(*m_com, Exchange(exchange));
    *record.total = 9;
    QCOMPARE(errorKind([&] { run(*m_com, Exchange(exchange)); }), error);
    QCOMPARE(*record.total, total);
    QCOMPARE(*record.status, status);
    // The count reply never lands in the record document.
    QCOMPARE(record.document->generation(), 0u);
}

void TestPlivoraCom::chunkExchange_data()
{
    QTest::addColumn<int>("exchange");
    QTest::addColumn<QString>("outcome"); // "xml", "status", "refused" or "cut"
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("firstKey"); // first cell of the record document afterwards; "inactive" when none

    const QString rows = "<table><tr><td>S5</td></tr></table>";
    QTest::newRow("wearer reply loaded") << int(BewChunk) << "xml" << 200 << "<table><tr><td>5</td></tr></table>"
                                         << "" << "5";
    QTest::newRow("item reply loaded") << int(WaeChunk) << "xml" << 200 << rows << "" << "S5";
    QTest::newRow("wash reply loaded") << int(WaschChunk) << "xml" << 200 << rows << "" << "S5";
    QTest::newRow("empty body keeps the previous reply") << int(WaeChunk) << "xml" << 200 << "" << "" << "old";
    QTest::newRow("HTTP 404 keeps the previous reply") << int(BewChunk) << "status" << 404 << "" << "" << "old";
    QTest::newRow("HTTP 500 keeps the previous reply") << int(WaschChunk) << "status" << 500 << "" << "" << "old";
    QTest::newRow("refused connection raises, keeps reply")
        << int(WaschChunk) << "refused" << 0 << "" << "EIdException" << "old";
    QTest::newRow("connection cut mid-body raises, keeps reply")
        << int(BewChunk) << "cut" << 200 << rows << "EIdException" << "old";
    QTest::newRow("non-XML reply raises, document inactive")
        << int(WaeChunk) << "xml" << 200 << "<html><body>Wartung</body>" << "EDOMParseError" << "inactive";
}

void TestPlivoraCom::chunkExchange()
{
    QFETCH(int, exchange);
    QFETCH(QString, outcome);
    QFETCH(int, httpStatus);
    QFETCH(QString, body);
    QFETCH(QString, error);
    QFETCH(QString, firstKey);

    const RecordView record = recordOf(*m_com, Exchange(exchange));
    record.document->LoadFromXML(QStringLiteral("<table><tr><td>old</td></tr></table>"));
    const std::uint64_t before = record.document->generation();
    *record.status = 1;

    if (outcome == QLatin1String("refused")) {
        m_login->PortWebServer = QString::number(refusedPort());
    } else if (outcome == QLatin1String("status")) {
        m_server->enqueue(ScriptedReply::withStatus(httpStatus));
    } else {
        ScriptedReply reply = ScriptedReply::xml(body.toStdString());
        if (outcome == QLatin1String("cut"))
            reply.mode = ScriptedReply::Mode::CloseMidBody;
        m_server->enqueue(reply);
    }

    QCOMPARE(errorKind([&] { run(*m_com, Exchange(exchange)); }), error);
    QCOMPARE(*record.status, 2);
    if (firstKey == QLatin1String("inactive")) {
        QVERIFY(!record.document->isActive());
        QCOMPARE(record.document->generation(), before);
        return;
    }
    const bool replaced = firstKey != QLatin1String("old");
    QCOMPARE(record.document->generation(), replaced ? before + 1 : before);
    QCOMPARE(record.document->DocumentElement().ChildNodes("tr").ChildNodes("td").Text(), firstKey);
}

void TestPlivoraCom::pagingKeyOfOneChunkGoesIntoTheNext()
{
    // Eleven rows: the walk reads ten, so the next request asks after the tenth.
    QString first = QStringLiteral("<table>");
    for (int i = 1; i <= 11; ++i)
        first += QStringLiteral("<tr><td>%1</td><td>N%2</td></tr>").arg(i * 10).arg(i);
    first += QStringLiteral("</table>");
    m_server->enqueue(ScriptedReply::xml(first.toStdString()));
    m_server->enqueue(ScriptedReply::xml("<table><tr><td>110</td></tr><tr><td></td></tr></table>"));

    TBWKom &bw = m_com->BWTransfer;
    int rows = 0;
    bool ended = false;
    const RowSink sink{[&](bool end) { ended = ended || end; ++rows; }, {}};
    run(*m_com, BewChunk);
    walkChunkRows(bw, sink);
    QCOMPARE(bw.LetzteBewNummer, 100);
    run(*m_com, BewChunk);
    walkChunkRows(bw, sink);
    QVERIFY(ended);
    QCOMPARE(rows, 12);
    QCOMPARE(bw.AnzahlDatensaetzeGelesen, 11);

    QStringList keys;
    for (const RecordedRequest &request : m_server->requests())
        keys << QUrlQuery(QString::fromStdString(request.query)).queryItemValue(QStringLiteral("LBWNum"));
    QCOMPARE(keys, (QStringList{"0", "100"}));
}

void TestPlivoraCom::loginRequestCarriesEncodedCredentials()
{
    m_login->KDNummerPub = QStringLiteral("47 11");
    m_login->PWPub = QStringLiteral("p&w#ä");
    QCOMPARE(m_login->loginUrl(), QStringLiteral("https://127.0.0.1:%1 /Login?USER=47+11&PW=p%26w%23%C3%A4")
                                      .arg(m_server->port()));

    m_server->enqueue(ScriptedReply::xml("<table/>"));
    m_login->IdHTTPPlivora.Request.setContentType(QStringLiteral("text/html"));
    QCOMPARE(m_login->IdHTTPPlivora.Get(m_login->loginUrl()), QStringLiteral("<table/>"));
    QCOMPARE(QString::fromStdString(m_server->requests().front().target),
             QStringLiteral("/Login?USER=47+11&PW=p%26w%23%C3%A4"));
}

QTEST_GUILESS_MAIN(TestPlivoraCom)
#include "tst_plivoracom.moc"
