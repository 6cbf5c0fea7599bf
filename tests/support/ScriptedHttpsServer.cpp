#include "support/ScriptedHttpsServer.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http.hpp>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

namespace asio = boost::asio;
namespace ssl = asio::ssl;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

namespace testsupport {

ScriptedReply ScriptedReply::xml(std::string body)
{
    ScriptedReply reply;
    reply.headers = {{"Content-Type", "text/xml; charset=UTF-8"}};
    reply.body = std::move(body);
    return reply;
}

ScriptedReply ScriptedReply::withStatus(int code)
{
    ScriptedReply reply;
    reply.status = code;
    return reply;
}

namespace {

// One throw-away certificate per test process: an EC key is quick to make.
struct Certificate
{
    std::string certPem;
    std::string keyPem;
};

const Certificate &throwAwayCertificate()
{
    static const Certificate cert = [] {
        EVP_PKEY *key = EVP_EC_gen("P-256");
        X509 *x509 = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
        X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x509), 86400);
        X509_set_pubkey(x509, key);
        X509_NAME *name = X509_get_subject_name(x509);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("localhost"), -1, -1, 0);
        X509_set_issuer_name(x509, name);
        X509_sign(x509, key, EVP_sha256());
        auto toPem = [](auto write) {
            BIO *bio = BIO_new(BIO_s_mem());
            write(bio);
            char *data = nullptr;
            const long size = BIO_get_mem_data(bio, &data);
            std::string pem(data, size_t(size));
            BIO_free(bio);
            return pem;
        };
        Certificate c;
        c.certPem = toPem([&](BIO *b) { PEM_write_bio_X509(b, x509); });
        c.keyPem = toPem([&](BIO *b) { PEM_write_bio_PrivateKey(b, key, nullptr, nullptr, 0, nullptr, nullptr); });
        X509_free(x509);
        EVP_PKEY_free(key);
        return c;
    }();
    return cert;
}

std::string reasonOf(int status)
{
    const auto reason = http::obsolete_reason(static_cast<http::status>(status));
    return reason.empty() ? std::string("Status") : std::string(reason);
}

std::string toHex(size_t n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%zx", n);
    return buf;
}

// The server's socket under TLS; writes a piece at a time when told to trickle.
class TrickleSocket
{
public:
    using lowest_layer_type = tcp::socket::lowest_layer_type;
    using executor_type = tcp::socket::executor_type;

    TrickleSocket(tcp::socket socket, Trickle trickle, std::function<void(std::chrono::milliseconds)> pause)
        : m_socket(std::move(socket))
        , m_trickle(trickle)
        , m_pause(std::move(pause))
    {
    }

    void setTrickle(Trickle trickle) { m_trickle = trickle; }
    lowest_layer_type &lowest_layer() { return m_socket.lowest_layer(); }
    const lowest_layer_type &lowest_layer() const { return m_socket.lowest_layer(); }
    executor_type get_executor() { return m_socket.get_executor(); }

    template <class Buffers>
    size_t read_some(const Buffers &buffers, boost::system::error_code &ec)
    {
        return m_socket.read_some(buffers, ec);
    }

    template <class Buffers>
    size_t write_some(const Buffers &buffers, boost::system::error_code &ec)
    {
        if (m_trickle.piece == 0)
            return m_socket.write_some(buffers, ec);
        m_pause(m_trickle.gap);
        return m_socket.write_some(asio::buffer(*asio::buffer_sequence_begin(buffers), m_trickle.piece), ec);
    }

private:
    tcp::socket m_socket;
    Trickle m_trickle;
    std::function<void(std::chrono::milliseconds)> m_pause;
};

} // namespace

class ScriptedHttpsServer::Impl
{
public:
    explicit Impl(Transport t)
        : transport(t)
        , ctx(ssl::context::tls_server)
        , acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0))
    {
        const Certificate &cert = throwAwayCertificate();
        ctx.use_certificate_chain(asio::buffer(cert.certPem));
        ctx.use_private_key(asio::buffer(cert.keyPem), ssl::context::pem);
        SSL_CTX_set_security_level(ctx.native_handle(), 0);
        acceptThread = std::thread([this] { acceptLoop(); });
    }

    ~Impl()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        ::shutdown(acceptor.native_handle(), SHUT_RDWR);
        acceptThread.join();
        {
            std::lock_guard lock(mutex);
            for (int fd : openSockets)
                ::shutdown(fd, SHUT_RDWR);
        }
        for (auto &t : connectionThreads)
            t.join();
    }

    void acceptLoop()
    {
        while (!stopping) {
            boost::system::error_code ec;
            tcp::socket socket(io);
            acceptor.accept(socket, ec);
            if (ec || stopping)
                return;
            ++connectionCount;
            std::lock_guard lock(mutex);
            openSockets.push_back(socket.native_handle());
            connectionThreads.emplace_back([this, s = std::move(socket)]() mutable { serve(std::move(s)); });
        }
    }

    void serve(tcp::socket socket)
    {
        const int fd = socket.native_handle();
        try {
            if (transport == Transport::PlainTcp) {
                // A peer that does not speak TLS: plain bytes at once, then goodbye.
                const std::string plain = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
                asio::write(socket, asio::buffer(plain));
                boost::system::error_code ignored;
                socket.shutdown(tcp::socket::shutdown_both, ignored);
            } else {
                Trickle handshakeTrickle;
                {
                    std::lock_guard lock(mutex);
                    handshakeTrickle = handshakeTrickling;
                }
                ssl::stream<TrickleSocket> stream(TrickleSocket(std::move(socket), handshakeTrickle,
                                                                [this](std::chrono::milliseconds gap) { pause(gap); }),
                                                  ctx);
                stream.handshake(ssl::stream_base::server);
                stream.next_layer().setTrickle({});
                ++handshakeCount;
                serveStream(stream);
                boost::system::error_code ignored;
                stream.lowest_layer().close(ignored);
            }
        } catch (const std::exception &) {
            // a client that went away or never spoke TLS ends its connection
        }
        std::lock_guard lock(mutex);
        openSockets.remove(fd);
    }

    template <class Stream>
    void serveStream(Stream &stream)
    {
        asio::streambuf buffer;
        for (;;) {
            boost::system::error_code ec;
            const size_t headerEnd = asio::read_until(stream, buffer, "\r\n\r\n", ec);
            if (ec)
                return;
            RecordedRequest request;
            request.raw.assign(asio::buffers_begin(buffer.data()), asio::buffers_begin(buffer.data()) + headerEnd);
            buffer.consume(headerEnd);
            http::request_parser<http::empty_body> parser;
            parser.eager(true);
            parser.put(asio::buffer(request.raw), ec);
            if (!ec) {
                const auto target = parser.get().target();
                request.target.assign(target.data(), target.size());
            }
            const auto question = request.target.find('?');
            request.path = request.target.substr(0, question);
            request.query = question == std::string::npos ? std::string() : request.target.substr(question + 1);

            const ScriptedReply reply = answerFor(request);
            if (reply.mode == ScriptedReply::Mode::NeverAnswer) {
                waitForClose(stream);
                return;
            }
            if (reply.mode == ScriptedReply::Mode::CloseOnRequest)
                return;
            std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonOf(reply.status) + "\r\n";
            for (const auto &[name, value] : reply.headers)
                out += name + ": " + value + "\r\n";
            const bool close = reply.mode == ScriptedReply::Mode::CloseAfterReply
                || reply.mode == ScriptedReply::Mode::CloseMidBody;
            if (reply.mode == ScriptedReply::Mode::Chunked) {
                out += "Transfer-Encoding: chunked\r\n\r\n";
                for (size_t at = 0; at < reply.body.size(); at += 7) {
                    const std::string piece = reply.body.substr(at, 7);
                    out += toHex(piece.size()) + "\r\n" + piece + "\r\n";
                }
                out += "0\r\n\r\n";
            } else if (reply.mode == ScriptedReply::Mode::CloseMidBody) {
                out += "Content-Length: " + std::to_string(reply.body.size() + 100) + "\r\n\r\n" + reply.body;
            } else {
                out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
                if (close)
                    out += "Connection: close\r\n";
                out += "\r\n" + reply.body;
            }
            if (!reply.raw.empty())
                out = reply.raw;
            send(stream, out, reply.trickle, ec);
            if (reply.mode == ScriptedReply::Mode::SendThenHold)
                waitForClose(stream);
            if (ec || close || reply.mode == ScriptedReply::Mode::SendThenHold)
                return;
        }
    }

    template <class Stream>
    void send(Stream &stream, const std::string &out, Trickle trickle, boost::system::error_code &ec)
    {
        if (trickle.piece == 0) {
            asio::write(stream, asio::buffer(out), ec);
            return;
        }
        for (size_t at = 0; at < out.size() && !ec; at += trickle.piece) {
            pause(trickle.gap);
            asio::write(stream, asio::buffer(out.data() + at, std::min(trickle.piece, out.size() - at)), ec);
        }
    }

    template <class Stream>
    void waitForClose(Stream &stream)
    {
        char byte;
        boost::system::error_code ignored;
        asio::read(stream, asio::buffer(&byte, 1), ignored); // until the client or the destructor closes it
    }

    // A pause the destructor cuts short.
    void pause(std::chrono::milliseconds gap)
    {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, gap, [this] { return stopping.load(); });
    }

    ScriptedReply answerFor(const RecordedRequest &request)
    {
        std::function<ScriptedReply(const RecordedRequest &)> handlerCopy;
        {
            std::lock_guard lock(mutex);
            recorded.push_back(request);
            if (!queue.empty()) {
                ScriptedReply reply = std::move(queue.front());
                queue.pop_front();
                return reply;
            }
            handlerCopy = handler;
        }
        return handlerCopy ? handlerCopy(request) : ScriptedReply::withStatus(404);
    }

    Transport transport;
    asio::io_context io;
    ssl::context ctx;
    tcp::acceptor acceptor;
    std::thread acceptThread;
    std::atomic<bool> stopping{false};
    std::atomic<int> handshakeCount{0};
    std::atomic<int> connectionCount{0};

    mutable std::mutex mutex;
    std::list<int> openSockets;
    std::vector<std::thread> connectionThreads;
    std::condition_variable wake;
    Trickle handshakeTrickling;
    std::deque<ScriptedReply> queue;
    std::function<ScriptedReply(const RecordedRequest &)> handler;
    std::vector<RecordedRequest> recorded;
};

ScriptedHttpsServer::ScriptedHttpsServer(Transport transport)
    : d(std::make_unique<Impl>(transport))
{
}

ScriptedHttpsServer::~ScriptedHttpsServer() = default;

unsigned short ScriptedHttpsServer::port() const
{
    return d->acceptor.local_endpoint().port();
}

void ScriptedHttpsServer::enqueue(ScriptedReply reply)
{
    std::lock_guard lock(d->mutex);
    d->queue.push_back(std::move(reply));
}

void ScriptedHttpsServer::setHandler(std::function<ScriptedReply(const RecordedRequest &)> handler)
{
    std::lock_guard lock(d->mutex);
    d->handler = std::move(handler);
}

std::vector<RecordedRequest> ScriptedHttpsServer::requests() const
{
    std::lock_guard lock(d->mutex);
    return d->recorded;
}

void ScriptedHttpsServer::clearRequests()
{
    std::lock_guard lock(d->mutex);
    d->recorded.clear();
}

void ScriptedHttpsServer::setHandshakeTrickle(Trickle trickle)
{
    std::lock_guard lock(d->mutex);
    d->handshakeTrickling = trickle;
}

int ScriptedHttpsServer::handshakes() const
{
    return d->handshakeCount;
}

int ScriptedHttpsServer::connections() const
{
    return d->connectionCount;
}

} // namespace testsupport
