#include "store/TableRebuild.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

namespace TableRebuild {
namespace {

QRegularExpression boundPattern(const QString& column) {
    return QRegularExpression(QStringLiteral("length\\s*\\(\\s*[\"`\\[]?%1[\"`\\]]?\\s*\\)\\s*<=\\s*(\\d+)")
                                  .arg(QRegularExpression::escape(column)),
                              QRegularExpression::CaseInsensitiveOption);
}

QString masterSql(const QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(table);
    return q.exec() && q.next() ? q.value(0).toString() : QString();
}

// Indexes and triggers the table carries (automatic indexes have no statement and come back by themselves).
bool dependentSql(const QSqlDatabase& db, const QString& table, QStringList* out, QString* error) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type IN ('index', 'trigger') AND tbl_name = ? "
                             "AND sql IS NOT NULL ORDER BY type, name"));
    q.addBindValue(table);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        *out << q.value(0).toString();
    return true;
}

// The auto-number's last value, so that ids of deleted rows are not handed out again. Null when none.
QVariant sequence(const QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"));
    q.addBindValue(table);
    return q.exec() && q.next() ? q.value(0) : QVariant();
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

struct Plan {
    QString table;
    QString temp;
    QString createSql;
    QStringList columns;
    QStringList dependents;
    QVariant seq;
};

bool run(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    *error = q.lastError().text();
    return false;
}

bool restoreSequence(QSqlDatabase& db, const Plan& p, QString* error) {
    if (p.seq.isNull())
        return true;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = ?"));
    q.addBindValue(p.table);
    bool ok = q.exec();
    if (ok) {
        q.prepare(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"));
        q.addBindValue(p.table);
        q.addBindValue(p.seq);
        ok = q.exec();
    }
    if (!ok)
        *error = q.lastError().text();
    return ok;
}

bool step(const StepHook& hook, const QString& name, QString* error) {
    if (!hook || hook(name))
        return true;
    *error = QStringLiteral("reconstrução interrompida na etapa %1").arg(name);
    return false;
}

bool steps(QSqlDatabase& db, const Plan& p, const StepHook& hook, QString* error) {
    const QString cols = p.columns.join(QStringLiteral(", "));
    const QString t = quoted(p.table);
    if (!step(hook, "create", error) || !run(db, p.createSql, error))
        return false;
    if (!step(hook, "copy", error) ||
        !run(db, QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(quoted(p.temp), cols, t), error))
        return false;
    if (!step(hook, "drop", error) || !run(db, QStringLiteral("DROP TABLE %1").arg(t), error))
        return false;
    if (!step(hook, "rename", error) ||
        !run(db, QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quoted(p.temp), t), error))
        return false;
    if (!step(hook, "indexes", error))
        return false;
    for (const QString& sql : p.dependents)
        if (!run(db, sql, error))
            return false;
    return step(hook, "sequence", error) && restoreSequence(db, p, error) && step(hook, "commit", error);
}

bool makePlan(const QSqlDatabase& db, const QString& table, const QString& definition, QString* error, Plan* p) {
    p->table = table;
    p->temp = table + QStringLiteral("_reconstruida");
    static const QRegularExpression head(
        QStringLiteral("^\\s*CREATE\\s+TABLE\\s+(\"[^\"]*\"|`[^`]*`|\\[[^\\]]*\\]|\\S+?)\\s*\\("),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = head.match(definition);
    if (!m.hasMatch()) {
        *error = QStringLiteral("definição da tabela %1 não reconhecida").arg(table);
        return false;
    }
    p->createSql = definition;
    p->createSql.replace(m.capturedStart(1), m.capturedLength(1), quoted(p->temp));
    const QSqlRecord rec = db.record(table);
    for (int i = 0; i < rec.count(); ++i)
        p->columns << quoted(rec.fieldName(i));
    p->seq = sequence(db, table);
    return dependentSql(db, table, &p->dependents, error);
}

} // namespace

int lengthBound(const QSqlDatabase& db, const QString& table, const QString& column) {
    const QRegularExpressionMatch m = boundPattern(column).match(masterSql(db, table));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString widenLengthCheck(QSqlDatabase& db, const QString& table, const QString& column, int newBound,
                         const StepHook& hook) {
    QString definition = masterSql(db, table);
    const QRegularExpressionMatch m = boundPattern(column).match(definition);
    if (!m.hasMatch() || m.captured(1).toInt() == newBound)
        return {};
    definition.replace(m.capturedStart(1), m.capturedLength(1), QString::number(newBound));
    Plan plan;
    QString error;
    if (!makePlan(db, table, definition, &error, &plan))
        return error;
    // The legacy rename leaves views that name the table alone instead of failing on them while the table is
    // away between DROP and RENAME; they see the rebuilt table under its old name afterwards.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA legacy_alter_table = ON"));
    if (!db.transaction()) {
        QSqlQuery(db).exec(QStringLiteral("PRAGMA legacy_alter_table = OFF"));
        return db.lastError().text();
    }
    const bool ok = steps(db, plan, hook, &error) && db.commit();
    if (!ok) {
        if (error.isEmpty())
            error = db.lastError().text();
        db.rollback();
    }
    QSqlQuery(db).exec(QStringLiteral("PRAGMA legacy_alter_table = OFF"));
    return error;
}

} // namespace TableRebuild
