#include "platform/ErrorBox.h"
#include "support/ScriptedHttpsServer.h"
#include "support/ScrollIntoView.h"
#include "support/WindowTestFixture.h"
#include "app/Startup.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "app/UPlivora.h"
#include "exchange/UPlivoraCom.h"
#include "dataview/UPlivoraDaten.h"

#include "report/RvOutputOptionsDialog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTranslator>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using testsupport::ScriptedReply;
Q_DECLARE_METATYPE(testsupport::ScriptedReply)

namespace {

// Scrolls as a user would until the whole control shows; true when it then does.
bool scrolledIntoView(QScrollArea *area, QWidget *control)
{
    return testsupport::scrolledIntoView(area, QRect(control->mapTo(area->widget(), QPoint(0, 0)), control->size()));
}

} // namespace

// Start-up, the login window and the login against the scripted service.
class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void configuration_data();
    void configuration();
    void loginWindowLayout();
    void loginOutcomes_data();
    void loginOutcomes();
    void loginRequestOnTheWire();
    void enterInThePasswordFieldLogsIn();
    void unreachableServerShowsLoginError();
    void endeEndsTheProgram();
    void closingTheDataWindowEndsTheProgram();
    void loadInterval_data();
    void loadInterval();
    void closingWithAChunkOutEndsAtOnce();
    void toolkitSpeaksGermanEngineKeepsEnglish();
    void loginWindowScrollsWhenSmall_data();
    void loginWindowScrollsWhenSmall();

private:
    void writeConfig(const QByteArray &content);
    void pointAtServer();
    // Waits until the login attempt has its answer (and on success the data window its counts).
    void waitForAttempt();

    std::unique_ptr<testsupport::WindowTestFixture> m_fixture;
    std::unique_ptr<testsupport::ScriptedHttpsServer> m_server;
};

void TestApp::init()
{
    m_fixture = std::make_unique<testsupport::WindowTestFixture>();
    m_server = std::make_unique<testsupport::ScriptedHttpsServer>();
    createPlivoraObjects();
}

void TestApp::cleanup()
{
    destroyPlivoraObjects();
    m_server.reset();
    m_fixture.reset();
}

void TestApp::writeConfig(const QByteArray &content)
{
    QFile f(QStringLiteral("config.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

void TestApp::pointAtServer()
{
    writeConfig("[Global]\r\nIPWebServer=127.0.0.1\r\nPortWebServer=" + QByteArray::number(m_server->port()) + "\r\n");
    FPlivora->show();
}

void TestApp::waitForAttempt()
{
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::overrideCursor() == nullptr, 30000);
}

void TestApp::configuration_data()
{
    QTest::addColumn<QByteArray>("config"); // empty: no file
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::newRow("no config.ini") << QByteArray() << "127.0.0.1" << "8080";
    QTest::newRow("both keys") << QByteArray("[Global]\r\nIPWebServer=waesche.example\r\nPortWebServer=8443\r\n")
                               << "waesche.example" << "8443";
    QTest::newRow("empty host stays empty") << QByteArray("[Global]\r\nIPWebServer=\r\n") << "" << "8080";
}

void TestApp::configuration()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, host);
    QFETCH(QString, port);
    if (!config.isEmpty())
        writeConfig(config);
    FPlivora->show();
    QCOMPARE(FPlivora->IPWebServer, host);
    QCOMPARE(FPlivora->PortWebServer, port);
    QCOMPARE(FPlivora->IniFile, QStringLiteral("./config.ini"));
    QVERIFY(m_server->requests().empty()); // showing sends nothing
}

void TestApp::loginWindowLayout()
{
    FPlivora->show();
    QCOMPARE(FPlivora->windowTitle(), QStringLiteral("Plivora"));
    QCOMPARE(FPlivora->KDNummer->geometry(), QRect(230, 193, 139, 24));
    QCOMPARE(FPlivora->PW->geometry(), QRect(446, 193, 96, 24));
    QCOMPARE(FPlivora->BitBtnEnde->geometry(), QRect(27, 438, 138, 40));
    QCOMPARE(FPlivora->BitBtnLogin->geometry(), QRect(328, 248, 121, 41));
    QCOMPARE(FPlivora->KDNummer->labelCaption(), QStringLiteral("Kundennummer"));
    QCOMPARE(FPlivora->PW->labelCaption(), QStringLiteral("Passwort"));
    QCOMPARE(FPlivora->PW->echoMode(), QLineEdit::Password);
    QCOMPARE(FPlivora->KDNummer->font().pixelSize(), 19);
    QCOMPARE(FPlivora->BitBtnLogin->font().pixelSize(), 27);
    // Tab order: Kundennummer, Passwort, Ende, Login.
    QList<QWidget *> order;
    QWidget *w = FPlivora->KDNummer;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w;
        w = w->nextInFocusChain();
    } while (w != FPlivora->KDNummer && order.size() < 4);
    QCOMPARE(order, (QList<QWidget *>{FPlivora->KDNummer, FPlivora->PW, FPlivora->BitBtnEnde, FPlivora->BitBtnLogin}));
}

void TestApp::loginOutcomes_data()
{
    QTest::addColumn<ScriptedReply>("reply");
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<bool>("errorBox");
    QTest::newRow("well-formed XML") << ScriptedReply::xml("<table/>") << true << false;
    QTest::newRow("any well-formed document") << ScriptedReply::xml("<?xml version=\"1.0\"?><ok>ja</ok>") << true << false;
    QTest::newRow("not well-formed") << ScriptedReply::xml("<html><body>Fehler") << false << true;
    QTest::newRow("white space only") << ScriptedReply::xml("   \r\n") << false << true;
    QTest::newRow("empty body") << ScriptedReply::xml("") << false << false;
    QTest::newRow("401") << ScriptedReply::withStatus(401) << false << false;
    QTest::newRow("403") << ScriptedReply::withStatus(403) << false << false;
    QTest::newRow("redirect") << ScriptedReply::withStatus(302) << false << false;
}

void TestApp::loginOutcomes()
{
    QFETCH(ScriptedReply, reply);
    QFETCH(bool, loggedIn);
    QFETCH(bool, errorBox);
    pointAtServer();
    m_server->enqueue(reply);
    for (int i = 0; i < 3; ++i)
        m_server->enqueue(ScriptedReply::xml("<table><tr>3</tr></table>"));
    m_server->setHandler([](const testsupport::RecordedRequest &) { return ScriptedReply::xml("<table/>"); });

    QTest::keyClicks(FPlivora->KDNummer, QStringLiteral("4711"));
    FPlivora->PW->setText(QStringLiteral("Wä sche&1"));
    QTest::mouseClick(FPlivora->BitBtnLogin, Qt::LeftButton);
    // The answer is still out: the window stays, shows the hourglass and takes no second attempt.
    QVERIFY(FPlivora->isVisible());
    QVERIFY(!FPlivora->BitBtnLogin->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    waitForAttempt();
    QVERIFY(FPlivora->BitBtnLogin->isEnabled());

    QCOMPARE(FPlivoraDaten->isVisible(), loggedIn);
    QCOMPARE(FPlivora->isVisible(), !loggedIn);
    QCOMPARE(m_fixture->messages.size(), errorBox ? 1 : 0);
    if (errorBox) {
        QCOMPARE(m_fixture->messages[0].title, QStringLiteral("Fehler"));
        QCOMPARE(m_fixture->messages[0].text, QStringLiteral("Login error"));
        QCOMPARE(m_fixture->messages[0].icon, QMessageBox::Critical);
    }
    // Stored at every attempt, kept as typed; the fields keep their text.
    QCOMPARE(FPlivora->KDNummerPub, QStringLiteral("4711"));
    QCOMPARE(FPlivora->PWPub, QStringLiteral("Wä sche&1"));
    QCOMPARE(FPlivora->PW->text(), QStringLiteral("Wä sche&1"));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    if (loggedIn) {
        QCOMPARE(FPlivoraCom->BWTransfer.AnzahlDatensaetzeGesamt, 3);
        FPlivoraDaten->Timer1->stop();
    }
}

void TestApp::loginRequestOnTheWire()
{
    pointAtServer();
    m_server->enqueue(ScriptedReply::withStatus(401));
    FPlivora->PW->setText(QStringLiteral("a&b#c ä+%"));
    FPlivora->BitBtnLoginClick();
    waitForAttempt();
    const auto requests = m_server->requests();
    QCOMPARE(requests.size(), std::size_t(1));
    // Customer number and password are percent-encoded, so the query keeps its shape.
    QCOMPARE(QString::fromStdString(requests[0].raw),
             QStringLiteral("GET /Login?USER=&PW=a%26b%23c+%C3%A4%2B%25 HTTP/1.1\r\n"
                            "Content-Type: text/html; charset=ISO-8859-1\r\n"
                            "Host: 127.0.0.1:%1\r\n"
                            "Accept: text/html, */*\r\n"
                            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n")
                 .arg(m_server->port()));
}

void TestApp::enterInThePasswordFieldLogsIn()
{
    pointAtServer();
    m_server->enqueue(ScriptedReply::withStatus(401));
    QTest::keyClicks(FPlivora->PW, QStringLiteral("x"));
    QTest::keyClick(FPlivora->PW, Qt::Key_Return);
    waitForAttempt();
    QCOMPARE(m_server->requests().size(), std::size_t(1));
    QTest::keyClick(FPlivora->KDNummer, Qt::Key_Enter);
    waitForAttempt();
    QCOMPARE(m_server->requests().size(), std::size_t(2));
}

void TestApp::unreachableServerShowsLoginError()
{
    quint16 closedPort;
    {
        testsupport::ScriptedHttpsServer gone;
        closedPort = gone.port();
    }
    writeConfig("[Global]\r\nPortWebServer=" + QByteArray::number(closedPort) + "\r\n");
    FPlivora->show();
    FPlivora->KDNummer->setText(QStringLiteral("1"));
    FPlivora->BitBtnLoginClick();
    waitForAttempt();
    QCOMPARE(m_fixture->messages.size(), 1);
    QCOMPARE(m_fixture->messages[0].text, QStringLiteral("Login error"));
    QVERIFY(FPlivora->isVisible());
    QCOMPARE(FPlivora->KDNummerPub, QStringLiteral("1"));
}

void TestApp::endeEndsTheProgram()
{
    FPlivora->show();
    QTimer::singleShot(0, FPlivora->BitBtnEnde, [] { QTest::mouseClick(FPlivora->BitBtnEnde, Qt::LeftButton); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(m_server->requests().empty());
}

void TestApp::closingTheDataWindowEndsTheProgram()
{
    pointAtServer();
    m_server->setHandler([](const testsupport::RecordedRequest &) { return ScriptedReply::xml("<table/>"); });
    FPlivora->BitBtnLoginClick();
    waitForAttempt();
    QVERIFY(FPlivoraDaten->isVisible());
    QTimer::singleShot(0, FPlivoraDaten, [] { FPlivoraDaten->close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!FPlivora->isVisible()); // the login window does not come back
}

void TestApp::loadInterval_data()
{
    QTest::addColumn<QByteArray>("line"); // the key's line in section "Global"; empty: no key
    QTest::addColumn<int>("interval");
    QTest::newRow("missing") << QByteArray() << 500;
    QTest::newRow("empty") << QByteArray("LadeIntervall=") << 500;
    QTest::newRow("abc") << QByteArray("LadeIntervall=abc") << 500;
    QTest::newRow("-1") << QByteArray("LadeIntervall=-1") << 500;
    QTest::newRow("0") << QByteArray("LadeIntervall=0") << 0;
    QTest::newRow("250") << QByteArray("LadeIntervall=250") << 250;
    QTest::newRow("60000") << QByteArray("LadeIntervall=60000") << 60000;
    QTest::newRow("60001") << QByteArray("LadeIntervall=60001") << 500;
    QTest::newRow("2.5") << QByteArray("LadeIntervall=2.5") << 500;
}

void TestApp::loadInterval()
{
    QFETCH(QByteArray, line);
    QFETCH(int, interval);
    writeConfig("[Global]\r\nPortWebServer=8443\r\n" + line + "\r\n");
    FPlivora->show();
    QCOMPARE(FPlivora->LadeIntervall, interval);
    QCOMPARE(FPlivoraDaten->loadInterval(), interval);
    if (interval > 0)
        QCOMPARE(FPlivoraDaten->Timer1->interval(), interval);
    QCOMPARE(FPlivora->PortWebServer, QStringLiteral("8443")); // the other keys read as before
}

void TestApp::closingWithAChunkOutEndsAtOnce()
{
    // A server that takes the login and the counts and never answers a chunk:
    // closing the data window ends the program without waiting out the 60 s limit.
    pointAtServer();
    m_server->setHandler([](const testsupport::RecordedRequest &request) {
        if (request.path.find("Chunk") != std::string::npos) {
            ScriptedReply silent;
            silent.mode = ScriptedReply::Mode::NeverAnswer;
            return silent;
        }
        return ScriptedReply::xml("<table><tr>5</tr></table>");
    });
    FPlivora->BitBtnLoginClick();
    waitForAttempt();
    QVERIFY(FPlivoraDaten->isVisible());
    FPlivoraDaten->Timer1Timer(); // the first wearer chunk goes out and stays out
    QTRY_VERIFY(!m_server->requests().empty() && m_server->requests().back().path == "/BewohnerChunk");
    QVERIFY(FPlivoraCom->exchangeInFlight());

    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, FPlivoraDaten, [] { FPlivoraDaten->close(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    destroyPlivoraObjects(); // as main() does after the loop: the worker stops here
    const qint64 took = clock.elapsed();
    qInfo() << "closed with a chunk out in" << took << "ms";
    QVERIFY2(took < 10000, "the program waited for the silent server");
    createPlivoraObjects(); // for cleanup()
}

// Start-up installs Qt's German texts: a toolkit message box's buttons read
// German, the report engine's "Output Options" keeps its English buttons.
void TestApp::toolkitSpeaksGermanEngineKeepsEnglish()
{
    QTranslator *german = installGermanTranslations();
    QVERIFY2(german, "qtbase_de is not installed (qt6-translations-l10n)");
    auto uninstall = qScopeGuard([german] {
        QCoreApplication::removeTranslator(german);
        delete german;
        QLocale::setDefault(QLocale::c());
    });
    QCOMPARE(QLocale().language(), QLocale::German);

    QMessageBox box(QMessageBox::Question, QStringLiteral("Plivora"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
    QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Abbrechen"));

    const RvOutputOptionsDialog options(FPlivora->Print.RvSystem.outputSettings(),
                                        RvOutputOptionsDialog::Purpose::Run);
    QCOMPARE(options.windowTitle(), QStringLiteral("Output Options"));
    QCOMPARE(options.okButton()->text(), QStringLiteral("OK"));
    QCOMPARE(options.cancelButton()->text(), QStringLiteral("Cancel"));
}

void TestApp::loginWindowScrollsWhenSmall_data()
{
    QTest::addColumn<QSize>("windowSize");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("design size") << QSize(797, 486) << false;
    QTest::newRow("larger") << QSize(1000, 700) << false;
    QTest::newRow("smaller than its content") << QSize(500, 300) << true;
}

void TestApp::loginWindowScrollsWhenSmall()
{
    QFETCH(QSize, windowSize);
    QFETCH(bool, scrolls);
    FPlivora->resize(windowSize);
    FPlivora->show();
    QVERIFY(QTest::qWaitForWindowExposed(FPlivora));
    QCoreApplication::processEvents(); // the scroll area lays out after a posted request
    auto *area = FPlivora->findChild<QScrollArea *>();
    QVERIFY(area);
    QCOMPARE(area->geometry(), QRect(QPoint(0, 0), windowSize));
    QCOMPARE(area->verticalScrollBar()->isVisible(), scrolls);
    // Every control keeps its place and can be scrolled into view.
    for (QWidget *control : QList<QWidget *>{FPlivora->KDNummer, FPlivora->PW, FPlivora->BitBtnEnde,
                                             FPlivora->BitBtnLogin}) {
        QVERIFY(scrolledIntoView(area, control));
    }
    QCOMPARE(FPlivora->BitBtnEnde->geometry(), QRect(27, 438, 138, 40));
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
