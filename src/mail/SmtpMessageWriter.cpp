#include "mail/SmtpMessageWriter.h"

#include <QStringList>
#include <QTimeZone>

namespace vestral::mail {

namespace {

constexpr qsizetype kMaxEncodedWord = 75;
constexpr qsizetype kMaxBodyLine = 998; // octets a line may hold on the wire (RFC 5321, 4.5.3.1.6)

bool isPrintableAscii(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

// Characters that may stand for themselves in a Q-encoded word placed in a phrase (RFC 2047, 5 (3)).
bool isQSafe(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
           c == '+' || c == '-' || c == '/';
}

QByteArray qEncode(const QByteArray& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (char c : bytes) {
        if (c == ' ') {
            out += '_';
        } else if (isQSafe(c)) {
            out += c;
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += '=';
            out += hex[u >> 4];
            out += hex[u & 0x0f];
        }
    }
    return out;
}

// Phrase characters that need no quoting: atext and blanks.
bool isAtomText(const QString& text) {
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    for (QChar c : text) {
        if (specials.contains(c))
            return false;
    }
    return true;
}

// Quoted-printable (RFC 2045, 6.7) of the given lines: at most 76 characters a line, soft breaks with "=".
QList<QByteArray> quotedPrintable(const QList<QByteArray>& lines) {
    static const char hex[] = "0123456789ABCDEF";
    QList<QByteArray> out;
    for (const QByteArray& line : lines) {
        QByteArray current;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto u = static_cast<unsigned char>(line[i]);
            const bool last = i + 1 == line.size();
            const bool literal = (u >= 33 && u <= 126 && u != '=' && !(u == '.' && current.isEmpty())) ||
                                 ((u == ' ' || u == '\t') && !last);
            QByteArray piece =
                literal ? QByteArray(1, static_cast<char>(u)) : QByteArray("=") + hex[u >> 4] + hex[u & 0x0f];
            if (current.size() + piece.size() > 75) {
                out.append(current + '=');
                current.clear();
                if (piece == ".")
                    piece = "=2E";
            }
            current += piece;
        }
        out.append(current);
    }
    return out;
}

} // namespace

QByteArray formatSmtpDate(const QDateTime& when) {
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = when.date();
    const int offsetMinutes = when.offsetFromUtc() / 60;
    const int absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    const QString text = QStringLiteral("%1, %2 %3 %4 %5 %6%7%8")
                             .arg(QLatin1String(days[date.dayOfWeek() - 1]))
                             .arg(date.day())
                             .arg(QLatin1String(months[date.month() - 1]))
                             .arg(date.year(), 4, 10, QLatin1Char('0'))
                             .arg(when.time().toString(QStringLiteral("HH:mm:ss")))
                             .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(absMinutes / 60, 2, 10, QLatin1Char('0'))
                             .arg(absMinutes % 60, 2, 10, QLatin1Char('0'));
    return text.toLatin1();
}

QByteArray encodeHeaderText(const QString& text) {
    if (isPrintableAscii(text))
        return text.toLatin1();
    bool latin1 = true;
    for (QChar c : text) {
        if (c.unicode() > 0xff) {
            latin1 = false;
            break;
        }
    }
    const QByteArray prefix = latin1 ? QByteArrayLiteral("=?ISO-8859-1?Q?") : QByteArrayLiteral("=?UTF-8?Q?");
    const qsizetype room = kMaxEncodedWord - prefix.size() - 2;
    QList<QByteArray> words;
    QByteArray current;
    // Walk whole code points so a UTF-8 sequence never straddles two words.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString ch = text.mid(i, len);
        const QByteArray piece = qEncode(latin1 ? ch.toLatin1() : ch.toUtf8());
        if (current.size() + piece.size() > room) {
            words.append(current);
            current.clear();
        }
        current += piece;
        i += len;
    }
    words.append(current);
    QByteArray out;
    for (const QByteArray& word : words) {
        if (!out.isEmpty())
            out += "\r\n ";
        out += prefix + word + "?=";
    }
    return out;
}

QByteArray formatMailbox(const QString& name, const QString& address) {
    const QByteArray angle = '<' + address.toUtf8() + '>';
    if (name.isEmpty())
        return angle;
    if (!isPrintableAscii(name))
        return encodeHeaderText(name) + ' ' + angle;
    if (isAtomText(name))
        return name.toLatin1() + ' ' + angle;
    QByteArray quoted = name.toLatin1();
    quoted.replace('\\', "\\\\");
    quoted.replace('"', "\\\"");
    return '"' + quoted + "\" " + angle;
}

bool isSafeAddress(const QString& address) {
    if (address.isEmpty())
        return false;
    for (QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c == u'<' || c == u'>')
            return false;
    }
    return true;
}

QByteArray writeSmtpMessage(const EmailMessage& message, const QDateTime& now) {
    QByteArray out;
    out += "From: " + formatMailbox(message.fromName, message.fromAddress) + "\r\n";
    if (!message.subject.isEmpty())
        out += "Subject: " + encodeHeaderText(message.subject) + "\r\n";
    out += "To: " + formatMailbox(message.toName, message.toAddress) + "\r\n";
    out += "Content-Type: text/html; charset=UTF-8\r\n";
    out += "MIME-Version: 1.0\r\n";
    QString body = message.htmlBody;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\r', u'\n');
    QList<QByteArray> lines;
    bool tooLong = false;
    for (const QString& line : body.split(u'\n')) {
        lines.append(line.toUtf8());
        tooLong = tooLong || lines.back().size() > kMaxBodyLine;
    }
    if (tooLong) {
        out += "Content-Transfer-Encoding: quoted-printable\r\n";
        lines = quotedPrintable(lines);
    }
    out += "Date: " + formatSmtpDate(now) + "\r\n";
    out += "\r\n";
    for (const QByteArray& line : std::as_const(lines)) {
        if (line.startsWith('.'))
            out += '.';
        out += line + "\r\n";
    }
    out += "\r\n";
    return out;
}

} // namespace vestral::mail
