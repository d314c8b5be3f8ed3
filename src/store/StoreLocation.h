#pragma once

#include <QString>
#include <QStringList>

// Where a station keeps its data: the SQLite file BDSMS.db of the data folder (the default), or a
// PostgreSQL database named by a URL "postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO?opção=valor". The URL
// comes from --database, else the environment variable VESTRAL_DATABASE, else a "banco=" line of
// vestral.conf in the data folder. The password never travels in the URL: libpq finds it as it does for
// every client (~/.pgpass, PGPASSWORD, a service file). Pure logic, no connection is made here.
struct StoreLocation {
    enum class Kind { Sqlite, Postgres };
    Kind kind = Kind::Sqlite;
    QString host;        // empty: libpq's default (the local socket)
    int port = 5432;     // the URL's, else PostgreSQL's own
    QString user;        // empty: libpq's default (the system user, PGUSER)
    QString database;    // empty: libpq's default (the user's name, PGDATABASE)
    QStringList options; // libpq keywords from the query, "sslmode='require'", ready for the driver

    bool isPostgres() const { return kind == Kind::Postgres; }
    // "dbserver:5432", "[::1]:5432": how the operator's messages name the server.
    QString hostPort() const;
    // The URL without any secret, for messages and logs.
    QString shown() const;
    // The driver's connect options: the query's keywords joined by ';'.
    QString connectOptions() const;

    // Reads a URL. A password in it (user:pw@, user:@, password=) is refused with kPasswordInUrl;
    // another scheme, a bad port or a bad option with a one-line text. *error is empty when it reads.
    static StoreLocation parse(const QString& url, QString* error);

    // The station's choice: `option` (--database) wins over `environment` (VESTRAL_DATABASE), which wins
    // over the "banco=" line of `dataDir`/vestral.conf; none of them: the SQLite file.
    static StoreLocation choose(const QString& option, const QString& environment, const QString& dataDir,
                                QString* error);

    // The URL of the "banco=" line of a settings file's text; empty when there is none.
    static QString settingsUrl(const QString& settingsText);

    // The choice made at start-up, read by every data module the process creates.
    static void setCurrent(const StoreLocation& location);
    static StoreLocation current();

    static const char* const kPasswordInUrl;
    static const char* const kSettingsFile;
};
