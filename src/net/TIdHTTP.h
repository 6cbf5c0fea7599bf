#pragma once

#include "platform/Exception.h"

#include <QString>

#include <chrono>
#include <memory>

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
// TLS connection, cookies held in memory, the reply body as text.
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
    QString Get(const QString &url);

    // Connecting, sending and reading give up after this long without a byte
    // moving (60 s); the TLS handshake after its own limit (30 s).
    void setProgressTimeout(std::chrono::milliseconds limit);
    void setHandshakeTimeout(std::chrono::milliseconds limit);
    // The TLS module to open at the first request instead of the standard places.
    void setTlsModulePath(const QString &path);
    int handshakeCount() const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};
