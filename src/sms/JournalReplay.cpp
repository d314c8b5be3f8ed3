#include "sms/JournalReplay.h"

#include "history/HistoryWriter.h"
#include "sms/DeliveryReports.h"
#include "sms/OutboxClaims.h"
#include "sms/OutboxCommit.h"
#include "store/SqlDialect.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

namespace JournalReplay {

ResultJournal::Applied store(TADO* ado, const ResultJournal::Entry& e, QString* error) {
    ResultJournal::Applied outcome = ResultJournal::Applied::Failed;
    auto work = [&]() -> QString {
        QSqlDatabase db = ado->database();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT FICHA FROM dbMENSAGEM WHERE ID = ?"));
        q.addBindValue(e.outboxId);
        if (!q.exec())
            return q.lastError().text();
        if (!q.next()) {
            outcome = ResultJournal::Applied::AlreadyStored;
            return {};
        }
        const qint64 token = q.value(0).isNull() ? 0 : q.value(0).toLongLong();
        const bool current = e.token == 0 || token == e.token;
        QString written = HistoryWriter::append(ado, e.destinatario, e.mensagem, e.tipo, e.enviado, e.imsi);
        if (!written.isEmpty())
            return written;
        if (!q.exec(SqlDialect::lastInsertedKey(db, QStringLiteral("dbHISTORICO"))) || !q.next())
            return q.lastError().text();
        const qint64 idHistorico = q.value(0).toLongLong();
        if (e.when.isValid()) {
            q.prepare(QStringLiteral("UPDATE dbHISTORICO SET DATA = ? WHERE ID_HISTORICO = ?"));
            q.addBindValue(TimeText::stampStored(e.when));
            q.addBindValue(idHistorico);
            if (!q.exec())
                return q.lastError().text();
        }
        QString refError;
        if (!e.references.isEmpty() &&
            !DeliveryReports::remember(db, e.slot, e.references, idHistorico, &refError, e.when))
            return refError;
        // Its claim moved on to another station meanwhile: the row stays theirs, this send is a possible duplicate
        // (marked after the references, which set the delivery status).
        if (!current) {
            q.prepare(QStringLiteral("UPDATE dbHISTORICO SET STATUS_ENTREGA = ? WHERE ID_HISTORICO = ?"));
            q.addBindValue(OutboxClaims::kPossibleDuplicate);
            q.addBindValue(idHistorico);
            if (!q.exec())
                return q.lastError().text();
        }
        if (current) {
            q.prepare(QStringLiteral("DELETE FROM dbMENSAGEM WHERE ID = ?"));
            q.addBindValue(e.outboxId);
            if (!q.exec())
                return q.lastError().text();
        }
        outcome = ResultJournal::Applied::Stored;
        return {};
    };
    // A commit whose answer was lost: the outbox row gone means it went through.
    auto stored = [&] { return OutboxCommit::rowGone(ado, e.outboxId); };
    const QString failure = ado->transact(work, stored);
    if (!failure.isEmpty()) {
        *error = failure;
        return ResultJournal::Applied::Failed;
    }
    return outcome == ResultJournal::Applied::Failed ? ResultJournal::Applied::AlreadyStored : outcome;
}

int applyPending(TADO* ado, const QString& dataDir, const std::function<void(const QString&)>& log) {
    ResultJournal journal(QDir(dataDir).filePath(QString::fromLatin1(ResultJournal::kFileName)));
    if (journal.isEmpty())
        return 0;
    QString error;
    QStringList warnings;
    const int done = journal.apply([ado](const ResultJournal::Entry& e, QString* why) { return store(ado, e, why); },
                                   &error, &warnings);
    for (const QString& w : std::as_const(warnings))
        log(w);
    if (done > 0)
        log(QStringLiteral("%1 RESULTADO(S) DE ENVIO GUARDADO(S) DURANTE A QUEDA DO BANCO GRAVADO(S) NO HISTÓRICO")
                .arg(done));
    if (!error.isEmpty())
        log(QStringLiteral("Banco de dados indisponível: %1 (resultados mantidos em %2)")
                .arg(error, QString::fromLatin1(ResultJournal::kFileName)));
    return done;
}

bool settleBeforeResend(TADO* ado, const QString& dataDir, const std::function<void(const QString&)>& log,
                        QString* error) {
    applyPending(ado, dataDir, log);
    const ResultJournal journal(QDir(dataDir).filePath(QString::fromLatin1(ResultJournal::kFileName)));
    if (journal.isEmpty())
        return true;
    *error = QStringLiteral("Há resultados de envio guardados em %1 que ainda não puderam ser gravados no banco de "
                            "dados: as mensagens interrompidas não foram liberadas, para não serem enviadas de novo.")
                 .arg(journal.path());
    return false;
}

} // namespace JournalReplay
