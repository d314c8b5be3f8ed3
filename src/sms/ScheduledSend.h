#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTime>

#include <functional>

class TADO;

// The scheduled send: once a second (tAUTO) the time of day is compared with the settings row's
// HORARIO; the two labels of the group "Envio automático de SMS" count down to it, and at the
// configured second the whole outbox is marked and sent as the send button does.
class ScheduledSend : public QObject {
    Q_OBJECT
public:
    static const char* const kEmptyOutboxWarning;
    static const char* const kInitialDifference; // "---" before the first tick
    static const char* const kInitialCountdown;  // "Falta 0h 0m 0s para o envio!"

    struct Labels {
        QString difference; // "HH:mm:ss"
        QString countdown;  // "Falta HHh mmm sss para o envio!"
    };
    // The labels for the configured time and the time of day (the distance either way).
    static Labels labels(const QTime& horario, const QTime& now);
    // The configured second has come (both cut to whole seconds).
    static bool due(const QTime& horario, const QTime& now);
    // HORARIO as stored: a date-time or a time of day; invalid when empty or unreadable.
    static QTime timeOf(const QVariant& horario);

    explicit ScheduledSend(TADO* ado, QObject* parent = nullptr);
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // ReadFailed: HORARIO or the outbox could not be read; nothing is started.
    enum class Tick { Waiting, EmptyOutbox, Started, NoTime, ReadFailed };
    // One tick of tAUTO.
    Tick tAUTOTimer();

Q_SIGNALS:
    void labelsChanged(const QString& difference, const QString& countdown);
    // The page shows kEmptyOutboxWarning.
    void emptyOutbox();
    // Mark every outbox row and press "Enviar SMS p/ Destinatários".
    void sendDue();
    // A line for the send log: the settings or the outbox could not be read. A failure is said
    // once, not every second, until a tick reads what it needs again.
    void readFailed(const QString& line);

private:
    // The outbox's row count; -1 when it cannot be read (`error` says why).
    int outboxCount(QString* error);
    Tick failed(const QString& what, const QString& error);

    TADO* m_ado;
    std::function<QDateTime()> m_clock;
    QString m_lastFailure; // the failure last said, until a tick reads what it needs
};
