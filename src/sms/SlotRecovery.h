#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class ModemLog;
class ModemSetup;
class PortConfigurator;
class PortSlots;
class ResponseCoordinator;
class SmsSender;
class TADO;

// Modems that are not there when the send needs them, during a send. Runs on the window thread.
//
// - A late modem: an active slot with rows to send that was not ready when the send began (a slow boot, a
//   modem still searching for the network, a SIM still busy) is opened and probed again every 5 s. When it
//   answers and its set-up finds it ready it joins the send with "ENTRADA n PRONTA: ENTRA NO ENVIO".
//   A slot the operator must see to (a PIN, a SIM, an SMS centre, its daily cap) is not asked again.
// - A modem that vanishes (unplugged, the USB hub reset): its slot shows "desconectado" and its worker ends;
//   the row on its way stays in the outbox, marked in flight once its text may have gone out. The port is
//   opened again every 2 s; when the modem answers, its set-up runs again and the SIM's IMSI is compared with
//   the one before: the same SIM goes on with its rows, another stops the slot with "ENTRADA n OUTRO CHIP NA
//   PORTA (IMSI ANTES …, AGORA …)".
//
// Each slot is waited for dbCFG.ESPERA_REDE_S: since the send began (a late modem), or since it vanished.
// Then its rows stay in the outbox for the next send.
class SlotRecovery : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int lateProbeMs = 5000; // a late modem is asked again this often
        int reopenMs = 2000;    // a vanished modem's port is opened again this often
    };

    SlotRecovery(TADO* ado, PortSlots* slots, PortConfigurator* configurator, ModemSetup* setup,
                 ResponseCoordinator* coordinator, ModemLog* log, QObject* parent = nullptr);

    void setTiming(Timing timing) { m_timing = timing; }
    // Follows the sender's sends: each one starts the wait for its late modems.
    void attach(SmsSender* sender);

    // Active slots with rows to send whose modem is not ready now and may still become so.
    QList<int> lateSlots() const;
    // No slot is waited for.
    bool idle() const { return m_pending.isEmpty(); }
    // The operator stopped the send: no slot is waited for any more.
    void stop();

    // Since the last send began: the slots that joined it (late or back), and those stopped because the
    // modem came back with another SIM.
    const QList<int>& joined() const { return m_joined; }
    const QList<int>& refused() const { return m_refused; }

Q_SIGNALS:
    // The last slot waited for has joined the send or has been given up.
    void settled();

private:
    enum class Kind { Late, Back };
    struct Pending {
        Kind kind = Kind::Late;
        qint64 deadline = 0; // ms on m_clock
        qint64 nextTry = 0;
        QString imsiBefore;
        int waitS = 0; // dbCFG.ESPERA_REDE_S when the wait began
    };

    void begin();
    void onPortLost(int slot, const QString& reason);
    void tick();
    void tryAgain(const QList<int>& due);
    void joinSend(int slot, const Pending& pending);
    void giveUp(int slot, const Pending& pending);
    void schedule();
    bool hasRows(int slot) const;
    bool lasting(int slot) const;
    void log(int slot, const QString& line);

    TADO* m_ado;
    PortSlots* m_slots;
    PortConfigurator* m_configurator;
    ModemSetup* m_setup;
    ResponseCoordinator* m_coordinator;
    ModemLog* m_log;
    QPointer<SmsSender> m_sender;
    Timing m_timing;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_ticking = false;
    int m_waitS = 60;
    QMap<int, Pending> m_pending;
    QList<int> m_joined;
    QList<int> m_refused;
};
