#pragma once

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

struct ScriptedReply
{
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers; // sent in this order
    std::string body;
    enum class Mode { Normal, Chunked, CloseAfterReply, CloseMidBody, NeverAnswer } mode = Mode::Normal;

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
    int handshakes() const;
    int connections() const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testsupport
