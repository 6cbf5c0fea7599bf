#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The channel's TLS part. It is built as a module that the program opens at its
// first request, so that a missing OpenSSL fails that request instead of keeping
// the program from starting. Only standard types cross the module's edge: it
// links neither Qt nor the program's error types, and it throws nothing.
namespace net {

// How long each stage may go without progress; every byte received (or sent)
// restarts the limit, so only real silence ends a request.
struct TransportLimits
{
    std::chrono::milliseconds handshake{std::chrono::seconds(30)};
    std::chrono::milliseconds transfer{std::chrono::seconds(60)}; // connect, request, reply
};

struct TransportReply
{
    enum class Failure {
        None,
        Socket,      // host not found, connection refused or broken
        Closed,      // the peer closed the connection before the reply was complete
        Handshake,   // the TLS handshake failed
        TimedOut,    // a stage went without progress for its whole limit
        HeaderLine,  // a reply header line, or the whole header, too long
    };
    Failure failure = Failure::None;
    std::string message; // the failure's own text

    // What the caller needs to decide whether the request may go once more.
    bool reusedConnection = false; // sent on a kept connection, not one opened for it
    bool peerEnded = false;        // the failure was the peer closing or resetting the connection
    bool replyStarted = false;     // some byte of the reply had arrived

    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // of the final reply, once complete
    std::string body;
};

class TlsTransport
{
public:
    virtual ~TlsTransport() = default;

    // Sends the request bytes over the kept connection to host:port, opened anew
    // when there is none or the server has closed it while idle, and reads the
    // whole final reply (interim 1xx replies skipped). After a failure the
    // connection is closed, so the next exchange opens a new one.
    virtual TransportReply exchange(const std::string &host, std::uint16_t port, const std::string &request,
                                    const TransportLimits &limits) = 0;
    virtual int handshakeCount() const = 0;
};

// The one symbol the module exports: makes a transport the caller owns.
using CreateTlsTransport = TlsTransport *(*)();
inline constexpr const char *createTlsTransportSymbol = "plivora_create_tls_transport";

} // namespace net
