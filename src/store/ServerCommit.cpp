#include "store/ServerCommit.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include "store/SqlDialect.h"
#include "store/TADO.h"

qint64 ServerCommit::transactionId(QSqlDatabase& db) {
    if (!SqlDialect::isPostgres(db))
        return 0;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT txid_current()")) || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

ServerCommit::Outcome ServerCommit::outcome(TADO* ado, qint64 id, int waitMs) {
    if (id <= 0)
        return Outcome::Unknown;
    constexpr int kStepMs = 100;
    for (int waited = 0;; waited += kStepMs) {
        QSqlDatabase db = ado->database();
        if (ado->connectionLost())
            return Outcome::Unknown;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT txid_status(?)"));
        q.addBindValue(id);
        if (!q.exec() || !q.next())
            return Outcome::Unknown;
        const QString status = q.value(0).toString();
        if (status == QLatin1String("committed"))
            return Outcome::Committed;
        if (status == QLatin1String("aborted"))
            return Outcome::NotCommitted;
        // NULL: too old for the server to remember (not the case of a commit just sent); "in progress": ask again.
        if (status != QLatin1String("in progress") || waited >= waitMs)
            return Outcome::Unknown;
        QThread::msleep(kStepMs);
    }
}

bool ServerCommit::commit(TADO* ado, QSqlDatabase& db, qint64 id, QString* error) {
    if (db.commit())
        return true;
    *error = db.lastError().text();
    if (id <= 0 || !ado->connectionLost())
        return false;
    switch (outcome(ado, id)) {
    case Outcome::Committed:
        error->clear();
        return true;
    case Outcome::NotCommitted:
        return false;
    case Outcome::Unknown:
        break;
    }
    *error = QStringLiteral("não foi possível saber se a gravação foi concluída (%1)").arg(error->trimmed());
    return false;
}
