#include "sms/OutboxClaims.h"

#include "store/SqlDialect.h"
#include "store/TADO.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace OutboxClaims {

namespace {

// The transaction advisory lock that serialises the claims of every station (two keys: apart from the store's
// per-station lock).
constexpr const char* kClaimLock = "SELECT pg_advisory_xact_lock(1447384916, 1)";

QString idList(const QList<OutboxRow>& rows, bool withTokens) {
    QStringList items;
    for (const OutboxRow& r : rows)
        items << (withTokens ? QStringLiteral("(%1, %2)").arg(r.id).arg(r.token) : QString::number(r.id));
    return items.join(QStringLiteral(", "));
}

} // namespace

int claimLifeS() {
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("VESTRAL_FICHA_SEGUNDOS", &ok);
    return ok && s > 0 ? s : 60;
}

bool shared(const QSqlDatabase& db) {
    return SqlDialect::isPostgres(db);
}

QList<OutboxRow> claim(TADO* ado, const QString& station, int slot, int limit, QString* error) {
    QList<OutboxRow> rows;
    auto work = [&]() -> QString {
        rows.clear();
        QSqlDatabase db = ado->database();
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(kClaimLock)))
            return q.lastError().text();
        const QString now = SqlDialect::nowStamp(db);
        q.prepare(QStringLiteral(
                      "UPDATE dbMENSAGEM SET ESTACAO = :st, PORTA = :slot, FICHA = nextval('vestral_ficha'), "
                      "FICHA_VALIDADE = %1 WHERE ID IN (SELECT m.ID FROM dbMENSAGEM m WHERE m.ENVIANDO IS NULL AND "
                      "(m.PORTA IS NULL OR m.ESTACAO IS NULL OR m.FICHA_VALIDADE IS NULL OR m.FICHA_VALIDADE < %2 "
                      "OR (m.ESTACAO = :st2 AND m.PORTA = :slot2) "
                      "OR EXISTS (SELECT 1 FROM dbESTACAO e WHERE e.NOME = m.ESTACAO AND e.BATIDA < %3)) "
                      "AND NOT EXISTS (SELECT 1 FROM dbMENSAGEM o WHERE o.FONE = m.FONE AND o.ID <> m.ID "
                      "AND NOT (o.ESTACAO IS NOT NULL AND o.ESTACAO = :st3 AND o.PORTA = :slot3) "
                      "AND (o.ENVIANDO IS NOT NULL OR o.FICHA_VALIDADE >= %2)) "
                      "ORDER BY m.ID LIMIT %4 FOR UPDATE OF m SKIP LOCKED) "
                      "RETURNING ID, FONE, MENSAGEM, FICHA")
                      .arg(SqlDialect::stampIn(db, claimLifeS()), now, SqlDialect::stampIn(db, -kHeartbeatStaleS))
                      .arg(qMax(1, limit)));
        q.bindValue(QStringLiteral(":st"), station);
        q.bindValue(QStringLiteral(":slot"), slot);
        q.bindValue(QStringLiteral(":st2"), station);
        q.bindValue(QStringLiteral(":slot2"), slot);
        q.bindValue(QStringLiteral(":st3"), station);
        q.bindValue(QStringLiteral(":slot3"), slot);
        if (!q.exec())
            return q.lastError().text();
        while (q.next())
            rows.append({.fone = q.value(1).toString(),
                         .mensagem = q.value(2).toString(),
                         .id = q.value(0).toLongLong(),
                         .token = q.value(3).toLongLong()});
        if (q.lastError().isValid())
            return q.lastError().text();
        return {};
    };
    // A claim is never found stored: a commit whose answer was lost leaves claims that expire on their own.
    const QString failure = ado->transact(work, [] { return false; });
    if (!failure.isEmpty()) {
        *error = failure;
        rows.clear();
    }
    std::sort(rows.begin(), rows.end(), [](const OutboxRow& a, const OutboxRow& b) { return a.id < b.id; });
    return rows;
}

QList<OutboxRow> interrupted(TADO* ado, const QString& station, int slot, QString* error) {
    QList<OutboxRow> rows;
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("SELECT ID, FONE, MENSAGEM, FICHA FROM dbMENSAGEM WHERE ESTACAO = ? AND PORTA = ? "
                             "AND ENVIANDO IS NOT NULL ORDER BY ID"));
    q.addBindValue(station);
    q.addBindValue(slot);
    if (!q.exec()) {
        *error = q.lastError().text();
        return rows;
    }
    while (q.next())
        rows.append({.fone = q.value(1).toString(),
                     .mensagem = q.value(2).toString(),
                     .id = q.value(0).toLongLong(),
                     .inFlight = true,
                     .token = q.value(3).toLongLong()});
    return rows;
}

Mark markInFlight(TADO* ado, const OutboxRow& row, const QList<OutboxRow>& waiting, QString* error) {
    Mark mark = Mark::Failed;
    auto work = [&]() -> QString {
        QSqlDatabase db = ado->database();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = %1 WHERE ID = ? AND FICHA = ? AND ENVIANDO IS NULL")
                      .arg(SqlDialect::nowStamp(db)));
        q.addBindValue(row.id);
        q.addBindValue(row.token);
        if (!q.exec())
            return q.lastError().text();
        mark = q.numRowsAffected() == 1 ? Mark::Marked : Mark::TakenOver;
        if (waiting.isEmpty())
            return {};
        // A slow but live modem keeps its batch: the rows still waiting get a new expiry, each under its token.
        if (!q.exec(QStringLiteral("UPDATE dbMENSAGEM SET FICHA_VALIDADE = %1 WHERE ENVIANDO IS NULL AND (ID, FICHA) "
                                   "IN (%2)")
                        .arg(SqlDialect::stampIn(db, claimLifeS()), idList(waiting, true))))
            return q.lastError().text();
        return {};
    };
    // The mark found on the row under this token means the commit went through.
    auto stored = [&] {
        QSqlQuery q(ado->database());
        q.prepare(QStringLiteral("SELECT 1 FROM dbMENSAGEM WHERE ID = ? AND FICHA = ? AND ENVIANDO IS NOT NULL"));
        q.addBindValue(row.id);
        q.addBindValue(row.token);
        const bool found = q.exec() && q.next();
        if (found)
            mark = Mark::Marked;
        return found;
    };
    const QString failure = ado->transact(work, stored);
    if (!failure.isEmpty()) {
        *error = failure;
        return Mark::Failed;
    }
    return mark;
}

void release(TADO* ado, const QList<OutboxRow>& rows) {
    QList<OutboxRow> claimed;
    for (const OutboxRow& r : rows)
        if (r.token > 0 && !r.inFlight)
            claimed << r;
    if (claimed.isEmpty())
        return;
    QSqlQuery q(ado->database());
    q.exec(QStringLiteral("UPDATE dbMENSAGEM SET ESTACAO = NULL, PORTA = NULL, FICHA = NULL, FICHA_VALIDADE = NULL "
                          "WHERE ENVIANDO IS NULL AND (ID, FICHA) IN (%1)")
               .arg(idList(claimed, true)));
}

int returnInFlight(TADO* ado, QString* error) {
    QSqlQuery q(ado->database());
    if (!q.exec(QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = NULL, ESTACAO = NULL, PORTA = NULL, FICHA = NULL, "
                               "FICHA_VALIDADE = NULL WHERE ENVIANDO IS NOT NULL"))) {
        if (error)
            *error = q.lastError().text();
        return -1;
    }
    return q.numRowsAffected();
}

QString markPossibleDuplicate(const QSqlDatabase& db) {
    QSqlQuery q(db);
    const QString key = SqlDialect::lastInsertedKey(db, QStringLiteral("dbHISTORICO"));
    q.prepare(QStringLiteral("UPDATE dbHISTORICO SET STATUS_ENTREGA = ? WHERE ID_HISTORICO = (%1)").arg(key));
    q.addBindValue(kPossibleDuplicate);
    if (!q.exec())
        return q.lastError().text();
    return {};
}

} // namespace OutboxClaims
