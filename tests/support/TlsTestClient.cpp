#include "support/TlsTestClient.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <algorithm>
#include <functional>
#include <cctype>
#include <vector>

namespace net = boost::asio;
namespace ssl = boost::asio::ssl;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

namespace {

ssl::context makeContext(bool asDesktopClient = false)
{
    ssl::context context(ssl::context::tls_client);
    context.set_verify_mode(ssl::verify_none); // the service's certificate is self-signed
    if (asDesktopClient) {
        SSL_CTX_set_max_proto_version(context.native_handle(), TLS1_2_VERSION);
        SSL_CTX_set_cipher_list(context.native_handle(), "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH");
    }
    return context;
}

TestReply toReply(http::response<http::string_body> &&response)
{
    TestReply reply;
    reply.status = static_cast<int>(response.result_int());
    reply.body = std::move(response.body());
    for (const auto &field : response) {
        std::string name(field.name_string());
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        reply.headers[name] = std::string(field.value());
    }
    return reply;
}

} // namespace

struct TlsTestClient::Impl
{
    Impl(unsigned short p, bool asDesktopClient) : port(p), tls(makeContext(asDesktopClient)) {}

    // Runs the io_context until `done` or the timeout; on timeout closes the socket.
    bool runUntil(const bool &done, std::chrono::milliseconds timeout)
    {
        ioc.restart();
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done && std::chrono::steady_clock::now() < deadline)
            ioc.run_one_for(deadline - std::chrono::steady_clock::now());
        if (!done) {
            beast::get_lowest_layer(*stream).close();
            ioc.restart();
            ioc.run_for(std::chrono::milliseconds(200)); // let the cancelled handler run
        }
        return done;
    }

    unsigned short port;
    std::string sourceAddress;
    net::io_context ioc;
    ssl::context tls;
    std::unique_ptr<beast::ssl_stream<beast::tcp_stream>> stream;
    beast::flat_buffer buffer;
};

TlsTestClient::TlsTestClient(unsigned short port, bool asDesktopClient)
    : d(std::make_unique<Impl>(port, asDesktopClient))
{
}

TlsTestClient::~TlsTestClient() = default;

std::string TlsTestClient::clientRequest(const std::string &target, unsigned short port)
{
    return "GET " + target + " HTTP/1.1\r\n"
         + "Content-Type: text/html; charset=UTF-8\r\n"
         + "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"
         + "Accept: text/html, */*\r\n"
         + "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
         + "\r\n";
}

void TlsTestClient::setSourceAddress(const std::string &address)
{
    d->sourceAddress = address;
}

bool TlsTestClient::connect()
{
    d->stream = std::make_unique<beast::ssl_stream<beast::tcp_stream>>(d->ioc, d->tls);
    d->buffer.clear();
    if (!d->sourceAddress.empty()) {
        beast::error_code ec;
        tcp::socket &socket = beast::get_lowest_layer(*d->stream).socket();
        socket.open(tcp::v4(), ec);
        if (!ec)
            socket.bind(tcp::endpoint(net::ip::make_address(d->sourceAddress), 0), ec);
        if (ec)
            return false;
    }
    bool done = false;
    beast::error_code result;
    const tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"), d->port);
    beast::get_lowest_layer(*d->stream).async_connect(endpoint, [&](beast::error_code ec) {
        if (ec) {
            result = ec;
            done = true;
            return;
        }
        d->stream->async_handshake(ssl::stream_base::client, [&](beast::error_code ec2) {
            result = ec2;
            done = true;
        });
    });
    return d->runUntil(done, std::chrono::seconds(10)) && !result;
}

bool TlsTestClient::sendRaw(const std::string &bytes)
{
    if (!d->stream)
        return false;
    bool done = false;
    beast::error_code result;
    net::async_write(*d->stream, net::buffer(bytes), [&](beast::error_code ec, std::size_t) {
        result = ec;
        done = true;
    });
    return d->runUntil(done, std::chrono::seconds(10)) && !result;
}

std::optional<TestReply> TlsTestClient::readReply(std::chrono::milliseconds timeout)
{
    if (!d->stream)
        return std::nullopt;
    bool done = false;
    beast::error_code result;
    http::response<http::string_body> response;
    http::async_read(*d->stream, d->buffer, response, [&](beast::error_code ec, std::size_t) {
        result = ec;
        done = true;
    });
    if (!d->runUntil(done, timeout) || result)
        return std::nullopt;
    return toReply(std::move(response));
}

std::string TlsTestClient::protocol() const
{
    return d->stream ? SSL_get_version(d->stream->native_handle()) : "";
}

std::optional<TestReply> TlsTestClient::get(const std::string &target)
{
    if (!sendRaw(clientRequest(target, d->port)))
        return std::nullopt;
    return readReply();
}

bool TlsTestClient::closedByServer(std::chrono::milliseconds timeout)
{
    if (!d->stream)
        return true;
    bool done = false;
    beast::error_code result;
    static char scratch[256];
    d->stream->async_read_some(net::buffer(scratch), [&](beast::error_code ec, std::size_t) {
        result = ec;
        done = true;
    });
    // Anything but an error (data arriving) means the connection is still open.
    return d->runUntil(done, timeout) && result;
}

std::optional<std::size_t> TlsTestClient::sendTrickling(const std::string &bytes, std::chrono::milliseconds interval,
                                                       std::chrono::milliseconds limit)
{
    if (!d->stream)
        return std::nullopt;
    bool done = false, closed = false;
    std::size_t sent = 0;
    net::steady_timer pause(d->ioc);
    char scratch[256];
    d->stream->async_read_some(net::buffer(scratch), [&](beast::error_code ec, std::size_t) {
        closed = closed || ec; // data instead means the server took the request and answered
        done = true;
    });
    std::function<void()> sendNext = [&] {
        net::async_write(*d->stream, net::buffer(bytes.data() + sent, 1), [&](beast::error_code ec, std::size_t) {
            if (ec) {
                closed = done = true;
                return;
            }
            if (++sent == bytes.size())
                return; // the reply, or the end, comes through the pending read
            pause.expires_after(interval);
            pause.async_wait([&](beast::error_code waitError) {
                if (!waitError && !done)
                    sendNext();
            });
        });
    };
    if (!bytes.empty())
        sendNext();
    d->ioc.restart();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done && std::chrono::steady_clock::now() < deadline)
        d->ioc.run_one_for(deadline - std::chrono::steady_clock::now());
    const bool endedByServer = closed;
    const std::size_t sentBefore = sent;
    // Nothing may still wait on the locals above when this returns.
    pause.cancel();
    beast::get_lowest_layer(*d->stream).close();
    d->ioc.restart();
    d->ioc.run_for(std::chrono::seconds(1));
    d->stream.reset();
    if (!endedByServer)
        return std::nullopt;
    return sentBefore;
}

ConcurrentOutcome runConcurrentGets(unsigned short port, int connections, const std::string &target)
{
    struct Connection
    {
        Connection(net::io_context &ioc, ssl::context &tls) : stream(ioc, tls) {}
        beast::ssl_stream<beast::tcp_stream> stream;
        std::string request;
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
    };
    net::io_context ioc;
    ssl::context tls = makeContext();
    ConcurrentOutcome outcome;
    std::vector<std::unique_ptr<Connection>> all;
    const tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"), port);
    for (int i = 0; i < connections; ++i) {
        all.push_back(std::make_unique<Connection>(ioc, tls));
        Connection &c = *all.back();
        c.request = TlsTestClient::clientRequest(target, port);
        beast::get_lowest_layer(c.stream).expires_after(std::chrono::seconds(20));
        beast::get_lowest_layer(c.stream).async_connect(endpoint, [&c, &outcome](beast::error_code ec) {
            if (ec)
                return void(++outcome.refused);
            c.stream.async_handshake(ssl::stream_base::client, [&c, &outcome](beast::error_code ec) {
                if (ec)
                    return void(++outcome.refused);
                net::async_write(c.stream, net::buffer(c.request), [&c, &outcome](beast::error_code ec, std::size_t) {
                    if (ec)
                        return void(++outcome.refused);
                    http::async_read(c.stream, c.buffer, c.response,
                                     [&c, &outcome](beast::error_code ec, std::size_t) {
                                         if (ec)
                                             ++outcome.refused;
                                         else if (c.response.result_int() == 200)
                                             ++outcome.ok;
                                         else
                                             ++outcome.other;
                                     });
                });
            });
        });
    }
    ioc.run();
    return outcome;
}

std::optional<std::string> plainExchange(unsigned short port, const std::string &bytes,
                                         std::chrono::milliseconds timeout)
{
    net::io_context ioc;
    beast::tcp_stream stream(ioc);
    stream.expires_after(timeout);
    std::string received;
    bool closed = false;
    char chunk[512];
    std::function<void()> readMore = [&] {
        stream.async_read_some(net::buffer(chunk), [&](beast::error_code ec, std::size_t n) {
            received.append(chunk, n);
            if (ec)
                closed = ec != beast::error::timeout;
            else
                readMore();
        });
    };
    stream.async_connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port), [&](beast::error_code ec) {
        if (ec)
            return;
        net::async_write(stream, net::buffer(bytes), [&](beast::error_code ec2, std::size_t) {
            if (!ec2)
                readMore();
        });
    });
    ioc.run();
    if (!closed)
        return std::nullopt;
    return received;
}
