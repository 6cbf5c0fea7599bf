#include "platform/AnsiCodePage.h"
#include "platform/DateText.h"
#include "platform/ErrorBox.h"
#include "platform/Exception.h"
#include "platform/FileWriting.h"
#include "platform/IniFile.h"
#include "platform/PercentCoding.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void errorBoxText_data();
    void errorBoxText();
    void applicationTitle_data();
    void applicationTitle();
    void guardShowsTheErrorAndCarriesOn();
    void iniValues_data();
    void iniValues();
    void dateTextIsGermanShortDate();
    void percentEncode_data();
    void percentEncode();
    void toAnsi_data();
    void toAnsi();
    void writeFileReplacesContent();
    void writeFileFailures_data();
    void writeFileFailures();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
};

void TestPlatform::errorBoxText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter gets a full stop") << "Verbindung abgelehnt" << "Verbindung abgelehnt.";
    QTest::newRow("full stop stays single") << "Fertig." << "Fertig.";
    QTest::newRow("quote sorts before dot") << "Datei \"a\"" << "Datei \"a\"";
    QTest::newRow("closing bracket is above dot") << "Fehler (42)" << "Fehler (42)";
    QTest::newRow("digit is above dot") << "Zeile 7" << "Zeile 7.";
    QTest::newRow("umlaut is above dot") << "Größe" << "Größe.";
    QTest::newRow("empty stays empty") << "" << "";
}

void TestPlatform::errorBoxText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(platform::errorBoxText(message), shown);
}

void TestPlatform::applicationTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << "/opt/plivora/Plivora3" << "Plivora3";
    QTest::newRow("upper case tail") << "/usr/bin/PLIVORA3" << "Plivora3";
    QTest::newRow("everything from the first dot goes") << "C:/Prog/Plivora3.debug.exe" << "Plivora3";
    QTest::newRow("single letter") << "x" << "x";
}

void TestPlatform::applicationTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(platform::applicationTitle(path), title);
}

void TestPlatform::guardShowsTheErrorAndCarriesOn()
{
    QList<platform::ShownMessage> shown;
    auto previous = platform::setMessagePresenter([&](const platform::ShownMessage &m) { shown << m; });

    QVERIFY(!platform::runGuarded([] { throw EConvertError(QStringLiteral("'abc' ist kein gültiger Integerwert")); }));
    QVERIFY(!platform::runGuarded([] { throw std::runtime_error("connection refused"); }));
    QVERIFY(platform::runGuarded([] {}));

    platform::setMessagePresenter(previous);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QCOMPARE(shown[0].title, platform::applicationTitle());
    QCOMPARE(shown[0].text, QStringLiteral("'abc' ist kein gültiger Integerwert."));
    QCOMPARE(shown[1].text, QStringLiteral("connection refused."));
}

void TestPlatform::iniValues_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::newRow("no file") << QByteArray() << "127.0.0.1" << "8080";
    QTest::newRow("both keys") << QByteArray("[Global]\r\nIPWebServer=wash.example\r\nPortWebServer=8443\r\n")
                               << "wash.example" << "8443";
    QTest::newRow("empty value stays empty") << QByteArray("[Global]\nIPWebServer=\n") << "" << "8080";
    QTest::newRow("other section only") << QByteArray("[Lokal]\nIPWebServer=x\n") << "127.0.0.1" << "8080";
    QTest::newRow("port kept as text") << QByteArray("[Global]\nPortWebServer=80a\n") << "127.0.0.1" << "80a";
    // Read as the profile functions read it, where a general INI library differs.
    QTest::newRow("repeated key: the first counts")
        << QByteArray("[Global]\nIPWebServer=first\nIPWebServer=second\n") << "first" << "8080";
    QTest::newRow("repeated section: the first value counts")
        << QByteArray("[Global]\nIPWebServer=a\n[Lokal]\nIPWebServer=b\n[Global]\nIPWebServer=c\nPortWebServer=9\n")
        << "a" << "9";
    QTest::newRow("indented line is an entry of its own, no continuation")
        << QByteArray("[Global]\nIPWebServer=h6\n  PortWebServer=7\n") << "h6" << "7";
    QTest::newRow("semicolon inside a value belongs to it")
        << QByteArray("[Global]\nIPWebServer=a;b\nPortWebServer=8443 ; TLS port\n") << "a;b" << "8443 ; TLS port";
    QTest::newRow("one pair of double or single quotes dropped")
        << QByteArray("[Global]\nIPWebServer=\"wash.example\"\nPortWebServer='8443'\n") << "wash.example" << "8443";
    QTest::newRow("only the enclosing pair dropped")
        << QByteArray("[Global]\nIPWebServer=\"\"h\"\"\nPortWebServer=\"\"\n") << "\"h\"" << "";
    QTest::newRow("unmatched or lone quotes kept")
        << QByteArray("[Global]\nIPWebServer=\"h'\nPortWebServer=\"\n") << "\"h'" << "\"";
    QTest::newRow("white space around names and values trimmed")
        << QByteArray("  [ Global ]  \n\t IPWebServer \t=  h  \t\nPortWebServer=  \n") << "h" << "";
    QTest::newRow("names case-insensitive")
        << QByteArray("[GLOBAL]\nipwebserver=h\nPORTWEBSERVER=1\n") << "h" << "1";
    QTest::newRow("line without = ignored")
        << QByteArray("[Global]\nIPWebServer\nPortWebServer=1\n") << "127.0.0.1" << "1";
    QTest::newRow("comment line")
        << QByteArray("[Global]\n; IPWebServer=x\n;PortWebServer=1\n") << "127.0.0.1" << "8080";
    QTest::newRow("equals sign inside a value")
        << QByteArray("[Global]\nIPWebServer=a=b\n") << "a=b" << "8080";
    QTest::newRow("key before any section")
        << QByteArray("IPWebServer=x\n[Global]\nPortWebServer=1\n") << "127.0.0.1" << "1";
    QTest::newRow("byte-order mark, CR line ends, UTF-8")
        << QByteArray("\xEF\xBB\xBF[Global]\rIPWebServer=w\xC3\xA4sche\rPortWebServer=1\r") << "wäsche" << "1";
}

void TestPlatform::iniValues()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (!content.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    IniFile ini(path);
    QCOMPARE(ini.readString("Global", "IPWebServer", "127.0.0.1"), host);
    QCOMPARE(ini.readString("Global", "PortWebServer", "8080"), port);
}

void TestPlatform::dateTextIsGermanShortDate()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(platform::dateText(QDate(2000, 1, 1)), QStringLiteral("01.01.2000"));
    QCOMPARE(platform::dateText(QDate(2026, 12, 9)), QStringLiteral("09.12.2026"));
    QCOMPARE(platform::readDateText(QStringLiteral("31.12.1999")), QDate(1999, 12, 31));
    QVERIFY(!platform::readDateText(QStringLiteral("12/31/1999")));
    QLocale::setDefault(QLocale::system());
}

void TestPlatform::percentEncode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("safe characters unchanged") << "Az09!$'()*-.@_" << "Az09!$'()*-.@_";
    QTest::newRow("blank") << "Anna Maria" << "Anna+Maria";
    QTest::newRow("ampersand, plus, percent, hash") << "a&b+c%d#" << "a%26b%2Bc%25d%23";
    QTest::newRow("umlaut as UTF-8") << "Weiß" << "Wei%C3%9F";
    QTest::newRow("outside the BMP") << QString::fromUtf8("\xF0\x9F\x98\x80") << "%F0%9F%98%80";
    QTest::newRow("empty") << "" << "";
}

void TestPlatform::percentEncode()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(platform::percentEncode(text), encoded);
}

void TestPlatform::toAnsi_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << "Kasack 5\"" << QByteArray("Kasack 5\"");
    QTest::newRow("german letters") << "Größe ÄÖÜß" << QByteArray("Gr\xF6\xDF" "e \xC4\xD6\xDC\xDF");
    QTest::newRow("euro and quotes") << "€ „x“" << QByteArray("\x80 \x84x\x93");
    QTest::newRow("accent stripped") << "Dvořák Łódź" << QByteArray("Dvor\xE1k L\xF3" "dz");
    QTest::newRow("no similar letter") << "洗衣" << QByteArray("??");
    QTest::newRow("outside the BMP") << QString::fromUtf8("a\xF0\x9F\x98\x80z") << QByteArray("a?z");
}

void TestPlatform::toAnsi()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(platform::toAnsi(text), bytes);
}

void TestPlatform::writeFileReplacesContent()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Wäsche.csv"));
    platform::writeFile(path, "a much longer first content\r\n");
    platform::writeFile(path, "short\r\n");
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("short\r\n"));
}

void TestPlatform::writeFileFailures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("read-only file") << "readonly";
    QTest::newRow("read-only folder") << "rodir";
    QTest::newRow("old file in a read-only folder") << "rodirold";
    QTest::newRow("missing directory") << "nodir";
    QTest::newRow("name taken by a directory") << "isdir";
    QTest::newRow("disk full") << "full";
}

void TestPlatform::writeFileFailures()
{
    QFETCH(QString, situation);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Bewohner.csv"));
    if (situation == "readonly") {
        if (geteuid() == 0)
            QSKIP("root writes read-only files");
        platform::writeFile(path, "old");
        QFile::setPermissions(path, QFileDevice::ReadOwner);
    } else if (situation.startsWith("rodir")) {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        if (situation == "rodirold")
            platform::writeFile(path, "old");
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    } else if (situation == "isdir") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Bewohner.csv")));
    } else if (situation == "nodir") {
        path = dir.filePath(QStringLiteral("fehlt/Bewohner.csv"));
    } else {
        path = QStringLiteral("/dev/full");
    }

    try {
        platform::writeFile(path, QByteArray(4096, 'x'));
        QFAIL("no error raised");
    } catch (const EFCreateError &e) {
        QVERIFY(situation != "full");
        QVERIFY2(e.message().startsWith(QStringLiteral("Datei \"%1\" kann nicht erstellt werden. ")
                                            .arg(QDir::toNativeSeparators(path))),
                 qPrintable(e.message()));
        QVERIFY(e.message().size() > path.size() + 40); // carries the system's reason
    } catch (const EWriteError &e) {
        QCOMPARE(situation, QStringLiteral("full"));
        QCOMPARE(e.message(), QStringLiteral("Stream-Schreibfehler"));
    }
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (situation == "readonly" || situation == "rodirold") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old"));
    }
}

void TestPlatform::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<bool>("oldFile");
    QTest::newRow("old file replaced") << true;
    QTest::newRow("new file") << false;
}

// A disk that fills up half-way: the file size limit makes every write past
// 1 KiB fail as ENOSPC would, without a special file system.
void TestPlatform::failedWriteKeepsOldFile()
{
    QFETCH(bool, oldFile);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Waesche.xml"));
    const QByteArray old("<old>complete</old>\r\n");
    if (oldFile) {
        platform::writeFile(path, old);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    }

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1024;
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    try {
        platform::writeFile(path, QByteArray(64 * 1024, 'x'));
    } catch (const EWriteError &e) {
        error = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);

    QCOMPARE(error, QStringLiteral("Stream-Schreibfehler"));
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    QCOMPARE(left, oldFile ? QStringList{QStringLiteral("Waesche.xml")} : QStringList{});
    if (oldFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
    }

    // Once there is room again the file is written whole, keeping its permissions;
    // a new file gets the usual ones.
    platform::writeFile(path, QByteArray(64 * 1024, 'y'));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray(64 * 1024, 'y'));
    const mode_t mask = umask(0);
    umask(mask);
    struct stat st{};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, oldFile ? mode_t(0604) : (0666 & ~mask));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 1);
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
