// 1 000 chunk-sized GETs on one kept-alive connection: the channel against
// curl fetching the same URLs in one invocation, timed side by side.
#include "support/ScriptedHttpsServer.h"
#include "net/TIdHTTP.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int requests = 1000;

    std::string rows;
    for (int r = 0; r < 10; ++r) {
        rows += "<tr>";
        for (int c = 0; c < 15; ++c)
            rows += "<td>S00" + std::to_string(1000 + r) + "c" + std::to_string(c) + "</td>";
        rows += "</tr>";
    }
    const std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><table>" + rows + "</table>";

    testsupport::ScriptedHttpsServer server;
    server.setHandler([&](const testsupport::RecordedRequest &) { return testsupport::ScriptedReply::xml(body); });
    auto url = [&](int i, bool forCurl) {
        return QStringLiteral("https://127.0.0.1:%1%2/WaescheChunk?USER=1001&PW=x&LetzteID=S%3")
            .arg(server.port())
            .arg(forCurl ? "" : " ")
            .arg(i, 6, 10, QLatin1Char('0'));
    };

    TIdHTTP http;
    http.Request.setContentType(QStringLiteral("text/html"));
    http.Request.setCharSet(QStringLiteral("UTF-8"));
    http.Get(url(0, false)); // warm-up outside the timing, as curl's start-up is not timed either
    const int handshakesBefore = server.handshakes();
    QElapsedTimer timer;
    timer.start();
    qint64 bytes = 0;
    for (int i = 1; i <= requests; ++i)
        bytes += http.Get(url(i, false)).size();
    const double channelSeconds = timer.nsecsElapsed() / 1e9;
    const int channelHandshakes = server.handshakes() - handshakesBefore;

    QTemporaryFile config;
    config.open();
    {
        QTextStream out(&config);
        for (int i = 1; i <= requests; ++i)
            out << "url = \"" << url(i, true) << "\"\n";
    }
    config.flush();
    const int curlHandshakesBefore = server.handshakes();
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    timer.restart();
    curl.start(QStringLiteral("curl"), {QStringLiteral("-sk"), QStringLiteral("-K"), config.fileName()});
    curl.waitForFinished(-1);
    const double curlSeconds = timer.nsecsElapsed() / 1e9;
    const int curlHandshakes = server.handshakes() - curlHandshakesBefore;

    std::printf("%d GETs of a %zu-byte chunk reply on one kept-alive connection\n", requests, body.size());
    std::printf("  TIdHTTP: %.3f s (%.0f requests/s), %d TLS handshake(s), %lld characters read\n", channelSeconds,
                requests / channelSeconds, channelHandshakes, static_cast<long long>(bytes));
    std::printf("  curl:    %.3f s (%.0f requests/s), %d TLS handshake(s), exit code %d\n", curlSeconds,
                requests / curlSeconds, curlHandshakes, curl.exitCode());
    std::printf("  ratio TIdHTTP / curl: %.2f\n", channelSeconds / curlSeconds);
    return 0;
}
