#pragma once

#include "sms/InboxHook.h"
#include "sms/InboxListing.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class SerialChannel;
class TADO;

// Reads the messages the modem of slot 1 has received: text mode, inbox mode on, the listing
// AT+CMGL="ALL"; the listing is collected by the inbox reader step (the response handler hands it
// every character of slot 1 while inbox mode is on), its records are staged in dbSMS_BUFFER at the
// final "OK", then moved to dbSMS and deleted on the modem one by one. A reading that never gets
// its final result ends by itself after a time limit; its messages stay on the modem.
// Window thread only.
class SmsInbox : public QObject, public InboxReader {
    Q_OBJECT
public:
    static const char* const kPortClosedWarning;
    static constexpr int kSlot = 1;

    SmsInbox(TADO* ado, InboxMode* mode, QObject* parent = nullptr);

    void setChannel(SerialChannel* channel) { m_channel = channel; }
    // The inbox mode of the response handlers; the inbox becomes its reader.
    void setMode(InboxMode* mode);
    // The wait that keeps the window thread's events flowing (Aguarda).
    void setWait(std::function<void(int ms)> wait) { m_wait = std::move(wait); }
    // The beep (2800 Hz, 140 ms) when messages arrived.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    void setTimeLimit(int ms) { m_limit.setInterval(ms); }
    void setPause(int ms) { m_pauseMs = ms; }

    enum class Start { Started, PortClosed, Busy };
    // "RECEBER SMS" (also the clock at second 15): PortClosed means the warning is due.
    Start Button13Click();
    // A reading or its transfer is under way.
    bool busy() const { return m_busy; }

    void inboxStep(InboxStep& step) override;

Q_SIGNALS:
    // The reading is over: `stored` messages moved to dbSMS (0 after a failed or timed-out listing).
    void readingEnded(int stored, bool timedOut);

private:
    void listingEnded(InboxListing::State state);
    void stage(const QList<InboxRecord>& records);
    void transfer();
    bool moveOne(qint64 rowid, const InboxRecord& record);
    void deleteOnModem(const QString& codigo);
    void timeLimitReached();
    void switchOff();
    void finish(int stored, bool timedOut);
    void write(const QByteArray& bytes);

    TADO* m_ado;
    InboxMode* m_mode;
    QPointer<SerialChannel> m_channel;
    std::function<void(int)> m_wait;
    std::function<void()> m_beep;
    QTimer m_limit;
    int m_pauseMs = 500;
    QByteArray m_listing;
    bool m_busy = false;
};
