#pragma once

#include <QByteArray>
#include <QList>

class ResponseCoordinator;
class PortSlots;

// Asks the modems of the ready slots to pass delivery reports on as they come (PDU mode only: a report in text
// mode is not read). Each slot gets "AT+CMGF=0", then the commands of reportCommands() in order until one is
// answered "OK": "+CDS:" reports straight to the port first, reports stored in the modem ("+CDSI:", read with
// AT+CMGR) after; with the mode 2 of AT+CNMI the modem also lets out the reports it kept while no program had
// the port open. All slots are asked side by side; the wait for each round ends at the last reply or after
// `boundMs`. Only for ports no worker is using (after the probe): the slots' set-up state is taken for it.
namespace DeliveryReportSetup {

const QList<QByteArray>& reportCommands();

// Returns the slots whose modem took one of the commands.
QList<int> enable(PortSlots* slots, ResponseCoordinator* coordinator, int boundMs);

} // namespace DeliveryReportSetup
