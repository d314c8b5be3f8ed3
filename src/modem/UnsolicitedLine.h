#pragma once

#include <QByteArrayView>
#include <QString>

// Lines a modem sends on its own, at any moment: between a command's echo and its answer, between an
// answer and its "OK", right after the "> " prompt, inside a listing. One table names them; the
// readers of replies drop them (after handing delivery reports and new-message notices to their own
// handling) so that none is ever taken for an answer, a prompt, a send's result or a message's text.
//
// Some of them are also the answer to a query of their own ("+CREG: 0,1" to AT+CREG?, "+CPIN: READY"
// to AT+CPIN?): given the command whose answer is awaited, such a line is that answer, not noise.
// Pure: no state, no Qt event loop.
namespace UnsolicitedLine {

enum class Kind {
    None,         // not a line of its own: an answer, a result, an echo, text
    Call,         // RING, NO CARRIER, +CLIP:
    NewMessage,   // +CMTI:
    Report,       // +CDS:, +CDSI: (delivery reports)
    Registration, // +CREG:, +CGREG:, +CEREG:, ^SRVST:, ^MODE:
    Signal,       // ^RSSI:, ^HCSQ:, +QIND: "csq"
    Sim,          // +CPIN:, ^SIMST:, +ZUSIMR:, +QUSIM:, +ZPASR:
    Start,        // RDY, +CFUN:, ^BOOT:, ^SYSSTART, *EMRDY:, SMS DONE, PB DONE, +QIND:
    Network,      // +CUSD:, ^DSFLOWRPT:, ^STIN:
};

// What `line` (without its CR LF) is. `pending` is the command whose answer is awaited ("AT+CREG?"),
// empty when none: a line that answers it is Kind::None.
Kind classify(QByteArrayView line, QByteArrayView pending = {});

inline bool isUnsolicited(QByteArrayView line, QByteArrayView pending = {}) {
    return classify(line, pending) != Kind::None;
}

// A final result that refuses the command although it is not spelled "ERROR" ("COMMAND NOT SUPPORT").
bool isOtherRefusal(QByteArrayView line);

// The kind's name in the transcript ("SINAL", "REGISTRO", ...).
QString kindName(Kind kind);

} // namespace UnsolicitedLine
