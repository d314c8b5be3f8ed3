#include "store/TimeText.h"

#include <QRegularExpression>

namespace TimeText {
namespace {
// Everything before the time, the time itself (H:mm, with optional :ss and fraction), what follows.
const QRegularExpression& timePattern() {
    static const QRegularExpression re(QStringLiteral("^(.*?)(\\d{1,2}):(\\d{2})(?::(\\d{2})(\\.\\d{1,3})?)?(\\s*)$"));
    return re;
}
} // namespace

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
