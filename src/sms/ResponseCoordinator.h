#pragma once

#include "sms/InboxHook.h"
#include "sms/ResponseHandler.h"
#include "sms/SlotState.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

class ModemLog;
class PortSlots;
class SerialChannel;

// The window thread's side of the modem replies: takes the bytes each slot's channel announces,
// shows them in the slot's terminal view, feeds the slot's response handler and carries out its
// actions in order — writes to the channel, history rows, send log and console log lines, the
// signal bar, the ready light, the awaiting flag with the activity light — and keeps the
// response line on screen.
class ResponseCoordinator : public QObject {
    Q_OBJECT
public:
    // Stores one history row; returns an empty text or the error.
    using HistorySink = std::function<QString(const HistoryRow&)>;

    ResponseCoordinator(PortSlots* slots, ModemLog* sendLog, ModemLog* consoleLog, ResponseHandler::Clock clock = {},
                        QObject* parent = nullptr);
    ~ResponseCoordinator() override;

    // Where history rows go (the history writer of the data module by default).
    void setHistorySink(HistorySink sink) { m_history = std::move(sink); }

    // Per-slot state shared with the slot's sender worker (slot 1..64).
    SlotState& state(int slot) { return m_slots[slot - 1]->state; }
    ResponseHandler& handler(int slot) { return m_slots[slot - 1]->handler; }
    InboxMode& inboxMode() { return m_inbox; }

    // ApdComPort1TriggerAvail: `count` bytes arrived on `channel`.
    void ApdComPort1TriggerAvail(SerialChannel* channel, quint16 count);
    // Carries out a handler's actions for `slot`, in order.
    void apply(int slot, const HandlerActions& actions);

private:
    struct Slot {
        Slot(int n, InboxMode* inbox, const ResponseHandler::Clock& clock) : handler(n, state, inbox, clock) {}
        SlotState state;
        ResponseHandler handler;
    };
    void applyOne(int slot, const HandlerAction& action);

    PortSlots* m_portSlots;
    ModemLog* m_sendLog;
    ModemLog* m_consoleLog;
    ResponseHandler::Clock m_clock;
    InboxMode m_inbox;
    HistorySink m_history;
    std::array<std::unique_ptr<Slot>, 64> m_slots;
};
