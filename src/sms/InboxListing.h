#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One message of a text-mode AT+CMGL listing, as staged in dbSMS_BUFFER.
struct InboxRecord {
    QString codigo; // the message's index on the modem (digits of the header's first item)
    QString fone;   // sender, without quotes
    QString data;   // the modem's time stamp as "date time", zone cut off
    QString sms;    // the text, every line of it
};

// Reads the answer to AT+CMGL="ALL" in text mode: CR LF, then for each message a header line
// "+CMGL: <index>,"<stat>","<sender>",[<name>],"<date>,<time><zone>"" CR LF and the text, then
// CR LF CR LF "OK" CR LF (just CR LF "OK" CR LF when there is no message). Records are delimited
// by their "+CMGL: " header lines only, so a text holding an empty line, a line beginning with
// "+" or a line ending in "OK" is kept whole.
namespace InboxListing {

enum class State { Incomplete, Complete, Failed };

// Whether `listing` (everything received since the command) has reached its final result.
State state(const QByteArray& listing);

// The records of a complete listing, in the order listed.
QList<InboxRecord> parse(const QByteArray& listing);

// Items of a header line: a comma, CR or LF ends an item; a part in double or single quotes is
// not split and keeps its quotes; empty items are dropped.
QStringList headerItems(const QString& header);

// The header's time stamp item as DATA: quotes removed, the first comma made a blank, the text
// after the first "a" (if any) and before the first "-" (or "+", the other zone sign).
QString stampText(const QString& item);

// DATA read as day/month/year hours:minutes:seconds with a four-digit year, or as the modems'
// own year/month/day with a two-digit year; invalid when it cannot be read.
QDateTime receivedAt(const QString& data);

} // namespace InboxListing
