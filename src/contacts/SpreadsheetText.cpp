#include "contacts/SpreadsheetText.h"

#include <QTime>

#include <cmath>

namespace SpreadsheetText {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80–0x9F; unassigned bytes keep their Latin-1 value.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr double WholeDigitsLimit = 1e15;    // Excel keeps 15 significant digits
constexpr double LastSerial = 2958465.99999; // 31/12/9999 23:59:59
constexpr int SecondsPerDay = 86400;

// "1.5e-07" → "1,5E-7", as a spreadsheet shows numbers in scientific notation.
QString withDecimalComma(const QString& cLocaleText) {
    const qsizetype e = cLocaleText.indexOf(u'e');
    QString mantissa = (e < 0 ? cLocaleText : cLocaleText.left(e));
    mantissa.replace(u'.', u',');
    if (e < 0) {
        return mantissa;
    }
    const int exponent = cLocaleText.mid(e + 1).toInt();
    return mantissa + u'E' + QString::number(exponent);
}

// Removes what a number format shows literally: quoted text, escaped and padding characters,
// colours and locale tags; tells through elapsed (true) whether "[h]", "[mm]" or "[ss]" was seen.
QString stripLiterals(const QString& code, bool& elapsed) {
    QString kept;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == u'"') {
            i = code.indexOf(u'"', i + 1);
            if (i < 0) {
                break;
            }
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i + 1);
            const QString inner = code.mid(i + 1, end < 0 ? -1 : end - i - 1).toLower();
            if (!inner.isEmpty() && (inner.count(inner.at(0)) == inner.size()) &&
                QStringLiteral("hms").contains(inner.at(0))) {
                elapsed = true;
            }
            if (end < 0) {
                break;
            }
            i = end;
        } else if (c == u';') {
            break; // only the first section decides
        } else {
            kept += c.toLower();
        }
    }
    return kept;
}

} // namespace

QString number(double value) {
    if (!std::isfinite(value)) {
        return QString();
    }
    if (value == std::trunc(value) && std::fabs(value) < WholeDigitsLimit) {
        return QString::number(static_cast<qint64>(value));
    }
    return withDecimalComma(QString::number(value, 'g', 15));
}

QString dateTime(double serial, bool date1904) {
    if (!std::isfinite(serial) || serial < 0 || serial > LastSerial) {
        return number(serial);
    }
    qint64 days = static_cast<qint64>(std::floor(serial));
    qint64 seconds = std::llround((serial - static_cast<double>(days)) * SecondsPerDay);
    if (seconds >= SecondsPerDay) {
        ++days;
        seconds -= SecondsPerDay;
    }
    const QString time = QTime(0, 0).addSecs(static_cast<int>(seconds)).toString(QStringLiteral("HH:mm:ss"));
    if (days == 0) {
        return time;
    }
    QString date;
    if (!date1904 && days == 60) {
        date = QStringLiteral("29/02/1900"); // the day Excel's 1900 calendar invents
    } else {
        const QDate base = date1904 ? QDate(1904, 1, 1) : (days < 60 ? QDate(1899, 12, 31) : QDate(1899, 12, 30));
        date = base.addDays(days).toString(QStringLiteral("dd/MM/yyyy"));
    }
    return seconds == 0 ? date : date + u' ' + time;
}

QString boolean(bool value) {
    return value ? QStringLiteral("VERDADEIRO") : QStringLiteral("FALSO");
}

bool isBuiltInDateFormat(int numFmtId) {
    return (numFmtId >= 14 && numFmtId <= 22) || (numFmtId >= 27 && numFmtId <= 36) ||
           (numFmtId >= 45 && numFmtId <= 47) || (numFmtId >= 50 && numFmtId <= 58);
}

bool isDateFormat(const QString& formatCode) {
    bool elapsed = false;
    const QString kept = stripLiterals(formatCode, elapsed);
    if (elapsed) {
        return true;
    }
    if (kept == u"general") {
        return false;
    }
    for (const QChar c : kept) {
        if (c == u'd' || c == u'm' || c == u'y' || c == u'h' || c == u's') {
            return true;
        }
    }
    return false;
}

QStringList fitRow(QStringList cells, int columnCount) {
    if (cells.size() > columnCount) {
        cells.resize(columnCount);
    }
    while (cells.size() < columnCount) {
        cells.append(QString());
    }
    return cells;
}

QString fromWindows1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(Cp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

QString columnName(int column) {
    QString name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26) {
        name.prepend(QChar(u'A' + (n - 1) % 26));
    }
    return name;
}

QString cellTooLong(qint64 row, int column, qint64 length) {
    return QStringLiteral("A célula da linha %1, coluna %2 tem %3 caracteres; uma célula tem no máximo 32767.")
        .arg(row)
        .arg(columnName(column))
        .arg(length);
}

} // namespace SpreadsheetText
