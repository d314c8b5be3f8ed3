#include "mail/SmtpReply.h"

namespace vestral::mail {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Splits off one line (without its CR LF / LF). Returns the length including the terminator, 0 when the
// buffer holds no complete line yet.
qsizetype takeLine(QByteArrayView buf, qsizetype from, QByteArrayView& line) {
    const qsizetype lf = buf.indexOf('\n', from);
    if (lf < 0)
        return 0;
    qsizetype end = lf;
    if (end > from && buf[end - 1] == '\r')
        --end;
    line = buf.sliced(from, end - from);
    return lf + 1 - from;
}

} // namespace

SmtpReplyParse parseSmtpReply(QByteArrayView buf) {
    SmtpReplyParse result;
    qsizetype pos = 0;
    while (true) {
        QByteArrayView line;
        const qsizetype taken = takeLine(buf, pos, line);
        if (taken == 0) {
            if (buf.size() - pos > kMaxReplyLineLength)
                result.status = SmtpReplyParse::Status::Malformed;
            return result;
        }
        if (line.size() > kMaxReplyLineLength || line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) ||
            !isDigit(line[2]) || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            result.status = SmtpReplyParse::Status::Malformed;
            return result;
        }
        const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        if (!result.reply.lines.isEmpty() && code != result.reply.code) {
            result.status = SmtpReplyParse::Status::Malformed;
            return result;
        }
        result.reply.code = code;
        result.reply.lines.append(QString::fromUtf8(line.size() > 4 ? line.sliced(4) : QByteArrayView()));
        pos += taken;
        const bool last = line.size() == 3 || line[3] == ' ';
        if (last) {
            result.status = SmtpReplyParse::Status::Complete;
            result.consumed = pos;
            return result;
        }
        if (result.reply.lines.size() >= kMaxReplyLines) {
            result.status = SmtpReplyParse::Status::Malformed;
            return result;
        }
    }
}

bool hasCapability(const QStringList& capabilities, QStringView name) {
    for (const QString& line : capabilities) {
        const QStringView keyword = QStringView(line).trimmed().split(u' ').front();
        if (keyword.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList authMechanisms(const QStringList& capabilities) {
    QStringList names;
    for (const QString& line : capabilities) {
        if (line.size() < 5 || !line.startsWith(u"AUTH", Qt::CaseInsensitive) || (line[4] != u' ' && line[4] != u'='))
            continue;
        QString rest = line.mid(5);
        rest.replace(u'=', u' ');
        const QStringList words = rest.split(u' ', Qt::SkipEmptyParts);
        for (const QString& word : words) {
            const QString upper = word.toUpper();
            if (!names.contains(upper))
                names.append(upper);
        }
    }
    return names;
}

} // namespace vestral::mail
