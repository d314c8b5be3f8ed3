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
            calendar->setFirstDayOfWeek(Qt::Sunday);
            CalendarHeaderPainter::adopt(calendar, shortDayNamesMondayFirst());
        }
    }
    return QObject::eventFilter(watched, event);
}
