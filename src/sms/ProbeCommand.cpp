#include "sms/ProbeCommand.h"

#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ModemStation.h"
#include "store/SmsModeSettings.h"
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
        case PortConfigurator::ProbeState::NotReady:
            out << head << QStringLiteral("NÃO PRONTA: ") << r.error << Qt::endl;
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

namespace {

// The slots and the sending mode of the demo, together or not at all.
bool activateDemo(QSqlDatabase db, int count, QString* error) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = ID WHERE ID <= ?"));
    q.addBindValue(count);
    bool ok = q.exec();
    if (!ok)
        *error = q.lastError().text();
    ok = ok && writeSmsMode(db, {SmsMode::Pdu, true}, error);
    if (ok && !db.commit()) {
        *error = db.lastError().text();
        ok = false;
    }
    if (!ok)
        db.rollback();
    return ok;
}

} // namespace

int demoPorts(TADO* ado, int count, QTextStream& out, QTextStream& err) {
    if (count < 1 || count > PortSlots::kCount) {
        err << QStringLiteral("--demo-ports: valor inválido \"%1\" (use 1 a %2)").arg(count).arg(PortSlots::kCount)
            << Qt::endl;
        return 1;
    }
    QString error;
    if (!activateDemo(ado->database(), count, &error)) {
        err << error << Qt::endl;
        return 1;
    }
    out << QStringLiteral("Entradas 1 a %1 ativas nas portas COM1 a COM%1").arg(count) << Qt::endl;
    out << QStringLiteral("Modo de envio: PDU, com confirmação de entrega") << Qt::endl;
    return 0;
}

} // namespace ProbeCommand
