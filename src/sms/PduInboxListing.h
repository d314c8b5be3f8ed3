#pragma once

#include "sms/ConcatJoiner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

// The answer to AT+CMGL=4 in PDU mode (AT+CMGF=0): for each stored message a header line
// "+CMGL: <index>,<stat>,[<alpha>],<length>" and a line of hex digits (the SMSC field and the TPDU),
// then "OK". A message's text travels as hex digits, so no text can imitate a header or the final
// "OK": the listing is read as it stands, without the count and readings of the text mode.
// Pure; everything in it came from a modem and is checked.
namespace PduInboxListing {

// Stored outgoing messages (<stat> 2 "STO UNSENT", 3 "STO SENT") are listed too; they are not received.
constexpr int kFirstStoredStat = 2;

struct Entry {
    int index = -1;    // modem position; -1 when the header does not give one
    int stat = -1;     // -1 when unreadable
    int length = -1;   // TPDU length the modem gave; -1 when unreadable
    QByteArray header; // the header line as received
    QByteArray hex;    // the line after the header (empty when none came)
};

// Every header of the answer with the line that follows it, in order.
QList<Entry> entries(QByteArrayView answer);

// A listed PDU this program does not take: it stays on the modem.
struct Refused {
    int index = -1;
    QString reason; // Portuguese
    QByteArray hex;
};

// An SMS-STATUS-REPORT the modem stored among its messages.
struct ListedReport {
    int index = -1;
    int length = -1;
    QByteArray hex;
};

struct Sorted {
    QList<pdu::InboxPart> parts; // decoded SMS-DELIVER; firstSeen is left to the caller
    QList<Refused> refused;
    QList<ListedReport> reports;
};

// Decodes the entries: a DELIVER becomes a part; a status report is set aside; anything else, an
// unreadable header, or a position listed twice, is refused.
Sorted sort(const QList<Entry>& entries);

// The centre's time stamp as the text mode keeps DATA: the centre's own clock, "dd/MM/yyyy HH:mm:ss"
// (the zone is not applied, so a message gives the same RECEBIDO in either mode); empty when invalid.
QString stampText(const QDateTime& sent);

// CODIGO of a staged message: the modem positions of its parts, comma-separated, as many as fit in
// the column's 50 characters; and the positions read back from it.
QString codigo(const QList<int>& indices);
QList<int> indices(const QString& codigo);

} // namespace PduInboxListing
