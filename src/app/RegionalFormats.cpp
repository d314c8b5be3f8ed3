#include "app/RegionalFormats.h"
#include "store/TimeText.h"

#include <QLocale>

namespace RegionalFormats {
namespace {
// Sunday first, as the operator reads them.
const char* const kShortDays[] = {"Dom", "Seg", "Ter", "Qua", "Qui", "Sex", "Sab"};
const char* const kLongDays[] = {"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"};
const char* const kShortMonths[] = {"Jan", "Fev", "Mar", "Abr", "Mai", "Jun", "Jul", "Ago", "Set", "Out", "Nov", "Dez"};
const char* const kLongMonths[] = {"Janeiro", "Fevereiro", "Março",    "Abril",   "Maio",     "Junho",
                                   "Julho",   "Agosto",    "Setembro", "Outubro", "Novembro", "Dezembro"};

int sundayFirst(int qtDay) {
    return qtDay % 7;
} // Qt: 7 = Sunday
} // namespace

QLocale locale() {
    QLocale pt(QLocale::Portuguese, QLocale::Brazil);
    pt.setNumberOptions(QLocale::DefaultNumberOptions);
    return pt;
}

void install() {
    QLocale::setDefault(locale());
}

QString shortDayName(int d) {
    return d >= 1 && d <= 7 ? QString::fromUtf8(kShortDays[sundayFirst(d)]) : QString();
}
QString longDayName(int d) {
    return d >= 1 && d <= 7 ? QString::fromUtf8(kLongDays[sundayFirst(d)]) : QString();
}
QString shortMonthName(int m) {
    return m >= 1 && m <= 12 ? QString::fromUtf8(kShortMonths[m - 1]) : QString();
}
QString longMonthName(int m) {
    return m >= 1 && m <= 12 ? QString::fromUtf8(kLongMonths[m - 1]) : QString();
}

QString formatDate(const QDate& d) {
    return TimeText::dateShown(d);
}

QDate parseDate(const QString& text) {
    QDate d = QDate::fromString(text.trimmed(), "dd/MM/yyyy");
    return d.isValid() ? d : QDate::fromString(text.trimmed(), "d/M/yyyy");
}

QString formatDateTime(const QDateTime& dt) {
    return TimeText::stampShown(dt);
}

QString formatNumber(double value, int decimals) {
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value, 'f', decimals);
}

QDate firstOfMonth(const QDate& today) {
    return parseDate("01/" + today.toString("MM") + "/" + today.toString("yyyy"));
}

} // namespace RegionalFormats
