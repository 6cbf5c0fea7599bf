#include "net/RequestHead.h"
#include "support/ScriptedHttpsServer.h"
#include "net/TIdHTTP.h"

#include <QtTest>

using testsupport::ScriptedHttpsServer;
using testsupport::ScriptedReply;
using testsupport::Trickle;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(ScriptedReply)

class TestChannel : public QObject
{
    Q_OBJECT

private slots:
    void loginRequestOnTheWire();
    void urlSplit_data();
    void urlSplit();
    void contentTypeRule_data();
    void contentTypeRule();
    void nonAsciiAndFragment_data();
    void nonAsciiAndFragment();
    void replies_data();
    void replies();
    void cookieSentBack();
    void keepAliveOneHandshake();
    void newHandshakeAfterClose();
    void failures_data();
    void failures();
    void refusedConnection();
    void silentServerGivesUp();
    void tricklingPeerIsNotCutOff_data();
    void tricklingPeerIsNotCutOff();
    void silentHandshakeGivesUp();
    void headerLimits_data();
    void headerLimits();
    void resendOnClosedKeptConnection_data();
    void resendOnClosedKeptConnection();

private:
    static QString url(const ScriptedHttpsServer &server, const QString &pathAndQuery)
    {
        return QStringLiteral("https://127.0.0.1:%1 %2").arg(server.port()).arg(pathAndQuery);
    }
};

void TestChannel::loginRequestOnTheWire()
{
    ScriptedHttpsServer server;
    server.enqueue(ScriptedReply::xml("<table/>"));
    TIdHTTP http;
    http.Request.setContentType(QStringLiteral("text/html"));
    QCOMPARE(http.Get(url(server, "/Login?USER=4711&PW=geheim")), QStringLiteral("<table/>"));
    QCOMPARE(QString::fromStdString(server.requests().at(0).raw),
             QStringLiteral("GET /Login?USER=4711&PW=geheim HTTP/1.1\r\n"
                            "Content-Type: text/html; charset=ISO-8859-1\r\n"
                            "Host: 127.0.0.1:%1\r\n"
                            "Accept: text/html, */*\r\n"
                            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n")
                 .arg(server.port()));
}

void TestChannel::urlSplit_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("hostHeader");
    QTest::addColumn<QString>("target");
    QTest::newRow("configured port") << "https://waesche.example:8080 /Login?USER=1&PW=2" << "waesche.example" << 8080
                                     << "Host: waesche.example:8080" << "/Login?USER=1&PW=2";
    QTest::newRow("port 443 still named") << "https://10.0.0.5:443 /WaschInit?USER=1&PW=2" << "10.0.0.5" << 443
                                          << "Host: 10.0.0.5:443" << "/WaschInit?USER=1&PW=2";
    QTest::newRow("port text not a number: port 80") << "https://h:80a /Login?USER=&PW=" << "h" << 80
                                                     << "Host: h:80a" << "/Login?USER=&PW=";
    QTest::newRow("hash ends the query") << "https://h:1 /Login?USER=1&PW=a#b&c" << "h" << 1 << "Host: h:1"
                                         << "/Login?USER=1&PW=a";
}

void TestChannel::urlSplit()
{
    QFETCH(QString, url);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, hostHeader);
    QFETCH(QString, target);
    const net::RequestUrl parts = net::splitUrl(url);
    QCOMPARE(parts.host, host);
    QCOMPARE(int(parts.port), port);
    QCOMPARE(parts.target, target);
    TIdHTTPRequest request;
    const QString bytes = QString::fromLatin1(net::requestBytes(parts, request, {}));
    QVERIFY2(bytes.contains(QStringLiteral("\r\n") + hostHeader + QStringLiteral("\r\n")), qPrintable(bytes));
    QVERIFY(!bytes.contains(QStringLiteral("Content-Type"))); // only sent with a value
}

void TestChannel::contentTypeRule_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("laterCharset");
    QTest::addColumn<QString>("header");
    QTest::newRow("html") << "text/html" << "" << "text/html; charset=ISO-8859-1";
    QTest::newRow("xml") << "text/xml" << "" << "text/xml; charset=us-ascii";
    QTest::newRow("xml suffix") << "text/svg+xml" << "" << "text/svg+xml; charset=us-ascii";
    QTest::newRow("charset set afterwards") << "text/html" << "UTF-8" << "text/html; charset=UTF-8";
    QTest::newRow("charset parameter") << "text/plain; charset=koi8-r" << "" << "text/plain; charset=koi8-r";
    QTest::newRow("not text: no charset") << "application/json" << "" << "application/json";
}

void TestChannel::contentTypeRule()
{
    QFETCH(QString, type);
    QFETCH(QString, laterCharset);
    QFETCH(QString, header);
    TIdHTTPRequest request;
    request.setContentType(type);
    if (!laterCharset.isEmpty())
        request.setCharSet(laterCharset);
    const QByteArray bytes = net::requestBytes(net::splitUrl("https://h:1 /x?a=b"), request, {});
    QVERIFY2(bytes.contains("\r\nContent-Type: " + header.toLatin1() + "\r\n"), bytes.constData());
}

void TestChannel::nonAsciiAndFragment_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("sent");
    QTest::newRow("umlaut as ?") << "USER=1&PW=K\u00e4se" << "USER=1&PW=K?se";
    QTest::newRow("hash cuts") << "USER=1&PW=ab#cd&x=y" << "USER=1&PW=ab";
    QTest::newRow("blank, plus, percent sent as they are") << "USER=a+b%&PW=c" << "USER=a+b%&PW=c";
}

void TestChannel::nonAsciiAndFragment()
{
    QFETCH(QString, query);
    QFETCH(QString, sent);
    ScriptedHttpsServer server;
    server.enqueue(ScriptedReply::xml("<table/>"));
    TIdHTTP http;
    http.Get(url(server, "/Login?" + query));
    QCOMPARE(QString::fromStdString(server.requests().at(0).query), sent);
}

void TestChannel::replies_data()
{
    QTest::addColumn<ScriptedReply>("reply");
    QTest::addColumn<QString>("text");
    auto with = [](int status, std::string type, std::string body, ScriptedReply::Mode mode = ScriptedReply::Mode::Normal) {
        ScriptedReply r;
        r.status = status;
        if (!type.empty())
            r.headers = {{"Content-Type", type}};
        r.body = std::move(body);
        r.mode = mode;
        return r;
    };
    QTest::newRow("200 utf-8") << with(200, "text/xml; charset=UTF-8", "<a>Gr\xC3\xBC\xC3\x9F" "e</a>") << "<a>Grüße</a>";
    QTest::newRow("text/xml without charset: U+FFFD per byte")
        << with(200, "text/xml", "\xC3\xBC") << QString(2, QChar::ReplacementCharacter);
    QTest::newRow("text/html: meta charset wins")
        << with(200, "text/html", "<meta charset=\"utf-8\"><p>\xC3\xA4</p>") << "<meta charset=\"utf-8\"><p>ä</p>";
    QTest::newRow("text/plain: ISO-8859-1") << with(200, "text/plain", "\xE4") << "ä";
    QTest::newRow("unknown charset: byte for byte") << with(200, "text/xml; charset=x-nowhere", "\xE4") << "ä";
    QTest::newRow("chunked body") << with(200, "text/xml; charset=UTF-8", "<table><tr>1234567890</tr></table>",
                                          ScriptedReply::Mode::Chunked)
                                  << "<table><tr>1234567890</tr></table>";
    QTest::newRow("empty 200") << with(200, "text/xml", "") << "";
    QTest::newRow("204") << with(204, "", "") << "";
    QTest::newRow("302") << with(302, "text/html", "<a href=x>moved</a>") << "";
    QTest::newRow("404") << with(404, "text/html", "not found") << "";
    QTest::newRow("500") << with(500, "text/html", "boom") << "";
}

void TestChannel::replies()
{
    QFETCH(ScriptedReply, reply);
    QFETCH(QString, text);
    ScriptedHttpsServer server;
    server.enqueue(reply);
    server.enqueue(ScriptedReply::xml("<next/>"));
    TIdHTTP http;
    QCOMPARE(http.Get(url(server, "/WaschInit?USER=1&PW=2")), text);
    QCOMPARE(http.Get(url(server, "/WaschInit?USER=1&PW=2")), QStringLiteral("<next/>")); // still usable
    QCOMPARE(server.connections(), 1);
}

void TestChannel::cookieSentBack()
{
    ScriptedHttpsServer server;
    ScriptedReply login = ScriptedReply::xml("<table/>");
    login.headers.push_back({"Set-Cookie", "SID=abc123; Path=/"});
    server.enqueue(login);
    server.enqueue(ScriptedReply::xml("<table/>"));
    TIdHTTP http;
    http.Get(url(server, "/Login?USER=1&PW=2"));
    http.Get(url(server, "/BewohnerInit?USER=1&PW=2"));
    const auto requests = server.requests();
    QVERIFY(requests[0].raw.find("Cookie:") == std::string::npos);
    QVERIFY2(requests[1].raw.find("\r\nCookie: SID=abc123\r\n") != std::string::npos, requests[1].raw.c_str());
}

void TestChannel::keepAliveOneHandshake()
{
    ScriptedHttpsServer server;
    server.setHandler([](const auto &) { return ScriptedReply::xml("<table/>"); });
    TIdHTTP http;
    for (int i = 0; i < 20; ++i)
        http.Get(url(server, "/BewohnerChunk?USER=1"));
    QCOMPARE(server.handshakes(), 1);
    QCOMPARE(http.handshakeCount(), 1);
}

void TestChannel::newHandshakeAfterClose()
{
    ScriptedHttpsServer server;
    ScriptedReply closing = ScriptedReply::xml("<a/>");
    closing.mode = ScriptedReply::Mode::CloseAfterReply;
    server.enqueue(closing);
    server.enqueue(ScriptedReply::xml("<b/>"));
    TIdHTTP http;
    QCOMPARE(http.Get(url(server, "/x?1")), QStringLiteral("<a/>"));
    QCOMPARE(http.Get(url(server, "/x?2")), QStringLiteral("<b/>"));
    QCOMPARE(server.handshakes(), 2);
}

void TestChannel::failures_data()
{
    QTest::addColumn<int>("situation");
    QTest::newRow("closed mid-body") << 0;
    QTest::newRow("peer does not speak TLS") << 1;
    QTest::newRow("header line over 16 384 bytes") << 2;
}

void TestChannel::failures()
{
    QFETCH(int, situation);
    ScriptedHttpsServer server(situation == 1 ? ScriptedHttpsServer::Transport::PlainTcp
                                              : ScriptedHttpsServer::Transport::Tls);
    ScriptedReply reply = ScriptedReply::xml("<table><tr>1</tr>");
    if (situation == 0)
        reply.mode = ScriptedReply::Mode::CloseMidBody;
    if (situation == 2)
        reply.headers.push_back({"X-Long", std::string(16400, 'x')});
    server.enqueue(reply);
    TIdHTTP http;
    QVERIFY_THROWS_EXCEPTION(EIdException, http.Get(url(server, "/x?1")));
    if (situation != 1) {
        server.enqueue(ScriptedReply::xml("<ok/>"));
        QCOMPARE(http.Get(url(server, "/x?2")), QStringLiteral("<ok/>")); // usable after the error
    }
}

void TestChannel::refusedConnection()
{
    unsigned short port;
    {
        ScriptedHttpsServer gone;
        port = gone.port();
    }
    TIdHTTP http;
    try {
        http.Get(QStringLiteral("https://127.0.0.1:%1 /Login?USER=1&PW=2").arg(port));
        QFAIL("no error");
    } catch (const EIdSocketError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("refused"), Qt::CaseInsensitive), qPrintable(e.message()));
    }
    QVERIFY_THROWS_EXCEPTION(EIdSocketError, http.Get(QStringLiteral("https://:8080 /Login?USER=1&PW=2")));
}

void TestChannel::silentServerGivesUp()
{
    ScriptedHttpsServer server;
    ScriptedReply silent;
    silent.mode = ScriptedReply::Mode::NeverAnswer;
    server.enqueue(silent);
    TIdHTTP http;
    http.setProgressTimeout(std::chrono::milliseconds(200));
    QElapsedTimer timer;
    timer.start();
    QVERIFY_THROWS_EXCEPTION(EIdReadTimeout, http.Get(url(server, "/x?1")));
    QVERIFY(timer.elapsed() < 5000);
    server.enqueue(ScriptedReply::xml("<ok/>"));
    QCOMPARE(http.Get(url(server, "/x?2")), QStringLiteral("<ok/>"));
}

// Each piece arrives well within the limit; with at least a dozen pieces 200 ms
// apart, all of them together come well after it.
void TestChannel::tricklingPeerIsNotCutOff_data()
{
    QTest::addColumn<bool>("handshake");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("bodySize"); // letters between the tags
    QTest::newRow("handshake") << true << 48 << 0;
    QTest::newRow("reply header") << false << 8 << 0;
    QTest::newRow("reply body") << false << 150 << 2400;
}

void TestChannel::tricklingPeerIsNotCutOff()
{
    QFETCH(bool, handshake);
    QFETCH(int, piece);
    QFETCH(int, bodySize);
    const Trickle slow{size_t(piece), 200ms};
    ScriptedHttpsServer server;
    const std::string body = "<a>" + std::string(size_t(bodySize), 'x') + "</a>";
    ScriptedReply reply = ScriptedReply::xml(body);
    if (handshake)
        server.setHandshakeTrickle(slow);
    else
        reply.trickle = slow;
    server.enqueue(reply);
    TIdHTTP http;
    http.setProgressTimeout(2s);
    http.setHandshakeTimeout(2s);
    QCOMPARE(http.Get(url(server, "/x?1")), QString::fromStdString(body));
}

void TestChannel::silentHandshakeGivesUp()
{
    ScriptedHttpsServer server;
    server.setHandshakeTrickle({48, 1h}); // the server never gets to say a word
    TIdHTTP http;
    http.setHandshakeTimeout(200ms);
    try {
        http.Get(url(server, "/x?1"));
        QFAIL("no error");
    } catch (const EIdReadTimeout &e) {
        QVERIFY2(e.message().contains(QStringLiteral("TLS handshake")), qPrintable(e.message()));
    }
}

// Header lines counted as sent, without their line end; the whole header bounded.
void TestChannel::headerLimits_data()
{
    QTest::addColumn<QByteArray>("header"); // up to, not including, the empty line
    QTest::addColumn<bool>("complete");     // false: the peer then says nothing more
    QTest::addColumn<bool>("accepted");
    const QByteArray status = "HTTP/1.1 200 OK\r\n";
    const QByteArray type = "Content-Type: text/xml; charset=UTF-8\r\nContent-Length: 5\r\n";
    auto line = [](const QByteArray &start, qsizetype length, char fill) {
        return start + QByteArray(length - start.size(), fill) + "\r\n";
    };
    QTest::newRow("16 384-byte line, no blank after the colon")
        << status + line("X-Long:", 16384, 'x') + type << true << true;
    QTest::newRow("16 385-byte line") << status + line("X-Long: ", 16385, 'x') + type << true << false;
    QTest::newRow("20 006-byte line padded with blanks")
        << status + line("X-Pad:", 20005, ' ').insert(20005, 'v') + type << true << false;
    QTest::newRow("16 384-byte status line") << line("HTTP/1.1 200 ", 16384, 'O') + type << true << true;
    QTest::newRow("16 385-byte status line") << line("HTTP/1.1 200 ", 16385, 'O') + type << true << false;
    QTest::newRow("endless line") << status + "X-Endless: " + QByteArray(100000, 'x') << false << false;
    QByteArray many = status + type;
    for (int i = 0; i < 1000; ++i)
        many += line("X-Line: ", 1000, 'y');
    QTest::newRow("1 000 lines of 1 000 bytes") << many << true << true;
    for (int i = 0; i < 100; ++i)
        many += line("X-Line: ", 1000, 'y');
    QTest::newRow("1 100 lines of 1 000 bytes, endless") << many << false << false;
}

void TestChannel::headerLimits()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, complete);
    QFETCH(bool, accepted);
    ScriptedHttpsServer server;
    ScriptedReply reply;
    reply.raw = (complete ? header + "\r\n<ok/>" : header).toStdString();
    if (!complete)
        reply.mode = ScriptedReply::Mode::SendThenHold;
    server.enqueue(reply);
    TIdHTTP http;
    http.setProgressTimeout(5s); // a channel that kept waiting would fail with a time-out
    if (accepted) {
        QCOMPARE(http.Get(url(server, "/x?1")), QStringLiteral("<ok/>"));
    } else {
        try {
            http.Get(url(server, "/x?1"));
            QFAIL("no error");
        } catch (const EIdHTTPProtocolError &e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("Reply header")), qPrintable(e.message()));
        }
    }
    server.enqueue(ScriptedReply::xml("<next/>"));
    QCOMPARE(http.Get(url(server, "/x?2")), QStringLiteral("<next/>"));
}

// What the server does with each request after the login on the kept connection:
// 0 answers "<b/>", 1 closes the connection as the request arrives, 2 closes it mid-body.
void TestChannel::resendOnClosedKeptConnection_data()
{
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QList<int>>("script");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<int>("sent"); // times the request went out
    QTest::newRow("closed as the request arrives: sent once more") << true << QList<int>{1, 0} << true << 2;
    QTest::newRow("closed again on the new connection") << true << QList<int>{1, 1, 0} << false << 2;
    QTest::newRow("closed after reply bytes") << true << QList<int>{2, 0} << false << 1;
    QTest::newRow("closed on a fresh connection") << false << QList<int>{1, 0} << false << 1;
}

void TestChannel::resendOnClosedKeptConnection()
{
    QFETCH(bool, kept);
    QFETCH(QList<int>, script);
    QFETCH(bool, answered);
    QFETCH(int, sent);
    ScriptedHttpsServer server;
    TIdHTTP http;
    if (kept) {
        ScriptedReply login = ScriptedReply::xml("<a/>");
        login.headers.push_back({"Set-Cookie", "SID=abc123; Path=/"});
        server.enqueue(login);
        QCOMPARE(http.Get(url(server, "/Login?USER=1&PW=2")), QStringLiteral("<a/>"));
    }
    for (int step : script) {
        ScriptedReply reply = ScriptedReply::xml("<b/>");
        reply.mode = step == 1 ? ScriptedReply::Mode::CloseOnRequest
            : step == 2        ? ScriptedReply::Mode::CloseMidBody
                               : ScriptedReply::Mode::Normal;
        server.enqueue(reply);
    }
    server.clearRequests();
    const int connectionsBefore = server.connections();
    if (answered)
        QCOMPARE(http.Get(url(server, "/BewohnerChunk?USER=1&PW=2&LBWNum=0")), QStringLiteral("<b/>"));
    else
        QVERIFY_THROWS_EXCEPTION(EIdConnClosedGracefully, http.Get(url(server, "/BewohnerChunk?USER=1&PW=2&LBWNum=0")));
    const auto requests = server.requests();
    QCOMPARE(int(requests.size()), sent);
    QCOMPARE(server.connections() - connectionsBefore, sent - (kept ? 1 : 0));
    for (const auto &request : requests)
        QCOMPARE(request.raw, requests.front().raw); // the same bytes, the cookie included
    if (kept)
        QVERIFY(requests.front().raw.find("\r\nCookie: SID=abc123\r\n") != std::string::npos);
}

QTEST_GUILESS_MAIN(TestChannel)
#include "tst_channel.moc"
