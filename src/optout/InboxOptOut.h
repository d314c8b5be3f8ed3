#pragma once

#include <QString>

class TADO;

// Judges the received messages of dbSMS that were not judged yet (DESCADASTRO NULL): a message whose whole
// text is an opt-out keyword (dbCFG.PALAVRAS_SAIR) puts its sender on the opt-out list (origin "SMS", the
// text, the slot) and is marked 1; one that only mentions a keyword is marked 2 for the operator; any other
// 0. Text and PDU readings store a message whole (the parts of a concatenated one joined), so the joined
// text is what is judged. Runs after every reading, when the received messages are shown and at start-up,
// so messages stored before the list existed are judged too. Window thread (the data module's connection).
// With dbCFG.CONFIRMA_SAIR on, a sender whose number is put on the list (or found on it) gets one SMS saying so,
// queued in dbMENSAGEM for the slot the message came in on, in the same transaction that marks the list's row
// (CONFIRMADO): the ordinary send sends it and keeps it in the history; no number gets a second one.
namespace InboxOptOut {

inline constexpr int kNone = 0;
inline constexpr int kOptOut = 1;
inline constexpr int kMention = 2;

struct Result {
    int judged = 0;
    int optedOut = 0;      // senders newly put on the list
    int mentions = 0;      // messages marked for the operator
    int disabled = 0;      // contacts disabled
    int confirmations = 0; // confirmation SMS put in the outbox
    QString error;         // the database's text; nothing of the pass is kept
};

Result judgePending(TADO* ado);

// The confirmation's text: "Você não receberá mais mensagens de EMPRESA." with the company name of the
// settings, cut so that the whole text fits one SMS in any coding (70 characters); without a name,
// "Você não receberá mais mensagens.".
QString confirmationText(const QString& empresa);
inline constexpr int kConfirmationMaxChars = 70;

// "Remetentes descadastrados: N", what --receive-sms prints.
QString summaryLine(int optedOut);
// "Confirmações de descadastro para envio: N", the log line of a pass that queued confirmations.
QString confirmationsLine(int queued);

} // namespace InboxOptOut
