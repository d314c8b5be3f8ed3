#pragma once

#include "sms/TMeuThread.h"

#include <QObject>
#include <QPointer>

#include <array>

class SerialChannel;
class SendScreen;
class SlotState;
class TADO;

// The send button's action: one sender worker per port slot, slots 1 to 64 in this order. A slot
// whose worker of an earlier send still runs is skipped, so a second press never puts two workers
// on one channel and awaiting flag. Lives on the window thread.
class SmsSender : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 64;

    SmsSender(TADO* ado, SendScreen* screen, QObject* parent = nullptr);
    ~SmsSender() override;

    // The port slots own these; a slot without a channel cannot send.
    void setSlot(int slot, SerialChannel* channel, SlotState* state);
    void setTiming(const TMeuThread::Timing& timing) { m_timing = timing; }
    SendScreen* screen() const { return m_screen; }

    // "Enviar SMS p/ Destinatários" (the page's btEnvioSMSClick): starts the workers and returns at once; the number
    // started.
    int startSend();
    // Starts slot n's worker alone (a modem that became ready, or came back, during the send); false when the
    // slot's worker still runs.
    bool startSlot(int n);
    // Workers of this or an earlier send whose end has not been handled yet.
    int runningCount() const;
    bool running() const { return runningCount() > 0; }
    // Slot n's worker is still running.
    bool slotBusy(int n) const;
    // Every running worker finishes the row it is sending and ends (Ctrl+C, closing the window).
    void stop();
    // Every running worker ends at once, even while it waits for a modem's answer (the row being
    // sent stays in the outbox, marked in flight when its text went out): a second Ctrl+C.
    void abort();
    // Stops and keeps the window thread's events flowing until the last worker has ended.
    void stopAndWait();

Q_SIGNALS:
    // startSend() started the workers: a send began.
    void sendStarted();
    // stop() or abort() was asked for: no worker is to be started for this send any more.
    void stopRequested();
    void workerEnded(int slot, TMeuThread::End end);
    // The last running worker has ended.
    void allEnded();

private:
    void onWorkerFinished(TMeuThread* worker);

    TADO* m_ado;
    SendScreen* m_screen;
    TMeuThread::Timing m_timing;
    std::array<TMeuThread::Slot, kSlots> m_slots{};
    std::array<QPointer<TMeuThread>, kSlots> m_workers{};
    int m_pending = 0; // started workers whose end has not been handled yet
};
