#pragma once

#include <QString>
#include <functional>

class TADO;

// The result of one SMS is stored in one commit: its history row and the removal of its outbox
// row together, on the window thread's connection. One disk sync per SMS, and no queue behind the
// workers' own writes. The worker's later delete of the same row then changes nothing.
namespace OutboxCommit {

// True when outbox row `outboxId` is read and found gone: a result whose commit answer was lost was stored.
bool rowGone(TADO* ado, qint64 outboxId);

// Runs writeHistory (which stores the history row and returns "" or the error text) and deletes
// outbox row `outboxId` in one transaction. When the history row fails nothing is committed and
// its error is returned; a failed delete is left to the worker, which deletes the row after every
// attempt anyway.
// On a PostgreSQL server whose connection drops under it, the transaction is run once more on a new
// connection, unless the outbox row is found gone (the commit reached the server, its answer did not).
// `again`: the result may already be stored (a batch whose commit failed): an outbox row found gone
// means it is, and nothing is written.
QString recordResult(TADO* ado, qint64 outboxId, const std::function<QString()>& writeHistory, bool again = false);

// The same for a row claimed under `token` (a shared store; 0: as above). The row leaves the outbox only while
// the claim is still `token`; when another station took it over, the history row is still written (the modem
// did send it): writeHistory gets takenOver = true and marks it, and *takenOver says so to the caller.
QString recordResult(TADO* ado, qint64 outboxId, qint64 token,
                     const std::function<QString(bool takenOver)>& writeHistory, bool again = false,
                     bool* takenOver = nullptr);

// Marks outbox row `outboxId` in flight (ENVIANDO = now): its text may reach the modem from now
// on, so after a crash the row is not sent again without the operator's word. "" or the error.
QString markInFlight(TADO* ado, qint64 outboxId);

// "Reenviar Interrompidas": clears every in-flight mark, so those rows are sent again. The
// number of rows cleared, or -1 with `error` set.
int clearInFlight(TADO* ado, QString* error);

} // namespace OutboxCommit
