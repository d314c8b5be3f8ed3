#include "modem/PortSlot.h"

#include <algorithm>

PortSlot::PortSlot(int number, QObject* parent)
    : QObject(parent), m_number(number), m_channel(new SerialChannel(number, this)) {
    // A modem that vanished is not ready any more.
    connect(m_channel, &SerialChannel::portLost, this, [this] { setReady(false); });
}

void PortSlot::setReady(bool on) {
    if (m_ready == on)
        return;
    m_ready = on;
    Q_EMIT readyChanged(on);
}

void PortSlot::setCondition(const QString& text) {
    if (m_condition == text)
        return;
    m_condition = text;
    Q_EMIT conditionChanged(text);
}

void PortSlot::setActive(bool on) {
    if (m_active == on)
        return;
    m_active = on;
    Q_EMIT activeChanged(on);
}

QString PortSlot::signalCaption() const {
    return QStringLiteral("%1%").arg(m_signal * 100 / kSignalMax);
}

void PortSlot::setSignal(int value) {
    m_signal = std::clamp(value, 0, kSignalMax);
    Q_EMIT signalChanged(m_signal, signalCaption());
}

void PortSlot::setWorking(bool on) {
    if (m_working == on)
        return;
    m_working = on;
    Q_EMIT workingChanged(on);
}

void PortSlot::setQueued(int count) {
    m_queued = count;
    Q_EMIT queuedChanged(count);
}

void PortSlot::showResponseLine(const QString& line) {
    if (m_responseLine == line)
        return;
    m_responseLine = line;
    Q_EMIT responseLineChanged(line);
}

void PortSlot::clearResponseLine() {
    showResponseLine(QString());
    Q_EMIT responseLineCleared();
}

PortSlots::PortSlots(QObject* parent) : QObject(parent) {
    for (int n = 1; n <= kCount; ++n)
        m_slots[n - 1] = new PortSlot(n, this);
}

void PortSlots::setPortChooser(const SerialChannel::PortChooser& chooser) {
    for (PortSlot* s : m_slots)
        s->channel()->setPortChooser(chooser);
}

void PortSlot::setCharset(const QString& name) {
    if (m_charset == name)
        return;
    m_charset = name;
    Q_EMIT charsetChanged(name);
}
