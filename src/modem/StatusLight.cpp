#include "modem/StatusLight.h"

#include <QPainter>

StatusLight::StatusLight(int diameter, QColor onColor, QColor offColor, QWidget* parent)
    : QWidget(parent), m_diameter(diameter), m_on(onColor), m_off(offColor) {
    setFixedSize(diameter, diameter);
}

void StatusLight::setLit(bool lit) {
    if (m_lit == lit)
        return;
    m_lit = lit;
    update();
}

void StatusLight::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.setBrush(m_lit ? m_on : m_off);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
