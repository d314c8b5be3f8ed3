#pragma once

#include <QTextStream>

class TADO;

// The SMS engine from the command line, printing the send log lines as they are written.
namespace SmsCommands {

// `--send-outbox`: opens the ports as "&Abrir todas as Portas" does, rebuilds the active slot list
// (VerificaPortas), starts the send as the button does and waits until every worker has ended.
// Ctrl+C (SIGINT) or SIGTERM lets each worker finish the row it is sending; the rest stays in the
// outbox. Returns 0 when the workers have ended, 2 with the no-port text when no slot is ready.
int sendOutbox(TADO* ado, QTextStream& out, QTextStream& err);

// `--receive-sms`: opens the ports, reads the inbox of slot 1 ("RECEBER SMS") and waits until the
// messages have been moved to dbSMS (or the reading's time limit). Returns 0; 1 with the error on
// `err` when the modem refused the listing or the database refused a message; 2 when slot 1 is
// not open.
int receiveSms(TADO* ado, QTextStream& out, QTextStream& err);

} // namespace SmsCommands
