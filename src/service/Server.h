#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace service {

struct ServerSettings
{
    std::string host = "127.0.0.1";
    unsigned short port = 8080;
    std::string databasePath; // an SQLite file or a PostgreSQL URI
    std::string certificatePath;
    std::string keyPath;
    int threads = 2;
    // Database connections, each with a worker thread that runs the requests' queries.
    int databaseConnections = 4;
    // Connections beyond this are closed at once; each costs a TLS session and two small buffers.
    int maxConnections = 256;
    // One client address holds at most this many of them, so that a single
    // address cannot lock every other client out.
    int maxConnectionsPerAddress = 32;
    // A connection that stays silent this long (in the handshake or between requests) is closed.
    std::chrono::seconds idleTimeout{30};
    // Once the first byte of a request is in, the rest of it must follow within this time:
    // a client that trickles its header cannot hold a connection for long.
    std::chrono::seconds headerTimeout{10};
    // After this many failed logins from one address within the window, that
    // address gets 429 until the oldest of them is older than the window.
    int loginFailureLimit = 10;
    std::chrono::seconds loginFailureWindow{60};
};

// The HTTPS/1.1 server: one io_context run by `threads` threads, keep-alive
// connections each on its own strand, and the database calls on a pool of
// `databaseConnections` read-only connections with their own threads.
class Server
{
public:
    explicit Server(ServerSettings settings);
    ~Server();

    // Opens the database, loads the certificate and binds; returns the port bound
    // (the ephemeral one when the settings ask for port 0). Throws on failure.
    unsigned short listen();
    // Serves until SIGINT or SIGTERM arrives or stop() is called.
    void run();
    // May be called from any thread.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace service
