#pragma once

#include <QObject>

class ModemLog;
class ModemSetup;
class PortConfigurator;
class PortSlots;
class ResponseCoordinator;
class SlotRecovery;
class SmsStation;
class TADO;

// The modem side of the program, as the main window and the command line own it: the 64 port
// slots, the send log and the console log, the response coordinator and the port configurator.
class ModemStation : public QObject {
    Q_OBJECT
public:
    explicit ModemStation(TADO* ado, QObject* parent = nullptr);
    ~ModemStation() override;

    PortSlots* portSlots() const { return m_slots; }
    ModemLog* sendLog() const { return m_sendLog; }
    ModemLog* consoleLog() const { return m_consoleLog; }
    ResponseCoordinator* coordinator() const { return m_coordinator; }
    PortConfigurator* configurator() const { return m_configurator; }
    // The set-up of the modems at port open (SIM, identity, SMS centre, network); what it last found.
    ModemSetup* setup() const { return m_setup; }
    // During a send: late modems joining it, vanished ones opened again.
    SlotRecovery* recovery() const { return m_recovery; }

    // Hands the SMS engine the slots' channels, their shared send state and the inbox mode, and
    // shows what its workers change (queue counters, activity lights, signal bar colours).
    void attach(SmsStation* sms);

private:
    PortSlots* m_slots;
    ModemLog* m_sendLog;
    ModemLog* m_consoleLog;
    ResponseCoordinator* m_coordinator;
    PortConfigurator* m_configurator;
    ModemSetup* m_setup = nullptr;
    SlotRecovery* m_recovery = nullptr;
};
