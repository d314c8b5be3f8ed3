#include "app/RegionalWidgets.h"

#include <QCalendarWidget>
#include <QEvent>

#include "app/RegionalFormats.h"
#include "widgets/CalendarHeaderPainter.h"

RegionalWidgets::RegionalWidgets(QObject* parent) : QObject(parent) {}

QStringList RegionalWidgets::shortDayNamesMondayFirst() {
    QStringList names;
    for (int day = Qt::Monday; day <= Qt::Sunday; ++day)
        names << RegionalFormats::shortDayName(day);
    return names;
}

bool RegionalWidgets::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::Polish) {
        if (auto* calendar = qobject_cast<QCalendarWidget*>(watched)) {
            // Month names from the regional locale, not from the default one the calendar was built under.
            if (calendar->locale() != RegionalFormats::locale())
                calendar->setLocale(RegionalFormats::locale());
            calendar->setFirstDayOfWeek(Qt::Sunday);
            CalendarHeaderPainter::adopt(calendar, shortDayNamesMondayFirst());
        }
    }
    return QObject::eventFilter(watched, event);
}
