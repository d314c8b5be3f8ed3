#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// The program's fixed regional formats, whatever the system locale: day/month/year dates with "/",
// decimal comma, thousands full stop, Portuguese day and month names.
namespace RegionalFormats {

QLocale locale(); // Brazilian Portuguese, default number options
void install();   // sets the process-wide default locale

QString shortDayName(int dayOfWeek); // 1 = Monday ... 7 = Sunday (Qt numbering)
QString longDayName(int dayOfWeek);
QString shortMonthName(int month); // 1..12
QString longMonthName(int month);

QString formatDate(const QDate& d);          // "dd/MM/yyyy"
QDate parseDate(const QString& text);        // "dd/mm/yyyy", invalid when it does not read
QString formatDateTime(const QDateTime& dt); // "dd/MM/yyyy HH:mm:ss", the log time stamp
QString formatNumber(double value, int decimals);
QDate firstOfMonth(const QDate& today); // built as "01/" + mm + "/" + yyyy, read back

} // namespace RegionalFormats
