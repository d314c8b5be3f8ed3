#pragma once

#include "sms/SlotState.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

class TADO;

// Several stations drain one outbox on a PostgreSQL store. A slot's worker claims a batch of rows for itself
// (ESTACAO, PORTA, a token FICHA that only grows, and the claim's expiry FICHA_VALIDADE on the server's clock),
// and every later write about a row is conditioned on its id and that token: a station whose claim was taken
// over can write nothing more about the row. On the SQLite file (one station) rows belong to their slot as
// built and nothing here is used (tokens stay 0).
//
// What is claimable: a pool row (no PORTA or no ESTACAO), a row whose claim expired, a row claimed by a station
// whose heartbeat (dbESTACAO.BATIDA) is older than kHeartbeatStaleS, and a row this slot of this station left
// claimed (a run taken up again) — never a row marked in flight (ENVIANDO): its text may have left a modem, and
// it waits for the operator ("Reenviar Interrompidas").
//
// Two rows to the same number are never in flight on two slots at once: a row is not claimed while another row
// to its number is in flight or under a live claim of another slot. The claims are serialised by a transaction
// advisory lock, so two stations cannot each claim one of two such rows at the same moment.
namespace OutboxClaims {

// How long a claim lives: VESTRAL_FICHA_SEGUNDOS when set to a positive number of seconds, else 60.
int claimLifeS();
// A station whose heartbeat is this old is taken for gone: its claims not in flight are claimable.
inline constexpr int kHeartbeatStaleS = 30;

// The store shares its outbox between stations (PostgreSQL).
bool shared(const QSqlDatabase& db);

// Claims up to `limit` (at least 1) claimable rows for `slot` of `station`, oldest first, in one transaction.
// The rows, each with its token; empty with *error set when the database refused.
QList<OutboxRow> claim(TADO* ado, const QString& station, int slot, int limit, QString* error);

// The rows of `slot` of `station` left in flight by an earlier run (interrupted sends).
QList<OutboxRow> interrupted(TADO* ado, const QString& station, int slot, QString* error);

enum class Mark { Marked, TakenOver, Failed };
// Marks `row` in flight before its text goes out, conditioned on its token, and renews the claims of the rows
// still waiting in the worker's batch (their tokens too). TakenOver: the claim is no longer this worker's, the
// row must not be sent.
Mark markInFlight(TADO* ado, const OutboxRow& row, const QList<OutboxRow>& waiting, QString* error);

// The worker ends with rows of its batch not started: their claims go back to the pool at once.
void release(TADO* ado, const QList<OutboxRow>& rows);

// "Reenviar Interrompidas" on a shared store: the rows in flight go back to the pool, unclaimed. The number of
// rows, or -1 with *error.
int returnInFlight(TADO* ado, QString* error);

// The history row just written by this connection is the result of a send whose claim was taken over: it is
// kept, marked as a possible duplicate (STATUS_ENTREGA).
QString markPossibleDuplicate(const QSqlDatabase& db);
inline const QString kPossibleDuplicate = QStringLiteral("POSSÍVEL DUPLICADA");
inline const QString kRefusedLine =
    QStringLiteral("RESULTADO DE ENVIO RECUSADO: O PEDIDO FOI ASSUMIDO POR OUTRA ESTAÇÃO");

} // namespace OutboxClaims
