#pragma once

#include <QPointer>
#include <QStringList>
#include <QStyledItemDelegate>

class QCalendarWidget;

// Paints the day-name row of a calendar with the program's own short day names ("Dom", "Seg", ...)
// instead of the locale's; every other cell is painted by the calendar's own painter.
class CalendarHeaderPainter : public QStyledItemDelegate {
    Q_OBJECT
public:
    // `dayNames`: seven names, Monday first (Qt::Monday .. Qt::Sunday).
    CalendarHeaderPainter(QCalendarWidget* calendar, const QStringList& dayNames);

    // Puts a painter on `calendar` once; later calls do nothing.
    static void adopt(QCalendarWidget* calendar, const QStringList& dayNames);
    // The name drawn in column `column` of the day-name row, or an empty text outside it.
    QString headerText(int column) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    bool isHeader(const QModelIndex& index) const;

    QPointer<QCalendarWidget> m_calendar;
    QPointer<QAbstractItemDelegate> m_own;
    QStringList m_dayNames;
};
