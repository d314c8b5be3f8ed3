#include "sms/ModemReplies.h"

#include <QList>

namespace ModemReplies {
namespace {

// The text after `prefix` (case-insensitive, blanks after it dropped), or nothing.
std::optional<QByteArray> after(const QByteArray& line, const char* prefix) {
    const QByteArray p(prefix);
    if (!line.trimmed().toUpper().startsWith(p))
        return std::nullopt;
    return line.trimmed().mid(p.size()).trimmed();
}

QByteArray unquoted(QByteArray text) {
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"'))
        return text.mid(1, text.size() - 2).trimmed();
    return text;
}

bool allOf(const QByteArray& text, qsizetype min, qsizetype max, bool hexLetters) {
    if (text.size() < min || text.size() > max)
        return false;
    for (const char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool hex = (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!digit && !(hexLetters && hex))
            return false;
    }
    return true;
}

// The first line that is `prefix` + a value passing `valid`, or a bare value passing it.
QString value(const Lines& lines, std::initializer_list<const char*> prefixes, qsizetype min, qsizetype max,
              bool hexLetters) {
    for (const QByteArray& line : lines) {
        QByteArray candidate = line.trimmed();
        for (const char* prefix : prefixes)
            if (const std::optional<QByteArray> rest = after(line, prefix)) {
                candidate = *rest;
                break;
            }
        candidate = unquoted(candidate);
        if (allOf(candidate, min, max, hexLetters))
            return QString::fromLatin1(candidate).toUpper();
    }
    return {};
}

bool finalResult(const QByteArray& line) {
    const QByteArray t = line.trimmed().toUpper();
    return t == "OK" || t == "ERROR" || t.startsWith("+CME ERROR") || t.startsWith("+CMS ERROR") ||
           t == "COMMAND NOT SUPPORT" || t == "NO CARRIER";
}

std::optional<int> number(const QByteArray& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

} // namespace

Pin pinState(const Lines& lines) {
    for (const QByteArray& line : lines) {
        const std::optional<QByteArray> rest = after(line, "+CPIN:");
        if (!rest)
            continue;
        const QByteArray code = unquoted(*rest).toUpper();
        if (code == "READY")
            return Pin::Ready;
        if (code == "SIM PIN")
            return Pin::SimPin;
        if (code == "SIM PUK")
            return Pin::SimPuk;
        return Pin::Other;
    }
    return Pin::Unknown;
}

int cmeError(const Lines& lines) {
    for (const QByteArray& line : lines)
        if (const std::optional<QByteArray> rest = after(line, "+CME ERROR:"))
            return number(*rest).value_or(-1);
    return -1;
}

QString imei(const Lines& lines) {
    return value(lines, {"+CGSN:"}, 14, 17, false);
}

QString imsi(const Lines& lines) {
    return value(lines, {"+CIMI:"}, 6, 15, false);
}

QString iccid(const Lines& lines) {
    return value(lines, {"+CCID:", "^ICCID:", "+QCCID:", "+ICCID:", "ICCID:"}, 18, 22, true);
}

QString infoText(const Lines& lines, const QByteArray& command) {
    const QByteArray echo = command.trimmed().toUpper();
    const QByteArray prefix = echo.startsWith("AT") ? echo.mid(2) + ':' : QByteArray();
    for (const QByteArray& line : lines) {
        QByteArray t = line.trimmed();
        if (t.isEmpty() || t.toUpper() == echo || finalResult(t))
            continue;
        if (!prefix.isEmpty() && t.toUpper().startsWith(prefix))
            t = t.mid(prefix.size()).trimmed();
        else if ((t.startsWith('+') || t.startsWith('^')) && t.contains(':'))
            continue; // another command's line, or an unsolicited one
        t = unquoted(t);
        QString text;
        for (const char c : t)
            if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f)
                text.append(QLatin1Char(c));
        text = text.trimmed().left(64);
        if (!text.isEmpty())
            return text;
    }
    return {};
}

std::optional<int> registration(const QByteArray& line) {
    const std::optional<QByteArray> rest = after(line, "+CREG:");
    if (!rest)
        return std::nullopt;
    const QList<QByteArray> fields = rest->split(',');
    QList<QByteArray> f;
    for (const QByteArray& field : fields)
        f << field.trimmed();
    if (f.isEmpty() || f.size() > 5)
        return std::nullopt;
    // One field: the unsolicited status. Two: "<n>,<stat>". Five: "<n>,<stat>,<lac>,<ci>,<act>". Three or four:
    // a second field that is a location code (quoted, or more than one character) makes the first the status.
    int at = 0;
    if (f.size() == 2 || f.size() == 5)
        at = 1;
    else if (f.size() >= 3)
        at = f.at(1).startsWith('"') || f.at(1).size() > 1 ? 0 : 1;
    const std::optional<int> stat = number(f.at(at));
    if (!stat || *stat < 0 || *stat > 10)
        return std::nullopt;
    return stat;
}

std::optional<int> registration(const Lines& lines) {
    for (const QByteArray& line : lines)
        if (const std::optional<int> stat = registration(line))
            return stat;
    return std::nullopt;
}

int signal(const Lines& lines) {
    for (const QByteArray& line : lines)
        if (const std::optional<QByteArray> rest = after(line, "+CSQ:")) {
            const std::optional<int> rssi = number(rest->split(',').value(0));
            if (rssi && ((*rssi >= 0 && *rssi <= 31) || *rssi == 99))
                return *rssi;
        }
    return -1;
}

std::optional<QString> smsc(const Lines& lines) {
    for (const QByteArray& line : lines)
        if (const std::optional<QByteArray> rest = after(line, "+CSCA:")) {
            const QByteArray field =
                rest->left(rest->lastIndexOf(',') > 0 && !rest->endsWith('"') ? rest->lastIndexOf(',') : rest->size());
            QString number;
            for (const char c : unquoted(field))
                if ((c >= '0' && c <= '9') || c == '+')
                    number.append(QLatin1Char(c));
            return number;
        }
    return std::nullopt;
}

} // namespace ModemReplies
