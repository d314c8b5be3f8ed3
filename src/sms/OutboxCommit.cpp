#include "sms/OutboxCommit.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "sms/OutboxClaims.h"
#include "store/SqlDialect.h"
#include "store/TADO.h"

namespace OutboxCommit {

bool rowGone(TADO* ado, qint64 outboxId) {
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("SELECT 1 FROM dbMENSAGEM WHERE ID = ?"));
    q.addBindValue(outboxId);
    return q.exec() && !q.next() && !q.lastError().isValid();
}

QString recordResult(TADO* ado, qint64 outboxId, const std::function<QString()>& writeHistory, bool again) {
    if (!ado || outboxId <= 0)
        return writeHistory();
    auto work = [&]() -> QString {
        const QString error = writeHistory();
        if (!error.isEmpty())
            return error;
        QSqlQuery q(ado->database());
        q.prepare(QStringLiteral("DELETE FROM dbMENSAGEM WHERE ID = ?"));
        q.addBindValue(outboxId);
        q.exec();
        return {};
    };
    // A commit whose answer was lost with the connection: the outbox row gone means the result is stored.
    auto stored = [&] { return rowGone(ado, outboxId); };
    if (again && !ado->inTransaction() && stored())
        return {};
    // Inside a caller's open transaction (a nested event) both writes simply join it.
    return ado->transact(work, stored);
}

QString recordResult(TADO* ado, qint64 outboxId, qint64 token, const std::function<QString(bool)>& writeHistory,
                     bool again, bool* takenOver) {
    if (takenOver)
        *takenOver = false;
    if (token <= 0)
        return recordResult(
            ado, outboxId, [&] { return writeHistory(false); }, again);
    auto work = [&]() -> QString {
        QSqlQuery q(ado->database());
        q.prepare(QStringLiteral("DELETE FROM dbMENSAGEM WHERE ID = ? AND FICHA = ?"));
        q.addBindValue(outboxId);
        q.addBindValue(token);
        if (!q.exec())
            return q.lastError().text();
        const bool refused = q.numRowsAffected() == 0;
        if (takenOver)
            *takenOver = refused;
        return writeHistory(refused);
    };
    auto stored = [&] { return rowGone(ado, outboxId); };
    if (again && !ado->inTransaction() && stored())
        return {};
    return ado->transact(work, stored);
}

QString markInFlight(TADO* ado, qint64 outboxId) {
    if (!ado || outboxId <= 0)
        return {};
    QSqlDatabase db = ado->database();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = %1 WHERE ID = ?").arg(SqlDialect::nowStamp(db)));
    q.addBindValue(outboxId);
    if (!q.exec())
        return q.lastError().text();
    return {};
}

int clearInFlight(TADO* ado, QString* error) {
    // A shared store: the rows go back to the pool, for any station's slot to claim.
    if (OutboxClaims::shared(ado->database()))
        return OutboxClaims::returnInFlight(ado, error);
    QSqlQuery q(ado->database());
    if (!q.exec(QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = NULL WHERE ENVIANDO IS NOT NULL"))) {
        if (error)
            *error = q.lastError().text();
        return -1;
    }
    return q.numRowsAffected();
}

} // namespace OutboxCommit
