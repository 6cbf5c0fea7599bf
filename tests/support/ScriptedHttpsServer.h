#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A scripted HTTPS (or plain TCP) server on loopback for the tests: it records
// every request's raw bytes and answers as the test scripts it.
namespace testsupport {

struct RecordedRequest
{
    std::string raw;    // the exact request bytes
    std::string target; // e.g. "/Login?USER=1&PW=2"
    std::string path;   // the target before "?"
    std::string query;  // the target after "?"
};

// Bytes sent a piece at a time, each piece after a pause.
struct Trickle
{
    std::size_t piece = 0; // 0: all at once
    std::chrono::milliseconds gap{0};
};

struct ScriptedReply
{
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers; // sent in this order
    std::string body;
    std::string raw; // when set, sent exactly as it is in place of status, headers and body
    enum class Mode {
        Normal,
        Chunked,
        CloseAfterReply,
        CloseMidBody,
        NeverAnswer,
        CloseOnRequest, // closes the connection when the request arrives, not one byte answered
        SendThenHold,   // sends the reply, then neither reads nor closes until the client does
    } mode = Mode::Normal;
    Trickle trickle; // each piece its own TLS record

    static ScriptedReply xml(std::string body);
    static ScriptedReply withStatus(int code); // that status, empty body
};

class ScriptedHttpsServer
{
public:
    enum class Transport { Tls, PlainTcp };

    explicit ScriptedHttpsServer(Transport transport = Transport::Tls);
    ~ScriptedHttpsServer();
    ScriptedHttpsServer(const ScriptedHttpsServer &) = delete;
    ScriptedHttpsServer &operator=(const ScriptedHttpsServer &) = delete;

    unsigned short port() const;
    // Queued replies answer first, in order; then the handler; otherwise 404.
    void enqueue(ScriptedReply reply);
    void setHandler(std::function<ScriptedReply(const RecordedRequest &)> handler);
    std::vector<RecordedRequest> requests() const;
    void clearRequests();
    // The server's handshake bytes on connections opened from now on, trickled
    // below TLS (within its records).
    void setHandshakeTrickle(Trickle trickle);
    int handshakes() const;
    int connections() const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testsupport
