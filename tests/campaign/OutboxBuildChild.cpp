// A child process for the outbox build tests: builds the outbox of DATA_DIR from every local
// contact over slots 1..4 (a stand-in for the modems' re-probe), and, depending on MODE, stops
// for good at a chosen moment so that the test can kill it there:
//   probe N     inside the N-th re-probe (after the rows of the earlier cycles were saved)
//   progress N  inside the N-th progress report
//   cancel N    cancels the build at the N-th progress report (and ends)
//   none        runs to the end
// Prints "PARADO" when it stops, "FIM <rows>" at the end.
#include <QCoreApplication>
#include <QSqlQuery>
#include <cstdio>
#include <unistd.h>

#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"
#include "store/TADO.h"

namespace {

[[noreturn]] void stopHere() {
    std::printf("PARADO\n");
    std::fflush(stdout);
    for (;;)
        pause(); // until the test's SIGKILL
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const int at = argc > 3 ? std::atoi(argv[3]) : 0;
    TADO ado;
    if (!ado.start(QString::fromLocal8Bit(argv[1])).ok)
        return 3;
    TDM set(&ado);
    if (!set.connectSource(TDM::CadastroLocal))
        return 4;
    set.markAll();
    OutboxBuilder builder(&ado);
    int probes = 0;
    builder.setVerificaPortas([&] {
        if (mode == "probe" && ++probes == at)
            stopHere();
        QSqlQuery q(ado.database());
        q.exec("DELETE FROM dbPORTA_ATIVA");
        for (int slot = 1; slot <= 4; ++slot)
            q.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) SELECT %1, CASCATA FROM dbCFG").arg(slot));
        return true;
    });
    int reports = 0;
    builder.setProgress([&](const OutboxBuilder::Progress&) {
        ++reports;
        if (mode == "progress" && reports == at)
            stopHere();
        return !(mode == "cancel" && reports == at);
    });
    const OutboxBuilder::Result r = builder.run(&set);
    std::printf("FIM %d\n", r.written);
    return r.outcome == OutboxBuilder::Outcome::Done ? 0 : 1;
}
