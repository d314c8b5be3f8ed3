#include "sms/DeliveryReportSetup.h"

#include "modem/PortSlot.h"
#include "sms/ResponseCoordinator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

namespace DeliveryReportSetup {
namespace {

using Phase = SlotState::Phase;

// Writes `command` to every slot of `slots` (taking its set-up state) and waits for their replies; returns the
// slots that answered "OK".
QList<int> round(PortSlots* portSlots, ResponseCoordinator* c, const QList<int>& slots, const QByteArray& command,
                 int boundMs) {
    QList<int> asked;
    for (const int n : slots) {
        if (!c->state(n).configure())
            continue; // a send is under way on it
        try {
            portSlots->slot(n)->channel()->WriteText(command + '\r');
            asked << n;
        } catch (const SerialChannelError&) {
            c->state(n).finishConfiguring();
        }
    }
    QElapsedTimer clock;
    clock.start();
    auto pending = [&] {
        return std::any_of(asked.begin(), asked.end(),
                           [&](int n) { return c->state(n).phase() == Phase::Configuring; });
    };
    while (pending() && clock.elapsed() < boundMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QList<int> ok;
    for (const int n : asked) {
        if (c->state(n).phase() == Phase::Configuring)
            c->state(n).finishConfiguring();
        else if (c->state(n).replyOk())
            ok << n;
    }
    return ok;
}

} // namespace

const QList<QByteArray>& reportCommands() {
    static const QList<QByteArray> commands{"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0", "AT+CNMI=1,1,0,1,0",
                                            "AT+CNMI=1,1,0,2,0"};
    return commands;
}

QList<int> enable(PortSlots* portSlots, ResponseCoordinator* coordinator, int boundMs) {
    QList<int> ready;
    for (int n = 1; n <= PortSlots::kCount; ++n)
        if (portSlots->slot(n)->ready() && portSlots->slot(n)->channel()->isOpen())
            ready << n;
    QList<int> left = round(portSlots, coordinator, ready, "AT+CMGF=0", boundMs);
    QList<int> enabled;
    for (const QByteArray& command : reportCommands()) {
        if (left.isEmpty())
            break;
        const QList<int> took = round(portSlots, coordinator, left, command, boundMs);
        enabled << took;
        left.removeIf([&](int n) { return took.contains(n); });
    }
    std::sort(enabled.begin(), enabled.end());
    return enabled;
}

} // namespace DeliveryReportSetup
