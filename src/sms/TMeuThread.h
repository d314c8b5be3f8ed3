#pragma once

#include "sms/SendScreen.h"
#include "sms/SlotState.h"

#include <QList>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

#include "modem/SerialChannel.h"

class TADO;

// How a sender worker waits; tests make time run faster.
struct SenderTiming {
    int answerTimeoutMs = 30000; // 300 polls of 100 ms
    int pollMs = 100;            // the flag is looked at at least this often (at most 100 ms)
    // Sleeps about `ms` real milliseconds; the worker counts time by what it asked for. Unset, the
    // worker sleeps on the clock and its answer wait wakes the moment the flag drops.
    std::function<void(int ms)> sleep;
};

// The sender worker of one port slot: sends the slot's outbox rows (dbMENSAGEM, PORTA = slot) one
// at a time through the slot's modem, in ID order. For each row it pauses TEMPO_SMS, raises the
// slot's awaiting flag and writes AT+CMGS; the response handler answers the prompt, records the
// result and lowers the flag. A modem that stays silent gets a failed history row " FALHA :TIMEOUT"
// so that no row leaves the outbox without one. Every screen change is handed to the window thread
// and waited for; database work runs on the worker's own connection. The worker ends by itself
// when the slot is not active or has nothing left; a stop request ends it after the current row.
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
    End endState() const { return m_end.load(); }
    // Why the worker stopped ("Porta Fechada!\r..."), empty otherwise.
    QString reason() const;

    static QString portFailureReason(int slot);

protected:
    void run() override; // Execute

private:
    struct Row {
        qint64 id = 0;
        QString fone;
        QString mensagem;
    };

    End execute();
    End sendRows(QList<Row> rows);
    bool isActive(QString* error);
    QList<Row> loadRows(QString* error);
    int tempoSms();
    bool removeSent(qint64 id, QList<Row>& rows, QString* error);
    struct Statements;
    Statements& statements();
    enum class Start { Sent, PortFailed, Failed };
    bool ensureOpen(bool* openedNow);
    bool selectTextMode(QString* error);
    Start startRow(const Row& row, int queued, bool outboxChanged, quint64* sequence);
    Start writeRow(const Row& row, quint64* sequence);
    bool waitForAnswer(quint64 sequence);
    void waitFlagDown();
    bool waitFlag(int ms);
    static constexpr int kSettleMs = 5000;
    void sleep(int ms);
    bool timedOut(const Row& row, quint64 sequence);
    void failed(const QString& prefix, const QString& error);
    bool pause(int ms);

    void onWindow(const std::function<void()>& change);
    void log(const QString& text);
    QString prefix() const;

    TADO* m_ado;
    Slot m_slot;
    QPointer<SendScreen> m_screen;
    Timing m_timing;
    std::atomic<bool> m_stop{false};
    std::atomic<End> m_end{End::Running};
    QString m_reason;
    std::unique_ptr<Statements> m_statements; // on the worker's connection, while it runs
};
