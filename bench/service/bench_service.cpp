// bench_service: how many chunk requests per second plivora-service answers on
// one kept-alive connection, and on 50 connections at once, side by side; and
// how long a refused login takes for a wrong password and for an unknown
// customer number (the two must not tell apart which numbers exist).
//
//   bench_service [--seconds S] [--connections N] [--port P]
//
// Without --port it makes a demo database of the default size in a temporary
// folder and starts its own service on an ephemeral port, with the limits per
// client address raised (all the load comes from one address). A service given
// by --port needs the same: --max-per-address N and --login-failures 1000. Each connection pages
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
#include <stdexcept>
#include <memory>
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

Totals measure(unsigned short port, int connections, double seconds)
{
    net::io_context ioc;
    ssl::context tls(ssl::context::tls_client);
    tls.set_verify_mode(ssl::verify_none);
    Totals totals;
    const auto start = Clock::now() + std::chrono::milliseconds(500); // handshakes and first requests first
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (int i = 0; i < connections; ++i)
        std::make_shared<Connection>(ioc, tls, port, i % 3, totals, start, end)->start();
    ioc.run();
    return totals;
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 3;
    int connections = 50;
    unsigned short port = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (name == "--connections")
            connections = std::atoi(argv[i + 1]);
        else if (name == "--port")
            port = static_cast<unsigned short>(std::atoi(argv[i + 1]));
    }

    QTemporaryDir dir;
    QProcess service;
    if (port == 0) {
        const QString db = dir.filePath(QStringLiteral("bench.db"));
        QProcess init;
        init.start(QStringLiteral(PLIVORA_SERVICE_EXE), {"--init-demo", "--db", db});
        if (!init.waitForFinished(120000) || init.exitCode() != 0) {
            std::fprintf(stderr, "bench_service: --init-demo failed\n");
            return 1;
        }
        // The access log, a line per request, goes into a file: a pipe nobody reads would stall the service.
        const QString serviceOutput = dir.filePath(QStringLiteral("service.out"));
        service.setStandardOutputFile(serviceOutput);
        service.start(QStringLiteral(PLIVORA_SERVICE_EXE),
                      {"--db", db, "--port", "0", "--max-per-address", QString::number(std::max(connections, 32)),
                       "--login-failures", "1000"});
        QByteArray out;
        const QRegularExpression listening(QStringLiteral("listening on [^:]+:(\\d+)\n"));
        for (int waited = 0; waited < 300 && port == 0; ++waited) {
            service.waitForFinished(100); // a pause that ends early if the service fails
            QFile file(serviceOutput);
            out = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            const auto match = listening.match(QString::fromUtf8(out));
            if (match.hasMatch())
                port = static_cast<unsigned short>(match.captured(1).toUInt());
        }
        if (port == 0) {
            std::fprintf(stderr, "bench_service: the service did not start\n");
            return 1;
        }
    }

    measure(port, 1, 0.5); // first login pays for PBKDF2 once; not part of either figure
    Totals one = measure(port, 1, seconds);
    const Totals many = measure(port, connections, seconds);
    const double oneRate = one.requests / seconds, manyRate = many.requests / seconds;
    const std::string manyLabel = std::to_string(connections) + " connections at once";
    std::printf("chunk requests per second, %-24s %8.0f  (mean latency %.2f ms)\n", "1 kept-alive connection",
                oneRate, one.requests ? 1000 * one.latencySeconds / one.requests : 0.0);
    std::printf("chunk requests per second, %-24s %8.0f  (mean latency %.2f ms)\n", manyLabel.c_str(), manyRate,
                many.requests ? 1000 * many.latencySeconds / many.requests : 0.0);
    std::printf("ratio %d : 1 connection %*s %8.2f\n", connections, 24, "", oneRate > 0 ? manyRate / oneRate : 0.0);
    if (one.failures || many.failures)
        std::printf("failed requests: %ld and %ld\n", one.failures, many.failures);

    constexpr int refusalRounds = 15;
    try {
        const auto [wrongPassword, unknownCustomer] = measureRefusals(port, refusalRounds);
        std::printf("refused login, median of %d: wrong password %.1f ms, unknown customer %.1f ms, ratio %.2f\n",
                    refusalRounds, wrongPassword, unknownCustomer,
                    wrongPassword > 0 ? unknownCustomer / wrongPassword : 0.0);
    } catch (const std::exception &error) {
        std::printf("refused logins not measured: %s\n", error.what());
        one.failures += 1;
    }

    if (service.state() == QProcess::Running) {
        service.terminate();
        service.waitForFinished(10000);
    }
    return one.failures || many.failures ? 1 : 0;
}
