#pragma once

#include <QTextStream>

class TADO;

// `vestral-sms --probe`: opens and probes the active slots as "&Abrir todas as Portas" does and
// prints one line per active slot:
//   ENTRADA <N> COM<c> PRONTA <p>%          the modem answered (p = signal percent)
//   ENTRADA <N> COM<c> SEM RESPOSTA         the port opened, the modem did not answer in time
//   ENTRADA <N> COM<c> FECHADA: <error>     the port did not open
// Returns 0 when at least one slot is ready, else prints "Nenhuma porta foi aberta!…" and
// returns 2.
namespace ProbeCommand {

int run(TADO* ado, QTextStream& out, QTextStream& err);

} // namespace ProbeCommand
