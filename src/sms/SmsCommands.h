#pragma once

#include <QDateTime>
#include <QTextStream>

#include <functional>

class TADO;

// The SMS engine from the command line, printing the send log lines as they are written.
namespace SmsCommands {

// `--send-outbox [--resend-interrupted]`: opens the ports as "&Abrir todas as Portas" does, rebuilds
// the active slot list (VerificaPortas), starts the send as the button does and waits until every
// worker has ended. With `resendInterrupted` the in-flight marks are cleared first (as "Reenviar
// Interrompidas" does). Ctrl+C (SIGINT) or SIGTERM lets each worker finish the row it is sending;
// a second one ends the wait for a silent modem at once (that row stays, marked in flight). Prints
// a line naming the slots whose rows stayed because they were not ready, then
// "ENVIADAS: a  FALHAS: b  NA CAIXA DE SAÍDA: c". Returns 0 when no worker stopped on an error,
// 1 when one did (database, port lost, resync failed), 2 with the no-port text when no slot is
// ready, 130 after Ctrl+C.
// When delivery reports were asked for, the workers' end is followed by a wait for the reports of the run's
// sends: "AGUARDANDO RELATÓRIOS DE ENTREGA: n", until every one has come or 10 s (by `clock`, the local time
// when empty) have passed since the last send; "RELATÓRIOS DE ENTREGA NÃO RECEBIDOS: n" when some did not come.
using Clock = std::function<QDateTime()>;
int sendOutbox(TADO* ado, QTextStream& out, QTextStream& err, bool resendInterrupted = false, const Clock& clock = {});

// `--receive-sms`: opens the ports, reads the inbox of slot 1 ("RECEBER SMS") and waits until the
// messages have been moved to dbSMS (or the reading's time limit). Returns 0; 1 with the error on
// `err` when the modem refused the listing or the database refused a message; 2 when slot 1 is
// not open.
int receiveSms(TADO* ado, QTextStream& out, QTextStream& err);

} // namespace SmsCommands
