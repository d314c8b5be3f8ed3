#include "contacts/TransferStatus.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
bool g_stop = false; // touched on the window thread only
} // namespace

TransferStatus::TransferStatus(QObject* parent) : QObject(parent), m_wait(&TransferStatus::processEventsFor) {}

void TransferStatus::setText(const QString& text) {
    m_text = text;
    Q_EMIT textChanged(text);
}

void TransferStatus::setPanelVisible(bool visible) {
    m_panelVisible = visible;
    Q_EMIT panelVisibleChanged(visible);
}

void TransferStatus::setMaximum(int maximum) {
    Q_EMIT maximumChanged(maximum);
}

void TransferStatus::setProgress(int value) {
    Q_EMIT progressChanged(value);
}

void TransferStatus::rowPause() const {
    if (m_wait)
        m_wait(RowPauseMs);
}

void TransferStatus::requestStop() {
    g_stop = true;
}

bool TransferStatus::stopRequested() {
    return g_stop;
}

void TransferStatus::clearStop() {
    g_stop = false;
}

void TransferStatus::processEventsFor(int ms) {
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QCoreApplication::processEvents();
    while (!deadline.hasExpired()) {
        // Sleeps until the next event or the deadline instead of spinning.
        QEventLoop loop;
        QTimer::singleShot(int(qMax<qint64>(1, deadline.remainingTime())), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
