#pragma once

#include "sms/SlotState.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One message of a text-mode AT+CMGL listing, as staged in dbSMS_BUFFER.
struct InboxRecord {
    QString codigo; // the message's index on the modem (digits of the header's first item)
    QString fone;   // sender, without quotes
    QString data;   // the modem's time stamp as "date time", zone cut off
    QString sms;    // the text, every line of it
};

// Reads the answer to AT+CMGL="ALL" in text mode: CR LF, then for each message a header line
// "+CMGL: <index>,"<stat>","<sender>",[<name>],"<date>,<time><zone>"" CR LF and the text, then
// CR LF CR LF "OK" CR LF (just CR LF "OK" CR LF when there is no message). A text may itself hold
// a line that looks like a header or like the final "OK": the reader therefore asks the modem how
// many messages it holds (AT+CPMS?) after the listing, and only the headers the modem confirms
// (AT+CMGR) delimit records when the counts differ.
namespace InboxListing {

enum class State { Incomplete, Complete, Failed };

// Bytes received line by line; every byte costs constant time, however long the text.
class LineBuffer {
public:
    // Appends one byte; true when it was an LF that completed a line.
    bool append(char c);
    const QByteArray& bytes() const { return m_bytes; }
    // The line the last LF completed, without its CR LF, and where it starts in bytes().
    QByteArrayView lastLine() const;
    qsizetype lastLineStart() const { return m_lastStart; }
    void clear();

private:
    QByteArray m_bytes;
    qsizetype m_lineStart = 0;
    qsizetype m_lastStart = 0;
};

// The answer to AT+CMGL="ALL" followed by the answer to AT+CPMS?, as one stream: the listing may
// look finished inside a text, so the reader writes AT+CPMS? at that point and keeps reading;
// the modem answers it only after the listing's real end, which is then the last "OK" line
// before the "+CPMS:" line.
class ListingReader {
public:
    enum class Event { None, ListingEnded, ListingFailed, CountEnded };

    // One received byte. ListingEnded: write AT+CPMS? now (given once). ListingFailed: the modem
    // refused the listing (failure() says how). CountEnded: the listing and the count are in,
    // unless more bytes follow (a text holding such lines); then a later CountEnded replaces it.
    Event append(char c);

    // The final error line of a refused listing.
    QString failure() const { return m_failure; }
    // After CountEnded: the listing up to and including its final "OK" CR LF.
    QByteArray listing() const;
    // After CountEnded: the messages the modem says it holds, unless it did not say.
    std::optional<int> used() const { return m_used; }

private:
    Event listingLine(QByteArrayView line);
    Event countLine(QByteArrayView line);

    LineBuffer m_buffer;
    bool m_counting = false;
    bool m_failed = false;
    int m_headers = 0;
    qsizetype m_countFrom = 0;
    qsizetype m_cpmsLine = -1;
    qsizetype m_regionEnd = -1;
    std::optional<int> m_used;
    QString m_failure;
};

// The answer to one command (AT+CMGR, AT+CMGD): lines until the final result line.
class ReplyReader {
public:
    // True when the byte completed a final result line ("OK", "ERROR", "+CMS ERROR:",
    // "+CME ERROR:"). Bytes may follow it (a text holding such a line): reading goes on, and the
    // answer is the one up to the last final result line.
    bool append(char c);
    bool ok() const { return m_ok; }
    // A final result line came.
    bool finished() const { return !m_final.isEmpty(); }
    QString finalLine() const { return m_final; }
    // The first line of the answer that begins with `prefix`, empty when none did.
    QByteArray lineStartingWith(QByteArrayView prefix) const;
    QByteArray bytes() const { return m_buffer.bytes(); }
    void clear();

private:
    LineBuffer m_buffer;
    bool m_ok = false;
    QString m_final;
};

// A "+CMGL: " line at the start of a line of the listing, with what its header says.
struct Header {
    qsizetype offset = 0; // of the "+"
    InboxRecord record;   // codigo, fone, data (no text)
};

// The modem writes headers and texts in the character set selected on it (AT+CSCS); `charset`
// reads them so (TextCodec::decode): Latin-1 byte for byte, or ASCII with "?" for other bytes.

// Every line of `listing` that looks like a header, in order.
QList<Header> headers(const QByteArray& listing, TextCharset charset = TextCharset::Latin1);

// The records of a complete listing delimited by the given headers (a subset of headers(), in
// order): each text runs to the next given header; any other header line is text.
QList<InboxRecord> records(const QByteArray& listing, const QList<Header>& kept,
                           TextCharset charset = TextCharset::Latin1);
// The records of a complete listing delimited by every header.
QList<InboxRecord> parse(const QByteArray& listing, TextCharset charset = TextCharset::Latin1);

// Whether a whole buffer is a finished listing (the per-byte check of ListingReader).
State state(const QByteArray& listing);

// The first "used" count of a "+CPMS: " line ("SM",3,30,... or 3,30,...).
std::optional<int> cpmsUsed(QByteArrayView line);
// Sender and time stamp (as DATA) of a "+CMGR: " line; nothing when it does not have both.
std::optional<InboxRecord> cmgrHeader(QByteArrayView line, TextCharset charset = TextCharset::Latin1);

// An error final result line: "ERROR", "+CMS ERROR:", "+CME ERROR:", "COMMAND NOT SUPPORT".
bool isErrorResult(QByteArrayView line);

// The listing without the lines the modem wrote on its own inside it (^RSSI, +CMTI, RDY...): such a line
// is dropped when a blank line frames it, as the modem writes it; a text's own line that looks like one
// ("RING" after its header or after another line of the text) stays.
QByteArray withoutNoise(const QByteArray& listing);

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
