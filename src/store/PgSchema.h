#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "store/StoreLocation.h"

// The schema on a PostgreSQL server: the same tables and columns as the SQLite file, created in one
// transaction on an empty database and recorded with a version number (table vestral_esquema), so that a
// later program upgrades it step by step and an older program refuses a newer one.
namespace PgSchema {

// The schema version this program writes and reads.
constexpr int kVersion = 6;

// The tables every station shows and the others change: a statement on one of them bumps the table's change
// counter (a sequence, changeCounter()) and notifies the channel kChannel with the table's name.
const QStringList& watchedTables();
QString changeCounter(const QString& table);
inline constexpr const char* kChannel = "vestral";

// Adds a PostgreSQL connection `name` for `location` and opens it. On failure *error says
// "Não foi possível conectar ao banco de dados HOST:PORTA: " and libpq's reason (never a password).
QSqlDatabase connect(const StoreLocation& location, const QString& name, QString* error);
// Opens a connection added with the location's parameters; the same error text.
bool open(QSqlDatabase& db, const StoreLocation& location, QString* error);

// The SQLite statements of the current schema as PostgreSQL takes them: auto-numbers become identity
// columns, stamps stay "yyyy-MM-dd HH:mm:ss" text with a text default, keyless tables get a ROWID.
QStringList ddl();

struct Prepared {
    bool created = false; // the database was empty and now holds the schema and the first-run rows
    QStringList executed; // statements run, in order
    QString error;        // when not empty: the Portuguese text for the operator; nothing was changed
};

// Creates the schema on an empty database (with the first-run rows when `firstRunRows`), upgrades an
// older version, and refuses a newer version or a database that holds tables of something else. All of
// it in one transaction: a failure leaves the database as it was.
Prepared prepare(QSqlDatabase& db, bool firstRunRows = true);

// The same inside the caller's transaction, without the first-run rows (the caller brings the rows).
Prepared createIn(QSqlDatabase& db);

// The tables of the connection's schema (lower case, as PostgreSQL keeps unquoted names).
QStringList tables(const QSqlDatabase& db, QString* error = nullptr);

// The recorded schema version; 0 when the version table is missing, -1 (and *error) when unreadable.
int version(const QSqlDatabase& db, QString* error = nullptr);

// What --check-db prints: one line per thing checked; *ok false when one failed.
QStringList check(const QSqlDatabase& db, bool* ok);

// Restarts an auto-number after the highest key left (at 1 on an empty table).
bool resetCounter(QSqlDatabase& db, const QString& table, QString* error = nullptr);

// Sets the auto-number of every table past its highest key (after rows were copied with their keys).
bool syncCounters(QSqlDatabase& db, QString* error = nullptr);

} // namespace PgSchema
