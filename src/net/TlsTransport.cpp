// The TLS module: one kept-alive connection through Boost.Beast over OpenSSL.
#include "net/TlsTransport.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/ssl.h>
#include <poll.h>

#include <cstdio>
#include <optional>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using net::TransportLimits;
using net::TransportReply;
using Failure = TransportReply::Failure;

namespace {

// A status line or header line longer than this is refused, counted as it came
// over the wire, without its line end.
constexpr std::size_t maxHeaderLine = 16384;
// The whole reply header is bounded too, so that a peer sending endless lines
// cannot make the program buffer without end: 64 lines of the longest kind,
// far beyond any real server's header.
constexpr std::size_t maxHeader = 64 * maxHeaderLine;
constexpr std::uint64_t maxBody = 256u * 1024 * 1024;
constexpr std::size_t readChunk = 16 * 1024;

// Sits between TLS and TCP and gives every single socket read and write a fresh
// time limit. Beast's limit covers a whole operation, and one header read or one
// TLS record spans many socket reads, so a peer trickling bytes would otherwise be
// cut off although it never fell silent.
template <class NextLayer>
class ProgressStream
{
public:
    using executor_type = typename NextLayer::executor_type;
    using lowest_layer_type = typename NextLayer::socket_type; // what TLS asks of its next layer

    template <class... Args>
    explicit ProgressStream(Args &&...args)
        : m_next(std::forward<Args>(args)...)
    {
    }

    void setLimit(std::chrono::milliseconds limit) { m_limit = limit; }
    std::chrono::milliseconds limit() const { return m_limit; }
    NextLayer &next_layer() { return m_next; }
    lowest_layer_type &lowest_layer() { return m_next.socket(); }
    const lowest_layer_type &lowest_layer() const { return m_next.socket(); }
    executor_type get_executor() noexcept { return m_next.get_executor(); }

    template <class Buffers, class Token>
    auto async_read_some(const Buffers &buffers, Token &&token)
    {
        m_next.expires_after(m_limit);
        return m_next.async_read_some(buffers, std::forward<Token>(token));
    }

    template <class Buffers, class Token>
    auto async_write_some(const Buffers &buffers, Token &&token)
    {
        m_next.expires_after(m_limit);
        return m_next.async_write_some(buffers, std::forward<Token>(token));
    }

private:
    NextLayer m_next;
    std::chrono::milliseconds m_limit{std::chrono::seconds(60)};
};

// Follows a reply header byte by byte as it arrives, so that an overlong line is
// refused as soon as it passes the limit, not after its end has come.
class HeaderScan
{
public:
    enum class State { More, Complete, LineTooLong, HeaderTooLong };

    State feed(const char *data, std::size_t size)
    {
        for (std::size_t i = 0; i < size && m_state == State::More; ++i) {
            const char c = data[i];
            if (++m_total > maxHeader) {
                m_state = State::HeaderTooLong;
            } else if (c == '\n') {
                if (m_line == 0 || (m_line == 1 && m_lastWasCr))
                    m_state = State::Complete; // the empty line that ends the header
                m_line = 0;
            } else {
                ++m_line;
                // One byte past the limit may still be the CR of the line end.
                if (m_line > maxHeaderLine + 1 || (m_line == maxHeaderLine + 1 && c != '\r'))
                    m_state = State::LineTooLong;
            }
            m_lastWasCr = c == '\r';
        }
        return m_state;
    }

private:
    State m_state = State::More;
    std::size_t m_total = 0;
    std::size_t m_line = 0; // bytes of the current line so far, a CR included
    bool m_lastWasCr = false;
};

// A failure inside one exchange; turned into the reply's failure at its end.
struct Failed
{
    Failure kind;
    std::string message;
    bool peerEnded = false;
};

std::string seconds(std::chrono::milliseconds limit)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(limit.count()) / 1000.0);
    return text;
}

std::string endpoint(const std::string &host, std::uint16_t port)
{
    return host + ':' + std::to_string(port);
}

bool peerClosed(const beast::error_code &ec)
{
    return ec == http::error::end_of_stream || ec == asio::error::eof || ec == ssl::error::stream_truncated
        || ec == http::error::partial_message;
}

bool peerReset(const beast::error_code &ec)
{
    return ec == asio::error::connection_reset || ec == asio::error::broken_pipe;
}

class BeastTlsTransport final : public net::TlsTransport
{
public:
    BeastTlsTransport()
        : m_ctx(ssl::context::tls_client)
    {
        SSL_CTX *native = m_ctx.native_handle();
        SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
        SSL_CTX_set_max_proto_version(native, TLS1_2_VERSION);
        // The legacy list still names RC4; at security level 0 OpenSSL keeps
        // whatever it knows of it and drops what it has compiled out.
        SSL_CTX_set_security_level(native, 0);
        SSL_CTX_set_cipher_list(native, "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH");
        m_ctx.set_verify_mode(ssl::verify_none);
    }

    TransportReply exchange(const std::string &host, std::uint16_t port, const std::string &request,
                            const TransportLimits &limits) override
    {
        TransportReply reply;
        m_limits = limits;
        try {
            reply.reusedConnection = connect(host, port);
            send(request);
            receive(reply);
        } catch (const Failed &failed) {
            disconnect();
            reply.failure = failed.kind;
            reply.message = failed.message;
            reply.peerEnded = failed.peerEnded;
        } catch (const std::exception &e) { // resources running out, say
            disconnect();
            reply.failure = Failure::Socket;
            reply.message = e.what();
        }
        return reply;
    }

    int handshakeCount() const override { return m_handshakes; }

private:
    using Stream = beast::ssl_stream<ProgressStream<beast::tcp_stream>>;
    using Parser = http::response_parser<http::string_body>;

    ProgressStream<beast::tcp_stream> &progress() { return m_stream->next_layer(); }
    beast::tcp_stream &tcpStream() { return progress().next_layer(); }

    // Runs one asynchronous operation to its end on this thread, so every step
    // has the stream's time limit. All waiting of the channel happens here.
    template <class Start>
    beast::error_code run(Start start)
    {
        beast::error_code result;
        bool done = false;
        start([&](beast::error_code ec, auto &&...) {
            result = ec;
            done = true;
        });
        m_io.restart();
        while (!done && m_io.run_one() > 0) {
        }
        return result;
    }

    void disconnect()
    {
        if (m_stream) {
            beast::error_code ignored;
            tcpStream().socket().close(ignored);
        }
        m_stream.reset();
        m_buffer.clear();
    }

    // A kept connection the server has closed while idle shows as readable.
    bool idleConnectionClosed()
    {
        pollfd p{tcpStream().socket().native_handle(), POLLIN, 0};
        return ::poll(&p, 1, 0) != 0 || m_buffer.size() > 0;
    }

    // Returns whether the kept connection was reused.
    bool connect(const std::string &host, std::uint16_t port)
    {
        if (m_stream && host == m_host && port == m_port && !idleConnectionClosed())
            return true;
        disconnect();
        if (host.empty())
            throw Failed{Failure::Socket, "Host not found: no host name given"};

        tcp::resolver resolver(m_io);
        tcp::resolver::results_type endpoints;
        beast::error_code ec = run([&](auto handler) {
            resolver.async_resolve(tcp::v4(), host, std::to_string(port),
                                   [&, handler](beast::error_code e, tcp::resolver::results_type r) mutable {
                                       endpoints = std::move(r);
                                       handler(e);
                                   });
        });
        if (ec)
            throw Failed{Failure::Socket, "Host not found: " + host + " (" + ec.message() + ")"};

        m_stream.emplace(m_io, m_ctx);
        tcpStream().expires_after(m_limits.transfer);
        ec = run([&](auto handler) { tcpStream().async_connect(endpoints, handler); });
        if (ec == beast::error::timeout)
            throw Failed{Failure::TimedOut, "Connect to " + endpoint(host, port) + " timed out"};
        if (ec)
            throw Failed{Failure::Socket, "Could not connect to " + endpoint(host, port) + ": " + ec.message()};

        SSL_set_tlsext_host_name(m_stream->native_handle(), host.c_str());
        progress().setLimit(m_limits.handshake);
        ec = run([&](auto handler) { m_stream->async_handshake(ssl::stream_base::client, handler); });
        if (ec == beast::error::timeout)
            throw Failed{Failure::TimedOut, "TLS handshake with " + endpoint(host, port) + " timed out: nothing arrived for "
                                                + seconds(m_limits.handshake) + " s"};
        if (ec)
            throw Failed{Failure::Handshake, "TLS handshake with " + endpoint(host, port) + " failed: " + ec.message()};
        ++m_handshakes;
        m_host = host;
        m_port = port;
        return false;
    }

    void send(const std::string &request)
    {
        progress().setLimit(m_limits.transfer);
        const beast::error_code ec =
            run([&](auto handler) { asio::async_write(*m_stream, asio::buffer(request), handler); });
        if (ec)
            fail(ec, "sending the request");
    }

    void receive(TransportReply &reply)
    {
        std::optional<Parser> parser;
        do { // interim 1xx replies carry no body and are skipped
            parser.emplace();
            // The scan in readHeader bounds the header; Beast's own limit, a little
            // above, only keeps it from its smaller default.
            parser->header_limit(std::uint32_t(maxHeader + 4));
            parser->body_limit(maxBody);
            readHeader(*parser, reply);
        } while (parser->get().result_int() / 100 == 1);

        const auto &message = parser->get();
        reply.status = message.result_int();
        for (const auto &field : message)
            reply.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        readBody(*parser);
        reply.body = std::move(parser->get().body());
        if (!parser->keep_alive() || parser->need_eof())
            disconnect();
    }

    void readHeader(Parser &parser, TransportReply &reply)
    {
        HeaderScan scan;
        std::size_t scanned = 0;
        for (;;) {
            const auto *data = static_cast<const char *>(m_buffer.data().data());
            const HeaderScan::State state = scan.feed(data + scanned, m_buffer.size() - scanned);
            if (state == HeaderScan::State::LineTooLong)
                throwLineTooLong();
            if (state == HeaderScan::State::HeaderTooLong)
                throw Failed{Failure::HeaderLine, "Reply header longer than " + std::to_string(maxHeader) + " bytes"};
            scanned = m_buffer.size();
            if (m_buffer.size() > 0) {
                beast::error_code ec;
                const std::size_t used = parser.put(m_buffer.data(), ec);
                m_buffer.consume(used);
                if (!ec)
                    break;
                if (ec != http::error::need_more)
                    fail(ec, "reading the reply");
                scanned -= used;
            }
            std::size_t received = 0;
            const beast::error_code ec = run([&](auto handler) {
                m_stream->async_read_some(m_buffer.prepare(readChunk),
                                          [&, handler](beast::error_code e, std::size_t n) mutable {
                                              received = n;
                                              handler(e);
                                          });
            });
            m_buffer.commit(received);
            if (received > 0)
                reply.replyStarted = true;
            if (ec)
                fail(ec, "reading the reply");
        }
        if (parser.get().result_int() / 100 == 1 && !parser.is_done()) {
            // 1xx headers end the message; let the parser see that.
            readBody(parser);
        }
    }

    void readBody(Parser &parser)
    {
        while (!parser.is_done()) {
            beast::error_code ec = run([&](auto handler) { http::async_read_some(*m_stream, m_buffer, parser, handler); });
            if (!ec)
                continue;
            if (peerClosed(ec) && parser.need_eof()) {
                beast::error_code eofError;
                parser.put_eof(eofError);
                if (!eofError)
                    break;
            }
            fail(ec, "reading the reply");
        }
    }

    [[noreturn]] void throwLineTooLong()
    {
        throw Failed{Failure::HeaderLine, "Reply header line longer than " + std::to_string(maxHeaderLine) + " bytes"};
    }

    [[noreturn]] void fail(const beast::error_code &ec, const std::string &during)
    {
        if (ec == beast::error::timeout)
            throw Failed{Failure::TimedOut, "Read timed out: nothing arrived from the server for "
                                                + seconds(progress().limit()) + " s while " + during};
        if (peerClosed(ec))
            throw Failed{Failure::Closed, "Connection closed by the server while " + during, true};
        if (ec == http::error::header_limit)
            throwLineTooLong();
        throw Failed{Failure::Socket, "Connection broken while " + during + ": " + ec.message(), peerReset(ec)};
    }

    asio::io_context m_io;
    ssl::context m_ctx;
    std::optional<Stream> m_stream;
    beast::flat_buffer m_buffer;
    std::string m_host;
    std::uint16_t m_port = 0;
    TransportLimits m_limits;
    int m_handshakes = 0;
};

} // namespace

extern "C" __attribute__((visibility("default"))) net::TlsTransport *plivora_create_tls_transport()
{
    try {
        return new BeastTlsTransport;
    } catch (const std::exception &) {
        return nullptr;
    }
}
