#include "sms/ProbeCommand.h"

#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ModemStation.h"
#include "store/TADO.h"

#include <QSqlError>
#include <QSqlQuery>

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

int demoPorts(TADO* ado, int count, QTextStream& out, QTextStream& err) {
    if (count < 1 || count > PortSlots::kCount) {
        err << QStringLiteral("--demo-ports: valor inválido \"%1\" (use 1 a %2)").arg(count).arg(PortSlots::kCount)
            << Qt::endl;
        return 1;
    }
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = ID WHERE ID <= ?"));
    q.addBindValue(count);
    if (!q.exec()) {
        err << q.lastError().text() << Qt::endl;
        return 1;
    }
    out << QStringLiteral("Entradas 1 a %1 ativas nas portas COM1 a COM%1").arg(count) << Qt::endl;
    return 0;
}

} // namespace ProbeCommand
