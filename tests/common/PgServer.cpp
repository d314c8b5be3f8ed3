#include "PgServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QStandardPaths>
#include <arpa/inet.h>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
std::unique_ptr<PgServer> g_server;
QString g_failure;

// The newest installed server: /usr/lib/postgresql/<version>/bin.
QString findBinDir() {
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : versions) {
        const QString bin = root.filePath(v + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return {};
}

// A port nobody listens on now (the kernel's choice for port 0).
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool asRoot() {
    return ::geteuid() == 0;
}

const char* const kHba = "host all senhador 127.0.0.1/32 scram-sha-256\n"
                         "local all all trust\n"
                         "host all all 127.0.0.1/32 trust\n"
                         "host all all ::1/128 trust\n";
} // namespace

PgServer* PgServer::instance(QString* why) {
    if (g_server) {
        if (!g_server->m_running && !g_server->start(why))
            return nullptr;
        return g_server.get();
    }
    if (!g_failure.isEmpty()) {
        *why = g_failure;
        return nullptr;
    }
    std::unique_ptr<PgServer> server(new PgServer);
    if (!server->init(&g_failure)) {
        server->shutdown();
        *why = g_failure;
        return nullptr;
    }
    g_server = std::move(server);
    std::atexit([] {
        if (g_server)
            g_server->shutdown();
    });
    return g_server.get();
}

bool PgServer::run(const QString& program, const QStringList& args, QString* why, QString* out, int ms) {
    QProcess p;
    if (asRoot() && program.startsWith(m_bin))
        p.start(QStringLiteral("runuser"), QStringList{"-u", "postgres", "--", program} + args);
    else
        p.start(program, args);
    if (!p.waitForStarted(30000) || !p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(5000);
        if (why)
            *why = QStringLiteral("%1 did not finish: %2").arg(program, p.errorString());
        return false;
    }
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (why)
            *why = QStringLiteral("%1 failed (%2): %3")
                       .arg(program)
                       .arg(p.exitCode())
                       .arg(QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput()).trimmed());
        return false;
    }
    return true;
}

bool PgServer::init(QString* why) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *why = QStringLiteral("the QPSQL driver (libqt6sql6-psql) is not installed");
        return false;
    }
    m_bin = findBinDir();
    if (m_bin.isEmpty()) {
        *why = QStringLiteral("no PostgreSQL server in /usr/lib/postgresql/*/bin (package postgresql)");
        return false;
    }
    QByteArray templ = QByteArrayLiteral("/tmp/vestral-pg-XXXXXX");
    if (!::mkdtemp(templ.data())) {
        *why = QStringLiteral("mkdtemp failed");
        return false;
    }
    m_dir = QString::fromLocal8Bit(templ);
    if (asRoot()) {
        const passwd* pg = ::getpwnam("postgres");
        if (!pg || ::chown(templ.constData(), pg->pw_uid, pg->pw_gid) != 0) {
            *why = QStringLiteral("no postgres user to run the server as");
            return false;
        }
    }
    watchOverTestProgram();
    if (!run(m_bin + QStringLiteral("/initdb"),
             {"-D", m_dir + QStringLiteral("/data"), "-U", "postgres", "-A", "trust", "-E", "UTF8", "--locale=C",
              "--no-sync"},
             why))
        return false;
    QFile hba(m_dir + QStringLiteral("/data/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) || hba.write(kHba) < 0) {
        *why = QStringLiteral("cannot write pg_hba.conf");
        return false;
    }
    hba.close();
    QFile::setPermissions(hba.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ReadOther);
    for (int attempt = 0; attempt < 3 && !m_running; ++attempt) {
        m_port = freePort();
        start(why);
    }
    if (!m_running)
        return false;
    return exec(
        QStringLiteral("postgres"),
        QStringLiteral("CREATE ROLE %1 LOGIN; CREATE ROLE %2 LOGIN PASSWORD '%3';")
            .arg(QString::fromLatin1(kRole), QString::fromLatin1(kPasswordRole), QString::fromLatin1(kPassword)),
        why);
}

// A killed test program runs no exit handler: a shell of its own waits for the program to end, then stops
// the server and removes its folder.
void PgServer::watchOverTestProgram() {
    const QString script = QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; "
                                          "p=$(head -1 '%2/data/postmaster.pid' 2>/dev/null); "
                                          "[ -n \"$p\" ] && kill -QUIT \"$p\" 2>/dev/null; sleep 2; rm -rf '%2'")
                               .arg(QCoreApplication::applicationPid())
                               .arg(m_dir);
    QProcess::startDetached(QStringLiteral("/bin/sh"), {"-c", script});
}

// No fsync (the machine does not crash under a test), but every commit is written out before it is answered:
// a server killed by stop() keeps every transaction it said was committed, as a real one does.
bool PgServer::start(QString* why) {
    const QString options = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off "
                                           "-c full_page_writes=off")
                                .arg(m_port)
                                .arg(m_dir);
    m_running = run(m_bin + QStringLiteral("/pg_ctl"),
                    {"-D", m_dir + QStringLiteral("/data"), "-l", m_dir + QStringLiteral("/server.log"), "-w", "-t",
                     "120", "-o", options, "start"},
                    why);
    return m_running;
}

bool PgServer::stop(QString* why) {
    if (!m_running)
        return true;
    const bool ok = run(m_bin + QStringLiteral("/pg_ctl"),
                        {"-D", m_dir + QStringLiteral("/data"), "-w", "-t", "60", "-m", "immediate", "stop"}, why);
    m_running = !ok;
    return ok;
}

void PgServer::shutdown() {
    stop();
    if (!m_dir.isEmpty())
        QDir(m_dir).removeRecursively();
    m_dir.clear();
}

bool PgServer::exec(const QString& database, const QString& sql, QString* why) {
    return run(m_bin + QStringLiteral("/psql"),
               {"-X", "-q", "-h", "127.0.0.1", "-p", QString::number(m_port), "-U", "postgres", "-d", database, "-v",
                "ON_ERROR_STOP=1", "-c", sql},
               why);
}

QString PgServer::scalar(const QString& database, const QString& sql) {
    QString out;
    if (!run(m_bin + QStringLiteral("/psql"),
             {"-X", "-q", "-A", "-t", "-h", "127.0.0.1", "-p", QString::number(m_port), "-U", "postgres", "-d",
              database, "-v", "ON_ERROR_STOP=1", "-c", sql},
             nullptr, &out))
        return {};
    return out.trimmed();
}

QString PgServer::createDatabase(QString* why) {
    const QString name = QStringLiteral("teste_%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_databases);
    if (!exec(QStringLiteral("postgres"),
              QStringLiteral("CREATE DATABASE %1 OWNER %2 TEMPLATE template0 ENCODING 'UTF8'")
                  .arg(name, QString::fromLatin1(kRole)),
              why))
        return {};
    return name;
}

void PgServer::dropDatabase(const QString& name) {
    if (m_running && !name.isEmpty())
        exec(QStringLiteral("postgres"), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
}

QString PgServer::url(const QString& database, const QString& user) const {
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user).arg(m_port).arg(database);
}

StoreLocation PgServer::location(const QString& database, const QString& user) const {
    QString error;
    return StoreLocation::parse(url(database, user), &error);
}

PgDatabase::PgDatabase() {
    server = PgServer::instance(&why);
    if (server)
        name = server->createDatabase(&why);
}

PgDatabase::~PgDatabase() {
    // The test's connections are gone by now (each test's data module closes them); FORCE ends any left.
    if (server)
        server->dropDatabase(name);
}
