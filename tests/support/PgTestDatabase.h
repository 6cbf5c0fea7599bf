#pragma once

// A fresh database in the throw-away PostgreSQL cluster that the CTest fixture
// "pg_cluster" starts (scripts/pg-test-cluster.sh); dropped again at the end.
// Without the fixture's URI file the test fails: PostgreSQL tests never skip.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QString>

class PgTestDatabase
{
public:
    explicit PgTestDatabase(const QString &name)
        : m_name(QStringLiteral("%1_%2").arg(name).arg(QCoreApplication::applicationPid()))
    {
        const QByteArray file = qgetenv("PLIVORA_TEST_PG_URI_FILE");
        QFile uriFile(QString::fromLocal8Bit(file));
        if (file.isEmpty() || !uriFile.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("no PostgreSQL test cluster: PLIVORA_TEST_PG_URI_FILE=\"%1\" (run through ctest,"
                                     " which starts it with scripts/pg-test-cluster.sh)")
                          .arg(QString::fromLocal8Bit(file));
            return;
        }
        m_admin = QString::fromUtf8(uriFile.readAll()).trimmed();
        m_uri = m_admin.left(m_admin.lastIndexOf(QLatin1Char('/')) + 1) + m_name;
        psql({QStringLiteral("DROP DATABASE IF EXISTS ") + m_name});
        if (!psql({QStringLiteral("CREATE DATABASE ") + m_name}))
            m_error = QStringLiteral("cannot create the test database: ") + m_output;
    }
    ~PgTestDatabase()
    {
        if (m_error.isEmpty())
            psql({QStringLiteral("DROP DATABASE IF EXISTS ") + m_name + QStringLiteral(" WITH (FORCE)")});
    }

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    // The database's libpq URI.
    QString uri() const { return m_uri; }
    // The cluster script, for stopping and starting the server under a running service.
    static QString clusterScript() { return QString::fromLocal8Bit(qgetenv("PLIVORA_TEST_PG_CLUSTER_SCRIPT")); }
    static QString uriFile() { return QString::fromLocal8Bit(qgetenv("PLIVORA_TEST_PG_URI_FILE")); }

    // Runs SQL through psql on the test database (or the maintenance one); the output in output().
    bool run(const QString &sql) { return psql({sql}, m_uri); }
    QString output() const { return m_output; }

private:
    bool psql(const QStringList &commands, const QString &uri = QString())
    {
        QStringList arguments{uri.isEmpty() ? m_admin : uri, QStringLiteral("-X"), QStringLiteral("-q"),
                              QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-v"),
                              QStringLiteral("ON_ERROR_STOP=1")};
        for (const QString &c : commands)
            arguments << QStringLiteral("-c") << c;
        QProcess p;
        p.start(QStringLiteral("psql"), arguments);
        if (!p.waitForFinished(60000))
            return m_output = QStringLiteral("psql did not finish"), false;
        m_output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QString m_name;
    QString m_admin;
    QString m_uri;
    QString m_error;
    QString m_output;
};
