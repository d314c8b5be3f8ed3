#include "sms/SmsSender.h"

#include "modem/SerialChannel.h"
#include "sms/JournalReplay.h"
#include "sms/SendScreen.h"
#include "store/TADO.h"

#include <QCoreApplication>

SmsSender::SmsSender(TADO* ado, SendScreen* screen, QObject* parent) : QObject(parent), m_ado(ado), m_screen(screen) {
    for (int i = 0; i < kSlots; ++i)
        m_slots[i].number = i + 1;
}

SmsSender::~SmsSender() {
    stopAndWait();
}

void SmsSender::setSlot(int slot, SerialChannel* channel, SlotState* state) {
    if (slot < 1 || slot > kSlots)
        return;
    m_slots[slot - 1].channel = channel;
    m_slots[slot - 1].state = state;
}

int SmsSender::startSend() {
    // Results kept while the database was away go in before anything is sent: their rows were sent.
    if (m_ado && m_screen)
        JournalReplay::applyPending(m_ado, m_ado->dataDir(),
                                    [this](const QString& line) { m_screen->appendSendLog(line); });
    int started = 0;
    for (int n = 1; n <= kSlots; ++n)
        started += startSlot(n) ? 1 : 0;
    Q_EMIT sendStarted();
    return started;
}

bool SmsSender::startSlot(int n) {
    if (n < 1 || n > kSlots || slotBusy(n))
        return false;
    auto* worker = new TMeuThread(m_ado, m_slots[n - 1], m_screen, m_timing);
    m_workers[n - 1] = worker;
    connect(worker, &QThread::finished, this, [this, worker] { onWorkerFinished(worker); });
    worker->start();
    ++m_pending;
    return true;
}

void SmsSender::onWorkerFinished(TMeuThread* worker) {
    const int slot = worker->slotNumber();
    const TMeuThread::End end = worker->endState();
    worker->deleteLater();
    --m_pending;
    Q_EMIT workerEnded(slot, end);
    if (m_pending == 0)
        Q_EMIT allEnded();
}

int SmsSender::runningCount() const {
    return m_pending;
}

bool SmsSender::slotBusy(int n) const {
    if (n < 1 || n > kSlots)
        return false;
    const QPointer<TMeuThread>& w = m_workers[n - 1];
    return w && !w->isFinished();
}

void SmsSender::stop() {
    for (const auto& w : m_workers)
        if (w)
            w->requestStop();
    Q_EMIT stopRequested();
}

void SmsSender::abort() {
    for (const auto& w : m_workers)
        if (w)
            w->requestAbort();
    Q_EMIT stopRequested();
}

void SmsSender::stopAndWait() {
    stop();
    // Workers hand their screen changes to this thread and wait for them: keep serving them.
    while (runningCount() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
