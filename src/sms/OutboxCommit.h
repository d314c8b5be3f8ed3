#pragma once

#include <QString>
#include <functional>

class TADO;

// The result of one SMS is stored in one commit: its history row and the removal of its outbox
// row together, on the window thread's connection. One disk sync per SMS, and no queue behind the
// workers' own writes. The worker's later delete of the same row then changes nothing.
namespace OutboxCommit {

// Runs writeHistory (which stores the history row and returns "" or the error text) and deletes
// outbox row `outboxId` in one transaction. When the history row fails nothing is committed and
// its error is returned; a failed delete is left to the worker, which deletes the row after every
// attempt anyway.
QString recordResult(TADO* ado, qint64 outboxId, const std::function<QString()>& writeHistory);

} // namespace OutboxCommit
