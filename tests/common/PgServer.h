#pragma once

#include <QString>
#include <QStringList>

#include "store/StoreLocation.h"

// A real PostgreSQL server for the tests, started once per test program from the installed
// /usr/lib/postgresql/<version>/bin: initdb and pg_ctl in a folder of /tmp (as the postgres user when the
// tests run as root: initdb refuses root), listening on 127.0.0.1 at a free port. Roles: kRole (trust, no
// password) and kPasswordRole (only with kPassword, by SCRAM). Each test takes an empty database of its
// own (PgDatabase). The server stops at the program's exit; a watcher process stops it and removes its
// folder when the test program is killed.
class PgServer {
public:
    static constexpr const char* kRole = "vestral";
    static constexpr const char* kPasswordRole = "senhador";
    static constexpr const char* kPassword = "Segredo-7q!x";

    // The program's server, started on first call; nullptr (and *why) when it cannot run here.
    static PgServer* instance(QString* why);

    int port() const { return m_port; }
    QString binDir() const { return m_bin; }
    bool running() const { return m_running; }

    // pg_ctl stop -m immediate: the server vanishes as if killed. start() brings it back on the same port.
    bool stop(QString* why = nullptr);
    bool start(QString* why);

    // Runs SQL as the superuser in `database` (psql, stopping at the first error).
    bool exec(const QString& database, const QString& sql, QString* why = nullptr);
    // One value of a query as the superuser; empty when it fails.
    QString scalar(const QString& database, const QString& sql);

    QString createDatabase(QString* why);
    void dropDatabase(const QString& name);

    QString url(const QString& database, const QString& user = QString::fromLatin1(kRole)) const;
    StoreLocation location(const QString& database, const QString& user = QString::fromLatin1(kRole)) const;

    void shutdown();

private:
    PgServer() = default;
    bool init(QString* why);
    bool run(const QString& program, const QStringList& args, QString* why, QString* out = nullptr, int ms = 120000);
    void watchOverTestProgram();

    QString m_bin;
    QString m_dir; // owned by the server's user; data/ and the socket inside
    int m_port = 0;
    bool m_running = false;
    int m_databases = 0;
};

// An empty database of the test's own on the program's server, dropped at the end of the test.
struct PgDatabase {
    PgServer* server = nullptr;
    QString name;
    QString why; // when server is nullptr or name is empty: why not

    PgDatabase();
    ~PgDatabase();
    PgDatabase(const PgDatabase&) = delete;
    PgDatabase& operator=(const PgDatabase&) = delete;
    bool ok() const { return server && !name.isEmpty(); }
    StoreLocation location() const { return server->location(name); }
    QString url() const { return server->url(name); }
};
