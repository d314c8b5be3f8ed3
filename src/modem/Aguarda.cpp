#include "modem/Aguarda.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace {
// The millisecond tick count of the monotonic clock, wrapping at 2^32 like the system's.
quint32 ticks(const QElapsedTimer& clock) {
    return static_cast<quint32>(clock.msecsSinceReference() + clock.elapsed());
}
} // namespace

void Aguarda(quint32 ms) {
    QElapsedTimer clock;
    clock.start();
    const quint32 t0 = ticks(clock);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (ticks(clock) - t0 >= ms)
        return;
    // The timer only wakes the waiting dispatcher at the deadline; between events the thread sleeps.
    QTimer alarm;
    alarm.setTimerType(Qt::PreciseTimer);
    alarm.setSingleShot(true);
    alarm.start(int(ms - (ticks(clock) - t0)));
    while (ticks(clock) - t0 < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
