#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

// Copies a station's SQLite database into an empty PostgreSQL database: the schema, then every table
// with its keys, then each auto-number past the highest key copied. One transaction on the target:
// on any failure nothing is left there.
namespace PgCopy {

struct Result {
    QStringList counts; // "dbCLIENTE: 3 linhas", one per table, in the order copied
    qint64 rows = 0;
    QString error; // empty on success; the target was rolled back otherwise
};

// The tables copied, in this order (groups before the contacts that name them).
const QStringList& tables();

// `source` is an open SQLite connection to a current file; `target` an open PostgreSQL connection.
// `progress`, when given, hears each table's line as it is done.
Result copy(QSqlDatabase& source, QSqlDatabase& target, const std::function<void(const QString&)>& progress = {});

} // namespace PgCopy
