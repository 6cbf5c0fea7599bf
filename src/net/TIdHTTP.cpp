#include "net/TIdHTTP.h"

#include "net/RequestLine.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/ssl.h>
#include <poll.h>

#include <optional>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;

namespace {

// A status line or header line longer than this is refused.
constexpr std::size_t maxHeaderLine = 16384;
constexpr std::uint64_t maxBody = 256u * 1024 * 1024;

QString text(const beast::error_code &ec)
{
    return QString::fromStdString(ec.message());
}

} // namespace

class TIdHTTP::Impl
{
public:
    Impl()
        : ctx(ssl::context::tls_client)
    {
        SSL_CTX *native = ctx.native_handle();
        SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
        SSL_CTX_set_max_proto_version(native, TLS1_2_VERSION);
        // The legacy list still names RC4; at security level 0 OpenSSL keeps
        // whatever it knows of it and drops what it has compiled out.
        SSL_CTX_set_security_level(native, 0);
        SSL_CTX_set_cipher_list(native, "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH");
        ctx.set_verify_mode(ssl::verify_none);
    }

    asio::io_context io;
    ssl::context ctx;
    std::optional<beast::ssl_stream<beast::tcp_stream>> stream;
    beast::flat_buffer buffer;
    QString host;
    quint16 port = 0;
    QNetworkCookieJar cookies;
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
    int handshakes = 0;

    // Runs one asynchronous operation to its end on this thread, so every step
    // has the stream's time limit.
    template <class Start>
    beast::error_code run(Start start)
    {
        beast::error_code result;
        bool done = false;
        start([&](beast::error_code ec, auto &&...) {
            result = ec;
            done = true;
        });
        io.restart();
        while (!done && io.run_one() > 0) {
        }
        return result;
    }

    void disconnect()
    {
        if (stream) {
            beast::error_code ignored;
            stream->next_layer().socket().close(ignored);
        }
        stream.reset();
        buffer.clear();
    }

    // A kept connection the server has closed while idle shows as readable.
    bool idleConnectionClosed()
    {
        pollfd p{stream->next_layer().socket().native_handle(), POLLIN, 0};
        return ::poll(&p, 1, 0) != 0 || buffer.size() > 0;
    }

    void connect(const net::RequestUrl &url)
    {
        if (stream && host == url.host && port == url.port && !idleConnectionClosed())
            return;
        disconnect();
        if (url.host.isEmpty())
            throw EIdSocketError(QStringLiteral("Host not found: no host name given"));

        tcp::resolver resolver(io);
        tcp::resolver::results_type endpoints;
        beast::error_code ec = run([&](auto handler) {
            resolver.async_resolve(tcp::v4(), url.host.toStdString(), std::to_string(url.port),
                                   [&, handler](beast::error_code e, tcp::resolver::results_type r) mutable {
                                       endpoints = std::move(r);
                                       handler(e);
                                   });
        });
        if (ec)
            throw EIdSocketError(QStringLiteral("Host not found: %1 (%2)").arg(url.host, text(ec)));

        stream.emplace(io, ctx);
        stream->next_layer().expires_after(timeout);
        ec = run([&](auto handler) { stream->next_layer().async_connect(endpoints, handler); });
        if (ec == beast::error::timeout)
            throw EIdReadTimeout(QStringLiteral("Connect to %1:%2 timed out").arg(url.host).arg(url.port));
        if (ec) {
            disconnect();
            throw EIdSocketError(QStringLiteral("Could not connect to %1:%2: %3").arg(url.host).arg(url.port).arg(text(ec)));
        }

        SSL_set_tlsext_host_name(stream->native_handle(), url.host.toStdString().c_str());
        stream->next_layer().expires_after(timeout);
        ec = run([&](auto handler) { stream->async_handshake(ssl::stream_base::client, handler); });
        if (ec) {
            disconnect();
            if (ec == beast::error::timeout)
                throw EIdReadTimeout(QStringLiteral("TLS handshake with %1:%2 timed out").arg(url.host).arg(url.port));
            throw EIdOSSLConnectError(QStringLiteral("TLS handshake with %1:%2 failed: %3").arg(url.host).arg(url.port).arg(text(ec)));
        }
        ++handshakes;
        host = url.host;
        port = url.port;
    }

    QString get(const QString &urlText, const TIdHTTPRequest &request)
    {
        const net::RequestUrl url = net::splitUrl(urlText);
        connect(url);

        const QUrl cookieUrl(QStringLiteral("https://%1:%2%3").arg(url.host).arg(url.port).arg(url.target));
        QStringList pairs;
        for (const QNetworkCookie &cookie : cookies.cookiesForUrl(cookieUrl))
            pairs << QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly));
        const QByteArray wire = net::requestBytes(url, request, pairs.join(QStringLiteral("; ")));

        stream->next_layer().expires_after(timeout);
        beast::error_code ec = run([&](auto handler) { asio::async_write(*stream, asio::buffer(wire.constData(), wire.size()), handler); });
        if (ec)
            fail(ec, QStringLiteral("sending the request"));

        std::optional<http::response_parser<http::string_body>> parser;
        do { // interim 1xx replies carry no body and are skipped
            parser.emplace();
            parser->header_limit(std::numeric_limits<std::uint32_t>::max());
            parser->body_limit(maxBody);
            readHeader(*parser);
        } while (parser->get().result_int() / 100 == 1);

        const auto &reply = parser->get();
        checkLineLengths(reply);
        for (const auto &field : reply) {
            if (field.name() == http::field::set_cookie) {
                const QByteArray value(field.value().data(), qsizetype(field.value().size()));
                cookies.setCookiesFromUrl(QNetworkCookie::parseCookies(value), cookieUrl);
            }
        }
        readBody(*parser);

        const bool keep = parser->keep_alive() && !parser->need_eof();
        const int status = reply.result_int();
        QString body;
        if (status >= 200 && status <= 299) {
            const std::string &raw = reply.body();
            const auto type = reply[http::field::content_type];
            body = net::decodeBody(QByteArray(raw.data(), qsizetype(raw.size())),
                                   QByteArray(type.data(), qsizetype(type.size())));
        }
        if (!keep)
            disconnect();
        return body;
    }

    void readHeader(http::response_parser<http::string_body> &parser)
    {
        stream->next_layer().expires_after(timeout);
        const beast::error_code ec = run([&](auto handler) { http::async_read_header(*stream, buffer, parser, handler); });
        if (ec)
            fail(ec, QStringLiteral("reading the reply"));
        if (parser.get().result_int() / 100 == 1 && !parser.is_done()) {
            // 1xx headers end the message; let the parser see that.
            readBody(parser);
        }
    }

    void readBody(http::response_parser<http::string_body> &parser)
    {
        while (!parser.is_done()) {
            stream->next_layer().expires_after(timeout);
            beast::error_code ec = run([&](auto handler) { http::async_read_some(*stream, buffer, parser, handler); });
            if (!ec)
                continue;
            const bool closed = ec == http::error::end_of_stream || ec == asio::error::eof
                || ec == ssl::error::stream_truncated;
            if (closed && parser.need_eof()) {
                beast::error_code eofError;
                parser.put_eof(eofError);
                if (!eofError)
                    break;
            }
            fail(ec, QStringLiteral("reading the reply"));
        }
    }

    void checkLineLengths(const http::response<http::string_body> &reply)
    {
        if (reply.reason().size() + 13 > maxHeaderLine)
            throwLineTooLong();
        for (const auto &field : reply)
            if (field.name_string().size() + 2 + field.value().size() > maxHeaderLine)
                throwLineTooLong();
    }

    [[noreturn]] void throwLineTooLong()
    {
        disconnect();
        throw EIdHTTPProtocolError(QStringLiteral("Reply header line longer than %1 bytes").arg(maxHeaderLine));
    }

    [[noreturn]] void fail(const beast::error_code &ec, const QString &during)
    {
        disconnect();
        if (ec == beast::error::timeout)
            throw EIdReadTimeout(QStringLiteral("Read timed out: no answer from the server for %1 s while %2")
                                     .arg(timeout.count() / 1000.0)
                                     .arg(during));
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == ssl::error::stream_truncated
            || ec == http::error::partial_message)
            throw EIdConnClosedGracefully(QStringLiteral("Connection closed by the server while %1").arg(during));
        if (ec == http::error::header_limit)
            throwLineTooLong();
        throw EIdSocketError(QStringLiteral("Connection broken while %1: %2").arg(during, text(ec)));
    }
};

TIdHTTP::TIdHTTP()
    : d(std::make_unique<Impl>())
{
}

TIdHTTP::~TIdHTTP() = default;

QString TIdHTTP::Get(const QString &url)
{
    return d->get(url, Request);
}

void TIdHTTP::setProgressTimeout(std::chrono::milliseconds limit)
{
    d->timeout = limit;
}

int TIdHTTP::handshakeCount() const
{
    return d->handshakes;
}
