#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <unistd.h>

#include "CampaignTestSupport.h"
#include "MissingPeer.h"
#include "campaign/TDM.h"

namespace {

// A throw-away PostgreSQL server on 127.0.0.1 for the external-source test: initdb into a
// temporary folder, pg_ctl start on a private port and socket folder, stopped at the end.
class PgServer {
public:
    ~PgServer() {
        if (m_started)
            run(m_bin + "/pg_ctl", {"-D", m_dir.filePath("data"), "-m", "immediate", "stop"});
    }

    bool start(QString* why) {
        const QStringList versions = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (versions.isEmpty() || !QFileInfo::exists("/usr/lib/postgresql/" + versions.last() + "/bin/initdb"))
            return fail(why, "PostgreSQL server binaries not installed");
        m_bin = "/usr/lib/postgresql/" + versions.last() + "/bin";
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                QFileDevice::ReadOther | QFileDevice::ExeOther |
                                                QFileDevice::WriteOther | QFileDevice::ReadGroup |
                                                QFileDevice::ExeGroup | QFileDevice::WriteGroup);
        if (geteuid() == 0 && QProcess::execute("chown", {"postgres", m_dir.path()}) != 0)
            return fail(why, "cannot hand the folder to the postgres user");
        if (!run(m_bin + "/initdb", {"-D", m_dir.filePath("data"), "-A", "trust", "-U", "postgres"}))
            return fail(why, "initdb failed: " + m_output);
        m_port = 20000 + int(getpid() % 20000);
        const QString options =
            QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2").arg(m_port).arg(m_dir.path());
        if (!run(m_bin + "/pg_ctl",
                 {"-D", m_dir.filePath("data"), "-o", options, "-l", m_dir.filePath("log"), "-w", "start"}))
            return fail(why, "pg_ctl start failed: " + m_output);
        m_started = true;
        return true;
    }
    int port() const { return m_port; }

private:
    bool run(const QString& program, const QStringList& args) {
        QProcess p;
        if (geteuid() == 0)
            p.start("runuser", QStringList{"-u", "postgres", "--", program} + args);
        else
            p.start(program, args);
        const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        m_output = QString::fromLocal8Bit(p.readAllStandardError());
        return ok;
    }
    static bool fail(QString* why, const QString& text) {
        *why = text;
        return false;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_output;
    int m_port = 0;
    bool m_started = false;
};

TEST(PostgresOdbc, RecipientSetFromPostgreSqlThroughUnixOdbc) {
    if (!QSqlDatabase::isDriverAvailable("QODBC"))
        VESTRAL_SKIP_MISSING_PEER("Qt ODBC driver not installed (libqt6sql6-odbc)");
    PgServer server;
    QString why;
    if (!server.start(&why))
        VESTRAL_SKIP_MISSING_PEER("PostgreSQL server could not start: " << why.toStdString());
    const QString connection =
        QStringLiteral("DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=%1;Database=postgres;Uid=postgres;")
            .arg(server.port());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QODBC", "pg-setup");
        db.setDatabaseName(connection);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString()
                               << " (is odbc-postgresql installed and registered?)";
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TABLE clientes (nome TEXT, telefone TEXT, email TEXT, grupo TEXT)"));
        ASSERT_TRUE(q.exec("INSERT INTO clientes VALUES ('João Ávila', '(31) 3333-4444', 'j@x.com', 'A'), "
                           "('Bia', '31988887777', 'b@x.com', 'B')"));
        db.close();
    }
    QSqlDatabase::removeDatabase("pg-setup");

    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    setSetting(data.ado.get(), "ADOCONNECTION", connection);
    setSetting(data.ado.get(), "QUERY", "SELECT nome, telefone, email, grupo FROM clientes ORDER BY nome");
    TDM set(data.ado.get());
    QString error;
    ASSERT_TRUE(set.connectSource(TDM::Integracao, &error)) << error.toStdString();
    ASSERT_EQ(set.recordCount(), 2);
    EXPECT_EQ(set.value(0, "NOME").toString(), "Bia");
    EXPECT_EQ(set.value(1, "NOME").toString(), "João Ávila");
    EXPECT_EQ(set.value(1, "TELEFONE").toString(), "(31) 3333-4444");

    setSetting(data.ado.get(), "QUERY", "SELECT * FROM nao_existe");
    EXPECT_FALSE(set.connectSource(TDM::Integracao, &error));
    EXPECT_TRUE(error.contains("nao_existe")) << error.toStdString();
}

} // namespace
