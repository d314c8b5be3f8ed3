#include "widgets/CalendarHeaderPainter.h"

#include <QCalendarWidget>
#include <QPainter>
#include <QTableView>

namespace {
QTableView* calendarView(QCalendarWidget* calendar) {
    return calendar->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
}
} // namespace

CalendarHeaderPainter::CalendarHeaderPainter(QCalendarWidget* calendar, const QStringList& dayNames)
    : QStyledItemDelegate(calendar), m_calendar(calendar), m_dayNames(dayNames) {
    if (QTableView* view = calendarView(calendar))
        m_own = view->itemDelegate();
}

void CalendarHeaderPainter::adopt(QCalendarWidget* calendar, const QStringList& dayNames) {
    QTableView* view = calendarView(calendar);
    if (!view || qobject_cast<CalendarHeaderPainter*>(view->itemDelegate()) || dayNames.size() != 7)
        return;
    view->setItemDelegate(new CalendarHeaderPainter(calendar, dayNames));
    view->viewport()->update();
}

bool CalendarHeaderPainter::isHeader(const QModelIndex& index) const {
    return m_calendar && m_calendar->horizontalHeaderFormat() != QCalendarWidget::NoHorizontalHeader &&
           index.row() == 0;
}

QString CalendarHeaderPainter::headerText(int column) const {
    if (!m_calendar || m_calendar->horizontalHeaderFormat() == QCalendarWidget::NoHorizontalHeader)
        return {};
    const int weekColumn = m_calendar->verticalHeaderFormat() == QCalendarWidget::NoVerticalHeader ? 0 : 1;
    const int day = column - weekColumn;
    if (day < 0 || day > 6)
        return {};
    const int first = static_cast<int>(m_calendar->firstDayOfWeek()); // 1 = Monday .. 7 = Sunday
    return m_dayNames.value((first - 1 + day) % 7);
}

void CalendarHeaderPainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QString text = isHeader(index) ? headerText(index.column()) : QString();
    if (text.isEmpty()) {
        if (m_own)
            m_own->paint(painter, option, index);
        return;
    }
    // The header cell as the calendar colours it, with our name in its place.
    painter->save();
    const QVariant background = index.data(Qt::BackgroundRole);
    painter->fillRect(option.rect, background.isValid() ? qvariant_cast<QBrush>(background)
                                                        : option.palette.brush(QPalette::AlternateBase));
    const QVariant font = index.data(Qt::FontRole);
    painter->setFont(font.isValid() ? qvariant_cast<QFont>(font) : option.font);
    const QVariant foreground = index.data(Qt::ForegroundRole);
    painter->setPen(foreground.isValid() ? qvariant_cast<QBrush>(foreground).color()
                                         : option.palette.color(QPalette::Text));
    painter->drawText(option.rect, Qt::AlignCenter, text);
    painter->restore();
}

QSize CalendarHeaderPainter::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return m_own ? m_own->sizeHint(option, index) : QStyledItemDelegate::sizeHint(option, index);
}
