#include "mail/SmtpMessageWriter.h"

#include <QStringList>
#include <QTimeZone>
#include <algorithm>

namespace vestral::mail {

namespace {

constexpr qsizetype kMaxEncodedWord = 75;
constexpr qsizetype kMaxHeaderLine = 76; // a line holding encoded words (RFC 2047, 2)
constexpr qsizetype kMaxFoldedLine = 78; // a header line's recommended length (RFC 5322, 2.1.1)
constexpr qsizetype kMaxBodyLine = 998;  // octets a line may hold on the wire (RFC 5321, 4.5.3.1.6)

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

namespace {

// Q-encoded words (ISO-8859-1 when every character fits, UTF-8 otherwise) holding text, each within the
// RFC 2047 limit of 75 characters; the first one also leaves room for the `used` characters of its line.
QList<QByteArray> encodedWords(const QString& text, qsizetype used) {
    const bool latin1 = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xff; });
    const QByteArray prefix = latin1 ? QByteArrayLiteral("=?ISO-8859-1?Q?") : QByteArrayLiteral("=?UTF-8?Q?");
    const qsizetype room = kMaxEncodedWord - prefix.size() - 2;
    qsizetype firstRoom = qMax<qsizetype>(12, qMin(room, kMaxHeaderLine - used - prefix.size() - 2));
    QList<QByteArray> words;
    QByteArray current;
    // Walk whole code points so a UTF-8 sequence never straddles two words.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString ch = text.mid(i, len);
        const QByteArray piece = qEncode(latin1 ? ch.toLatin1() : ch.toUtf8());
        if (!current.isEmpty() && current.size() + piece.size() > (words.isEmpty() ? firstRoom : room)) {
            words.append(prefix + current + "?=");
            current.clear();
        }
        current += piece;
        i += len;
    }
    words.append(prefix + current + "?=");
    return words;
}

// Printable US-ASCII folded at its blanks (RFC 5322, 2.2.3) so that no line passes 78 characters;
// empty when a single word is too long for that.
QByteArray foldAscii(const QString& text, qsizetype used) {
    QByteArray out;
    qsizetype line = used;
    const QStringList words = text.split(u' ');
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray word = words[i].toLatin1();
        if (i == 0) {
            out += word;
            line += word.size();
        } else if (!word.isEmpty() && line + 1 + word.size() > kMaxFoldedLine) {
            out += "\r\n " + word;
            line = 1 + word.size();
        } else {
            out += ' ' + word;
            line += 1 + word.size();
        }
        if (line > kMaxFoldedLine)
            return {};
    }
    return out;
}

// Text a mail program would decode although it was meant literally.
bool looksEncoded(const QString& text) {
    const qsizetype open = text.indexOf(QLatin1String("=?"));
    return open >= 0 && text.indexOf(QLatin1String("?="), open + 2) >= 0;
}

} // namespace

QByteArray encodeHeaderText(const QString& text, qsizetype used) {
    if (isPrintableAscii(text) && !looksEncoded(text)) {
        const QByteArray folded = foldAscii(text, used);
        if (!folded.isEmpty() || text.isEmpty())
            return folded;
    }
    return encodedWords(text, used).join("\r\n ");
}

QString displayName(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (c.category() != QChar::Other_Control)
            out += c;
    }
    return out;
}

QByteArray formatMailbox(const QString& rawName, const QString& address, qsizetype used) {
    const QByteArray angle = '<' + address.trimmed().toUtf8() + '>';
    const QString name = displayName(rawName);
    if (name.isEmpty())
        return angle;
    QByteArray phrase;
    if (!isPrintableAscii(name) || looksEncoded(name) || used + name.size() + 2 > kMaxFoldedLine) {
        phrase = encodeHeaderText(name, used);
    } else if (isAtomText(name)) {
        phrase = name.toLatin1();
    } else {
        phrase = name.toLatin1();
        phrase.replace('\\', "\\\\");
        phrase.replace('"', "\\\"");
        phrase = '"' + phrase + '"';
    }
    const qsizetype lastBreak = phrase.lastIndexOf('\n');
    const qsizetype lastLine = lastBreak < 0 ? used + phrase.size() : phrase.size() - lastBreak - 1;
    return phrase + (lastLine + 1 + angle.size() > kMaxFoldedLine ? "\r\n " : " ") + angle;
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
    out += "From: " + formatMailbox(message.fromName, message.fromAddress, 6) + "\r\n";
    if (!message.subject.isEmpty())
        out += "Subject: " + encodeHeaderText(message.subject, 9) + "\r\n";
    out += "To: " + formatMailbox(message.toName, message.toAddress, 4) + "\r\n";
    if (isSafeAddress(message.listUnsubscribe))
        out += "List-Unsubscribe: <" + message.listUnsubscribe.toUtf8() + ">\r\n";
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
