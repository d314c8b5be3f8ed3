#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>

// SQLite cannot change a column's CHECK in place: the table is built again under the new definition, inside
// one transaction, keeping every row with its key, the auto-number's next value and the table's indexes.
namespace TableRebuild {

// Called before each step of a rebuild ("create", "copy", "drop", "rename", "indexes", "sequence",
// "commit"); returning false makes that step fail (tests use it to break a rebuild half-way).
using StepHook = std::function<bool(const QString& step)>;

// The bound of "CHECK (length(column) <= n)" in the table's definition, or -1 when it has none.
int lengthBound(const QSqlDatabase& db, const QString& table, const QString& column);

// Rebuilds table with the length CHECK of column set to newBound. Nothing changes when the table has no
// such CHECK. On failure the transaction is rolled back (the table stays as it was) and the error text is
// returned; an empty string means success.
QString widenLengthCheck(QSqlDatabase& db, const QString& table, const QString& column, int newBound,
                         const StepHook& hook = {});

} // namespace TableRebuild
