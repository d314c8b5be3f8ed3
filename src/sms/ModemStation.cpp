#include "sms/ModemStation.h"

#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ResponseCoordinator.h"

ModemStation::ModemStation(TADO* ado, QObject* parent)
    : QObject(parent), m_slots(new PortSlots(this)), m_sendLog(new ModemLog(this)), m_consoleLog(new ModemLog(this)),
      m_coordinator(new ResponseCoordinator(m_slots, m_sendLog, m_consoleLog, {}, this)),
      m_configurator(new PortConfigurator(ado, m_slots, this)) {}
