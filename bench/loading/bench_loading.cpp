// Loading a whole list, timed side by side in one run:
//  1. the demo database's wash list (15 000 rows) through the real data window,
//     exchange and loader at LadeIntervall=0, against the same chunk GETs issued
//     back to back by the channel alone;
//  2. how late a 10 ms probe timer fires on the window's thread meanwhile, and
//     while loading from a server that takes 2 s for every reply.
#include "contract/ListContract.h"
#include "dataview/UPlivoraDaten.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "exchange/ChunkRows.h"
#include "exchange/ContractText.h"
#include "exchange/LoginData.h"
#include "exchange/UPlivoraCom.h"
#include "platform/ErrorBox.h"
#include "support/ScriptedHttpsServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <cstdio>
#include <vector>

namespace {

const QString customer = QStringLiteral("1001");
const QString password = QStringLiteral("Waesche2026");

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "bench_loading: %s\n", qPrintable(why));
    std::exit(1);
}

// The worst lateness of a 10 ms timer on this thread while it runs.
class LatencyProbe
{
public:
    LatencyProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = std::max(m_worst, (now - m_last) / 1e6 - 10.0);
            m_last = now;
        });
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_timer.start();
    }
    double worstMs() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worst = 0;
};

// Runs the event loop as exec() would, sleeping while nothing happens (a
// spinning wait would take a core from the worker and the service).
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wakeUp; // the condition is also looked at without any event of its own
    wakeUp.start(50);
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The chunk query of the wash list as a freshly started program sends it.
QString washQuery(const LoginData &login, const TWaschKom &record)
{
    QString query;
    for (const contract::Parameter &p : contract::washes.chunkQuery) {
        if (!query.isEmpty())
            query += QLatin1Char('&');
        query += exchange::contractText(p.name) + QLatin1Char('=');
        switch (p.field) {
        case contract::Field::Customer:
        case contract::Field::Password: query += login.credential(p); break;
        case contract::Field::PagingKey: query += record.LetzteIDNummer; break;
        case contract::Field::ReceivedBefore: query += record.FilterEingVor; break;
        case contract::Field::ReceivedAfter: query += record.FilterEingNach; break;
        case contract::Field::DispatchedBefore: query += record.FilterAusgVor; break;
        case contract::Field::DispatchedAfter: query += record.FilterAusgNach; break;
        default: break; // every other filter starts empty
        }
    }
    return query;
}

struct ChannelRun
{
    double seconds = 0;
    int requests = 0;
    int rows = 0;
};

// The same GETs, one after the other on the calling thread, each key taken
// from the reply before (the one part of the row walk the next request needs).
ChannelRun channelAlone(LoginData &login)
{
    TFPlivoraCom defaults(login);
    TWaschKom &record = defaults.WASCHTransfer;
    TIdHTTP http;
    http.Request.setContentType(QStringLiteral("text/html"));
    http.Request.setCharSet(QStringLiteral("UTF-8"));
    http.Get(login.loginUrl()); // the connection is open before the clock starts, as after the login
    ChannelRun run;
    bool ended = false;
    const RowSink sink{[&](bool endRow) { ended = ended || endRow; run.rows += endRow ? 0 : 1; }, {}};
    QElapsedTimer clock;
    clock.start();
    while (!ended) {
        const QString reply = http.Get(login.requestUrl(contract::washes.chunkPath, washQuery(login, record)));
        ++run.requests;
        if (reply.isEmpty())
            fail(QStringLiteral("empty chunk reply from the service"));
        record.XMLFile.LoadFromXML(reply);
        walkChunkRows(record, sink);
    }
    run.seconds = clock.nsecsElapsed() / 1e9;
    return run;
}

struct WindowRun
{
    double seconds = 0;
    int rows = 0;
    double worstLateMs = 0;
    QString counter;
};

// A list through the real data window with its loader and exchange object;
// `untilMs` stops early instead of waiting for the end. The time is that of
// the loading after the show; the probe runs from the show (with its counts) on.
WindowRun throughTheWindow(LoginData &login, int loadInterval, int sheet, int untilMs)
{
    FPlivoraDaten = new TFPlivoraDaten;
    FPlivoraCom = new TFPlivoraCom(login);
    FPlivoraDaten->setLoadInterval(loadInterval);
    QObject::connect(FPlivoraDaten, &TFPlivoraDaten::showFinished, FPlivoraDaten,
                     [sheet] { FPlivoraDaten->PageControlData->setCurrentIndex(sheet); });
    // From the show on (building the window's controls is start-up, not loading).
    std::optional<LatencyProbe> probe(std::in_place);
    FPlivoraDaten->show();
    if (!waitFor([] { return !FPlivoraDaten->isShowing(); }, 60000))
        fail(QStringLiteral("the counts did not come back"));

    WindowRun run;
    bool *const ends[3] = {&FPlivoraDaten->NoMoreBew, &FPlivoraDaten->NoMoreWae, &FPlivoraDaten->NoMoreWasch};
    QElapsedTimer clock;
    clock.start();
    waitFor([&] { return *ends[sheet] || clock.elapsed() > untilMs; }, untilMs + 60000);
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.worstLateMs = probe->worstMs();
    probe.reset();
    TLabeledEdit *const counters[3] = {FPlivoraDaten->DatenBew, FPlivoraDaten->DatenWae, FPlivoraDaten->DatenWasch};
    const TFPlivoraCom *com = FPlivoraCom;
    run.rows = sheet == 2 ? com->WASCHTransfer.AnzahlDatensaetzeGelesen : com->BWTransfer.AnzahlDatensaetzeGelesen;
    run.counter = counters[sheet]->text();
    delete FPlivoraCom;
    FPlivoraCom = nullptr;
    delete FPlivoraDaten;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    platform::setMessagePresenter([](const platform::ShownMessage &m) { fail(QStringLiteral("message box: ") + m.text); });
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QString db = dir.filePath(QStringLiteral("demo.db"));

    QProcess demo;
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(QStringLiteral(PLIVORA_SERVICE_EXE), {QStringLiteral("--init-demo"), QStringLiteral("--db"), db});
    if (!demo.waitForFinished(300000) || demo.exitCode() != 0)
        fail(QStringLiteral("--init-demo failed: ") + QString::fromLocal8Bit(demo.readAll()));

    // The access log, a line per request, goes into a file: a pipe nobody
    // reads (the channel's run blocks this thread) would stall the service.
    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString serviceOutput = dir.filePath(QStringLiteral("service.out"));
    service.setStandardOutputFile(serviceOutput);
    service.start(QStringLiteral(PLIVORA_SERVICE_EXE),
                  {QStringLiteral("--db"), db, QStringLiteral("--port"), QStringLiteral("0")});
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"));
    QRegularExpressionMatch match;
    for (int waited = 0; waited < 600 && !match.hasMatch(); ++waited) {
        service.waitForFinished(100); // a pause that ends early if the service fails
        QFile file(serviceOutput);
        match = listening.match(QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()));
    }
    if (!match.hasMatch())
        fail(QStringLiteral("the service did not start"));

    LoginData login;
    login.IPWebServer = QStringLiteral("127.0.0.1");
    login.PortWebServer = match.captured(1);
    login.KDNummerPub = customer;
    login.PWPub = password;

    // The machine may be shared: the two runs take turns, and each one's best
    // and median of three rounds are compared.
    std::vector<ChannelRun> channels;
    std::vector<WindowRun> windows;
    for (int round = 0; round < 3; ++round) {
        channels.push_back(channelAlone(login));
        windows.push_back(throughTheWindow(login, 0, 2, 600000));
    }
    service.terminate();
    service.waitForFinished(30000);
    std::vector<double> c, w, late;
    for (const ChannelRun &r : channels)
        c.push_back(r.seconds);
    for (const WindowRun &r : windows) {
        w.push_back(r.seconds);
        late.push_back(r.worstLateMs);
    }
    std::sort(c.begin(), c.end());
    std::sort(w.begin(), w.end());
    std::sort(late.begin(), late.end());

    std::printf("Whole wash list of the demo database (--init-demo), reference service on loopback, 3 rounds\n");
    std::printf("  channel alone, GETs back to back: best %.3f s, median %.3f s (%d requests, %d rows)\n", c[0], c[1],
                channels[0].requests, channels[0].rows);
    std::printf("  data window at LadeIntervall=0:   best %.3f s, median %.3f s (%d rows, counter \"%s\")\n", w[0],
                w[1], windows[0].rows, qPrintable(windows[0].counter));
    std::printf("  ratio window / channel: best %.2f, median %.2f\n", w[0] / c[0], w[1] / c[1]);
    std::printf("  worst lateness of a 10 ms probe timer (show and loading) per round, sorted: %.1f, %.1f, %.1f ms\n",
                late[0], late[1], late[2]);

    // A server that takes 2 s for every reply, at the standard pace: the window keeps answering.
    testsupport::ScriptedHttpsServer slow;
    std::string rows;
    for (int r = 0; r < 10; ++r)
        rows += "<tr><td>" + std::to_string(1000 + r) + "</td><td>Name</td><td>Vorname</td><td>1</td><td>2</td>"
                "<td>WB</td></tr>";
    slow.setHandler([&](const testsupport::RecordedRequest &request) {
        testsupport::ScriptedReply reply = request.path.find("Init") != std::string::npos
                                               ? testsupport::ScriptedReply::xml("<table><tr>999</tr></table>")
                                               : testsupport::ScriptedReply::xml("<table>" + rows + "</table>");
        reply.trickle = {1 << 20, std::chrono::milliseconds(2000)}; // everything in one piece, after 2 s
        return reply;
    });
    LoginData slowLogin;
    slowLogin.IPWebServer = QStringLiteral("127.0.0.1");
    slowLogin.PortWebServer = QString::number(slow.port());
    slowLogin.KDNummerPub = customer;
    slowLogin.PWPub = password;
    QElapsedTimer showClock;
    showClock.start();
    const WindowRun slowRun = throughTheWindow(slowLogin, 500, 0, 9000);
    std::printf("Server delaying every reply by 2 s, LadeIntervall 500 (show with three counts: %.1f s)\n",
                showClock.nsecsElapsed() / 1e9 - slowRun.seconds);
    std::printf("  %.1f s of loading, %d rows, worst lateness of a 10 ms probe timer: %.1f ms\n", slowRun.seconds,
                slowRun.rows, slowRun.worstLateMs);
    return 0;
}
