#pragma once

#include <QString>

class TADO;

// Judges the received messages of dbSMS that were not judged yet (DESCADASTRO NULL): a message whose whole
// text is an opt-out keyword (dbCFG.PALAVRAS_SAIR) puts its sender on the opt-out list (origin "SMS", the
// text, the slot) and is marked 1; one that only mentions a keyword is marked 2 for the operator; any other
// 0. Text and PDU readings store a message whole (the parts of a concatenated one joined), so the joined
// text is what is judged. Runs after every reading, when the received messages are shown and at start-up,
// so messages stored before the list existed are judged too. Window thread (the data module's connection).
namespace InboxOptOut {

inline constexpr int kNone = 0;
inline constexpr int kOptOut = 1;
inline constexpr int kMention = 2;

struct Result {
    int judged = 0;
    int optedOut = 0; // senders newly put on the list
    int mentions = 0; // messages marked for the operator
    int disabled = 0; // contacts disabled
    QString error;    // the database's text; nothing of the pass is kept
};

Result judgePending(TADO* ado);

// "Remetentes descadastrados: N", what --receive-sms prints.
QString summaryLine(int optedOut);

} // namespace InboxOptOut
