// Probe benchmark over N simulated modems: "&Abrir todas as Portas" (open and probe every active
// slot) and the outbox build of R recipients at CASCATA C over those slots (one VerificaPortas
// whenever the blocks fill), through the program's own modem station and builder. Each is timed
// against a baseline run in the same process: the slots probed one after another (the same
// writes, waits and checks, a wait per slot).
// Usage: probe_bench [MODEMS=64] [RECIPIENTS=6400] [CASCATA=10] [LATENCY_MS=5]
#include "../tests/sms/ModemTestRig.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"
#include "modem/Aguarda.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace modemsim;

namespace {

// The earlier way, kept here as the baseline: one slot at a time, each with its own wait.
bool sequentialProbe(ModemTestRig& rig, int modems, quint32 wait, QList<int>* ready) {
    ready->clear();
    for (int n = 1; n <= modems; ++n) {
        PortSlot* slot = rig.slot(n);
        if (!slot->channel()->isOpen())
            continue;
        slot->setReady(false);
        slot->clearResponseLine();
        slot->channel()->WriteText("AT+CSQ\r\n");
        Aguarda(wait);
        if (slot->ready())
            *ready << n;
    }
    return !ready->isEmpty();
}

bool sequentialVerificaPortas(ModemTestRig& rig, int modems, int cascata) {
    QList<int> ready;
    sequentialProbe(rig, modems, PortConfigurator::kReprobeWait, &ready);
    rig.exec(QStringLiteral("DELETE FROM dbPORTA_ATIVA"));
    for (int n : ready)
        rig.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (%1, %2)").arg(n).arg(cascata));
    return !ready.isEmpty();
}

void addRecipients(TADO* ado, int count) {
    QSqlDatabase db = ado->database();
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES (?, ?, ?, 1)"));
    for (int i = 0; i < count; ++i) {
        q.addBindValue(QStringLiteral("Contato %1").arg(i, 6, 10, QChar('0')));
        q.addBindValue(QStringLiteral("11%1").arg(900000000 + i)); // 11 digits
        q.addBindValue(QStringLiteral("c%1@exemplo.com.br").arg(i));
        q.exec();
    }
    db.commit();
}

// Builds the outbox of every recipient; returns the seconds and the rows written.
double build(ModemTestRig& rig, const std::function<bool()>& verificaPortas, int* rows) {
    rig.exec(QStringLiteral("DELETE FROM dbMENSAGEM"));
    TDM set(rig.ado());
    set.connectSource(TDM::CadastroLocal);
    set.markAll();
    OutboxBuilder builder(rig.ado());
    builder.setVerificaPortas(verificaPortas);
    QElapsedTimer t;
    t.start();
    const OutboxBuilder::Result r = builder.run(&set);
    *rows = r.outcome == OutboxBuilder::Outcome::Done ? r.written : -1;
    return double(t.elapsed()) / 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int modems = argc > 1 ? std::atoi(argv[1]) : 64;
    const int recipients = argc > 2 ? std::atoi(argv[2]) : 6400;
    const int cascata = argc > 3 ? std::atoi(argv[3]) : 10;
    const int latency = argc > 4 ? std::atoi(argv[4]) : 5;
    std::vector<PortConfig> ports(static_cast<std::size_t>(modems));
    for (PortConfig& c : ports)
        c.latencyMs = latency;
    ModemTestRig rig(ports);
    rig.exec(
        QStringLiteral("UPDATE dbCFG SET CASCATA = %1, BODY_SMS = 'Ola [NOME], seu codigo e [TEXTO0]'").arg(cascata));
    addRecipients(rig.ado(), recipients);
    PortConfigurator* ports64 = rig.configurator();

    QElapsedTimer t;
    t.start();
    ports64->configureAll(); // what the open costs before the probe: settings read, channels set
    const double configure = double(t.elapsed()) / 1000.0;
    t.restart();
    const bool found = ports64->openAll();
    const double parallel = double(t.elapsed()) / 1000.0;
    int readyCount = 0;
    for (const PortConfigurator::ProbeResult& r : ports64->lastProbe())
        readyCount += r.state == PortConfigurator::ProbeState::Ready ? 1 : 0;
    QList<int> ready;
    t.restart();
    sequentialProbe(rig, modems, PortConfigurator::kProbeWait, &ready);
    const double sequential = double(t.elapsed()) / 1000.0;
    std::printf("probe modems=%d latency_ms=%d ready=%d/%d configure_only_s=%.3f parallel_s=%.3f sequential_s=%.3f "
                "ratio=%.3f\n",
                modems, latency, readyCount, int(ready.size()), configure, parallel, sequential, parallel / sequential);
    if (!found)
        return 1;

    int rowsParallel = 0;
    int rowsSequential = 0;
    const double buildParallel = build(rig, ports64->verificaPortasFunction(), &rowsParallel);
    const double buildSequential = build(
        rig, [&] { return sequentialVerificaPortas(rig, modems, cascata); }, &rowsSequential);
    std::printf("build recipients=%d cascata=%d slots=%d rows=%d/%d parallel_s=%.3f sequential_s=%.3f ratio=%.3f\n",
                recipients, cascata, modems, rowsParallel, rowsSequential, buildParallel, buildSequential,
                buildParallel / buildSequential);
    return rowsParallel == recipients && rowsSequential == recipients ? 0 : 3;
}
