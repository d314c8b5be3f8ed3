#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class TADO;

// Everything a send changes on the screen, carried out on the window thread. Sender workers hand
// each change over synchronously (they wait until it is done); the outbox page, the port panel and
// the command line listen to the signals.
class SendScreen : public QObject {
    Q_OBJECT
public:
    // The signal bar's colour tells whether the slot's worker runs.
    enum class BarState { Running, Finished };
    static constexpr unsigned kRunningRgb = 0x00ff00;  // lime
    static constexpr unsigned kFinishedRgb = 0xe7e7e7; // grey

    explicit SendScreen(TADO* ado, QObject* parent = nullptr);

    // Appends a line to the send log and moves its selection to the newest line.
    void appendSendLog(const QString& line) { Q_EMIT sendLogLine(line); }
    void setQueueCounter(int slot, int count) { Q_EMIT queueCounterChanged(slot, count); }
    void setActivityLight(int slot, bool lit) { Q_EMIT activityLightChanged(slot, lit); }
    void setSignalBar(int slot, BarState state) { Q_EMIT signalBarChanged(slot, state); }
    // The character set the slot's worker chose for text mode ("8859-1", "IRA").
    void setCharset(int slot, const QString& name) { Q_EMIT charsetChosen(slot, name); }
    // The outbox lost a row: re-read the outbox dataset and show its size in status panel 3. With 64
    // workers deleting rows the re-reads are gathered: at most one every kRefreshMs.
    void outboxChanged();
    static constexpr int kRefreshMs = 200;

    // "SMS para envio: N"
    static QString outboxPanelText(int count);

Q_SIGNALS:
    void sendLogLine(const QString& line);
    void queueCounterChanged(int slot, int count);
    void activityLightChanged(int slot, bool lit);
    void signalBarChanged(int slot, SendScreen::BarState state);
    void charsetChosen(int slot, const QString& name);
    void outboxRefreshed(int count);

private:
    void refreshOutbox();

    TADO* m_ado;
    QTimer m_refresh;
};
