#pragma once

#include "sms/SlotSetup.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

class ModemLog;
class QElapsedTimer;
class PortSlots;
class ResponseCoordinator;
class TADO;

// The set-up of the modems that answered the probe at port open, every slot side by side (SlotSetup
// says what each one is asked): one command per slot at a time, all of them written before the wait for
// their replies. What each modem said is kept on its row of dbPORTA (IMEI, IMSI, ICCID, MODELO; a PIN
// the SIM refused marks PIN_RECUSADO), the IMSI also on the slot's send state (its history rows carry
// it), and the lines go to the send log. Runs on the window thread; the waits keep processing events.
class ModemSetup {
public:
    static constexpr int kReplyBoundMs = 3000;

    ModemSetup(TADO* ado, PortSlots* slots, ResponseCoordinator* coordinator, ModemLog* log);

    // The longest wait for one command's reply.
    void setReplyBound(int ms) { m_replyBoundMs = ms; }

    // Sets up `slots` (ready and open); returns those found unable to send, with what is wrong. A modem searching
    // for the network is waited for dbCFG.ESPERA_REDE_S, or `networkWaitCapS` when that is shorter.
    QHash<int, QString> run(const QList<int>& slots, int networkWaitCapS = -1);
    // dbCFG.ESPERA_REDE_S: how long a modem may take to be ready (60 when unset).
    static int networkWaitS(TADO* ado);
    // The SMS sent today from the SIM `imsi` (by the history), and slot `slot`'s daily cap (0: none).
    static qint64 sentToday(TADO* ado, const QString& imsi);
    // The slot's daily cap (dbPORTA.LIMITE_DIA; 0 = none).
    static int dailyCap(TADO* ado, int slot);
    // What the last run of each slot found.
    const QMap<int, SlotSetupReport>& reports() const { return m_reports; }

private:
    SlotSetupSettings settingsOf(int slot, int networkWaitS) const;
    void askAll(QMap<int, SlotSetup>& setups, const QElapsedTimer& clock);
    void checkDailyCap(int slot, SlotSetupReport* report) const;
    void finish(int slot, const SlotSetupReport& report);
    void log(int slot, const QString& line);

    TADO* m_ado;
    PortSlots* m_slots;
    ResponseCoordinator* m_coordinator;
    ModemLog* m_log;
    int m_replyBoundMs = kReplyBoundMs;
    QMap<int, SlotSetupReport> m_reports;
    QHash<int, qsizetype> m_logged; // log lines of each slot's report already written
};
