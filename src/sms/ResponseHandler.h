#pragma once

#include "modem/UnsolicitedLine.h"
#include "sms/InboxHook.h"
#include "sms/SlotState.h"
#include "sms/StatusReportLines.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <variant>
#include <vector>

// Actions the response handler asks for; a coordinator on the window thread applies them in
// the order given (history row, then log lines, then the flag).

// Bytes to write to the slot's serial channel. For the message text + Ctrl-Z at the prompt,
// `sequence` names the send; the text goes out only while that send is still Submitted and its
// in-flight mark is stored (otherwise ESC cancels the prompt).
struct WriteToChannel {
    QByteArray bytes;
    quint64 sequence = 0;
};

// Before its text goes out, outbox row `outboxId` is marked in flight (dbMENSAGEM.ENVIANDO), so
// that a crash between the Ctrl-Z and the result cannot lead to a silent second send.
struct MarkInFlight {
    qint64 outboxId = 0;
    quint64 sequence = 0;
};

enum class LogTarget { SendLog, ConsoleLog };

// One line appended to a log; showLast moves the log's selection to its newest line.
struct LogLine {
    LogTarget target = LogTarget::SendLog;
    QString text;
    bool showLast = false;
};

// One row of dbHISTORICO (DATA takes the table's default).
struct HistoryRow {
    QString destinatario;
    QString mensagem;
    QString tipo = QStringLiteral("SMS");
    bool enviado = false;
    qint64 outboxId = 0;     // the outbox row it settles (0: none)
    quint64 sequence = 0;    // ... and the send it is the result of
    qint64 token = 0;        // ... and its claim token on a shared store (0: none)
    qint64 markNextId = 0;   // the slot's next outbox row, marked in flight in the same commit (0: none)
    QList<int> references{}; // PDU mode, sent with reports asked for: each part's message reference
    QString imsi{};          // the SIM that sent it (empty: unknown)
};

// Signal quality for the slot's bar (0..31) and its caption percentage.
struct SignalValue {
    int value = 0;
    int percent = 0;
};

// A reply line "OK": the slot's ready light goes on.
struct ReadyLightOn {};

// The send of `sequence` has its final result: lower the awaiting flag (activity light off).
struct LowerAwaiting {
    quint64 sequence = 0;
};

// The "+CMGS:" of a send whose answer wait had run out after its text went out: the modem sent it after all. Its
// failure row becomes a sent row (or is written as one, when the worker has not written it yet).
struct LateResult {
    quint64 sequence = 0;
    QString destinatario;
    QString mensagem;
    QList<int> references{}; // PDU mode, reports asked for: each part's message reference
};

// A delivery report's PDU: "+CDS: <length>" and its line, or the reply to AT+CMGR for a "+CDSI:" (`storedIndex`
// is then the report's place in the modem, deleted once the report is applied; -1 otherwise).
struct StatusReportPdu {
    QByteArray hex;
    int length = -1;
    int storedIndex = -1;
};

// "+CDSI: <mem>,<index>": a delivery report stored in the modem, to be read when the slot is free.
struct StoredStatusReport {
    QByteArray memory;
    int index = 0;
};

using HandlerAction = std::variant<WriteToChannel, MarkInFlight, LogLine, HistoryRow, SignalValue, ReadyLightOn,
                                   LowerAwaiting, StatusReportPdu, StoredStatusReport, LateResult>;
using HandlerActions = std::vector<HandlerAction>;

// Returns the text between the first `startMarker` and the first `endMarker` after it; a marker
// that is missing leaves that side of the text as it is.
QString ExtractBetween(const QString& text, const QString& startMarker, const QString& endMarker, bool caseSensitive);

// Caption percentage of a signal value 0..31 (value * 100 / 31, truncated).
int signalPercent(int value);

// Turns the characters one slot's modem sends back into actions: answers the "> " prompt of
// AT+CMGS with the message text, recognises "+CMGS:", "+CMS ERROR:", "+CME ERROR:", "ERROR",
// "+CSQ:" and "OK" reply lines, and copies slot 1's lines to the console log. One instance per
// slot, used on the window thread only. A delivery may be fed whole or a byte at a time with the
// same result, except for the inbox reader, which sees the tail windows of each delivery.
//
// In PDU mode the prompt takes the current part's hex PDU; a "+CMGS:" of a part that is not the
// last moves the message on to its next part (the worker writes it), and the history row waits
// for the last part's result or the first failure.
//
// A final result is taken only by the send it belongs to (the slot's state machine decides):
// after the prompt any final result; before it an error (the modem refused the command) but never
// a "+CMGS:", which can only be an earlier send's. Every other final result is logged and dropped.
class ResponseHandler {
public:
    using Clock = std::function<QDateTime()>;

    // `inbox` may be null (no inbox reader); `clock` defaults to the local time.
    ResponseHandler(int slot, SlotState& state, InboxMode* inbox = nullptr, Clock clock = {});

    // One delivery of received bytes. An empty delivery does nothing.
    HandlerActions feed(QByteArrayView bytes);

    int slot() const { return m_slot; }
    // The reply line being received (shown on the Debug Modem page).
    const QByteArray& responseLine() const { return m_line; }
    // The probe empties the line before it writes AT+CSQ.
    void clearResponseLine() { m_line.clear(); }
    // AT+CMGR was written for the stored delivery report `index`: its reply is that report.
    bool readingStored() const { return m_storedIndex >= 0; }
    void expectStoredReport(int index) {
        m_reports.expectStoredRead();
        m_storedIndex = index;
    }
    // The read got no reply in time: its reply, should it still come, is no longer awaited.
    void abandonStoredRead() {
        m_reports.abandonStoredRead();
        m_storedIndex = -1;
    }

private:
    struct Delivery {
        QByteArray tail3;
        QByteArray tail4;
        bool cleared = false;
        HandlerActions actions;
    };

    enum class Final { None, Sent, MessageService, Equipment, Plain };

    void step(char c, Delivery& d);
    bool ownLine() const;
    UnsolicitedLine::Kind unsolicitedKind() const;
    void sendTests(bool lineEnd, Delivery& d);
    bool takeResult(Final kind, Delivery& d);
    void dropResult(Final kind, SlotState::Phase phase, Delivery& d);
    QString sentIds(const OutboxRow& row, QList<int>* references) const;
    void generalTests(bool lineEnd, Delivery& d);
    void endOfLine(char c, Delivery& d);
    void reportLine(const QByteArray& line, Delivery& d);
    void inboxReportStep(char c, Delivery& d);

    void answerPrompt(quint64 sequence, Delivery& d);
    void sendSucceeded(Delivery& d);
    void partAccepted(Delivery& d);
    void partFailed(Delivery& d);
    void errorResult(QString (*text)(int), Delivery& d);
    void failedWithoutDescription(Delivery& d);
    void equipmentError(Delivery& d);
    void generalError(Delivery& d);
    void signalReply(Delivery& d);
    void acknowledged(Delivery& d);

    void finishSend(Delivery& d, HistoryRow row, const QStringList& lines);
    void log(Delivery& d, const QStringList& lines);
    QString prefix() const;
    QString timestamp() const;
    QString lineText() const;
    QString lineDigits() const;

    int m_slot;
    SlotState& m_state;
    InboxMode* m_inbox;
    Clock m_clock;
    QByteArray m_line;
    quint64 m_resultSequence = 0; // the send whose result the line being ended gave
    bool m_lineTaken = false;     // the line was a send's final result
    bool m_setUpRefused = false;  // the line refused a set-up command
    StatusReportLines m_reports;  // "+CDS:", "+CDSI:" and the reads of stored reports
    int m_storedIndex = -1;       // the stored report being read
    QByteArray m_inboxLine;       // the line under way while a PDU inbox reading takes the characters
    bool m_inboxLineLong = false; // ... longer than any report line
};
