#pragma once

#include "sms/ResultJournal.h"

#include <functional>

class TADO;

// Puts the results a station kept in its journal (while the database was away) into the database, once.
namespace JournalReplay {

// One entry in a transaction of its own: the history row (with the time the modem answered, the SIM, the parts'
// references for the delivery reports) and the removal of its outbox row. The outbox row gone means an earlier
// replay stored it (AlreadyStored, nothing written). A row whose claim token moved on (the operator sent it again
// meanwhile) keeps its outbox row; the history row is still written, as what the modem did, and said.
ResultJournal::Applied store(TADO* ado, const ResultJournal::Entry& e, QString* error);

// Applies the journal of data folder `dataDir` when it holds entries; every line for the operator goes to `log`.
// Returns the entries stored (or found stored).
int applyPending(TADO* ado, const QString& dataDir, const std::function<void(const QString&)>& log);

// Before the in-flight marks are cleared ("Reenviar Interrompidas"): the journal applied first, since its rows were
// sent and clearing their marks would send them again. False with *error while results wait in it.
bool settleBeforeResend(TADO* ado, const QString& dataDir, const std::function<void(const QString&)>& log,
                        QString* error);

} // namespace JournalReplay
