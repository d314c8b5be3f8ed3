#pragma once

#include <QString>
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

// `vestral-sms --modems`: opens the active slots as "&Abrir todas as Portas" does, with the modems' set-up,
// and prints one line per active slot, in slot order:
//   ENTRADA <N> COM<c> PRONTA|NÃO PRONTA  SINAL <rssi>  REDE registrada|procurando|negada|sem sinal
//     PIN ok|pedido|incorreto|puk  IMSI <imsi>  ICCID <iccid>  MODELO <maker model>  HOJE <k>/<LIMITE_DIA>
// (one line; "-" for what the modem did not say, "desconhecida"/"desconhecido" when it would not tell).
// HOJE: the SMS sent today from that IMSI, by the history. The set-up's log lines go to `err`.
// Returns 0 when every active slot is ready, 2 when none is, 1 otherwise.
int modems(TADO* ado, QTextStream& out, QTextStream& err);

// `vestral-sms --demo-ports [N]`: slots 1..N (4 when not given, at most 64) become active on
// COM1..COMN, for trying the program with N simulated modems, and the settings row is put in PDU mode with
// delivery reports (MODO_SMS = "PDU", CONFIRMA_ENTREGA). Returns 0, or 1 with the error (then nothing changed).
inline constexpr int kDemoPorts = 4;
int demoPorts(TADO* ado, int count, QTextStream& out, QTextStream& err);

} // namespace ProbeCommand
