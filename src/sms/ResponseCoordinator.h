#pragma once

#include "sms/InboxHook.h"
#include "sms/ResponseHandler.h"
#include "sms/SlotState.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QTimer>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class ModemLog;
class PortSlots;
class SerialChannel;
class TADO;

// The window thread's side of the modem replies: takes the bytes each slot's channel announces,
// shows them in the slot's terminal view, feeds the slot's response handler and carries out its
// actions in order — writes to the channel, history rows, send log and console log lines, the
// signal bar, the ready light, the awaiting flag with the activity light — and keeps the
// response line on screen.
//
// History rows and in-flight marks are stored together: those that arrive in one pass of the
// event loop (with 64 modems the prompts and the results come in bursts) are written in one
// transaction, each history row with the removal of its outbox row, right after the pass. A slot's
// actions that follow them wait for that commit: its text goes out only once its row is marked in
// flight, its worker sees the send Stored only once the result is on the disk, and its log lines
// keep their order. A history row may carry the mark of the slot's next row (`markNextId`): that
// row is then marked in the same commit, and its text later goes out with no commit of its own.
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
    // PDU mode: what remembers the message references of a sent message's parts for its delivery
    // reports (DeliveryReports::remember by default). Called in the transaction that stores the
    // history row `idHistorico` of slot `porta`; returns an empty text or the error (which undoes
    // the row, so the outbox row stays).
    using ReferenceSink =
        std::function<QString(QSqlDatabase& db, int porta, const QList<int>& references, qint64 idHistorico)>;
    void setReferenceSink(ReferenceSink sink) { m_references = std::move(sink); }

    // Where the result of a send goes when the database cannot take it (the server is out of reach): true when it
    // is kept (the data folder's journal by default, applied once the server is back), with *error when not.
    // Either way the slot stops: its next row's mark was not stored with the result.
    using ResultKeeper = std::function<bool(const HistoryRow& row, int slot, QString* error)>;
    void setResultKeeper(ResultKeeper keeper) { m_keeper = std::move(keeper); }

    // A send's "+CMGS:" that came after its answer wait ran out: the failure row the worker wrote for it becomes a
    // sent one, or, not written yet, the worker writes it as sent. The send-log text (after the slot's prefix), or
    // nothing when it is left to the worker.
    static QString storeLateResult(SlotState& state, int slot, const LateResult& late, TADO* ado,
                                   const ReferenceSink& references);

    // Per-slot state shared with the slot's sender worker (slot 1..64).
    SlotState& state(int slot) { return m_slots[slot - 1]->state; }
    ResponseHandler& handler(int slot) { return m_slots[slot - 1]->handler; }
    InboxMode& inboxMode() { return m_inbox; }

    // The slot channel's data-available event (ApdComPortNTriggerAvail): `count` bytes arrived on
    // `channel`.
    void onDataAvailable(SerialChannel* channel, quint16 count);
    // Carries out a handler's actions for `slot`, in order (a history row and what follows it in
    // the slot once the pending results are stored).
    void apply(int slot, const HandlerActions& actions);
    // Stores the pending history rows in one commit and carries out the actions waiting on them.
    void flushResults();
    bool resultsPending() const { return !m_pending.empty(); }

    // Reads, one at a time, the delivery reports the slot's modem announced as stored ("+CDSI:"), when the
    // slot has no send under way; each is deleted in the modem once applied.
    void readStoredReports(int slot);
    // A delivery report the inbox reading found among the stored messages of `slot` at `index`: applied now,
    // deleted in the modem once the reading is over and the slot is free.
    void listedReport(int slot, const QByteArray& hex, int tpduLength, int index);
    // Some slot has a stored report to read or delete, or awaits the modem's reply to one.
    bool storedReportsPending() const;

    // How long a slot waits for the reply to the read (AT+CMGR) or the deletion (AT+CMGD) of a stored report, on
    // the coordinator's clock. A read left without a reply is said and given up: the report stays on the modem
    // (the next inbox reading finds it), and the slot's later reports are read. A late reply could then be taken
    // for the next read's: from then on the slot's reads apply what they read but leave it on the modem, where the
    // inbox reading, which names each report's place, deletes it.
    static constexpr int kStoredReplyTimeoutMs = 10000;
    // The clock of the logs and of that wait (tests inject theirs).
    void setClock(ResponseHandler::Clock clock);

Q_SIGNALS:
    // A delivery report was applied to history row `idHistorico` (0: it matched none).
    void deliveryReport(int slot, qint64 idHistorico);

private:
    struct Slot {
        Slot(int n, InboxMode* inbox, ResponseHandler::Clock clock) : handler(n, state, inbox, std::move(clock)) {}
        SlotState state;
        ResponseHandler handler;
    };
    struct Pending {
        int slot;
        HandlerAction action;
        QString error;          // a history row or mark: why it could not be stored
        bool kept = false;      // ... and the result was kept for later instead
        bool takenOver = false; // a result whose row another station claimed meanwhile
    };
    void applyOne(int slot, const HandlerAction& action);
    void applyReport(int slot, const StatusReportPdu& report);
    void applyLateResult(int slot, const LateResult& late);
    bool applyReportPdu(int slot, const QByteArray& hex, int tpduLength);
    bool slotFree(int slot);
    void awaitStoredReply(int slot, int index);
    void storedReplyDue();
    void write(int slot, const QByteArray& bytes);
    std::vector<Pending> storePending();
    void storeResults(std::vector<Pending>& pending);
    QString storeHistory(const HistoryRow& row, int slot, bool takenOver);
    QString stamp() const;

    PortSlots* m_portSlots;
    ModemLog* m_sendLog;
    ModemLog* m_consoleLog;
    ResponseHandler::Clock m_clock;
    InboxMode m_inbox;
    HistorySink m_history;
    ReferenceSink m_references;
    ResultKeeper m_keeper;
    std::array<std::unique_ptr<Slot>, 64> m_slots;
    std::vector<Pending> m_pending;
    std::array<bool, 64> m_waiting{};                // slot n-1 has actions waiting on a pending history row
    std::array<std::deque<int>, 64> m_storedReports; // "+CDSI:" indexes not read yet
    std::array<bool, 64> m_readingStored{};          // an AT+CMGR or AT+CMGD of a stored report awaits its reply
    std::array<std::deque<int>, 64> m_deletions;     // applied reports listed by the inbox, to delete
    std::array<QDateTime, 64> m_storedSince;         // when the awaited AT+CMGR or AT+CMGD was written
    std::array<int, 64> m_storedIndex{};             // ... and the report's place it names
    std::array<bool, 64> m_keepRead{};               // a read went unanswered: later reads delete nothing
    QTimer m_storedWatch;                            // looks at the awaited replies while there are some
    QTimer m_flush;
};
