#include "modem/PortPanelWidget.h"

#include "modem/PortSlot.h"
#include "modem/SignalBar.h"
#include "modem/StatusLight.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QWidget* makeCell(PortSlot* slot, QWidget* parent) {
    const int n = slot->number();
    auto* cell = new QFrame(parent);
    cell->setObjectName(QStringLiteral("cell%1").arg(n));
    cell->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* v = new QVBoxLayout(cell);
    v->setContentsMargins(1, 1, 1, 1);
    v->setSpacing(1);
    // Top line: the two lights and the queue counter; bottom line: the slot number and the bar. A
    // cell is about 60 pixels wide at the design size, and the counter needs room for 99,999.
    auto* top = new QHBoxLayout;
    top->setSpacing(1);
    auto* ready = new StatusLight(14, QColor(0x00, 0xC0, 0x00), QColor(0x55, 0x20, 0x20), cell);
    ready->setObjectName(QStringLiteral("ApdStatusLight%1").arg(n));
    auto* number = new QLabel(QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')), cell);
    QFont bold = number->font();
    bold.setBold(true);
    bold.setPixelSize(11);
    number->setFont(bold);
    auto* led = new StatusLight(13, QColor(Qt::green), QColor(Qt::white), cell);
    led->setObjectName(QStringLiteral("led%1").arg(n));
    auto* queued = new QLabel(QStringLiteral("0"), cell);
    queued->setObjectName(QStringLiteral("L%1").arg(n));
    queued->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont small = queued->font();
    small.setPixelSize(PortPanelWidget::kCounterPixelSize);
    queued->setFont(small);
    queued->setMinimumWidth(PortPanelWidget::counterWidth(small));
    top->addWidget(ready);
    top->addWidget(led);
    top->addWidget(queued, 1);
    v->addLayout(top);
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(1);
    auto* bar = new SignalBar(cell);
    bar->setObjectName(QStringLiteral("suiProgressBar%1").arg(n));
    bottom->addWidget(number);
    bottom->addWidget(bar, 1);
    v->addLayout(bottom);

    QObject::connect(slot, &PortSlot::readyChanged, ready, &StatusLight::setLit);
    // What is wrong with the slot ("desconectado", "SIM pede PIN"…): the number turns red, the cell says it.
    QObject::connect(slot, &PortSlot::conditionChanged, cell, [cell, ready, number, n](const QString& text) {
        const QString tip = text.isEmpty() ? QString() : QStringLiteral("Entrada %1: %2").arg(n).arg(text);
        ready->setToolTip(tip);
        cell->setToolTip(tip);
        number->setStyleSheet(text.isEmpty() ? QString() : QStringLiteral("color: #C00000;"));
    });
    QObject::connect(slot, &PortSlot::activeChanged, led, &StatusLight::setLit);
    QObject::connect(slot, &PortSlot::signalChanged, bar, &SignalBar::setValue);
    QObject::connect(slot, &PortSlot::workingChanged, bar, &SignalBar::setWorking);
    QObject::connect(slot, &PortSlot::queuedChanged, queued,
                     [queued](int count) { queued->setText(QString::number(count)); });
    ready->setLit(slot->ready());
    led->setLit(slot->active());
    bar->setValue(slot->signal(), slot->signalCaption());
    return cell;
}

} // namespace

PortPanelWidget::PortPanelWidget(PortSlots* slots, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("portSlotsPanel"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 2, 0, 0);
    grid->setSpacing(1);
    for (int n = 1; n <= PortSlots::kCount; ++n)
        grid->addWidget(makeCell(slots->slot(n), this), (n - 1) / kColumns, (n - 1) % kColumns);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

int PortPanelWidget::counterWidth(const QFont& font) {
    return QFontMetrics(font).horizontalAdvance(QStringLiteral("99999")) + 1;
}

QWidget* PortPanelWidget::cell(int n) const {
    return findChild<QWidget*>(QStringLiteral("cell%1").arg(n));
}
