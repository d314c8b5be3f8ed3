#include "sms/ProbeCommand.h"

#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ModemSetup.h"
#include "sms/ModemStation.h"
#include "store/SmsModeSettings.h"
#include "store/Station.h"
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

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString networkWord(const SlotSetupReport& r) {
    switch (r.network) {
    case SlotSetupReport::Network::Registered:
        return QStringLiteral("registrada");
    case SlotSetupReport::Network::Searching:
        return QStringLiteral("procurando");
    case SlotSetupReport::Network::Denied:
        return QStringLiteral("negada");
    case SlotSetupReport::Network::NoSignal:
        return QStringLiteral("sem sinal");
    case SlotSetupReport::Network::Unknown:
        break;
    }
    return QStringLiteral("desconhecida");
}

QString pinWord(const SlotSetupReport& r) {
    switch (r.pin) {
    case SlotSetupReport::Pin::Ok:
        return QStringLiteral("ok");
    case SlotSetupReport::Pin::Asked:
        return QStringLiteral("pedido");
    case SlotSetupReport::Pin::Wrong:
        return QStringLiteral("incorreto");
    case SlotSetupReport::Pin::Puk:
        return QStringLiteral("puk");
    case SlotSetupReport::Pin::Unknown:
        break;
    }
    return QStringLiteral("desconhecido");
}

// The SMS sent today from `imsi`, and the slot's daily cap.
QString today(TADO* ado, int slot, const QString& imsi) {
    return QStringLiteral("HOJE %1/%2").arg(ModemSetup::sentToday(ado, imsi)).arg(ModemSetup::dailyCap(ado, slot));
}

QString modemLine(TADO* ado, const PortConfigurator::ProbeResult& r, const SlotSetupReport* report, bool ready) {
    QString line = QStringLiteral("ENTRADA %1 COM%2 %3").arg(r.entrada).arg(r.com).arg(ready ? "PRONTA" : "NÃO PRONTA");
    if (!report) // not opened, or no answer: nothing more is known
        return line + QStringLiteral("  SINAL -  REDE -  PIN -  IMSI -  ICCID -  MODELO -  ") +
               today(ado, r.entrada, QString());
    line += QStringLiteral("  SINAL %1  REDE %2  PIN %3  IMSI %4  ICCID %5  MODELO %6  ")
                .arg(report->signal < 0 ? QStringLiteral("-") : QString::number(report->signal), networkWord(*report),
                     pinWord(*report), orDash(report->imsi), orDash(report->iccid), orDash(report->modelo()));
    return line + today(ado, r.entrada, report->imsi);
}

// The slots and the sending mode of the demo, together or not at all.
bool activateDemo(QSqlDatabase db, int count, QString* error) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = ID WHERE ID <= ? AND ESTACAO = ?"));
    q.addBindValue(count);
    q.addBindValue(Station::current());
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

int modems(TADO* ado, QTextStream& out, QTextStream& err) {
    ModemStation station(ado);
    QObject::connect(station.sendLog(), &ModemLog::lineAppended,
                     [&err](const QString& line, bool) { err << QString(line).replace('\r', ' ') << Qt::endl; });
    station.configurator()->openAll();
    int ready = 0;
    const QList<PortConfigurator::ProbeResult>& probe = station.configurator()->lastProbe();
    for (const PortConfigurator::ProbeResult& r : probe) {
        const bool isReady = r.state == PortConfigurator::ProbeState::Ready;
        ready += isReady ? 1 : 0;
        const auto it = station.setup()->reports().constFind(r.entrada);
        const SlotSetupReport* report = it == station.setup()->reports().constEnd() ? nullptr : &it.value();
        out << modemLine(ado, r, report, isReady) << Qt::endl;
    }
    if (ready == 0)
        return 2;
    return ready == probe.size() ? 0 : 1;
}

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
