#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// One dbMENSAGEM row: as a slot's sender worker reads it from the outbox, and as it hands it to its modem.
struct OutboxRow {
    QString fone;
    QString mensagem;
    qint64 id = 0;
    // The row the worker sends next (0: none). It is marked in flight in the transaction that
    // stores this row's result, so that the next text needs no commit of its own before it goes.
    qint64 nextId = 0;
    // ENVIANDO is set (the mark is on the disk): read so, an earlier send was interrupted after its text
    // went out, or this worker marked it with the previous row's result; no new mark at the prompt.
    bool inFlight = false;
    // PDU mode: the part being sent, upper-case hex ready for the prompt, and its place in the
    // message (1-based). Empty in text mode, where the prompt takes the text.
    QByteArray pdu{};
    int part = 1;
    int parts = 1;
    bool statusReport = false; // PDU mode: a delivery report was asked for each part
    // The row's claim token on a shared store (0: no claim, the single-station file): every write about the row
    // is conditioned on it.
    qint64 token = 0;
};

// The character set the slot's modem reads in text mode (AT+CSCS), chosen when the worker
// configures the port: Latin-1 when the modem takes "8859-1", else plain ASCII ("IRA").
enum class TextCharset { Latin1, Ira };

// One slot's send dialogue as a state machine, shared by the slot's sender worker (its own
// thread), the response handler and the coordinator (window thread). Every transition is made
// under one lock and checked against the table below; any other is refused and logged.
//
//   Idle ──beginSend──▶ Prompted(s)          worker: AT+CMGS for send s is on its way
//   Prompted(s) ──submit──▶ Submitted(s)     handler: the "> " came, text + Ctrl-Z go out
//   Prompted(s) ──answer──▶ Answered(s)      handler: the modem refused the command itself
//   Submitted(s) ──answer──▶ Answered(s)     handler: the final result of send s
//   Submitted(s) ──acceptPart──▶ PartSent(s) handler: "+CMGS:" for a part that is not the last
//   PartSent(s) ──nextPart──▶ Prompted(s+1)  worker: AT+CMGS for the message's next part
//   PartSent(s) ──finish──▶ Idle             worker: a message left between parts (an abort)
//   Answered(s) ──store──▶ Stored(s)         coordinator: its history row is on the disk
//   Answered(s)|Submitted(s) ──unrecord──▶ Unrecorded(s)   the result (or the in-flight mark)
//                                            could not be stored: the row stays, the slot stops
//   Prompted(s)|Submitted(s) ──timeOut──▶ TimedOut(s)      worker: no final result in time
//   TimedOut(s)|Resyncing ──resync──▶ Resyncing            worker: ESC and "AT" written
//   Resyncing ──resynced──▶ Idle                           handler: the modem said "OK"
//   Stored(s)|Unrecorded(s) ──finish──▶ Idle               worker: done with send s
//   Idle ──configure──▶ Configuring ──replied──▶ Idle      worker/handler: a set-up command
//   Configuring ──finish──▶ Idle                           worker: the set-up reply never came
//   Prompted|Submitted|PartSent|TimedOut|Resyncing|Configuring ──portReopened──▶ Idle
//                                            the port was lost and opened again: nothing the old
//                                            modem owed can come any more
//
// Each part of a PDU-mode message is a send of its own (a time-out, a late result or a refusal is
// a part's), while the row, its in-flight mark and the parts' message references are the
// message's: the history row is written once, with the last part's result or the first failure.
//
// The worker sleeps on the lock's condition and wakes at every transition.
class SlotState {
public:
    enum class Phase {
        Idle,
        Prompted,
        Submitted,
        Answered,
        Stored,
        Unrecorded,
        TimedOut,
        Resyncing,
        Configuring,
        PartSent
    };
    using Logger = std::function<void(const QString&)>;

    SlotState();

    // Where refused transitions are reported (qWarning when unset).
    void setLogger(Logger logger);

    // Worker: stores the row and starts a new send; the send's sequence, 0 when refused.
    quint64 beginSend(const OutboxRow& row);
    bool submit(quint64 sequence);
    bool answer(quint64 sequence);
    // Handler: part `sequence` was accepted with message reference `reference`; more parts follow.
    bool acceptPart(quint64 sequence, int reference);
    // Worker: the next part of the message, `pdu` its hex; the new send's sequence, 0 when refused.
    quint64 nextPart(quint64 sequence, const QByteArray& pdu);
    // The message references the modem gave the parts accepted so far ("+CMGS: <mr>").
    QList<int> references() const;
    // A concatenation reference for the slot's next multi-part message (one per message, in turn).
    quint8 nextConcatReference();
    bool store(quint64 sequence);
    bool unrecord(quint64 sequence);
    bool timeOut(quint64 sequence);
    // The same, saying whether the send was still waiting for its prompt (nothing of it reached the modem).
    bool timeOut(quint64 sequence, bool* beforePrompt);
    bool resync();
    bool resynced();
    bool finish(quint64 sequence);
    bool configure();
    bool replied(bool ok);
    bool finishConfiguring();
    // The slot's port came back after it was lost, with no worker on it: a fresh modem owes nothing.
    // Refused while a result waits for its history row (Answered, Stored, Unrecorded).
    bool portReopened();

    Phase phase() const;
    quint64 sequence() const;
    // The phase is `phase` and belongs to send `sequence`.
    bool is(Phase phase, quint64 sequence) const;
    // A send is under way (its activity light is lit): Prompted, Submitted, Answered or PartSent.
    bool awaiting() const;
    // Send `sequence` has its final result (Answered, Stored or Unrecorded).
    bool answered(quint64 sequence) const;
    // The reply of the last set-up command: true for "OK".
    bool replyOk() const;
    // Handler: a line received while a set-up command is awaited (kept for its reader, at most 32).
    void addReplyLine(const QByteArray& line);
    // The lines of the last set-up command's reply, its final result among them.
    QList<QByteArray> replyLines() const;
    OutboxRow currentRow() const;

    // The IMSI of the slot's SIM as the set-up at port open read it (empty: unknown); its sends carry it.
    void setImsi(const QString& imsi);
    QString imsi() const;

    void setCharset(TextCharset charset);
    TextCharset charset() const;

    // The set-up command whose reply is awaited ("AT+CPIN?"): a line that answers it ("+CPIN: READY") is
    // that reply, not a line the modem sends on its own.
    void setPendingCommand(const QByteArray& command);
    QByteArray pendingCommand() const;

    // A send whose answer wait ran out after its text went out may still get its "+CMGS:": a network that answers
    // late. While the slot is TimedOut or Resyncing from such a send (its last part, in PDU mode), the send's
    // sequence; 0 otherwise (a result then belongs to nothing).
    quint64 lateResultSequence() const;
    // The failure row the worker wrote for timed-out send `sequence` (window thread), and its reading: 0 when not
    // written yet.
    void setTimedOutRow(quint64 sequence, qint64 historyId);
    qint64 timedOutRow(quint64 sequence) const;
    // A late "+CMGS:" of `sequence` that came before its failure row was written: the worker writes the row as sent,
    // with these message references (PDU mode with delivery reports asked for).
    void setLateResult(quint64 sequence, const QList<int>& references);
    bool takeLateResult(quint64 sequence, QList<int>* references);

    // Waits until `done` holds (checked under the lock at every transition) or `ms` have passed.
    bool waitFor(const std::function<bool(Phase, quint64)>& done, int ms);
    // Wakes every waiter (a stop request) so that it looks at its own conditions again.
    void wake();

    static const char* name(Phase phase);

private:
    bool move(std::initializer_list<Phase> from, Phase to, quint64 sequence, const char* event);
    void refuseLocked(const char* event, quint64 sequence);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Phase m_phase = Phase::Idle;
    quint64 m_sequence = 0;
    bool m_replyOk = false;
    QList<QByteArray> m_replyLines;
    QString m_imsi;
    OutboxRow m_row;
    QList<int> m_references;
    quint8 m_concatReference;
    TextCharset m_charset = TextCharset::Latin1;
    QByteArray m_pendingCommand;
    Logger m_logger;
    bool m_timedOutAfterText = false; // the last time-out came after the "> " (the text may have gone out)
    quint64 m_timedOutRowSequence = 0;
    qint64 m_timedOutRowId = 0;
    quint64 m_lateSequence = 0; // a late "+CMGS:" waits for the worker's row
    QList<int> m_lateReferences;
};
