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

#include "TempDataDir.h"
#include "store/SmsModeSettings.h"

#include <QSqlQuery>

namespace {

struct DemoCase {
    const char* name;
    int count;
    bool emptySettings; // no settings row: the mode cannot be written
    int exitCode;
    int activeSlots; // afterwards
    SmsMode mode;
};

class DemoPorts : public ::testing::TestWithParam<DemoCase> {};

// The demo's slots and its PDU mode are written together: a failure of either leaves both as they were.
TEST_P(DemoPorts, SetsSlotsAndPduModeTogetherOrNothing) {
    const DemoCase& c = GetParam();
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlDatabase db = d.ado->database();
    if (c.emptySettings) {
        ASSERT_TRUE(QSqlQuery(db).exec("DELETE FROM dbCFG"));
    }
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(ProbeCommand::demoPorts(d.ado.get(), c.count, o, e), c.exitCode) << err.toStdString();
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("SELECT count(*) FROM dbPORTA WHERE ATIVO = 1 AND COM = ID") && q.next());
    EXPECT_EQ(q.value(0).toInt(), c.activeSlots);
    q.finish();
    if (c.emptySettings)
        return;
    QString readError;
    const SmsModeSettings s = readSmsMode(db, &readError);
    EXPECT_TRUE(readError.isEmpty()) << readError.toStdString();
    EXPECT_EQ(s.mode, c.mode);
    EXPECT_EQ(s.confirmDelivery, c.mode == SmsMode::Pdu);
    if (c.exitCode == 0) {
        EXPECT_TRUE(out.endsWith("Modo de envio: PDU, com confirmação de entrega\n")) << out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DemoPorts,
                         ::testing::Values(DemoCase{"defaultFour", ProbeCommand::kDemoPorts, false, 0, 4, SmsMode::Pdu},
                                           DemoCase{"two", 2, false, 0, 2, SmsMode::Pdu},
                                           DemoCase{"badCount", 65, false, 1, 0, SmsMode::Text},
                                           DemoCase{"noSettingsRow", 3, true, 1, 0, SmsMode::Text}),
                         [](const auto& tp) { return std::string(tp.param.name); });

} // namespace
