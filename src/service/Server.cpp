#include "service/Server.h"

#include "service/Certificate.h"
#include "service/RequestHandler.h"
#include "service/StorePool.h"

#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <QString>

#include <atomic>
#include <cstdio>
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
constexpr auto writeTimeout = std::chrono::seconds(30);
constexpr auto shutdownTimeout = std::chrono::seconds(5);

struct Shared
{
    RequestHandler handler;
    std::chrono::seconds idleTimeout;
    std::atomic<int> active{0};
    StorePool *pool = nullptr;
};

class Session : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket &&socket, ssl::context &tls, Shared &shared)
        : m_stream(std::move(socket), tls), m_shared(shared)
    {
        ++m_shared.active;
    }
    ~Session() { --m_shared.active; }

    void start()
    {
        beast::get_lowest_layer(m_stream).expires_after(m_shared.idleTimeout);
        m_stream.async_handshake(ssl::stream_base::server,
                                 beast::bind_front_handler(&Session::onHandshake, shared_from_this()));
    }

private:
    void onHandshake(beast::error_code ec)
    {
        if (ec)
            return; // not TLS, or gone: nothing to answer
        readRequest();
    }

    void readRequest()
    {
        m_parser.emplace();
        m_parser->header_limit(headerLimit);
        m_parser->body_limit(bodyLimit);
        beast::get_lowest_layer(m_stream).expires_after(m_shared.idleTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
                         beast::bind_front_handler(&Session::onRead, shared_from_this()));
    }

    void onRead(beast::error_code ec, std::size_t)
    {
        if (ec == http::error::end_of_stream)
            return close();
        if (ec == http::error::header_limit)
            return answerAndClose(http::status::request_header_fields_too_large);
        if (ec == http::error::body_limit)
            return answerAndClose(http::status::payload_too_large);
        if (ec && ec.category() == http::make_error_code(http::error::bad_target).category()
            && ec != http::error::partial_message)
            return answerAndClose(http::status::bad_request);
        if (ec)
            return; // timed out, truncated or broken: the peer is not listening any more

        const auto &request = m_parser->get();
        if (request.method() != http::verb::get)
            return respond({405, {}});
        // The database call runs on a worker of the pool; the reply comes back on this session's strand.
        m_shared.pool->post([self = shared_from_this(),
                             target = std::string(request.target().data(), request.target().size())](Store &store) {
            Reply reply = self->m_shared.handler.handle(store, target);
            net::post(self->m_stream.get_executor(),
                      [self, reply = std::move(reply)]() mutable { self->respond(std::move(reply)); });
        });
    }

    void respond(Reply reply)
    {
        m_response = {};
        m_response.result(reply.status);
        m_response.version(11);
        m_response.set(http::field::server, "plivora-service");
        if (reply.status == 405)
            m_response.set(http::field::allow, "GET");
        if (!reply.body.empty())
            m_response.set(http::field::content_type, "text/xml; charset=UTF-8");
        m_response.body() = std::move(reply.body);
        m_response.keep_alive(m_parser->get().keep_alive());
        m_response.prepare_payload();
        write();
    }

    void answerAndClose(http::status status)
    {
        m_response = {};
        m_response.result(status);
        m_response.version(11);
        m_response.set(http::field::server, "plivora-service");
        m_response.keep_alive(false);
        m_response.prepare_payload();
        write();
    }

    void write()
    {
        beast::get_lowest_layer(m_stream).expires_after(writeTimeout);
        http::async_write(m_stream, m_response, beast::bind_front_handler(&Session::onWrite, shared_from_this()));
    }

    void onWrite(beast::error_code ec, std::size_t)
    {
        if (ec)
            return;
        if (!m_response.keep_alive())
            return close();
        readRequest();
    }

    void close()
    {
        beast::get_lowest_layer(m_stream).expires_after(shutdownTimeout);
        m_stream.async_shutdown([self = shared_from_this()](beast::error_code) {});
    }

    beast::ssl_stream<beast::tcp_stream> m_stream;
    Shared &m_shared;
    beast::flat_buffer m_buffer{headerLimit + bodyLimit};
    std::optional<http::request_parser<http::string_body>> m_parser;
    http::response<http::string_body> m_response;
};

} // namespace

struct Server::Impl
{
    explicit Impl(ServerSettings s)
        : settings(std::move(s)), shared{RequestHandler(verified), settings.idleTimeout, {}}
    {
    }

    void accept()
    {
        acceptor.async_accept(net::make_strand(ioc), [this](beast::error_code ec, tcp::socket socket) {
            if (!acceptor.is_open())
                return;
            if (ec) {
                // Out of descriptors and the like: breathe, then take the next one.
                retry.expires_after(std::chrono::milliseconds(50));
                retry.async_wait([this](beast::error_code) { accept(); });
                return;
            }
            if (shared.active.load() >= settings.maxConnections) {
                beast::error_code ignored;
                socket.close(ignored); // refused: the peer sees its connection closed
            } else {
                std::make_shared<Session>(std::move(socket), tls, shared)->start();
            }
            accept();
        });
    }

    ServerSettings settings;
    VerifiedCredentials verified;
    Shared shared;
    // Declared before the io_context: sessions still queued in it are destroyed with it and use both.
    ssl::context tls{ssl::context::tls_server};
    net::io_context ioc{2};
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
    d->shared.pool = d->pool.get();

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
                std::fprintf(stderr, "plivora-service: %s\n", error.what());
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
