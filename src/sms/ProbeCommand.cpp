#include "sms/ProbeCommand.h"

#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ModemStation.h"

namespace ProbeCommand {

int run(TADO* ado, QTextStream& out, QTextStream& err) {
    ModemStation station(ado);
    PortConfigurator* configurator = station.configurator();
    const bool found = configurator->openAll();
    for (const PortConfigurator::ProbeResult& r : configurator->lastProbe()) {
        const QString head = QStringLiteral("ENTRADA %1 COM%2 ").arg(r.entrada).arg(r.com);
        switch (r.state) {
        case PortConfigurator::ProbeState::Ready:
            out << head << QStringLiteral("PRONTA ") << station.portSlots()->slot(r.entrada)->signalCaption()
                << Qt::endl;
            break;
        case PortConfigurator::ProbeState::NoAnswer:
            out << head << QStringLiteral("SEM RESPOSTA") << Qt::endl;
            break;
        case PortConfigurator::ProbeState::Closed:
            out << head << QStringLiteral("FECHADA: ") << QString(r.error).replace('\r', ' ') << Qt::endl;
            break;
        }
    }
    if (found)
        return 0;
    err << PortConfigurator::noPortOpenedText().replace('\r', '\n') << Qt::endl;
    return 2;
}

} // namespace ProbeCommand
