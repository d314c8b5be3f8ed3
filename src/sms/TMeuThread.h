#pragma once

#include "sms/PduEncoder.h"
#include "sms/SendScreen.h"
#include "sms/SlotState.h"
#include "store/SmsModeSettings.h"

#include <QList>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "modem/SerialChannel.h"

class QSqlQuery;
class TADO;

// How a sender worker waits; tests make time run faster.
struct SenderTiming {
    int answerTimeoutMs = 30000;  // 300 polls of 100 ms
    int resyncTimeoutMs = 30000;  // the "OK" to "AT" after a time-out
    int commandTimeoutMs = 10000; // the reply to a set-up command (AT+CMGF, AT+CSCS)
    int pollMs = 100;             // the state is looked at at least this often (at most 100 ms)
    // Slot `slot`'s worker sleeps about `ms` milliseconds; the worker counts time by what it asked
    // for, so a test decides how fast time runs (per slot). Unset, the worker sleeps on the clock
    // and its waits wake the moment the slot's state changes.
    std::function<void(int slot, int ms)> sleep;
};

// The sender worker of one port slot: sends the slot's outbox rows (dbMENSAGEM, PORTA = slot) one
// at a time through the slot's modem, in ID order. It first sets the modem up, waiting for each
// reply: text mode and the character set (AT+CMGF=1, AT+CSCS), or PDU mode (AT+CMGF=0, and
// AT+CNMI for delivery reports when they are asked for), as dbCFG.MODO_SMS says; a modem that
// refuses PDU mode stops the slot at once. For each row it pauses TEMPO_SMS, starts a send on the
// slot's state machine and writes AT+CMGS (in PDU mode, one per part, each part a send of its
// own); the response handler answers the prompt (the row is marked in flight first, or was marked
// with the previous row's result), records the result and the send becomes Stored. A modem that
// stays silent gets a failed history row " FALHA :TIMEOUT", then the worker resynchronises it
// (ESC, "AT", "OK") before the next row; a modem that does not answer stops the slot. Rows left in
// flight by an interrupted send (a message cut between its parts too) are not sent again; rows
// whose text or number could reach the modem as commands are refused. Every screen change is
// handed to the window thread and waited for; database work runs on the worker's own connection.
// The worker ends by itself when the slot is not active or has nothing left; a stop request ends
// it after the current row, an abort also ends the wait for the current row's answer (the row
// stays, marked in flight).
class TMeuThread : public QThread {
    Q_OBJECT
public:
    using Timing = SenderTiming;

    enum class End { Running, Finished, Stopped, PortFailed, Failed };

    struct Slot {
        int number = 0;
        QPointer<SerialChannel> channel;
        SlotState* state = nullptr;
    };

    TMeuThread(TADO* ado, Slot slot, SendScreen* screen, Timing timing = SenderTiming(), QObject* parent = nullptr);
    ~TMeuThread() override;

    int slotNumber() const { return m_slot.number; }
    // Finish the row being sent (if any) and end; rows not yet attempted stay in the outbox.
    void requestStop() { m_stop.store(true); }
    // Stop at once, even in the middle of the wait for an answer (a second Ctrl+C).
    void requestAbort();
    End endState() const { return m_end.load(); }
    // Why the worker stopped ("Porta Fechada!\r..."), empty otherwise.
    QString reason() const;

    static QString portFailureReason(int slot);

protected:
    void run() override; // Execute

private:
    using Phase = SlotState::Phase;

    End execute();
    End sendRows(QList<OutboxRow>& rows);
    End sendEach(QList<OutboxRow>& rows);
    bool claimBatch(QList<OutboxRow>* rows);
    bool removeClaimed(const OutboxRow& row, QString* error);
    bool markClaimed(OutboxRow* row, const QList<OutboxRow>& waiting, std::optional<End>* end);
    std::optional<End> sendOne(const OutboxRow& row, const QList<pdu::SubmitPart>& parts, qint64 next, int queued,
                               bool outboxChanged);
    bool encode(const OutboxRow& row, QList<pdu::SubmitPart>* parts);
    static bool sendable(const OutboxRow& row);
    void releaseMark();
    enum class Outcome { Done, Failed, Aborted, PortLost };
    Outcome sendRow(const OutboxRow& row, quint64 sequence, const QList<pdu::SubmitPart>& parts);
    bool isActive(QString* error);
    QList<OutboxRow> loadRows(QString* error);
    QList<OutboxRow> loadHead(qint64 settled, QString* error);
    static QList<OutboxRow> readRows(QSqlQuery& q, QString* error);
    bool countQueued(int* count, QString* error);
    void reportInterrupted(const QList<OutboxRow>& rows);
    bool tempoSms(int* ms, QString* error);
    bool atDailyCap();
    bool removeSent(qint64 id, QList<OutboxRow>& rows, QString* error);
    struct Statements;
    Statements& statements();
    enum class Start { Sent, PortFailed, Failed, Reopened };
    bool ensureOpen(bool* openedNow);
    enum class SetUp { Ready, PortFailed, Refused };
    SetUp configure(QString* error);
    void configureText();
    SetUp configurePdu();
    bool enableReports();
    void showCharset(const QString& name);
    bool command(const QByteArray& bytes);
    void settleLeftover();
    bool resync();
    Start startRow(const OutboxRow& row, const QList<pdu::SubmitPart>& parts, qint64 next, int queued,
                   bool outboxChanged, quint64* sequence);
    Start writeRow(const OutboxRow& row, const QList<pdu::SubmitPart>& parts, qint64 next, quint64* sequence);
    static QByteArray submitCommand(const pdu::SubmitPart& part);
    quint64 writeNextPart(const OutboxRow& row, quint64 sequence, const QList<pdu::SubmitPart>& parts);
    bool refuseRow(const OutboxRow& row, bool notEncoded);
    // `timedOut`: the send whose answer wait ran out (0: none); its late "+CMGS:", come meanwhile, makes the row a
    // sent one, and the failure row is remembered for one that comes later.
    bool recordFailure(const OutboxRow& row, const QString& history, const QString& fone, const QString& why,
                       quint64 timedOut = 0);
    // What a wait is for. Modem: a reply, which a lost port will never bring (the wait ends on it). Store: the
    // window thread's commit of a result, in real time even when the timing's sleep is injected (no time-out).
    enum class Wait { Modem, Store };
    bool waitPhase(const std::function<bool(Phase, quint64)>& done, int ms, Wait kind = Wait::Modem);
    // The slot's device failed while open (an unplugged modem) and nobody has opened it since.
    bool portLost() const;
    Outcome portLostDuring(const OutboxRow& row, bool nothingOut);
    static constexpr int kSettleMs = 600000;
    void sleep(int ms);
    bool recordTimeOut(const OutboxRow& row, quint64 sequence);
    void failed(const QString& prefix, const QString& error);
    bool pause(int ms);
    void write(const QByteArray& bytes);

    void onWindow(const std::function<void()>& change);
    void log(const QString& text);
    QString prefix() const;

    TADO* m_ado;
    Slot m_slot;
    QPointer<SendScreen> m_screen;
    Timing m_timing;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_abort{false};
    std::atomic<End> m_end{End::Running};
    QString m_reason;
    std::unique_ptr<Statements> m_statements; // on the worker's connection, while it runs
    // The row marked in flight with the previous row's result, until its own AT+CMGS goes out.
    qint64 m_marked = 0;
    SmsModeSettings m_settings; // read at every set-up
    QString m_encodeError;      // why the last row could not be encoded in PDU mode
    bool m_shared = false;      // the outbox is shared between stations: rows are claimed in batches
};
