#include "net/TIdHTTP.h"

#include "net/BodyDecoding.h"
#include "net/RequestHead.h"
#include "net/RequestUrl.h"
#include "net/TlsModule.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

using net::TransportReply;

namespace {

// One request as its caller asked for it: the settings are taken at the call,
// the Cookie header when it goes out.
struct Job
{
    QString url;
    TIdHTTPRequest request;
    net::TransportLimits limits;
    QString modulePath;
    std::function<void(const QString &, std::exception_ptr)> finish; // runs on the worker
};

} // namespace

class TIdHTTP::Impl
{
public:
    Impl()
        : receiver(std::make_unique<QObject>())
    {
    }

    ~Impl() { stop(); }

    net::TransportLimits limits;
    QString modulePath;
    std::atomic<int> handshakes{0};
    // Lives on the creating thread; outcomes are queued to it.
    std::unique_ptr<QObject> receiver;

    void submit(Job job)
    {
        {
            std::lock_guard lock(mutex);
            if (!stopped) {
                if (!worker.joinable())
                    worker = std::thread([this] { run(); });
                jobs.push_back(std::move(job));
                wake.notify_one();
                return;
            }
        }
        job.finish({}, std::make_exception_ptr(EIdSocketError(QStringLiteral("The connection has been closed"))));
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopped = true;
            if (transport)
                transport->cancel();
            wake.notify_one();
        }
        if (worker.joinable())
            worker.join();
    }

private:
    // Worker state: the cookie jar and the transport are used by the worker alone.
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopped = false;
    std::thread worker;
    std::unique_ptr<net::TlsTransport> transport; // set under the mutex, so stop() can cancel it
    QNetworkCookieJar cookies;

    void run()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopped || !jobs.empty(); });
                if (stopped)
                    break;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            // No lock is held while the request runs: stop() must get in to cancel it.
            QString body;
            std::exception_ptr error;
            try {
                body = get(job);
            } catch (...) {
                error = std::current_exception();
            }
            job.finish(body, error);
        }
        std::deque<Job> left;
        {
            std::lock_guard lock(mutex);
            left.swap(jobs);
        }
        for (Job &job : left)
            job.finish({}, std::make_exception_ptr(EIdSocketError(QStringLiteral("The connection has been closed"))));
    }

    // The TLS module is opened at the first request, so that a missing OpenSSL
    // fails that request rather than the program's start; until it opens, every
    // request tries again.
    net::TlsTransport &tls(const QString &path)
    {
        std::lock_guard lock(mutex);
        if (!transport) {
            transport = net::openTlsTransport(path);
            if (stopped)
                transport->cancel();
        }
        return *transport;
    }

    QString get(const Job &job)
    {
        const QString &urlText = job.url;
        const TIdHTTPRequest &request = job.request;
        const net::TransportLimits &limits = job.limits;
        net::TlsTransport &channel = tls(job.modulePath);
        const net::RequestUrl url = net::splitUrl(urlText);
        const QUrl cookieUrl(QStringLiteral("https://%1:%2%3").arg(url.host).arg(url.port).arg(url.target));
        QStringList pairs;
        for (const QNetworkCookie &cookie : cookies.cookiesForUrl(cookieUrl))
            pairs << QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly));
        const QByteArray wire = net::requestBytes(url, request, pairs.join(QStringLiteral("; ")));

        const std::string host = url.host.toStdString();
        const std::string bytes = wire.toStdString();
        TransportReply reply = channel.exchange(host, url.port, bytes, limits);
        // A server may close a kept connection just as the next request goes
        // out; no poll before reuse can see that. HTTP/1.1 lets a client send an
        // idempotent request once more then, and only then: on a new connection,
        // the same bytes, when not one byte of the reply had come.
        if (reply.failure != TransportReply::Failure::None && reply.reusedConnection && reply.peerEnded
            && !reply.replyStarted)
            reply = channel.exchange(host, url.port, bytes, limits);
        handshakes = channel.handshakeCount();

        QByteArray contentType;
        bool typeSeen = false;
        for (const auto &[name, value] : reply.headers) {
            const QByteArray fieldValue(value.data(), qsizetype(value.size()));
            if (QByteArray::fromStdString(name).compare("Set-Cookie", Qt::CaseInsensitive) == 0)
                cookies.setCookiesFromUrl(QNetworkCookie::parseCookies(fieldValue), cookieUrl);
            else if (!typeSeen && QByteArray::fromStdString(name).compare("Content-Type", Qt::CaseInsensitive) == 0) {
                contentType = fieldValue;
                typeSeen = true;
            }
        }
        if (reply.failure != TransportReply::Failure::None)
            raise(reply);
        if (reply.status < 200 || reply.status > 299)
            return {};
        return net::decodeBody(QByteArray::fromStdString(reply.body), contentType);
    }

    [[noreturn]] static void raise(const TransportReply &reply)
    {
        const QString message = QString::fromStdString(reply.message);
        switch (reply.failure) {
        case TransportReply::Failure::Closed:
            throw EIdConnClosedGracefully(message);
        case TransportReply::Failure::Handshake:
            throw EIdOSSLConnectError(message);
        case TransportReply::Failure::TimedOut:
            throw EIdReadTimeout(message);
        case TransportReply::Failure::HeaderLine:
            throw EIdHTTPProtocolError(message);
        case TransportReply::Failure::Socket:
        case TransportReply::Failure::None:
            break;
        }
        throw EIdSocketError(message);
    }
};

TIdHTTP::TIdHTTP()
    : d(std::make_unique<Impl>())
{
}

TIdHTTP::~TIdHTTP() = default;

QString TIdHTTP::Get(const QString &url)
{
    auto outcome = std::make_shared<std::promise<QString>>();
    std::future<QString> result = outcome->get_future();
    d->submit({url, Request, d->limits, d->modulePath, [outcome](const QString &body, std::exception_ptr error) {
                   if (error)
                       outcome->set_exception(error);
                   else
                       outcome->set_value(body);
               }});
    return result.get();
}

void TIdHTTP::GetAsync(const QString &url, QObject *context, Outcome done)
{
    QPointer<QObject> target(context); // read on the creating thread only
    QObject *receiver = d->receiver.get();
    d->submit({url, Request, d->limits, d->modulePath,
               [receiver, target, done = std::move(done)](const QString &body, std::exception_ptr error) {
                   QMetaObject::invokeMethod(
                       receiver,
                       [target, done, body, error] {
                           if (target)
                               done(body, error);
                       },
                       Qt::QueuedConnection);
               }});
}

void TIdHTTP::stop()
{
    d->stop();
}

void TIdHTTP::setProgressTimeout(std::chrono::milliseconds limit)
{
    d->limits.transfer = limit;
}

void TIdHTTP::setHandshakeTimeout(std::chrono::milliseconds limit)
{
    d->limits.handshake = limit;
}

void TIdHTTP::setTlsModulePath(const QString &path)
{
    d->modulePath = path;
}

int TIdHTTP::handshakeCount() const
{
    return d->handshakes;
}
