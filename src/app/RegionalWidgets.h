#pragma once

#include <QObject>

// Gives every calendar the program shows (the drop-down of a date box, a calendar page) the
// regional locale (Portuguese month names), the regional short day names, Sunday first in the week as
// the operator reads it.
class RegionalWidgets : public QObject {
    Q_OBJECT
public:
    explicit RegionalWidgets(QObject* parent = nullptr);

    // Day names Monday first, as Qt numbers the days.
    static QStringList shortDayNamesMondayFirst();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
