#pragma once

#include "mail/EmailMessage.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vestral::mail {

// "Wed, 9 Dec 2026 07:59:38 -0300": the Date header form (English names, numeric offset from UTC).
QByteArray formatSmtpDate(const QDateTime& when);

// A header text as it goes on the wire after a field name taking `used` characters ("Subject: " is 9):
// printable US-ASCII folded at its blanks (lines of at most 78 characters); anything else (other characters,
// a word too long to fold, text that a mail program would take for an encoded word) as RFC 2047 encoded
// words (Q encoding, ISO-8859-1 when every character fits, UTF-8 otherwise), at most 75 characters each and
// lines of at most 76, joined by a folding CR LF blank.
QByteArray encodeHeaderText(const QString& text, qsizetype used = 0);

// A display name without control characters (a line break from merged data, a stray escape).
QString displayName(const QString& name);

// "name <address>" with the display name cleaned (displayName), quoted or encoded as needed, and the address
// without the blanks around it; just "<address>" without a name. `used` as for encodeHeaderText.
QByteArray formatMailbox(const QString& name, const QString& address, qsizetype used = 0);

// True when an address can be written into an SMTP command and a header without changing their meaning
// (no control characters, angle brackets or blanks, and not empty).
bool isSafeAddress(const QString& address);

// The text that follows DATA: headers, an empty line, the body lines (dot-stuffed, CR LF ends, UTF-8) and a
// final empty line. The terminating "." is not included. The body goes as it is unless a line is longer than
// SMTP allows (998 octets); then it goes quoted-printable, which servers accept and mail programs undo.
QByteArray writeSmtpMessage(const EmailMessage& message, const QDateTime& now);

} // namespace vestral::mail
