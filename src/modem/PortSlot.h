#pragma once

#include "modem/SerialChannel.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// One port slot ("Entrada" N, 1..64): its serial channel and the state of its on-screen members
// (ready light, activity light, signal bar, queue counter, response line). Widgets follow the
// signals; the logic never touches a widget. Used on the window thread.
class PortSlot : public QObject {
    Q_OBJECT
public:
    static constexpr int kSignalMax = 31;

    explicit PortSlot(int number, QObject* parent = nullptr);

    int number() const { return m_number; }
    SerialChannel* channel() const { return m_channel; }

    bool ready() const { return m_ready; }
    void setReady(bool on);
    // What the set-up at port open found wrong with the modem ("aguardando rede", "SIM pede PIN"…),
    // shown on the ready light; empty when nothing is.
    const QString& condition() const { return m_condition; }
    void setCondition(const QString& text);
    bool active() const { return m_active; }
    void setActive(bool on);
    int signal() const { return m_signal; }
    // Caption of the signal bar: value * 100 / 31, truncated, followed by "%".
    QString signalCaption() const;
    void setSignal(int value);
    // The bar is lime while the slot's sender worker runs.
    bool working() const { return m_working; }
    void setWorking(bool on);
    int queued() const { return m_queued; }
    void setQueued(int count);

    // The character set the slot's sender worker chose for text mode ("8859-1", "IRA"); empty
    // until a worker has configured the port.
    const QString& charset() const { return m_charset; }
    void setCharset(const QString& name);

    const QString& responseLine() const { return m_responseLine; }
    // Shows the reply line being received (kept by the response handler).
    void showResponseLine(const QString& line);
    // Empties the line before a probe; the response handler follows responseLineCleared.
    void clearResponseLine();
    // Bytes received, for the terminal view.
    void showReceived(const QByteArray& bytes) { Q_EMIT received(bytes); }

Q_SIGNALS:
    void readyChanged(bool on);
    void conditionChanged(const QString& text);
    void activeChanged(bool on);
    void signalChanged(int value, const QString& caption);
    void workingChanged(bool on);
    void queuedChanged(int count);
    void charsetChanged(const QString& name);
    void responseLineChanged(const QString& line);
    void responseLineCleared();
    void received(const QByteArray& bytes);

private:
    int m_number;
    SerialChannel* m_channel;
    bool m_ready = false;
    bool m_active = false;
    int m_signal = 0;
    bool m_working = false;
    int m_queued = 0;
    QString m_charset;
    QString m_condition;
    QString m_responseLine;
};

// The 64 port slots of the main window, reached by slot number.
class PortSlots : public QObject {
    Q_OBJECT
public:
    static constexpr int kCount = 64;

    explicit PortSlots(QObject* parent = nullptr);

    // Slot n (1..64); null outside that range.
    PortSlot* slot(int n) const { return n >= 1 && n <= kCount ? m_slots[n - 1] : nullptr; }
    // Asked for a port number when a channel with ComNumber 0 opens ("Select Port").
    void setPortChooser(const SerialChannel::PortChooser& chooser);

private:
    PortSlot* m_slots[kCount];
};
