#pragma once

#include <QString>
#include <QtGlobal>

class QSqlDatabase;
class TADO;

// The one way a sender records an attempt: one row in the history result set (`dbHISTORICO`) with
// the recipient, the text, the channel ("SMS" / "E-Mail") and the outcome. `DATA` is left to the
// table's default (now). The row joins whatever search result the history page shows, and status
// panel 4 follows the result set's row count.
//
// Safe from any thread: off the data module's thread the call is handed to it and waited for.
namespace HistoryWriter {

inline const QString kSms = QStringLiteral("SMS");
inline const QString kEmail = QStringLiteral("E-Mail");

// Returns an empty string when the row is stored, else the database error's text.
QString append(const QString& destinatario, const QString& mensagem, const QString& tipo, bool enviado);
// `imsi`: the SIM that sent an SMS (dbHISTORICO.IMSI), empty when unknown.
QString append(TADO* ado, const QString& destinatario, const QString& mensagem, const QString& tipo, bool enviado,
               const QString& imsi = {});

// A failure row whose message went out after all (a send's result that came after its wait ran out): the text
// without the failure, and ENVIADO = 1. On `db` as it is (inside the caller's transaction, if any).
QString markSent(QSqlDatabase& db, qint64 id, const QString& mensagem);

// "Total SMS Histórico: N" for panel 4, from the open result set.
QString historyPanelText(int count);

} // namespace HistoryWriter
