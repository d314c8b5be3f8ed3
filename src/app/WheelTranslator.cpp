#include "app/WheelTranslator.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QWidget>

QList<int> WheelTranslator::translate(int angleDelta) {
    constexpr int kNotch = 120;
    if (angleDelta == 0)
        return {Qt::Key_Down};
    if ((m_pending > 0) != (angleDelta > 0))
        m_pending = 0;
    m_pending += angleDelta;
    QList<int> keys;
    while (m_pending >= kNotch || m_pending <= -kNotch) {
        keys << (m_pending > 0 ? Qt::Key_Up : Qt::Key_Down);
        m_pending += m_pending > 0 ? -kNotch : kNotch;
    }
    return keys;
}

bool WheelTranslator::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    // The window sees the event before the widget under the cursor: act once, at the widget.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    auto* wheel = static_cast<QWheelEvent*>(event);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : widget;
    for (int key : translate(wheel->angleDelta().y())) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }
    return true;
}
