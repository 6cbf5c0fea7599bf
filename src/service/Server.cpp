#include "service/Server.h"

#include "service/AddressLimits.h"
#include "service/Certificate.h"
#include "service/QueryString.h"
#include "service/RequestHandler.h"
#include "service/ServiceLog.h"
#include "service/StorePool.h"

#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <QString>

#include <atomic>
#include <thread>
#include <vector>

namespace service {

namespace net = boost::asio;
namespace ssl = boost::asio::ssl;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

namespace {

constexpr std::size_t headerLimit = 16 * 1024;
constexpr std::size_t bodyLimit = 16 * 1024;
// The first read of a request takes what has arrived, up to this much; the parser reads on.
constexpr std::size_t firstReadSize = 4 * 1024;
constexpr auto writeTimeout = std::chrono::seconds(30);
constexpr auto shutdownTimeout = std::chrono::seconds(5);
// Out of descriptors and the like: the pause before the next accept.
constexpr auto acceptRetryDelay = std::chrono::milliseconds(50);

// Every failed socket operation ends here: the line names the operation, the
// peer (when there is one) and the reason. The caller then drops the connection.
void fail(beast::error_code ec, std::string_view what, std::string_view peer = {})
{
    std::string line(peer);
    if (!line.empty())
        line += ": ";
    line += what;
    line += " failed: ";
    line += ec.message();
    logLine(line);
}

// The peer ended the connection between requests (with or without a TLS
// close_notify): the normal end of a kept-alive connection, not a failure.
bool peerLeft(beast::error_code ec)
{
    return ec == net::error::eof || ec == ssl::error::stream_truncated || ec == http::error::end_of_stream;
}

std::string peerText(const tcp::endpoint &endpoint)
{
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

// What every session of one server shares: the request handler and the limits with their bookkeeping.
struct SessionContext
{
    SessionContext(const ServerSettings &settings, VerifiedCredentials &verified)
        : handler(verified), idleTimeout(settings.idleTimeout), headerTimeout(settings.headerTimeout),
          perAddress(settings.maxConnectionsPerAddress),
          loginThrottle(settings.loginFailureLimit, settings.loginFailureWindow)
    {
    }

    RequestHandler handler;
    std::chrono::seconds idleTimeout;
    std::chrono::seconds headerTimeout;
    std::atomic<int> active{0};
    ConnectionsPerAddress perAddress;
    LoginThrottle loginThrottle;
    StorePool *pool = nullptr; // runs every database call, off the network threads
};

class Session : public std::enable_shared_from_this<Session>
{
public:
    // `address` has been admitted to the context's per-address count; the session gives it back.
    Session(tcp::socket &&socket, std::string address, std::string peer, ssl::context &tls, SessionContext &context)
        : m_stream(std::move(socket), tls), m_context(context), m_address(std::move(address)), m_peer(std::move(peer))
    {
        ++m_context.active;
    }
    ~Session()
    {
        m_context.perAddress.release(m_address);
        --m_context.active;
    }

    void start()
    {
        lowest().expires_after(m_context.idleTimeout);
        m_stream.async_handshake(ssl::stream_base::server,
                                 beast::bind_front_handler(&Session::onHandshake, shared_from_this()));
    }

private:
    beast::tcp_stream &lowest() { return beast::get_lowest_layer(m_stream); }

    void fail(beast::error_code ec, std::string_view what) { service::fail(ec, what, m_peer); }

    void onHandshake(beast::error_code ec)
    {
        if (ec)
            return fail(ec, "TLS handshake");
        awaitRequest();
    }

    // Between requests a client may stay silent for the idle timeout; the
    // header timeout starts with the first byte of the next request.
    void awaitRequest()
    {
        if (m_buffer.size() > 0)
            return readRequest(); // the next request came with the last one
        lowest().expires_after(m_context.idleTimeout);
        m_stream.async_read_some(m_buffer.prepare(firstReadSize),
                                 beast::bind_front_handler(&Session::onFirstBytes, shared_from_this()));
    }

    void onFirstBytes(beast::error_code ec, std::size_t received)
    {
        m_buffer.commit(received);
        if (ec == net::error::eof)
            return close();
        if (ec == beast::error::timeout || peerLeft(ec))
            return; // silent for the idle timeout, or gone: the connection has ended
        if (ec)
            return fail(ec, "reading a request");
        readRequest();
    }

    void readRequest()
    {
        m_parser.emplace();
        m_parser->header_limit(headerLimit);
        m_parser->body_limit(bodyLimit);
        lowest().expires_after(m_context.headerTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
                         beast::bind_front_handler(&Session::onRead, shared_from_this()));
    }

    void onRead(beast::error_code ec, std::size_t)
    {
        m_requestStart = std::chrono::steady_clock::now();
        if (ec == http::error::end_of_stream)
            return close();
        if (ec == http::error::header_limit)
            return respond(http::status::request_header_fields_too_large, false);
        if (ec == http::error::body_limit)
            return respond(http::status::payload_too_large, false);
        if (ec && ec.category() == http::make_error_code(http::error::bad_target).category()
            && ec != http::error::partial_message)
            return respond(http::status::bad_request, false);
        if (ec)
            return fail(ec, "reading a request"); // timed out, truncated or broken
        serve(m_parser->get());
    }

    void serve(const http::request<http::string_body> &request)
    {
        const bool keepAlive = request.keep_alive();
        if (request.method() != http::verb::get)
            return respond(http::status::method_not_allowed, keepAlive);
        if (const auto wait = m_context.loginThrottle.refusedFor(m_address, LoginThrottle::Clock::now()))
            return respond(Reply{unsigned(http::status::too_many_requests), {}}, keepAlive, *wait);

        // The request runs on a worker of the pool (the password check and the
        // query); the reply comes back on this session's strand. A session reads
        // its next request only after that, so the pool's queue never holds more
        // jobs than there are connections (--max-connections).
        m_context.pool->post([self = shared_from_this(), keepAlive,
                              target = std::string(request.target().data(), request.target().size())](Store &store) {
            Reply reply = self->m_context.handler.handle(store, target);
            net::post(self->m_stream.get_executor(), [self, keepAlive, reply = std::move(reply)]() mutable {
                self->answer(std::move(reply), keepAlive);
            });
        });
    }

    void answer(Reply reply, bool keepAlive)
    {
        // The parser still holds the request: the next one is read only after this reply.
        if (reply.status == unsigned(http::status::unauthorized))
            warnFailedLogin(m_parser->get().target());
        if (reply.status == unsigned(http::status::unauthorized)
            && m_context.loginThrottle.recordFailure(m_address, LoginThrottle::Clock::now())) {
            const LoginThrottle &throttle = m_context.loginThrottle;
            logLine(m_address + ": " + std::to_string(throttle.limit()) + " failed logins within "
                    + std::to_string(throttle.window().count()) + " s; its requests get 429 for up to "
                    + std::to_string(throttle.window().count()) + " s");
        }
        respond(std::move(reply), keepAlive);
    }

    void warnFailedLogin(beast::string_view target)
    {
        const auto query = QueryParameters::fromTarget(std::string_view(target.data(), target.size()));
        const std::string *customer = query ? query->value("USER") : nullptr;
        logLine("warning: failed login for customer \"" + loggable(customer ? *customer : std::string_view{}, 64)
                + "\" from " + m_address);
    }

    // Method and path of the request being answered, "-" for what was not read;
    // the query stays out of the log, as it holds the password.
    void noteRequestForLog()
    {
        m_logMethod = m_logPath = "-";
        if (!m_parser || !m_parser->is_header_done())
            return;
        const auto &request = m_parser->get();
        const auto method = request.method_string();
        m_logMethod = loggable(std::string_view(method.data(), method.size()), 16);
        const std::string_view target(request.target().data(), request.target().size());
        m_logPath = loggable(target.substr(0, target.find('?')));
    }

    // Time, client address, method, path, status, body bytes, microseconds.
    void writeAccessLog(std::size_t bodyBytes)
    {
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - m_requestStart)
                                .count();
        accessLogLine(isoUtcTime(std::chrono::system_clock::now()) + " " + m_address + " " + m_logMethod + " "
                      + m_logPath + " " + std::to_string(m_response.result_int()) + " " + std::to_string(bodyBytes)
                      + " " + std::to_string(micros));
    }

    // The one place a response is made, so every status goes out with the same fields.
    void respond(Reply reply, bool keepAlive, std::optional<std::chrono::seconds> retryAfter = std::nullopt)
    {
        noteRequestForLog();
        m_response = {};
        m_response.result(reply.status);
        m_response.version(11);
        m_response.set(http::field::server, "plivora-service");
        if (reply.status == unsigned(http::status::method_not_allowed))
            m_response.set(http::field::allow, "GET");
        if (retryAfter)
            m_response.set(http::field::retry_after, std::to_string(retryAfter->count()));
        if (!reply.body.empty())
            m_response.set(http::field::content_type, "text/xml; charset=UTF-8");
        m_response.body() = std::move(reply.body);
        m_response.keep_alive(keepAlive);
        m_response.prepare_payload();

        lowest().expires_after(writeTimeout);
        http::async_write(m_stream, m_response, beast::bind_front_handler(&Session::onWrite, shared_from_this()));
    }

    void respond(http::status status, bool keepAlive) { respond(Reply{unsigned(status), {}}, keepAlive); }

    void onWrite(beast::error_code ec, std::size_t)
    {
        writeAccessLog(ec ? 0 : m_response.body().size());
        if (ec)
            return fail(ec, "writing a response");
        if (!m_response.keep_alive())
            return close();
        awaitRequest();
    }

    void close()
    {
        lowest().expires_after(shutdownTimeout);
        m_stream.async_shutdown([self = shared_from_this()](beast::error_code ec) {
            if (ec && !peerLeft(ec))
                self->fail(ec, "TLS shutdown");
        });
    }

    beast::ssl_stream<beast::tcp_stream> m_stream;
    SessionContext &m_context;
    const std::string m_address; // the key of the per-address limits
    const std::string m_peer;    // address and port, for the log
    beast::flat_buffer m_buffer{headerLimit + bodyLimit};
    std::optional<http::request_parser<http::string_body>> m_parser;
    http::response<http::string_body> m_response;
    std::chrono::steady_clock::time_point m_requestStart;
    std::string m_logMethod, m_logPath;
};

} // namespace

struct Server::Impl
{
    explicit Impl(ServerSettings s)
        : settings(std::move(s)), context(settings, verified)
    {
    }

    void accept()
    {
        acceptor.async_accept(net::make_strand(ioc), [this](beast::error_code ec, tcp::socket socket) {
            if (!acceptor.is_open())
                return;
            if (ec) {
                fail(ec, "accepting a connection");
                retry.expires_after(acceptRetryDelay);
                retry.async_wait([this](beast::error_code) { accept(); });
                return;
            }
            admit(std::move(socket));
            accept();
        });
    }

    // A refused connection is closed at once, before the handshake: the socket
    // goes out of scope, and the peer sees its connection closed.
    void admit(tcp::socket socket)
    {
        beast::error_code ec;
        const tcp::endpoint remote = socket.remote_endpoint(ec);
        if (ec)
            return fail(ec, "reading a new connection's address"); // already gone
        if (context.active.load() >= settings.maxConnections)
            return;
        std::string address = remote.address().to_string();
        switch (context.perAddress.admit(address)) {
        case ConnectionsPerAddress::Admission::Admitted:
            break;
        case ConnectionsPerAddress::Admission::RefusedFirst:
            logLine(address + " holds " + std::to_string(settings.maxConnectionsPerAddress)
                    + " connections, the most one address may; more are closed at once");
            return;
        case ConnectionsPerAddress::Admission::Refused:
            return;
        }
        std::make_shared<Session>(std::move(socket), std::move(address), peerText(remote), tls, context)->start();
    }

    ServerSettings settings;
    VerifiedCredentials verified;
    SessionContext context;
    // Declared before the io_context: sessions still queued in it are destroyed with it and use both.
    ssl::context tls{ssl::context::tls_server};
    net::io_context ioc{std::max(1, settings.threads)};
    tcp::acceptor acceptor{ioc};
    net::steady_timer retry{ioc};
    // After the io_context: a job still queued holds a session, which must go before the context.
    std::unique_ptr<StorePool> pool;
};

Server::Server(ServerSettings settings)
    : d(std::make_unique<Impl>(std::move(settings)))
{
}

Server::~Server() = default;

unsigned short Server::listen()
{
    d->pool = std::make_unique<StorePool>(d->settings.databaseConnections, [this] {
        auto store = openStore(d->settings.databasePath, StoreAccess::ReadOnly);
        store->count(ListKind::Wearers, ""); // fails now, not at the first request, on a foreign database
        return store;
    });
    d->context.pool = d->pool.get();

    d->tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3
                       | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    beast::error_code ec;
    d->tls.use_certificate_chain_file(d->settings.certificatePath, ec);
    if (!ec)
        d->tls.use_private_key_file(d->settings.keyPath, ssl::context::pem, ec);
    if (ec)
        throw ECertificateError(QStringLiteral("Cannot load certificate \"%1\" and key \"%2\": %3")
                                    .arg(QString::fromStdString(d->settings.certificatePath),
                                         QString::fromStdString(d->settings.keyPath),
                                         QString::fromStdString(ec.message())));

    const auto address = net::ip::make_address(d->settings.host, ec);
    if (ec)
        throw Exception(QStringLiteral("Invalid host address \"%1\": %2")
                            .arg(QString::fromStdString(d->settings.host), QString::fromStdString(ec.message())));
    const tcp::endpoint endpoint(address, d->settings.port);
    d->acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        d->acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec)
        d->acceptor.bind(endpoint, ec);
    if (!ec)
        d->acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec)
        throw Exception(QStringLiteral("Cannot listen on %1:%2: %3")
                            .arg(QString::fromStdString(d->settings.host))
                            .arg(d->settings.port)
                            .arg(QString::fromStdString(ec.message())));
    return d->acceptor.local_endpoint().port();
}

void Server::run()
{
    net::signal_set stopSignals(d->ioc, SIGINT, SIGTERM);
    stopSignals.async_wait([this](beast::error_code ec, int) {
        if (!ec)
            stop();
    });
    d->accept();

    auto serve = [this] {
        for (;;) {
            try {
                d->ioc.run();
                break;
            } catch (const std::exception &error) {
                logLine(error.what());
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < std::max(1, d->settings.threads); ++i)
        helpers.emplace_back(serve);
    serve();
    for (auto &t : helpers)
        t.join();
}

void Server::stop()
{
    net::post(d->ioc, [this] {
        beast::error_code ignored;
        d->acceptor.close(ignored);
        d->retry.cancel();
        d->ioc.stop();
    });
}

} // namespace service
