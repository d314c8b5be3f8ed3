#include "modem/SignalBar.h"

#include "modem/PortSlot.h"

#include <QPainter>

SignalBar::SignalBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(13);
    setMinimumWidth(30);
}

void SignalBar::setValue(int value, const QString& caption) {
    m_value = value;
    m_caption = caption;
    update();
}

void SignalBar::setWorking(bool working) {
    m_working = working;
    update();
}

void SignalBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.fillRect(frame, m_working ? QColor(Qt::green) : QColor(0xD3, 0xD3, 0xD3));
    QRect fill = frame.adjusted(1, 1, 0, 0);
    fill.setWidth(fill.width() * m_value / PortSlot::kSignalMax);
    p.fillRect(fill, QColor(0x1E, 0x64, 0xC8));
    p.setPen(QColor(0x70, 0x70, 0x70));
    p.drawRect(frame);
    QFont f = font();
    f.setPixelSize(9);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(rect(), Qt::AlignCenter, m_caption);
}
