#include "store/PgCopy.h"

#include "store/PgSchema.h"
#include "store/Schema.h"
#include "store/SqlDialect.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace PgCopy {
namespace {

// The server's first line: the lines after it quote the statement, with the row's values.
QString errorOf(const QSqlQuery& q) {
    const QString text = q.lastError().databaseText().trimmed().section(u'\n', 0, 0);
    return text.isEmpty() ? q.lastError().text() : text;
}

// The source's columns that the target has too (SQLite keeps the case written, PostgreSQL lower case; the
// driver looks the table up by its name as given).
QStringList sharedColumns(const QSqlDatabase& source, const QSqlDatabase& target, const QString& table) {
    const QSqlRecord there = target.record(table.toLower());
    QStringList out;
    for (const QString& c : Schema::columns(source, table))
        if (there.indexOf(c) >= 0)
            out << c;
    return out;
}

// `write` outlives the transaction: a prepared statement is freed only after the rollback, when the
// server takes commands again.
bool copyTable(QSqlDatabase& source, QSqlDatabase& target, QSqlQuery& write, const QString& table, qint64* copied,
               QString* error) {
    const QStringList cols = sharedColumns(source, target, table);
    QSqlQuery read(source);
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QStringLiteral(", ")), table))) {
        *error = QStringLiteral("%1: %2").arg(table, errorOf(read));
        return false;
    }
    write = QSqlQuery(target);
    QStringList marks;
    for (qsizetype i = 0; i < cols.size(); ++i)
        marks << QStringLiteral("?");
    if (!write.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(table, cols.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))))) {
        *error = QStringLiteral("%1: %2").arg(table, errorOf(write));
        return false;
    }
    *copied = 0;
    while (read.next()) {
        for (int i = 0; i < cols.size(); ++i)
            write.bindValue(i, SqlDialect::bindable(target, read.value(i)));
        if (!write.exec()) {
            *error = QStringLiteral("%1, linha %2: %3").arg(table).arg(*copied + 1).arg(errorOf(write));
            return false;
        }
        ++*copied;
    }
    if (read.lastError().isValid()) {
        *error = QStringLiteral("%1: %2").arg(table, errorOf(read));
        return false;
    }
    return true;
}

bool copyAll(QSqlDatabase& source, QSqlDatabase& target, QSqlQuery& write, Result* r,
             const std::function<void(const QString&)>& progress) {
    const PgSchema::Prepared schema = PgSchema::createIn(target);
    if (!schema.error.isEmpty()) {
        r->error = schema.error;
        return false;
    }
    if (!schema.created) {
        r->error = QStringLiteral("o banco de destino não está vazio: a cópia só vai para um banco sem tabelas.");
        return false;
    }
    for (const QString& t : tables()) {
        qint64 n = 0;
        if (!copyTable(source, target, write, t, &n, &r->error))
            return false;
        r->rows += n;
        r->counts << QStringLiteral("%1: %2 linhas").arg(t).arg(n);
        if (progress)
            progress(r->counts.last());
    }
    return PgSchema::syncCounters(target, &r->error);
}

} // namespace

const QStringList& tables() {
    static const QStringList t{"dbGRUPO",       "dbCFG", "dbCLIENTE",    "dbHISTORICO",        "dbMENSAGEM", "dbPORTA",
                               "dbPORTA_ATIVA", "dbSMS", "dbSMS_BUFFER", "dbENTREGA_PENDENTE", "dbSMS_PARTE"};
    return t;
}

Result copy(QSqlDatabase& source, QSqlDatabase& target, const std::function<void(const QString&)>& progress) {
    Result r;
    if (!target.transaction()) {
        r.error = target.lastError().text();
        return r;
    }
    QSqlQuery write(target);
    if (!copyAll(source, target, write, &r, progress)) {
        target.rollback();
        r.counts.clear();
        r.rows = 0;
        return r;
    }
    if (!target.commit()) {
        r.error = target.lastError().text();
        target.rollback();
    }
    return r;
}

} // namespace PgCopy
