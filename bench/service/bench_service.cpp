// bench_service: how many chunk requests per second plivora-service answers on
// one kept-alive connection, and on 50 connections at once, side by side for
// one instance on SQLite, one on PostgreSQL and two on the same PostgreSQL database;
// and how long a refused login takes for a wrong password and for an unknown
// customer number on each backend (the two must not tell apart which numbers exist).
//
//   bench_service [--seconds S] [--connections N] [--db POSTGRESQL_URI] [--port P] [--baseline EXE]
//
// --baseline adds the PostgreSQL rows of another plivora-service build (an older
// one, to see a change side by side under the same load).
// --port measures a running service only. Otherwise it makes demo databases of
// the default size: an SQLite file in a temporary folder, and the PostgreSQL
// database --db names (filled when empty) or, without --db, one in a throw-away
// cluster (scripts/pg-test-cluster.sh), and starts its own services with the limits per
// client address raised (all the load comes from one address). A service given by
// --port needs the same: --max-per-address N and --login-failures 1000. Each connection pages
// through one list (wearers, laundry items, wash processes in turn) with the
// desktop client's requests and default date filters, starting again at the end.

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace net = boost::asio;
namespace ssl = boost::asio::ssl;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

struct Totals
{
    long requests = 0;
    long failures = 0;
    double latencySeconds = 0;
};

class Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(net::io_context &ioc, ssl::context &tls, unsigned short port, int list, Totals &totals,
               Clock::time_point start, Clock::time_point end)
        : m_stream(ioc, tls), m_port(port), m_list(list), m_totals(totals), m_start(start), m_end(end)
    {
        const QString today = QDate::currentDate().toString(u"dd.MM.yyyy");
        m_filters = "&WaescheID=&BewNum=&Vorname=&Name=&ARTNR=&Artikel=&Charge=&Groesse=&MaxWasch=&AnzWasch="
                    "&AngVor=" + today.toStdString() + "&AngNach=01.01.2000&EingVor=" + today.toStdString()
                  + "&EingNach=01.01.2000&AusgVor=" + today.toStdString() + "&AusgNach=01.01.2000";
        m_key = firstKey();
    }

    void start()
    {
        beast::get_lowest_layer(m_stream).async_connect(
            tcp::endpoint(net::ip::make_address("127.0.0.1"), m_port), [self = shared_from_this()](beast::error_code ec) {
                if (ec)
                    return void(++self->m_totals.failures);
                self->m_stream.async_handshake(ssl::stream_base::client, [self](beast::error_code ec2) {
                    if (ec2)
                        return void(++self->m_totals.failures);
                    self->request();
                });
            });
    }

private:
    std::string firstKey() const { return m_list == 1 ? "S000000" : "0"; }

    void request()
    {
        if (Clock::now() >= m_end)
            return;
        std::string target;
        if (m_list == 0)
            target = "/BewohnerChunk?USER=1001&PW=Waesche2026&LBWNum=" + m_key + "&BewNum=&Vorname=&Name=&WB=";
        else
            target = std::string(m_list == 1 ? "/WaescheChunk" : "/WaschChunk")
                   + "?USER=1001&PW=Waesche2026&LetzteID=" + m_key + m_filters;
        m_request = "GET " + target + " HTTP/1.1\r\nContent-Type: text/html; charset=UTF-8\r\nHost: 127.0.0.1:"
                  + std::to_string(m_port)
                  + "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n";
        m_sent = Clock::now();
        net::async_write(m_stream, net::buffer(m_request), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec)
                return void(++self->m_totals.failures);
            self->m_response = {};
            http::async_read(self->m_stream, self->m_buffer, self->m_response,
                             [self](beast::error_code ec2, std::size_t) { self->onReply(ec2); });
        });
    }

    void onReply(beast::error_code ec)
    {
        if (ec || m_response.result_int() != 200)
            return void(++m_totals.failures);
        const auto now = Clock::now();
        if (m_sent >= m_start) { // requests of the warm-up are not counted
            ++m_totals.requests;
            m_totals.latencySeconds += std::chrono::duration<double>(now - m_sent).count();
        }
        // Next key: the first cell of the last row with one; an end row starts the list again.
        const std::string &body = m_response.body();
        std::string key;
        bool ended = false;
        for (std::size_t at = body.find("<tr><td>"); at != std::string::npos; at = body.find("<tr><td>", at + 1)) {
            const std::size_t from = at + 8, to = body.find("</td>", from);
            if (to == from)
                ended = true;
            else
                key = body.substr(from, to - from);
        }
        m_key = ended || key.empty() ? firstKey() : key;
        request();
    }

    beast::ssl_stream<beast::tcp_stream> m_stream;
    unsigned short m_port;
    int m_list;
    Totals &m_totals;
    Clock::time_point m_start, m_end, m_sent;
    std::string m_filters, m_key, m_request;
    beast::flat_buffer m_buffer;
    http::response<http::string_body> m_response;
};

// Median milliseconds of refused logins, alternating wrong password and unknown
// customer on one kept-alive connection so that both see the same machine load.
std::pair<double, double> measureRefusals(unsigned short port, int rounds)
{
    net::io_context ioc;
    ssl::context tls(ssl::context::tls_client);
    tls.set_verify_mode(ssl::verify_none);
    beast::ssl_stream<beast::tcp_stream> stream(ioc, tls);
    beast::get_lowest_layer(stream).connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    stream.handshake(ssl::stream_base::client);
    beast::flat_buffer buffer;
    auto refusal = [&](const std::string &query) {
        http::request<http::empty_body> request(http::verb::get, "/Login?" + query, 11);
        request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
        const auto sent = Clock::now();
        http::write(stream, request);
        http::response<http::string_body> response;
        http::read(stream, buffer, response);
        if (response.result_int() != 401)
            throw std::runtime_error("a refused login got " + std::to_string(response.result_int()));
        return std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    };
    std::vector<double> wrongPassword, unknownCustomer;
    for (int i = 0; i < rounds; ++i) {
        wrongPassword.push_back(refusal("USER=1001&PW=falsch"));
        unknownCustomer.push_back(refusal("USER=9999&PW=falsch"));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    return {median(wrongPassword), median(unknownCustomer)};
}

Totals measure(const std::vector<unsigned short> &ports, int connections, double seconds)
{
    net::io_context ioc;
    ssl::context tls(ssl::context::tls_client);
    tls.set_verify_mode(ssl::verify_none);
    Totals totals;
    const auto start = Clock::now() + std::chrono::milliseconds(500); // handshakes and first requests first
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (int i = 0; i < connections; ++i)
        std::make_shared<Connection>(ioc, tls, ports[i % ports.size()], i % 3, totals, start, end)->start();
    ioc.run();
    return totals;
}

struct Figures
{
    double one = 0, many = 0;
    long failures = 0;
};

Figures run(const std::vector<unsigned short> &ports, int connections, double seconds)
{
    measure(ports, static_cast<int>(ports.size()), 0.5); // each first login pays for PBKDF2 once
    const Totals one = measure(ports, 1, seconds);
    const Totals many = measure(ports, connections, seconds);
    return {one.requests / seconds, many.requests / seconds, one.failures + many.failures};
}

bool runTool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    const bool ok = p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = p.readAll();
    return ok;
}

// A service on an ephemeral port; 0 when it did not start.
// The access log, a line per request, goes into a file (`output`): a pipe nobody reads would stall the service.
unsigned short startService(QProcess &service, const QString &db, const QString &dir, const QString &output,
                            int connections, const QString &program = QStringLiteral(PLIVORA_SERVICE_EXE))
{
    service.setWorkingDirectory(dir);
    service.setStandardOutputFile(output, QIODevice::Truncate);
    service.start(program,
                  {"--db", db, "--port", "0", "--max-per-address", QString::number(std::max(connections, 32)),
                   "--login-failures", "1000"});
    const QRegularExpression listening(QStringLiteral("listening on [^:]+:(\\d+)\n"));
    for (int waited = 0; waited < 300; ++waited) {
        service.waitForFinished(100); // a pause that ends early if the service fails
        QFile file(output);
        const QByteArray out = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const auto match = listening.match(QString::fromUtf8(out));
        if (match.hasMatch())
            return static_cast<unsigned short>(match.captured(1).toUInt());
    }
    std::fprintf(stderr, "bench_service: the service on %s did not start\n", qPrintable(db));
    return 0;
}

void printRow(const char *label, const Figures &f, const Figures &base)
{
    std::printf("%-28s %12.0f %14.0f %12.2f %14.2f\n", label, f.one, f.many, base.one > 0 ? f.one / base.one : 0.0,
                base.many > 0 ? f.many / base.many : 0.0);
}

constexpr int refusalRounds = 15;

// False when the refusals could not be measured.
bool printRefusals(const char *label, unsigned short port)
{
    try {
        const auto [wrongPassword, unknownCustomer] = measureRefusals(port, refusalRounds);
        std::printf("refused login, %s, median of %d: wrong password %.1f ms, unknown customer %.1f ms, ratio %.2f\n",
                    label, refusalRounds, wrongPassword, unknownCustomer,
                    wrongPassword > 0 ? unknownCustomer / wrongPassword : 0.0);
        return true;
    } catch (const std::exception &error) {
        std::printf("refused logins not measured on %s: %s\n", label, error.what());
        return false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 3;
    int connections = 50;
    unsigned short port = 0;
    QString pgUri, baseline;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (name == "--connections")
            connections = std::atoi(argv[i + 1]);
        else if (name == "--port")
            port = static_cast<unsigned short>(std::atoi(argv[i + 1]));
        else if (name == "--db")
            pgUri = QString::fromLocal8Bit(argv[i + 1]);
        else if (name == "--baseline")
            baseline = QString::fromLocal8Bit(argv[i + 1]);
    }
    const std::string manyLabel = std::to_string(connections) + " connections";

    if (port != 0) {
        const Figures f = run({port}, connections, seconds);
        std::printf("chunk requests per second: 1 connection %.0f, %s %.0f\n", f.one, manyLabel.c_str(), f.many);
        const bool refusals = printRefusals("the service", port);
        return f.failures || !refusals ? 1 : 0;
    }

    QTemporaryDir dir;
    const QString script = QStringLiteral(PLIVORA_PG_CLUSTER_SCRIPT);
    const QString uriFile = dir.filePath(QStringLiteral("cluster.uri"));
    bool ownCluster = false;
    if (pgUri.isEmpty()) {
        QByteArray out;
        if (!runTool(QStringLiteral("bash"), {script, "start", uriFile}, &out)) {
            std::fprintf(stderr, "bench_service: no PostgreSQL cluster: %s\n", out.constData());
            return 1;
        }
        ownCluster = true;
        QFile f(uriFile);
        f.open(QIODevice::ReadOnly);
        const QString admin = QString::fromUtf8(f.readAll()).trimmed();
        runTool(QStringLiteral("psql"), {admin, "-X", "-q", "-c", "CREATE DATABASE bench"});
        pgUri = admin.left(admin.lastIndexOf(QLatin1Char('/')) + 1) + QStringLiteral("bench");
    }

    int status = 0;
    {
        const QString file = dir.filePath(QStringLiteral("bench.db"));
        QByteArray out;
        if (!runTool(QStringLiteral(PLIVORA_SERVICE_EXE), {"--init-demo", "--db", file}, &out)
            || (!runTool(QStringLiteral(PLIVORA_SERVICE_EXE), {"--init-demo", "--db", pgUri}, &out)
                && !out.contains("holds data already"))) {
            std::fprintf(stderr, "bench_service: --init-demo failed: %s\n", out.constData());
            status = 1;
        }
        QProcess sqlite, first, second, baseFirst, baseSecond;
        unsigned short ports[3] = {}, basePorts[2] = {};
        if (status == 0) {
            ports[0] = startService(sqlite, file, dir.path(), dir.filePath(QStringLiteral("sqlite.out")), connections);
            ports[1] = startService(first, pgUri, dir.path(), dir.filePath(QStringLiteral("pg1.out")), connections);
            ports[2] = startService(second, pgUri, dir.path(), dir.filePath(QStringLiteral("pg2.out")), connections);
            if (!ports[0] || !ports[1] || !ports[2])
                status = 1;
            if (!baseline.isEmpty()) {
                basePorts[0] = startService(baseFirst, pgUri, dir.path(), dir.filePath(QStringLiteral("base1.out")),
                                            connections, baseline);
                basePorts[1] = startService(baseSecond, pgUri, dir.path(), dir.filePath(QStringLiteral("base2.out")),
                                            connections, baseline);
                if (!basePorts[0] || !basePorts[1])
                    status = 1;
            }
        }
        if (status == 0) {
            const Figures a = run({ports[0]}, connections, seconds);
            Figures d, e; // each baseline figure just before its counterpart
            if (!baseline.isEmpty())
                d = run({basePorts[0]}, connections, seconds);
            const Figures b = run({ports[1]}, connections, seconds);
            if (!baseline.isEmpty())
                e = run({basePorts[0], basePorts[1]}, connections, seconds);
            const Figures c = run({ports[1], ports[2]}, connections, seconds);
            std::printf("chunk requests per second       1 connection %14s   ratio to SQLite (1 / %d)\n",
                        manyLabel.c_str(), connections);
            printRow("one SQLite instance", a, a);
            printRow("one PostgreSQL instance", b, a);
            printRow("two PostgreSQL instances", c, a);
            if (!baseline.isEmpty()) {
                printRow("one PostgreSQL, baseline", d, a);
                printRow("two PostgreSQL, baseline", e, a);
            }
            if (a.failures || b.failures || c.failures || d.failures || e.failures) {
                std::printf("failed requests: %ld, %ld, %ld, %ld, %ld\n", a.failures, b.failures, c.failures,
                            d.failures, e.failures);
                status = 1;
            }
            if (!printRefusals("SQLite", ports[0]) || !printRefusals("PostgreSQL", ports[1]))
                status = 1;
        }
        for (QProcess *p : {&sqlite, &first, &second, &baseFirst, &baseSecond}) {
            if (p->state() == QProcess::Running) {
                p->terminate();
                p->waitForFinished(10000);
            }
        }
    }
    if (ownCluster)
        runTool(QStringLiteral("bash"), {script, "stop", uriFile});
    return status;
}
