#include "history/HistoryWriter.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include "store/OwnerThread.h"
#include "store/Station.h"
#include "store/StatusSink.h"
#include "store/TADO.h"

namespace HistoryWriter {
namespace {

// With the result set closed (it never is in a running program) the row still has to be kept.
QString insertDirect(TADO* ado, const QString& destinatario, const QString& mensagem, const QString& tipo, bool enviado,
                     const QString& imsi) {
    QSqlQuery q(ado->database());
    q.prepare(
        "INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO, IMSI, ESTACAO) VALUES (?, ?, ?, ?, ?, ?)");
    q.addBindValue(destinatario);
    q.addBindValue(mensagem);
    q.addBindValue(tipo);
    q.addBindValue(enviado ? 1 : 0);
    q.addBindValue(imsi.isEmpty() ? QVariant() : QVariant(imsi));
    q.addBindValue(Station::current());
    if (!q.exec())
        return q.lastError().text();
    return {};
}

QString appendHere(TADO* ado, const QString& destinatario, const QString& mensagem, const QString& tipo, bool enviado,
                   const QString& imsi) {
    Dataset* h = ado->dbHISTORICO;
    if (!h->isOpen())
        return insertDirect(ado, destinatario, mensagem, tipo, enviado, imsi);
    h->append();
    h->setValue("DESTINATARIO", destinatario);
    h->setValue("MENSAGEM", mensagem);
    h->setValue("TIPO", tipo);
    h->setValue("ENVIADO", enviado ? 1 : 0);
    if (!imsi.isEmpty())
        h->setValue("IMSI", imsi);
    h->setValue("ESTACAO", Station::current());
    QString error;
    if (!h->post()) {
        error = h->lastError();
        if (error.isEmpty())
            error = QStringLiteral("O histórico não pôde ser gravado.");
        h->cancel();
    }
    StatusSink::instance()->setPanel(StatusSink::History, historyPanelText(h->recordCount()));
    return error;
}

} // namespace

QString historyPanelText(int count) {
    return QStringLiteral("Total SMS Histórico: %1").arg(count);
}

QString append(TADO* ado, const QString& destinatario, const QString& mensagem, const QString& tipo, bool enviado,
               const QString& imsi) {
    if (!ado)
        return QStringLiteral("O módulo de dados não foi iniciado.");
    if (QThread::currentThread() == ado->thread())
        return appendHere(ado, destinatario, mensagem, tipo, enviado, imsi);
    // The result set and the grid over it belong to the window thread.
    QString error;
    runOnOwnerThread(ado, [&] { error = appendHere(ado, destinatario, mensagem, tipo, enviado, imsi); });
    return error;
}

QString markSent(QSqlDatabase& db, qint64 id, const QString& mensagem) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE dbHISTORICO SET MENSAGEM = ?, ENVIADO = 1 WHERE ID_HISTORICO = ?"));
    q.addBindValue(mensagem);
    q.addBindValue(id);
    if (!q.exec())
        return q.lastError().text();
    if (q.numRowsAffected() != 1)
        return QStringLiteral("a linha %1 do histórico não existe mais").arg(id);
    return {};
}

QString append(const QString& destinatario, const QString& mensagem, const QString& tipo, bool enviado) {
    return append(TADO::instance(), destinatario, mensagem, tipo, enviado);
}

} // namespace HistoryWriter
