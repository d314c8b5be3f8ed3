#pragma once

#include <QList>
#include <QObject>

// One wheel notch becomes one arrow key, so a notch moves one row in grids and lists: away from
// the operator (positive distance) is up, towards (zero or negative) is down.
class WheelTranslator : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Keys for one wheel event's distance (Qt::Key_Up / Qt::Key_Down); fine-grained deltas
    // (touchpads) are gathered until they make a notch.
    QList<int> translate(int angleDelta);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int m_pending = 0;
};
