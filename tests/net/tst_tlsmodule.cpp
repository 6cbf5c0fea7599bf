// The channel's TLS part is a module opened at the first request: the program
// starts without OpenSSL, and then each request fails with a channel error.
#include "net/TIdHTTP.h"
#include "net/TlsModule.h"
#include "support/ScriptedHttpsServer.h"

#include <QtTest>

class TestTlsModule : public QObject
{
    Q_OBJECT

private slots:
    void programStartsWithoutOpenSsl();
    void unloadableModuleFailsEachRequest_data();
    void unloadableModuleFailsEachRequest();
};

// ldd lists every library the loader would have to find before main() runs.
void TestTlsModule::programStartsWithoutOpenSsl()
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(PLIVORA3_PATH)});
    QVERIFY(ldd.waitForFinished());
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    QVERIFY2(libraries.contains(QStringLiteral("libQt6Core.so")), qPrintable(libraries));
    QVERIFY2(!libraries.contains(QStringLiteral("libssl.so")), qPrintable(libraries));
    QVERIFY2(!libraries.contains(QStringLiteral("libcrypto.so")), qPrintable(libraries));
}

void TestTlsModule::unloadableModuleFailsEachRequest_data()
{
    QTest::addColumn<bool>("openSslMissing"); // false: no module at the path at all
    QTest::newRow("the module's OpenSSL cannot be found") << true;
    QTest::newRow("no module at the path") << false;
}

void TestTlsModule::unloadableModuleFailsEachRequest()
{
    QFETCH(bool, openSslMissing);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("libplivora_tls.so"));
    QString named = path;
    if (openSslMissing) {
        // A copy of the built module that asks for a libssl no system has.
        QString built;
        for (const QString &candidate : net::tlsModuleCandidates())
            if (built.isEmpty() && QFileInfo::exists(candidate))
                built = candidate;
        QFile original(built);
        QVERIFY2(original.open(QIODevice::ReadOnly), qPrintable(built));
        QByteArray module = original.readAll();
        QVERIFY(module.contains(QByteArrayLiteral("libssl.so.3")));
        module.replace(QByteArrayLiteral("libssl.so.3"), QByteArrayLiteral("libzzz.so.3"));
        QFile copy(path);
        QVERIFY(copy.open(QIODevice::WriteOnly));
        QCOMPARE(copy.write(module), module.size());
        copy.close();
        named = QStringLiteral("libzzz.so.3");
    }

    testsupport::ScriptedHttpsServer server;
    server.setHandler([](const auto &) { return testsupport::ScriptedReply::xml("<table/>"); });
    TIdHTTP http;
    http.setTlsModulePath(path);
    const QString url = QStringLiteral("https://127.0.0.1:%1 /Login?USER=1&PW=2").arg(server.port());
    for (int attempt = 1; attempt <= 2; ++attempt) {
        try {
            http.Get(url);
            QFAIL("no error");
        } catch (const EIdOSSLCouldNotLoadSSLLibrary &e) {
            QVERIFY2(e.message().contains(named), qPrintable(e.message()));
        }
    }
    QCOMPARE(server.connections(), 0);
}

QTEST_GUILESS_MAIN(TestTlsModule)
#include "tst_tlsmodule.moc"
