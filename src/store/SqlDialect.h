#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

// The few places where SQLite and PostgreSQL spell a statement differently. Everything else is written
// once: the same tables and columns, unquoted, yes/no as 0/1 integers, stamps as "yyyy-MM-dd HH:mm:ss" text.
namespace SqlDialect {

enum class Kind { Sqlite, Postgres };

Kind of(const QSqlDatabase& db);
inline bool isPostgres(const QSqlDatabase& db) {
    return of(db) == Kind::Postgres;
}

// The local time now as the tables keep it: "yyyy-MM-dd HH:mm:ss" text.
QString nowStamp(const QSqlDatabase& db);
// The same, `seconds` from now (negative: before now), on the database's clock.
QString stampIn(const QSqlDatabase& db, int seconds);

// The column that names one row of `table` for the datasets: SQLite's rowid; on PostgreSQL the table's
// key, or the ROWID column that the keyless tables carry there.
QString rowKey(const QSqlDatabase& db, const QString& table);

// The key column of a table with an auto-number (ID_CLIENTE of dbCLIENTE …); empty for the others.
QString identityColumn(const QString& table);

// "column LIKE :param ESCAPE '\'" matching without regard to case across Unicode ("ângela" finds
// "Ângela"): SQLite's LIKE is replaced on each connection; PostgreSQL folds both sides with the schema's
// own function vestral_dobra.
QString foldedLike(const QSqlDatabase& db, const QString& column, const QString& param);

// A value as the driver must bind it: PostgreSQL refuses a boolean for the 0/1 yes/no columns.
QVariant bindable(const QSqlDatabase& db, const QVariant& value);

// The design's statements quote names the Jet way ("dbGRUPO.[ID_GRUPO]"), which SQLite takes; on
// PostgreSQL the brackets around a plain name are dropped.
QString plainNames(const QSqlDatabase& db, const QString& sql);

// The schema of a connection's temporary tables ("temp" in SQLite, "pg_temp" in PostgreSQL).
QString tempSchema(const QSqlDatabase& db);
// An integer key the database numbers itself on insert.
QString autoKey(const QSqlDatabase& db);

// The key of the row this connection inserted last into `table` (SQLite's last_insert_rowid; on PostgreSQL the
// current value of the table's own key sequence, never lastval(), which a trigger's counter may have moved).
QString lastInsertedKey(const QSqlDatabase& db, const QString& table);

} // namespace SqlDialect
