#pragma once

#include "platform/Exception.h"

#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

class QObject;

// Failures below HTTP: no TLS libraries, no connection, a failed handshake, a
// broken or silent connection, an oversized header. A reply status is never one of them.
PLIVORA_DECLARE_EXCEPTION(EIdException, Exception)
PLIVORA_DECLARE_EXCEPTION(EIdSocketError, EIdException)
PLIVORA_DECLARE_EXCEPTION(EIdConnClosedGracefully, EIdException)
PLIVORA_DECLARE_EXCEPTION(EIdOSSLConnectError, EIdException)
PLIVORA_DECLARE_EXCEPTION(EIdOSSLCouldNotLoadSSLLibrary, EIdException)
PLIVORA_DECLARE_EXCEPTION(EIdReadTimeout, EIdException)
PLIVORA_DECLARE_EXCEPTION(EIdHTTPProtocolError, EIdException)

// The request settings a caller sets before each Get.
class TIdHTTPRequest
{
public:
    QString ContentType() const { return m_contentType; }
    // A type without a "charset" parameter also sets the charset: "us-ascii"
    // for text/xml, text/xml-external-parsed-entity and text/*+xml, "ISO-8859-1"
    // for every other text type; a charset parameter sets it to that value.
    void setContentType(const QString &type);
    QString CharSet() const { return m_charSet; }
    void setCharSet(const QString &charset) { m_charSet = charset; }

private:
    QString m_contentType;
    QString m_charSet;
};

// The HTTPS client every request of the program goes through: one kept-alive
// TLS connection, cookies held in memory, the reply body as text. Requests run
// one at a time, in the order asked, on a worker thread of the client's own,
// so the thread that asks never waits for the network.
class TIdHTTP
{
public:
    TIdHTTP();
    ~TIdHTTP();
    TIdHTTP(const TIdHTTP &) = delete;
    TIdHTTP &operator=(const TIdHTTP &) = delete;

    TIdHTTPRequest Request;

    // Sends one GET for "https://host:port <path>?<query>" and returns the body
    // of a 2xx reply as text; the empty text for any other status.
    // Blocks the calling thread until the outcome is in; errors are thrown here.
    QString Get(const QString &url);

    // The body (or the error Get would throw) of a 2xx reply, the empty text otherwise.
    using Outcome = std::function<void(const QString &body, std::exception_ptr error)>;
    // Sends the GET with the content type and charset Request holds now and
    // returns at once; the outcome is handed to `done` on the thread that
    // created the client, unless `context` has been destroyed by then.
    void GetAsync(const QString &url, QObject *context, Outcome done);

    // Connecting, sending and reading give up after this long without a byte
    // moving (60 s); the TLS handshake after its own limit (30 s).
    void setProgressTimeout(std::chrono::milliseconds limit);
    void setHandshakeTimeout(std::chrono::milliseconds limit);
    // The TLS module to open at the first request instead of the standard places.
    void setTlsModulePath(const QString &path);
    int handshakeCount() const;

    // Ends the request under way at once and every later one with an error;
    // the destructor does this, so ending the program never waits for the server.
    void stop();

private:
    class Impl;
    std::unique_ptr<Impl> d;
};
