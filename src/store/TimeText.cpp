#include "store/TimeText.h"

#include <QRegularExpression>

#include <limits>

namespace TimeText {
namespace {
const QString kShownStamp = QStringLiteral("dd/MM/yyyy HH:mm:ss");
const QString kStoredStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Exactly "0000-00-00 00:00:00" with ASCII digits in place of the zeros.
bool hasStoredForm(const QString& s) {
    static const QString pattern = QStringLiteral("0000-00-00 00:00:00");
    if (s.size() != pattern.size())
        return false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (pattern[i] == u'0' ? !s[i].isDigit() || s[i].unicode() > 0x7f : s[i] != pattern[i])
            return false;
    }
    return true;
}

// "yyyy-MM-dd HH:mm:ss" as "dd/MM/yyyy HH:mm:ss", by moving the characters.
QString dayFirst(QStringView s) {
    QString out;
    out.reserve(19);
    out.append(s.mid(8, 2)).append(u'/').append(s.mid(5, 2)).append(u'/').append(s.left(4)).append(s.mid(10, 9));
    return out;
}

// Everything before the time, the time itself (H:mm, with optional :ss and fraction), what follows.
const QRegularExpression& timePattern() {
    static const QRegularExpression re(QStringLiteral("^(.*?)(\\d{1,2}):(\\d{2})(?::(\\d{2})(\\.\\d{1,3})?)?(\\s*)$"));
    return re;
}
} // namespace

QDateTime localNow() {
    thread_local qint64 second = std::numeric_limits<qint64>::min();
    thread_local int offset = 0;
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 now = utc.toSecsSinceEpoch();
    if (now != second) {
        offset = utc.toLocalTime().offsetFromUtc();
        second = now;
    }
    return utc.toOffsetFromUtc(offset);
}

QString stampShown(const QDateTime& at) {
    return at.toString(kShownStamp);
}

QString stampStored(const QDateTime& at) {
    return at.toString(kStoredStamp);
}

QString dateShown(const QDate& date) {
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

QString storedStampShown(const QString& s) {
    // The stored form is rearranged without parsing.
    if (hasStoredForm(s))
        return dayFirst(s);
    // Longer text: its first 19 characters when they are a real stamp (read without a time zone, so an
    // hour that a daylight-saving change skipped still reads).
    if (s.size() > 19 && isStoredStamp(s.left(19)))
        return dayFirst(s.left(19));
    const QDate d = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
    return d.isValid() && s.size() == 10 ? dateShown(d) : s;
}

bool isStoredStamp(const QString& s) {
    return hasStoredForm(s) && QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd")).isValid() &&
           QTime::fromString(s.mid(11), QStringLiteral("HH:mm:ss")).isValid();
}

QDateTime stampFromStored(const QString& stored) {
    return QDateTime::fromString(stored, kStoredStamp);
}

QDateTime stampFromShown(const QString& shown) {
    return QDateTime::fromString(shown, kShownStamp);
}

QTime read(const QString& stored) {
    const QRegularExpressionMatch m = timePattern().match(stored);
    if (!m.hasMatch())
        return {};
    return QTime(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
}

QString inFormOf(const QString& stored, const QTime& time) {
    const QRegularExpressionMatch m = timePattern().match(stored);
    if (!m.hasMatch() || !time.isValid())
        return time.toString(QStringLiteral("HH:mm"));
    QString text = m.captured(1) + time.toString(QStringLiteral("HH:mm"));
    if (m.capturedLength(4) > 0)
        text += time.toString(QStringLiteral(":ss"));
    if (m.capturedLength(5) > 0)
        text += time.toString(QStringLiteral(".zzz")).left(m.capturedLength(5));
    return text + m.captured(6);
}

std::optional<QString> typed(const QString& digits, QChar key) {
    QString d = digits.size() >= 4 ? QString() : digits;
    if (key == QLatin1Char(':')) {
        if (d.size() == 1)
            return QStringLiteral("0") + d;
        return d.size() == 2 ? std::optional<QString>(d) : std::nullopt;
    }
    if (!key.isDigit() || key.unicode() > '9')
        return std::nullopt;
    const int k = key.digitValue();
    switch (d.size()) {
    case 0: // 3..9 can only be the one-digit hour
        return k > 2 ? QStringLiteral("0") + key : QString(key);
    case 1:
        return d.toInt() * 10 + k <= 23 ? std::optional<QString>(d + key) : std::nullopt;
    case 2:
        return k <= 5 ? std::optional<QString>(d + key) : std::nullopt;
    default:
        return d + key;
    }
}

QTime ofDigits(const QString& digits) {
    const int hours = digits.left(2).toInt();
    const int minutes = digits.size() > 2 ? digits.mid(2).toInt() : 0;
    return QTime(hours, minutes);
}

} // namespace TimeText
