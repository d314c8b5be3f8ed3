#pragma once

#include "sms/InboxHook.h"
#include "sms/InboxListing.h"
#include "sms/PduInboxListing.h"
#include "sms/PduInboxStore.h"
#include "sms/SmsInboxStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

class SerialChannel;
class TADO;

// Reads the messages the modem of slot 1 has received. The dialogue, all of it in inbox mode
// (the response handler hands the reader every character of slot 1):
//   AT+CMGF=1 and its "OK";
//   the character set the modem writes texts in, as the sender worker chooses it:
//   AT+CSCS="8859-1" (Latin-1), or on refusal AT+CSCS="IRA" (ASCII, any other byte read as "?"),
//   each answer awaited; the listing and the readings are decoded in that set, so what is
//   stored does not depend on what an earlier dialogue left selected on the modem;
//   then AT+CMGL="ALL" and its listing;
//   AT+CPMS? for the number of stored messages;
//   when that number and the headers found differ, AT+CMGR=<index> for each header, and only the
//   headers whose own reading agrees (sender, time stamp) delimit messages: any other header line
//   is text of the message before it;
//   for each message: staged, stored in dbSMS, then AT+CMGD=<index>, its staged row going at the
//   modem's "OK" (SmsInboxStore).
// In PDU mode (asked at the start of each reading) the dialogue is AT+CMGF=0, then AT+CMGL=4,
// whose listing no text can imitate (texts travel as hex); the parts of a concatenated message are
// joined into one message, which waits on the modem for its missing parts for a day at most
// (PduInboxStore), and each of its parts is deleted with AT+CMGD once it was stored. A PDU that
// cannot be read stays on the modem, with one log line per program run.
// Each answer counts once the modem has been quiet for a moment after its final result line, so
// a text holding "OK" does not end it. A reading whose modem stays silent ends by itself after a
// time limit; what it did not store stays on the modem. Window thread only.
class SmsInbox : public QObject, public InboxReader {
    Q_OBJECT
public:
    static const char* const kPortClosedWarning;
    static constexpr int kSlot = 1;

    SmsInbox(TADO* ado, InboxMode* mode, QObject* parent = nullptr);

    // The port the reading talks through: slot 1's channel, or a scripted one in tests.
    struct Port {
        std::function<bool()> isOpen;
        std::function<void(const QByteArray&)> write; // throws when the port is closed
    };
    void setChannel(SerialChannel* channel);
    void setPort(Port port) { m_port = std::move(port); }
    // The inbox mode of the response handlers; the inbox becomes its reader.
    void setMode(InboxMode* mode);
    // Whether the next reading uses PDU mode (dbCFG.MODO_SMS); text mode when not given.
    void setPduMode(std::function<bool()> pdu) { m_pduMode = std::move(pdu); }
    // The clock of the parts' day-long wait.
    void setClock(std::function<QDateTime()> now) { m_clock = std::move(now); }
    // The beep (2800 Hz, 140 ms) when messages arrived.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    // How long the modem may stay silent before one answer is complete.
    void setTimeLimit(int ms) { m_limit.setInterval(ms); }
    // How long the modem must stay quiet after a final result line before the answer counts.
    void setSettle(int ms) { m_settle.setInterval(ms); }

    enum class Start { Started, PortClosed, Busy };
    // "RECEBER SMS" (also the clock at second 15): PortClosed means the warning is due.
    Start readModemInbox();
    // A reading is under way.
    bool busy() const { return m_phase != Phase::Idle; }
    // Why the last reading failed (the modem refused the listing, or the database refused a
    // message); empty when it did not.
    QString lastError() const { return m_error; }
    // Senders the opt-out pass at the end of the last reading put on the list (their whole message was an
    // opt-out keyword); the pass judges every stored message not judged yet, older ones included.
    int optedOut() const { return m_optedOut; }

    void inboxStep(InboxStep& step) override;

Q_SIGNALS:
    // The reading is over: `stored` messages added to dbSMS.
    void readingEnded(int stored, bool timedOut);
    // A line for the send log (date and time first).
    void logLine(const QString& line);
    // Messages could not be stored: said to the operator once, until a reading stores again.
    void storeFailed(const QString& text);
    // PDU mode: a delivery report the modem keeps among its messages (left there, not stored in dbSMS).
    void statusReportListed(int index, const QByteArray& hex, int tpduLength);

private:
    enum class Phase { Idle, Format, Charset, Listing, Confirming, Deleting };

    void answered();
    void answerComplete();
    bool quietByte(char c);
    void countEnded();
    void pduListed();
    void logRefused(const QList<PduInboxListing::Refused>& refused);
    void deleteNext();
    void askNext();
    void confirmed();
    void storeListed(const QList<InboxListing::Header>& kept);
    void storeNext();
    void deleted();
    QList<InboxListing::Header> agreedHeaders();
    void formatSet();
    void askCharset(TextCharset charset);
    void charsetSet();
    void list();
    void listingFailed();
    void readingFailed(const QString& reason);
    void storingFailed(const QString& reason);
    void timeLimitReached();
    void command(const QByteArray& bytes);
    void log(const QString& text);
    void switchOff();
    void finish(bool timedOut);
    void judgeOptOuts();
    void write(const QByteArray& bytes);

    TADO* m_ado;
    InboxMode* m_mode;
    SmsInboxStore m_store;
    PduInboxStore m_pduStore;
    std::function<bool()> m_pduMode;
    std::function<QDateTime()> m_clock;
    bool m_pdu = false;
    TextCharset m_charset = TextCharset::Latin1; // text mode: the set the modem writes in
    QSet<QByteArray> m_refusedLogged;
    QByteArrayList m_toDelete;
    bool m_allDeleted = true;
    Port m_port;
    std::function<void()> m_beep;
    QTimer m_limit;
    QTimer m_settle;
    Phase m_phase = Phase::Idle;
    qsizetype m_received = 0;
    bool m_complete = false; // the answer being read has had its final line
    QByteArray m_ownLine;    // the line under way, to tell a line of the modem's own after the final one
    InboxListing::ListingReader m_listing;
    InboxListing::ReplyReader m_reply;
    QByteArray m_listed;
    QList<InboxListing::Header> m_headers;
    QList<QString> m_toConfirm;
    QString m_asking;
    QHash<QString, InboxRecord> m_agreed;
    QList<SmsInboxStore::Pending> m_pending;
    int m_stored = 0;
    int m_optedOut = 0;
    bool m_failing = false;
    QString m_error;
};
