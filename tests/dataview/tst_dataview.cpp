#include "platform/ErrorBox.h"
#include "output/PrintComponents.h"
#include "report/RvOutputOptionsDialog.h"
#include "exchange/LoginData.h"
#include "support/DataWindowFixture.h"
#include "support/ScriptedHttpsServer.h"
#include "support/WindowTestFixture.h"
#include "dataview/widgets/TDateTimePicker.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "dataview/widgets/TShape.h"
#include "dataview/widgets/TStringGrid.h"
#include "exchange/UPlivoraCom.h"
#include "dataview/UPlivoraDaten.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QtTest>

using testsupport::ScriptedReply;
Q_DECLARE_METATYPE(testsupport::ScriptedReply)

namespace {

const QColor maroon(128, 0, 0), red(255, 0, 0), yellow(255, 255, 0), lime(0, 255, 0);

std::string wearerRow(int number, const std::string &name = "M%C3%BCller")
{
    const std::string n = std::to_string(number);
    return "<tr><td>" + n + "</td><td>" + name + "</td><td>Anna</td><td>" + n + "a</td><td>7</td><td>Haus+Sonne</td></tr>";
}

std::string table(const std::string &rows)
{
    return "<table>" + rows + "</table>";
}

ScriptedReply countReply(int total)
{
    return ScriptedReply::xml(table("<tr>" + std::to_string(total) + "</tr>"));
}

QString queryValue(const testsupport::RecordedRequest &request, const QString &name)
{
    return QUrlQuery(QString::fromStdString(request.query)).queryItemValue(name, QUrl::FullyEncoded);
}

// Calls back whenever the widget paints: what the user sees, not just what it holds.
class PaintProbe : public QObject
{
public:
    PaintProbe(QWidget *widget, std::function<void()> painted)
        : m_painted(std::move(painted))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted();
        return false;
    }

private:
    std::function<void()> m_painted;
};

} // namespace

// The real data window and exchange object against the scripted service; the
// timer is stopped after showing so each test drives the ticks itself.
class TestDataView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadingEdgeCases_data();
    void loadingEdgeCases();
    void firstTickLoadsWithoutReload();
    void reloadWhileAReplyWaits();
    void reloadOnAnEndedList();
    void switchingSheetsMidLoad();
    void hidingStopsTheCycle();
    void aChunkOutHoldsBackTheOtherSheet();
    void reloadWithAChunkOutAsksTheStartKeyNext();
    void washRowsShiftByOneColumn();
    void filtersGoOutEncoded();
    void widthFiles_data();
    void widthFiles();
    void widthFileWrittenByReload();
    void showingTwice();
    void failedTickPausesOnlyThatList();
    void failedCountStillShowsTheWindow();
    void layoutAndCaptions();
    void itemSheetLayout_data();
    void itemSheetLayout();
    void exportWritesTheLoadedSheet();
    void exportButtonsComeBackAfterAFailure();
    void printRunsTheReportOverTheLoadedRows();

private:
    void showWindow(int wearers = 35, int items = 12, int washes = 9);
    void waitForShow();
    void tick();
    QList<testsupport::RecordedRequest> requestsTo(const std::string &path) const;
    QStringList gridColumn(const TStringGrid *grid, int col) const;

    std::unique_ptr<testsupport::DataWindowFixture> m_env;
    TFPlivoraDaten *w = nullptr;
};

void TestDataView::init()
{
    m_env = std::make_unique<testsupport::DataWindowFixture>();
    w = m_env->window;
}

void TestDataView::cleanup()
{
    m_env.reset();
    w = nullptr;
}

void TestDataView::showWindow(int wearers, int items, int washes)
{
    m_env->server->enqueue(countReply(wearers));
    m_env->server->enqueue(countReply(items));
    m_env->server->enqueue(countReply(washes));
    w->show();
    // The counts are out: the window paints, but its sheets take no input yet.
    QVERIFY(w->isShowing());
    QVERIFY(!w->PageControlData->isEnabled());
    QVERIFY(!w->Timer1->isActive());
    waitForShow();
    QVERIFY(w->PageControlData->isEnabled());
    QVERIFY(w->Timer1->isActive());
    w->Timer1->stop();
    m_env->server->clearRequests();
}

void TestDataView::waitForShow()
{
    QTRY_VERIFY_WITH_TIMEOUT(!w->isShowing(), 30000);
}

// One tick, and the outcome of the request it sent (if any) handed back.
void TestDataView::tick()
{
    w->Timer1Timer();
    QTRY_VERIFY_WITH_TIMEOUT(!FPlivoraCom->exchangeInFlight(), 30000);
}

QList<testsupport::RecordedRequest> TestDataView::requestsTo(const std::string &path) const
{
    QList<testsupport::RecordedRequest> found;
    for (const auto &r : m_env->server->requests())
        if (r.path == path)
            found << r;
    return found;
}

QStringList TestDataView::gridColumn(const TStringGrid *grid, int col) const
{
    QStringList texts;
    for (int row = 0; row < grid->rowCount(); ++row)
        texts << grid->cell(col, row);
    return texts;
}

void TestDataView::loadingEdgeCases_data()
{
    QTest::addColumn<QList<ScriptedReply>>("replies");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QStringList>("keys");   // column 0 of the grid, header row included
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QColor>("lamp");
    QTest::addColumn<QStringList>("sentKeys"); // LBWNum of each chunk request

    const QStringList header{"TraegerNr"};
    QTest::newRow("no tr: ends at once") << QList<ScriptedReply>{ScriptedReply::xml(table(""))} << 2
                                         << header + QStringList{""} << "0 / 35" << lime << QStringList{"0"};
    QTest::newRow("three rows, more to come")
        << QList<ScriptedReply>{ScriptedReply::xml(table(wearerRow(1) + wearerRow(2) + wearerRow(3))),
                                ScriptedReply::xml(table(wearerRow(4)))}
        << 2 << header + QStringList{"1", "2", "3", ""} << "3 / 35" << yellow << QStringList{"0", "3"};
    QTest::newRow("end row in the middle: rows after it are placed")
        << QList<ScriptedReply>{ScriptedReply::xml(table(wearerRow(1) + "<tr><td></td></tr>" + wearerRow(3)))}
        << 3 << header + QStringList{"1", "3", ""} << "2 / 35" << lime << QStringList{"0"};
    QTest::newRow("empty reply: nothing placed twice, same chunk again")
        << QList<ScriptedReply>{ScriptedReply::xml(table(wearerRow(1))), ScriptedReply::withStatus(500),
                                ScriptedReply::xml(table(wearerRow(2) + "<tr><td></td></tr>"))}
        << 4 << header + QStringList{"1", "2", ""} << "2 / 35" << lime << QStringList{"0", "1", "1"};
    std::string eleven;
    for (int i = 1; i <= 11; ++i)
        eleven += wearerRow(i);
    QTest::newRow("eleven rows: ten read, tenth is the key")
        << QList<ScriptedReply>{ScriptedReply::xml(table(eleven)), ScriptedReply::xml(table(""))} << 2
        << header + QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", ""} << "10 / 35" << yellow
        << QStringList{"0", "10"};
}

void TestDataView::loadingEdgeCases()
{
    QFETCH(QList<ScriptedReply>, replies);
    QFETCH(int, ticks);
    QFETCH(QStringList, keys);
    QFETCH(QString, counter);
    QFETCH(QColor, lamp);
    QFETCH(QStringList, sentKeys);

    showWindow();
    for (const ScriptedReply &reply : replies)
        m_env->server->enqueue(reply);
    for (int i = 0; i < ticks; ++i)
        tick();

    QCOMPARE(gridColumn(w->StringGridBewohner, 0), keys);
    QCOMPARE(w->DatenBew->text(), counter);
    QCOMPARE(w->ShapeStatusBew->penColor(), lamp);
    QStringList sent;
    for (const auto &r : requestsTo("/BewohnerChunk"))
        sent << queryValue(r, "LBWNum");
    QCOMPARE(sent, sentKeys);
    QVERIFY(m_env->fixture->messages.isEmpty());
}

void TestDataView::firstTickLoadsWithoutReload()
{
    showWindow();
    QCOMPARE(w->DatenBew->text(), QString());
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1))));
    tick();
    const auto chunks = requestsTo("/BewohnerChunk");
    QCOMPARE(chunks.size(), 1);
    QCOMPARE(QString::fromStdString(chunks[0].query),
             QStringLiteral("USER=4711&PW=geheim&LBWNum=0&BewNum=&Vorname=&Name=&WB="));
    QCOMPARE(w->ShapeStatusBew->penColor(), yellow);
    QCOMPARE(w->DatenBew->text(), QString()); // nothing appended yet
    QCOMPARE(FPlivoraCom->BWTransfer.Status, 2);
    // The decoded cells arrive in the grid.
    tick();
    QCOMPARE(w->StringGridBewohner->rowCells(1),
             (QStringList{"1", "Müller", "Anna", "1a", "7", "Haus Sonne"}));
}

void TestDataView::reloadWhileAReplyWaits()
{
    showWindow();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1) + wearerRow(2))));
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(9))));
    tick(); // requests; the reply waits
    tick(); // appends two, requests again; the reply waits
    QCOMPARE(w->StringGridBewohner->rowCount(), 4);

    w->LabeledEditBewName->setText(QStringLiteral("Müller & Söhne"));
    QTest::mouseClick(w->BitBtnBewLaden, Qt::LeftButton);
    QVERIFY(w->ReloadBewohner);
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(5))));
    tick(); // new load drops the waiting reply and requests the first chunk

    QCOMPARE(gridColumn(w->StringGridBewohner, 0), (QStringList{"TraegerNr", ""}));
    QCOMPARE(w->DatenBew->text(), QStringLiteral("0 / 35"));
    const auto chunks = requestsTo("/BewohnerChunk");
    QCOMPARE(queryValue(chunks.last(), "LBWNum"), QStringLiteral("0"));
    QCOMPARE(queryValue(chunks.last(), "Name"), QStringLiteral("M%C3%BCller+%26+S%C3%B6hne"));
    tick();
    QCOMPARE(gridColumn(w->StringGridBewohner, 0), (QStringList{"TraegerNr", "5", ""}));
}

void TestDataView::reloadOnAnEndedList()
{
    showWindow();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1) + "<tr><td></td></tr>")));
    tick();
    tick();
    QCOMPARE(w->ShapeStatusBew->penColor(), lime);
    tick();
    QCOMPARE(requestsTo("/BewohnerChunk").size(), 1); // an ended list asks for nothing

    QList<QColor> colours;
    w->BitBtnBewLadenClick();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1))));
    PaintProbe probe(w->ShapeStatusBew, [&] { colours << w->ShapeStatusBew->penColor(); });
    QTest::qWait(500); // ticks at the default pace are half a second apart
    tick();
    QTRY_VERIFY2(!colours.isEmpty() && colours.last() == yellow, "yellow painted last");
    QVERIFY2(colours.contains(maroon), "maroon painted before");
    QCOMPARE(requestsTo("/BewohnerChunk").size(), 2);
    QCOMPARE(queryValue(requestsTo("/BewohnerChunk").last(), "LBWNum"), QStringLiteral("0"));
    QVERIFY(!w->NoMoreBew);
}

void TestDataView::switchingSheetsMidLoad()
{
    showWindow();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1))));
    tick(); // wearer reply waits
    w->PageControlData->setCurrentIndex(1);
    m_env->server->enqueue(ScriptedReply::xml(table("")));
    tick(); // serves the laundry list only
    QCOMPARE(FPlivoraCom->BWTransfer.Status, 2);
    const auto items = requestsTo("/WaescheChunk");
    QCOMPARE(items.size(), 1);
    QCOMPARE(queryValue(items[0], "LetzteID"), QStringLiteral("S000000"));

    w->PageControlData->setCurrentIndex(0);
    m_env->server->enqueue(ScriptedReply::xml(table("")));
    tick();
    QCOMPARE(gridColumn(w->StringGridBewohner, 0), (QStringList{"TraegerNr", "1", ""}));
}

namespace {

// A reply that takes its time, as from a slow server.
ScriptedReply slow(ScriptedReply reply)
{
    reply.trickle = {1 << 20, std::chrono::milliseconds(700)};
    return reply;
}

} // namespace

void TestDataView::aChunkOutHoldsBackTheOtherSheet()
{
    showWindow();
    m_env->server->enqueue(slow(ScriptedReply::xml(table(wearerRow(1)))));
    w->Timer1Timer(); // the wearer chunk is out
    QVERIFY(FPlivoraCom->exchangeInFlight());
    QCOMPARE(FPlivoraCom->BWTransfer.Status, 1);
    w->PageControlData->setCurrentIndex(1);
    w->Timer1Timer(); // the laundry list waits: one exchange at a time
    w->Timer1Timer();
    QVERIFY(requestsTo("/WaescheChunk").isEmpty());
    QCOMPARE(FPlivoraCom->WAETransfer.Status, 0);

    QTRY_VERIFY_WITH_TIMEOUT(!FPlivoraCom->exchangeInFlight(), 30000);
    QCOMPARE(FPlivoraCom->BWTransfer.Status, 2); // waits unplaced while its sheet is not on top
    m_env->server->enqueue(ScriptedReply::xml(table("")));
    tick();
    const auto items = requestsTo("/WaescheChunk");
    QCOMPARE(items.size(), 1);
    // The request as it goes out without a chunk before it: every byte as ever.
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    QCOMPARE(QString::fromStdString(items[0].raw),
             QStringLiteral("GET /WaescheChunk?USER=4711&PW=geheim&LetzteID=S000000&WaescheID=&BewNum=&Vorname="
                            "&Name=&ARTNR=&Artikel=&Charge=&Groesse=&MaxWasch=&AnzWasch=&AngVor=&AngNach="
                            "&EingVor=%1&EingNach=01.01.2000&AusgVor=%1&AusgNach=01.01.2000 HTTP/1.1\r\n"
                            "Content-Type: text/html; charset=UTF-8\r\n"
                            "Host: 127.0.0.1:%2\r\n"
                            "Accept: text/html, */*\r\n"
                            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n")
                 .arg(today)
                 .arg(m_env->server->port()));

    w->PageControlData->setCurrentIndex(0);
    m_env->server->enqueue(ScriptedReply::xml(table("")));
    tick();
    QCOMPARE(gridColumn(w->StringGridBewohner, 0), (QStringList{"TraegerNr", "1", ""}));
}

void TestDataView::reloadWithAChunkOutAsksTheStartKeyNext()
{
    showWindow();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1) + wearerRow(2))));
    m_env->server->enqueue(slow(ScriptedReply::xml(table(wearerRow(3)))));
    tick();
    w->Timer1Timer(); // places rows 1 and 2; the chunk after key 2 is out
    QVERIFY(FPlivoraCom->exchangeInFlight());

    QTest::mouseClick(w->BitBtnBewLaden, Qt::LeftButton); // the window answers meanwhile
    QVERIFY(w->ReloadBewohner);
    w->Timer1Timer(); // a reload waits while the list is requesting
    QVERIFY(w->ReloadBewohner);
    QTRY_VERIFY_WITH_TIMEOUT(!FPlivoraCom->exchangeInFlight(), 30000);
    QCOMPARE(gridColumn(w->StringGridBewohner, 0), (QStringList{"TraegerNr", "1", "2", ""})); // not placed

    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(5))));
    tick(); // the old reply is dropped, the start key asked
    QCOMPARE(gridColumn(w->StringGridBewohner, 0), (QStringList{"TraegerNr", ""}));
    tick();
    QCOMPARE(gridColumn(w->StringGridBewohner, 0), (QStringList{"TraegerNr", "5", ""}));
    QStringList sent;
    for (const auto &r : requestsTo("/BewohnerChunk"))
        sent << queryValue(r, "LBWNum");
    qInfo() << "paging keys asked:" << sent;
    QCOMPARE(sent, (QStringList{"0", "2", "0", "5"})); // old key, then the start key
}

void TestDataView::hidingStopsTheCycle()
{
    showWindow();
    w->Timer1->start();
    w->hide();
    QVERIFY(!w->Timer1->isActive());
    w->Timer1->start();
    tick();
    QVERIFY(!w->Timer1->isActive());
    QVERIFY(requestsTo("/BewohnerChunk").isEmpty());
}

void TestDataView::washRowsShiftByOneColumn()
{
    showWindow();
    w->PageControlData->setCurrentIndex(2);
    std::string cells = "<td>77</td>";
    for (int c = 2; c <= 16; ++c)
        cells += "<td>c" + std::to_string(c) + "</td>";
    m_env->server->enqueue(ScriptedReply::xml(table("<tr>" + cells + "</tr>")));
    m_env->server->enqueue(ScriptedReply::xml(table("")));
    tick();
    tick();
    QStringList expected;
    for (int c = 2; c <= 16; ++c)
        expected << QStringLiteral("c%1").arg(c);
    QCOMPARE(w->StringGridWaschVG->rowCells(1), expected);
    QCOMPARE(FPlivoraCom->WASCHTransfer.LetzteIDNummer, QStringLiteral("77"));
    QCOMPARE(queryValue(requestsTo("/WaschChunk").last(), "LetzteID"), QStringLiteral("77"));
    QCOMPARE(w->DatenWasch->text(), QStringLiteral("1 / 9"));
}

void TestDataView::filtersGoOutEncoded()
{
    showWindow();
    w->PageControlData->setCurrentIndex(1);
    w->LabeledEditWaeWaescheID->setText(QStringLiteral("S0&1#2"));
    w->LabeledEditWaeBewNr->setText(QStringLiteral("42"));
    w->LabeledEditWaeVorname->setText(QStringLiteral("Jörg"));
    w->LabeledEditWaeArtikel->setText(QStringLiteral("Kasack weiß"));
    w->LabeledEditWaeAnzWasch->setText(QStringLiteral("5"));
    w->DateTimePickerWAEAngNach->setDate(QDate(2019, 3, 4));
    w->BitBtnWaeLadenClick();
    m_env->server->enqueue(ScriptedReply::xml(table("")));
    tick();
    const auto items = requestsTo("/WaescheChunk");
    QCOMPARE(items.size(), 1);
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    QCOMPARE(QString::fromStdString(items[0].query),
             QStringLiteral("USER=4711&PW=geheim&LetzteID=S000000&WaescheID=S0%261%232&BewNum=42&Vorname=J%C3%B6rg"
                            "&Name=&ARTNR=&Artikel=Kasack+wei%C3%9F&Charge=&Groesse=&MaxWasch=&AnzWasch=5"
                            "&AngVor=%1&AngNach=04.03.2019&EingVor=%1&EingNach=01.01.2000&AusgVor=%1&AusgNach=01.01.2000")
                 .arg(today));
}

void TestDataView::widthFiles_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no file
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<bool>("error");
    QTest::newRow("missing: defaults") << QByteArray() << QList<int>{64, 64, 64, 64, 64, 64} << false;
    QTest::newRow("stored widths") << QByteArray("10\r\n20\r\n30\r\n40\r\n50\r\n60\r\n")
                                   << QList<int>{10, 20, 30, 40, 50, 60} << false;
    QTest::newRow("letters on a line") << QByteArray("10\r\nabc\r\n30\r\n40\r\n50\r\n60\r\n")
                                       << QList<int>{10, 64, 30, 40, 50, 60} << false;
    QTest::newRow("surplus lines ignored") << QByteArray("1\n2\n3\n4\n5\n6\n7\n8\n")
                                           << QList<int>{1, 2, 3, 4, 5, 6} << false;
    QTest::newRow("fewer lines: applied, then the error") << QByteArray("11\r\n22\r\n")
                                                          << QList<int>{11, 22, 64, 64, 64, 64} << true;
}

void TestDataView::widthFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<int>, widths);
    QFETCH(bool, error);
    if (!file.isEmpty()) {
        QFile f(QStringLiteral("PlivoraBewohner.Col"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    showWindow();
    QList<int> actual;
    for (int c = 0; c < 6; ++c)
        actual << w->StringGridBewohner->colWidth(c);
    QCOMPARE(actual, widths);
    QCOMPARE(m_env->fixture->messages.size(), error ? 1 : 0);
    if (error) // over the window being shown, not over whichever window is active
        QCOMPARE(m_env->fixture->messages.first().owner, static_cast<QWidget *>(w));
    QVERIFY(w->Timer1 != nullptr);
}

void TestDataView::widthFileWrittenByReload()
{
    showWindow();
    for (int c = 0; c < 15; ++c)
        w->StringGridWaesche->setColWidth(c, 50 + c);
    w->BitBtnWaeLadenClick();
    QFile f(QStringLiteral("PlivoraWaesche.Col"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray expected;
    for (int c = 0; c < 15; ++c)
        expected += QByteArray::number(50 + c) + "\r\n";
    QCOMPARE(f.readAll(), expected);
    QVERIFY(w->ReloadWaesche);
}

void TestDataView::showingTwice()
{
    showWindow();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1))));
    tick();
    tick();
    w->LabeledEditBewName->setText(QStringLiteral("Meier"));
    w->DateTimePickerWaschAusgVor->setDate(QDate(2001, 1, 1));
    w->PageControlData->setCurrentIndex(2);
    w->hide();

    m_env->server->enqueue(countReply(40));
    m_env->server->enqueue(countReply(13));
    m_env->server->enqueue(countReply(10));
    w->show();
    waitForShow();
    QCOMPARE(requestsTo("/BewohnerInit").size(), 1);
    QCOMPARE(FPlivoraCom->BWTransfer.AnzahlDatensaetzeGesamt, 40);
    QCOMPARE(FPlivoraCom->WASCHTransfer.Status, 0);
    QCOMPARE(w->DateTimePickerWaschAusgVor->date(), QDate::currentDate());
    QCOMPARE(w->DateTimePickerWaschAusgNach->date(), QDate(2000, 1, 1));
    QCOMPARE(w->PageControlData->currentIndex(), 0);
    QCOMPARE(w->LabeledEditBewName->text(), QStringLiteral("Meier"));
    QCOMPARE(w->StringGridBewohner->cell(0, 1), QStringLiteral("1"));
    QCOMPARE(w->StringGridBewohner->cell(0, 0), QStringLiteral("TraegerNr"));
    QCOMPARE(w->StringGridBewohner->cell(1, 0), QStringLiteral("Name"));
}

void TestDataView::failedTickPausesOnlyThatList()
{
    showWindow();
    auto broken = ScriptedReply::xml(table(wearerRow(1)));
    broken.mode = ScriptedReply::Mode::CloseMidBody;
    m_env->server->enqueue(broken);
    // The error arrives with the reply, after the tick; its box is shown with
    // the tick guard held, so no tick runs underneath it.
    QList<bool> guardHeld;
    platform::MessagePresenter fixtureBox = platform::setMessagePresenter(nullptr);
    platform::setMessagePresenter([&](const platform::ShownMessage &m) {
        guardHeld << w->IntRunning;
        fixtureBox(m);
    });
    tick();
    platform::setMessagePresenter(fixtureBox);
    QCOMPARE(guardHeld, QList<bool>{true});
    QCOMPARE(m_env->fixture->messages.size(), 1);
    QCOMPARE(m_env->fixture->messages[0].icon, QMessageBox::Critical);
    QVERIFY(!w->IntRunning);
    QCOMPARE(w->ShapeStatusBew->penColor(), maroon);
    QVERIFY(w->isPaused(0));

    tick();
    QCOMPARE(requestsTo("/BewohnerChunk").size(), 1); // paused: nothing more
    QCOMPARE(m_env->fixture->messages.size(), 1);

    w->PageControlData->setCurrentIndex(1); // the other lists go on
    m_env->server->enqueue(ScriptedReply::xml(table("")));
    tick();
    QCOMPARE(requestsTo("/WaescheChunk").size(), 1);

    w->PageControlData->setCurrentIndex(0);
    w->BitBtnBewLadenClick();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(3))));
    tick();
    QCOMPARE(requestsTo("/BewohnerChunk").size(), 2);
    QVERIFY(!w->isPaused(0));
    QCOMPARE(w->ShapeStatusBew->penColor(), yellow);
}

void TestDataView::failedCountStillShowsTheWindow()
{
    m_env->server->enqueue(countReply(35));
    m_env->server->enqueue(ScriptedReply::withStatus(500)); // the laundry count fails
    m_env->server->enqueue(countReply(9));
    QFile f(QStringLiteral("PlivoraWaschVG.Col"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("99\r\n");
    f.close();
    w->show();
    waitForShow();
    QCOMPARE(m_env->fixture->messages.size(), 1); // the first error, once
    QCOMPARE(m_env->fixture->messages.first().owner, static_cast<QWidget *>(w));
    QVERIFY(w->Timer1->isActive());
    QCOMPARE(requestsTo("/WaschInit").size(), 1); // later steps still ran
    QCOMPARE(w->StringGridWaschVG->colWidth(0), 99);
    QCOMPARE(FPlivoraCom->WAETransfer.Status, -1);
    QCOMPARE(FPlivoraCom->WASCHTransfer.Status, 0);
    QCOMPARE(w->ShapeStatusWae->penColor(), maroon);
    QCOMPARE(w->DateTimePickerWAEAngNach->date(), QDate(2000, 1, 1));
    w->Timer1->stop();
}

void TestDataView::layoutAndCaptions()
{
    QCOMPARE(w->windowTitle(), QStringLiteral("PlivoraDaten"));
    QCOMPARE(w->PageControlData->count(), 3);
    QCOMPARE(w->PageControlData->tabText(0), QStringLiteral("Träger"));
    QCOMPARE(w->PageControlData->tabText(1), QStringLiteral("Wäsche"));
    QCOMPARE(w->PageControlData->tabText(2), QStringLiteral("Waschvorgänge"));
    QCOMPARE(w->PageControlData->geometry(), QRect(8, 20, 1368, 733));
    QCOMPARE(w->StringGridWaesche->geometry(), QRect(3, 116, 1354, 580));
    QCOMPARE(w->StringGridBewohner->rowCells(0),
             (QStringList{"TraegerNr", "Name", "Vorname", "Zimmernummer", "LieferAdrID", "Wohnbereich"}));
    QCOMPARE(w->StringGridWaschVG->cell(12, 0), QStringLiteral("Charge"));
    QCOMPARE(w->StringGridWaesche->cell(12, 0), QStringLiteral("LetzteCharge"));
    QCOMPARE(w->StringGridWaschVG->rowCount(), 2);
    QVERIFY(!w->LabeledEditWaeArtNr->isVisibleTo(w));
    QCOMPARE(w->LabeledEditWaeAnzWasch->labelCaption(), QStringLiteral(">Anz. Wasch."));
    QCOMPARE(w->ShapeStatusBew->penColor(), maroon);
    QCOMPARE(w->ShapeStatusWasch->height(), w->ShapeStatusWasch->width());
    QCOMPARE(w->BitBtnWaschDruck->text(), QStringLiteral("Drucken"));
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(w->Timer1->interval(), 500);
    // Row 0 gets each header once, however often a sheet is initialised.
    w->InitWaescheSheet();
    w->InitWaescheSheet();
    QCOMPARE(w->StringGridWaesche->cell(14, 0), QStringLiteral("MaxWasch"));
    QCOMPARE(w->StringGridWaesche->rowCells(0).count(QStringLiteral("Name")), 1);
}

using Rects = QList<QRect>;

void TestDataView::itemSheetLayout_data()
{
    QTest::addColumn<int>("sheet");
    QTest::addColumn<Rects>("controls"); // in tab order
    QTest::addColumn<Rects>("labels");   // the pickers' labels, Ang, Eing, Ausg, each "nach" then "vor"
    QTest::addColumn<QRect>("lamp");

    auto edit = [](int left, int top) { return QRect(left, top, 98, 27); };
    auto button = [](int left, int top) { return QRect(left, top, 97, 25); };
    auto picker = [](int left, int top) { return QRect(left, top, 121, 27); };
    QTest::newRow("Wäsche") << 1
                            << Rects{QRect(3, 116, 1354, 580), edit(3, 25), edit(207, 25), edit(310, 25),
                                     edit(950, 25), button(1054, 27), QRect(1218, 28, 139, 24), edit(412, 25),
                                     edit(619, 25), edit(105, 25), edit(721, 25), edit(824, 25), edit(515, 25),
                                     picker(3, 83), picker(130, 83), picker(257, 83), picker(384, 83),
                                     picker(511, 83), picker(638, 83), button(1054, 85), button(1157, 85)}
                            << Rects{QRect(3, 58, 0, 0), QRect(130, 58, 0, 0), QRect(257, 55, 0, 0),
                                     QRect(384, 55, 0, 0), QRect(511, 58, 0, 0), QRect(638, 58, 0, 0)}
                            << QRect(1157, 1, 55, 55);
    QTest::newRow("Waschvorgänge") << 2
                                   << Rects{button(1054, 32), QRect(1218, 33, 139, 24), QRect(3, 117, 1354, 579),
                                            edit(3, 26), edit(103, 26), edit(203, 26), edit(303, 26), edit(910, 26),
                                            edit(404, 26), edit(604, 26), button(1157, 86), edit(504, 26),
                                            edit(705, 26), edit(806, 26), picker(3, 84), picker(130, 84),
                                            picker(257, 84), picker(384, 84), picker(511, 84), picker(638, 84),
                                            button(1054, 86)}
                                   << Rects{QRect(3, 59, 0, 0), QRect(130, 59, 0, 0), QRect(257, 59, 0, 0),
                                            QRect(379, 59, 0, 0), QRect(511, 59, 0, 0), QRect(638, 59, 0, 0)}
                                   << QRect(1157, 8, 55, 55);
}

void TestDataView::itemSheetLayout()
{
    QFETCH(int, sheet);
    QFETCH(Rects, controls);
    QFETCH(Rects, labels);
    QFETCH(QRect, lamp);

    const QList<QWidget *> tabOrder = sheet == 1
        ? QList<QWidget *>{w->StringGridWaesche, w->LabeledEditWaeWaescheID, w->LabeledEditWaeVorname,
                           w->LabeledEditWaeName, w->LabeledEditWaeArtNr, w->BitBtnWaeLaden, w->DatenWae,
                           w->LabeledEditWaeArtikel, w->LabeledEditWaeLetzteCharge, w->LabeledEditWaeBewNr,
                           w->LabeledEditWaeMaxWasch, w->LabeledEditWaeAnzWasch, w->LabeledEditWaeGroesse,
                           w->DateTimePickerWAEAngNach, w->DateTimePickerWAEAngVor, w->DateTimePickerWAEEingNach,
                           w->DateTimePickerWAEEingVor, w->DateTimePickerWAEAusgNach, w->DateTimePickerWAEAusgVor,
                           w->BitBtnWaeExport, w->BitBtnWaeDrucken}
        : QList<QWidget *>{w->BitBtnWaschLaden, w->DatenWasch, w->StringGridWaschVG, w->LabeledEditWaschWaescheID,
                           w->LabeledEditWaschBewNr, w->LabeledEditWaschVorname, w->LabeledEditWaschName,
                           w->LabeledEditWaschArtNr, w->LabeledEditWaschArtikel, w->LabeledEditWaschCharge,
                           w->BitBtnWaschDruck, w->LabeledEditWaschGroesse, w->LabeledEditWaschMaxWasch,
                           w->LabeledEditWaschAnzWasch, w->DateTimePickerWaschAngNach, w->DateTimePickerWaschAngVor,
                           w->DateTimePickerWaschEingNach, w->DateTimePickerWaschEingVor,
                           w->DateTimePickerWaschAusgNach, w->DateTimePickerWaschAusgVor, w->BitBtnWaschExport};
    const QList<QLabel *> pickerLabels = sheet == 1
        ? QList<QLabel *>{w->Label7, w->Label8, w->Label9, w->Label10, w->Label11, w->Label12}
        : QList<QLabel *>{w->Label1, w->Label2, w->Label3, w->Label4, w->Label5, w->Label6};
    const QStringList pickerCaptions{"Ang. nach", "Ang. vor", "Eing. nach", "Eing. vor", "Ausg. nach", "Ausg. vor"};
    // The sheet scrolls inside its page; the controls keep their places on the sheet.
    QWidget *page = sheet == 1 ? w->TabSheetWaesche : w->TabSheetWaschvorgaenge;
    QVERIFY(w->PageControlData->widget(sheet)->isAncestorOf(page));

    for (int i = 0; i < tabOrder.size(); ++i) {
        QCOMPARE(tabOrder[i]->parentWidget(), page);
        QCOMPARE(tabOrder[i]->geometry(), controls[i]);
    }
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(pickerLabels[i]->pos(), labels[i].topLeft());
        QCOMPARE(pickerLabels[i]->text(), pickerCaptions[i]);
    }
    QCOMPARE((sheet == 1 ? w->ShapeStatusWae : w->ShapeStatusWasch)->geometry(), lamp);
    QCOMPARE((sheet == 1 ? w->LabeledEditWaeLetzteCharge : w->LabeledEditWaschCharge)->labelCaption(),
             QString(sheet == 1 ? "LetzteCharge" : "Charge"));
    QVERIFY(!(sheet == 1 ? w->LabeledEditWaeArtNr : w->LabeledEditWaschArtNr)->isVisibleTo(page));
    QCOMPARE(QFontInfo((sheet == 1 ? w->StringGridWaesche : w->StringGridWaschVG)->font()).pixelSize(), 16);

    // The Tab key visits the sheet's controls in table order.
    QList<QWidget *> visited;
    QWidget *next = tabOrder.first();
    do {
        if (tabOrder.contains(next) && !visited.contains(next))
            visited << next;
        next = next->nextInFocusChain();
    } while (next != tabOrder.first());
    QCOMPARE(visited, tabOrder);
}

void TestDataView::exportWritesTheLoadedSheet()
{
    showWindow();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1, "Wei%C3%9F") + "<tr><td></td></tr>")));
    tick();
    tick();
    QTest::mouseClick(w->BitBtnBewExport, Qt::LeftButton);
    QFile f(QStringLiteral("Bewohner.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("TraegerNr;Name;Vorname;Zimmernummer;LieferAdrID;Wohnbereich\r\n"
                                     "1;Wei\xDF;Anna;1a;7;\"Haus Sonne\"\r\n"
                                     ";;;;;\r\n"));
    QVERIFY(m_env->fixture->messages.isEmpty());
    QVERIFY(QFile::exists(QStringLiteral("W\u00e4sche.csv")) == false);
    QTest::mouseClick(w->BitBtnWaschExport, Qt::LeftButton);
    QVERIFY(QFile::exists(QStringLiteral("Waschevorg\u00e4nge.csv")));
}

void TestDataView::exportButtonsComeBackAfterAFailure()
{
    QVERIFY(QDir().mkdir(QStringLiteral("W\u00e4sche.csv"))); // the name is taken by a directory
    QTest::mouseClick(w->BitBtnWaeExport, Qt::LeftButton);
    QCOMPARE(m_env->fixture->messages.size(), 1);
    QVERIFY2(m_env->fixture->messages[0].text.startsWith(QStringLiteral("Datei \"")), qPrintable(m_env->fixture->messages[0].text));
    QVERIFY(m_env->fixture->messages[0].text.contains(QStringLiteral(" kann nicht erstellt werden. ")));
    for (QPushButton *b : {w->BitBtnWaeExport, w->BitBtnWaeDrucken, w->BitBtnWaeLaden})
        QVERIFY(b->isEnabled());
    w->WaschButtonControl(false);
    for (QPushButton *b : {w->BitBtnWaschExport, w->BitBtnWaschDruck, w->BitBtnWaschLaden})
        QVERIFY(!b->isEnabled());
    QVERIFY(w->BitBtnWaeExport->isEnabled());
}

void TestDataView::printRunsTheReportOverTheLoadedRows()
{
    for (const char *name : {"XMLBewohnerListe.rav", "Bewohner.xml"})
        QVERIFY(QFile::copy(QStringLiteral(PLIVORA_RESOURCES "/") + QLatin1String(name), QLatin1String(name)));
    PrintComponents print;
    w->Printing = &print;
    print.RvSystem.setModalRunner([](QDialog &dialog) {
        auto *options = qobject_cast<RvOutputOptionsDialog *>(&dialog);
        if (!options)
            return int(QDialog::Rejected);
        options->fileButton()->setChecked(true);
        options->selectFormat(QStringLiteral("Adobe Acrobat (PDF)"));
        options->fileNameEdit()->setText(QDir::current().filePath(QStringLiteral("traeger.pdf")));
        return int(QDialog::Accepted);
    });
    showWindow();
    m_env->server->enqueue(ScriptedReply::xml(table(wearerRow(1) + wearerRow(2, "%C3%96zt%C3%BCrk") + "<tr><td></td></tr>")));
    tick();
    tick();
    QTest::mouseClick(w->BitBtnBewDrucken, Qt::LeftButton);
    QVERIFY2(m_env->fixture->messages.isEmpty(), m_env->fixture->messages.isEmpty() ? "" : qPrintable(m_env->fixture->messages[0].text));
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("traeger.pdf"), QStringLiteral("-")});
    QVERIFY(pdftotext.waitForFinished(30000));
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QVERIFY2(text.contains(QStringLiteral("Müller")) && text.contains(QStringLiteral("Öztürk")), qPrintable(text));
    w->Printing = nullptr;
}

QTEST_MAIN(TestDataView)
#include "tst_dataview.moc"
