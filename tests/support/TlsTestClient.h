#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

// A small HTTPS client for driving plivora-service in tests. It sends requests
// byte for byte as given, so a test can send exactly what the desktop client
// sends, or something broken. Every operation has a deadline: a test never hangs.
struct TestReply
{
    int status = 0;
    std::string body;
    std::map<std::string, std::string> headers; // names in lower case
};

class TlsTestClient
{
public:
    // `asDesktopClient`: offer only TLS 1.2 with the desktop client's cipher list.
    explicit TlsTestClient(unsigned short port, bool asDesktopClient = false);
    ~TlsTestClient();

    // Connect from this local address (one of 127.0.0.0/8) instead of the
    // system's choice, to stand for a second client machine.
    void setSourceAddress(const std::string &address);
    // TCP connection and TLS handshake.
    bool connect();
    // The request as the desktop client writes it: request line, Content-Type,
    // Host, Accept, User-Agent, no body.
    std::optional<TestReply> get(const std::string &target);
    // The negotiated protocol, as OpenSSL names it ("TLSv1.2").
    std::string protocol() const;
    bool sendRaw(const std::string &bytes);
    std::optional<TestReply> readReply(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // True when the server ends the connection within the timeout.
    bool closedByServer(std::chrono::milliseconds timeout);
    // Sends the bytes one at a time, `interval` apart, as a slow or hostile
    // client does. Returns how many were sent when the server ended the
    // connection; nullopt when it was still open after `limit` or after the
    // last byte. The connection is closed afterwards either way.
    std::optional<std::size_t> sendTrickling(const std::string &bytes, std::chrono::milliseconds interval,
                                             std::chrono::milliseconds limit);

    static std::string clientRequest(const std::string &target, unsigned short port);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Opens `connections` connections at once, each sending one GET of `target`.
struct ConcurrentOutcome
{
    int ok = 0;       // status 200
    int refused = 0;  // closed by the server before a reply (connect, handshake or read failed)
    int other = 0;    // any other status
};
ConcurrentOutcome runConcurrentGets(unsigned short port, int connections, const std::string &target);

// Sends bytes over plain TCP and collects what comes back until the server
// closes; nullopt when it is still open after the timeout.
std::optional<std::string> plainExchange(unsigned short port, const std::string &bytes,
                                         std::chrono::milliseconds timeout);
