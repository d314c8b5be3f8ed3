#pragma once

#include "sms/InboxHook.h"

#include <QDateTime>
#include <QObject>

class ScheduledSend;
class SendScreen;
class SerialChannel;
class SlotState;
class SmsInbox;
class SmsSender;
class TADO;

// The SMS engine as the main window and the command line own it: the send screen, the send
// orchestration, the inbox of slot 1 and the scheduled send. The port slots are handed in with
// setSlot(); the inbox reads through the response handlers' shared inbox mode.
class SmsStation : public QObject {
    Q_OBJECT
public:
    static constexpr int kInboxSecond = 15;

    explicit SmsStation(TADO* ado, QObject* parent = nullptr);
    ~SmsStation() override;

    SendScreen* screen() const { return m_screen; }
    SmsSender* sender() const { return m_sender; }
    SmsInbox* inbox() const { return m_inbox; }
    ScheduledSend* schedule() const { return m_schedule; }

    // Slot n's channel and the state it shares with its response handler.
    void setSlot(int n, SerialChannel* channel, SlotState* state);
    // The inbox mode the response handlers look at (the station's own until one is given).
    void setInboxMode(InboxMode* mode);
    InboxMode* inboxMode() const { return m_mode; }

public Q_SLOTS:
    // "RECEBER SMS" (Debug Modem page): reads slot 1's inbox, or asks for the warning. Neither this
    // nor the clock reads while slot 1's sender worker runs.
    void readInbox();
    // The clock (Relogio): at second 15 of every minute, slot 1 open and idle, the inbox is read.
    void clockTick(const QDateTime& now);
    // tAUTO: one tick of the scheduled send.
    void scheduledTick();

Q_SIGNALS:
    // A warning for the operator (one OK button); CR separates its lines.
    void warning(const QString& text);
    // A line the sender workers add to the send log.
    void sendLogLine(const QString& line, bool showLast);

private:
    TADO* m_ado;
    InboxMode m_ownMode;
    InboxMode* m_mode;
    SerialChannel* m_slot1 = nullptr;
    SendScreen* m_screen;
    SmsSender* m_sender;
    SmsInbox* m_inbox;
    ScheduledSend* m_schedule;
};
