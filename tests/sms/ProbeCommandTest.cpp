// `vestral-sms --probe`: one line per active slot, and the exit code.
#include "sms/ProbeCommand.h"
#include "ModemTestRig.h"

#include <gtest/gtest.h>

TEST(ProbeCommand, PrintsOneLinePerActiveSlot) {
    modemsim::PortConfig silent;
    silent.silent = true;
    ModemTestRig rig({modemsim::PortConfig{}, silent, modemsim::PortConfig{}});
    rig.sim->unplug(2);
    rig.station.reset(); // the command makes its own
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(ProbeCommand::run(rig.ado(), o, e), 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << out.toStdString();
    EXPECT_EQ(lines[0], "ENTRADA 1 COM1 PRONTA 67%");
    EXPECT_EQ(lines[1], "ENTRADA 2 COM2 SEM RESPOSTA");
    EXPECT_TRUE(lines[2].startsWith("ENTRADA 3 COM3 FECHADA: A porta COM3 ")) << lines[2].toStdString();
    EXPECT_TRUE(err.isEmpty());
}

TEST(ProbeCommand, NoReadySlotPrintsTheWarningWithoutTheManualQuestion) {
    modemsim::PortConfig silent;
    silent.silent = true;
    ModemTestRig rig({silent});
    rig.exec("UPDATE dbPORTA SET ATIVO = 1, COM = 0 WHERE ID = 2"); // no port chosen, no one to ask
    rig.station.reset();
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(ProbeCommand::run(rig.ado(), o, e), 2);
    EXPECT_EQ(out, "ENTRADA 1 COM1 SEM RESPOSTA\n"
                   "ENTRADA 2 COM0 FECHADA: Nenhuma porta serial foi escolhida para a entrada 2.\n");
    EXPECT_EQ(err, "Nenhuma porta foi aberta!\nVerifique sua configuração e se o modem esta corretamente conectado a "
                   "porta USB.\n");
}
