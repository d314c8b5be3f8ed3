#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace vestral::mail {

// One complete server reply: the three-digit code and the text of each line after the code.
struct SmtpReply {
    int code = 0;
    QStringList lines;

    // The reply's text as the operator sees it: the lines after the code, joined by CR LF.
    QString text() const { return lines.join(QStringLiteral("\r\n")); }
    bool operator==(const SmtpReply&) const = default;
};

// Result of looking at the front of the receive buffer for one reply.
struct SmtpReplyParse {
    enum class Status { Incomplete, Complete, Malformed };
    Status status = Status::Incomplete;
    SmtpReply reply;        // valid when Complete
    qsizetype consumed = 0; // bytes of the buffer the reply took (Complete only)
};

// Longest reply line and most lines accepted in one reply; a server sending more is treated as broken,
// so a hostile peer cannot make the client buffer without bound.
inline constexpr qsizetype kMaxReplyLineLength = 4096;
inline constexpr qsizetype kMaxReplyLines = 512;

// Parses one SMTP reply ("250-first", "250-second", "250 last") from the front of buf.
// Lines end with CR LF (a bare LF is accepted). A line is "ddd", "ddd text" or "ddd-text"; the dash marks
// continuation. All lines of a reply must carry the same code. Text is taken as UTF-8.
SmtpReplyParse parseSmtpReply(QByteArrayView buf);

// Capability helpers over the lines of an EHLO reply after its first line.

// True when a capability line's keyword (its first word) equals name, ignoring letter case.
bool hasCapability(const QStringList& capabilities, QStringView name);

// Mechanism names (upper case) from every line beginning "AUTH" followed by a blank or "=" (any letter case);
// "=" and blanks both separate names.
QStringList authMechanisms(const QStringList& capabilities);

} // namespace vestral::mail
