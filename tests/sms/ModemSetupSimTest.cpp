// The set-up at port open against simulated modems: SIM PIN, PUK, a busy SIM, the network, the SMS centre
// and the identity, each from the side of a modem or SIM that gets in the way.
#include "ModemTestRig.h"
#include "sms/ModemSetup.h"
#include "sms/ProbeCommand.h"
#include "sms/SmsCommands.h"
#include "store/Station.h"
#include "store/TimeText.h"

#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTextStream>

namespace {

using ProbeState = PortConfigurator::ProbeState;

// The modems' set-up on each store: what it writes (PIN refusals, identities, caps) is read back from the store.
class ModemSetupSim : public StoreParam {};

QVariant value(TADO* ado, const QString& sql) {
    QSqlQuery q(ado->database());
    return q.exec(sql) && q.next() ? q.value(0) : QVariant(QStringLiteral("<sem resultado>"));
}

// The send log's lines of one open of every port.
QStringList openAll(ModemTestRig& rig, bool* found = nullptr) {
    QStringList lines;
    auto connection = QObject::connect(rig.station->sendLog(), &ModemLog::lineAppended,
                                       [&](const QString& line, bool) { lines << line; });
    const bool opened = rig.configurator()->openAll();
    QObject::disconnect(connection);
    if (found)
        *found = opened;
    return lines;
}

bool logged(const QStringList& lines, const QString& text) {
    for (const QString& line : lines)
        if (line.endsWith(QLatin1Char(' ') + text))
            return true;
    return false;
}

int count(const std::string& bytes, const std::string& what) {
    int n = 0;
    for (auto at = bytes.find(what); at != std::string::npos; at = bytes.find(what, at + 1))
        ++n;
    return n;
}

TEST_P(ModemSetupSim, HealthyModemsAreSetUpSideBySideAndTheirIdentityKept) {
    modemsim::PortConfig second;
    second.sim.imsi = "724059999999999";
    second.sim.iccidReply = "^ICCID: 98555021436587092143"; // a swapped ICCID, as a Huawei writes it
    ModemTestRig rig({modemsim::PortConfig{}, second}, GetParam());
    bool found = false;
    openAll(rig, &found);
    EXPECT_TRUE(found);
    EXPECT_TRUE(rig.slot(1)->ready() && rig.slot(2)->ready());
    EXPECT_EQ(value(rig.ado(), "SELECT IMEI || '|' || IMSI || '|' || ICCID || '|' || MODELO FROM dbPORTA WHERE ID = 1")
                  .toString(),
              "356938035643809|724051234567890|8955051234567890123|SIMULADOR VESTRAL-SIM 1");
    EXPECT_EQ(value(rig.ado(), "SELECT IMSI || '|' || ICCID FROM dbPORTA WHERE ID = 2").toString(),
              "724059999999999|98555021436587092143");
    const std::string sent = rig.sim->received(0);
    EXPECT_LT(sent.find("ATE0\r"), sent.find("AT+CMEE=1\r"));
    EXPECT_LT(sent.find("AT+CMEE=1\r"), sent.find("AT+CPIN?\r"));
    EXPECT_NE(sent.find("AT+CREG?\r"), std::string::npos);
    EXPECT_EQ(count(sent, "AT+CPIN="), 0);
}

// A PIN the SIM refused is not sent again by a later start of the program; a new PIN is.
TEST_P(ModemSetupSim, RefusedPinIsNotSentAgainAfterARestart) {
    modemsim::PortConfig asking;
    asking.sim.pin = "1234";
    ModemTestRig rig({asking}, GetParam());
    rig.exec("UPDATE dbPORTA SET PIN = '9999' WHERE ID = 1");
    bool found = true;
    QStringList lines = openAll(rig, &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(logged(lines, "ENTRADA 1 PIN INCORRETO: NÃO SERÁ TENTADO DE NOVO")) << lines.join('\n').toStdString();
    EXPECT_EQ(rig.configurator()->lastProbe().value(0).state, ProbeState::NotReady);
    EXPECT_EQ(value(rig.ado(), "SELECT PIN_RECUSADO FROM dbPORTA WHERE ID = 1").toInt(), 1);
    EXPECT_FALSE(rig.slot(1)->channel()->isOpen());
    // The program starts again: the mark holds, no second try.
    rig.station = std::make_unique<ModemStation>(rig.ado());
    rig.station->configurator()->setTiming({ModemTestRig::kProbeBound, ModemTestRig::kProbeBound});
    lines = openAll(rig, &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(logged(lines, "ENTRADA 1 PIN INCORRETO: NÃO SERÁ TENTADO DE NOVO"));
    EXPECT_EQ(count(rig.sim->received(0), "AT+CPIN=\""), 1);
    // Neither the send log nor the console shows the PIN.
    for (const QString& line : lines)
        EXPECT_FALSE(line.contains("9999")) << line.toStdString();
    // The operator saves the right PIN: it is sent, once, and the slot is ready.
    rig.exec("UPDATE dbPORTA SET PIN = '1234' WHERE ID = 1");
    EXPECT_EQ(value(rig.ado(), "SELECT PIN_RECUSADO FROM dbPORTA WHERE ID = 1").toInt(), 0);
    openAll(rig, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(count(rig.sim->received(0), "AT+CPIN=\""), 2);
}

TEST_P(ModemSetupSim, PinMissingPukAndDeniedNetworkLeaveTheSlotNotReady) {
    modemsim::PortConfig asking, blocked, denied;
    asking.sim.pin = "1234";
    blocked.sim.puk = true;
    denied.sim.denied = true;
    ModemTestRig rig({asking, blocked, denied, modemsim::PortConfig{}}, GetParam());
    bool found = false;
    const QStringList lines = openAll(rig, &found);
    EXPECT_TRUE(found); // slot 4 is fine
    const QString all = lines.join('\n');
    EXPECT_TRUE(logged(lines, "ENTRADA 1 SIM PEDE PIN: INFORME O PIN DA ENTRADA EM CONFIGURAÇÃO MODEM"))
        << all.toStdString();
    EXPECT_TRUE(logged(lines, "ENTRADA 2 SIM BLOQUEADO (PUK)")) << all.toStdString();
    EXPECT_TRUE(logged(lines, "ENTRADA 3 REGISTRO NA REDE NEGADO")) << all.toStdString();
    const auto& probe = rig.configurator()->lastProbe();
    ASSERT_EQ(probe.size(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(probe.at(i).state, ProbeState::NotReady) << i;
    EXPECT_EQ(probe.at(3).state, ProbeState::Ready);
    EXPECT_EQ(count(rig.sim->received(0), "AT+CPIN=\""), 0);
    EXPECT_EQ(rig.slot(1)->condition(), "SIM pede PIN");
    // Only the ready slot is listed for the outbox.
    EXPECT_TRUE(rig.configurator()->VerificaPortas());
    EXPECT_EQ(rig.activeList().size(), 1);
    EXPECT_EQ(rig.activeList().value(0).value(0), 4);
}

// After its PIN the SIM is busy for 5 s, and the network is found 3 s after start: both are waited for.
TEST_P(ModemSetupSim, BusySimAndLateRegistrationAreWaitedFor) {
    modemsim::PortConfig busy, late;
    busy.sim.pin = "4321";
    busy.sim.busyAfterPinMs = 5000;
    late.sim.registerAfterMs = 3000;
    ModemTestRig rig({busy, late}, GetParam());
    rig.exec("UPDATE dbPORTA SET PIN = '4321' WHERE ID = 1");
    bool found = false;
    const QStringList lines = openAll(rig, &found);
    EXPECT_TRUE(found);
    EXPECT_TRUE(rig.slot(1)->ready()) << lines.join('\n').toStdString();
    EXPECT_TRUE(rig.slot(2)->ready()) << lines.join('\n').toStdString();
    EXPECT_TRUE(logged(lines, "ENTRADA 2 AGUARDANDO REDE")) << lines.join('\n').toStdString();
    EXPECT_EQ(rig.slot(2)->condition(), "");
    EXPECT_EQ(value(rig.ado(), "SELECT IMSI FROM dbPORTA WHERE ID = 1").toString(), "724051234567890");
    EXPECT_EQ(count(rig.sim->received(0), "AT+CPIN=\""), 1);
}

// A SIM without an SMS centre: the slot is not ready and its rows stay in the outbox (no +CMS ERROR: 330
// failures); with the slot's centre set, it is written and the send goes.
TEST_P(ModemSetupSim, MissingSmsCentreKeepsTheRowsAndAGivenOneIsWritten) {
    modemsim::PortConfig noCentre;
    noCentre.sim.smsc = "";
    ModemTestRig rig({noCentre}, GetParam());
    rig.station.reset();
    rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000001', 'oi', 1)");
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 2);
    EXPECT_TRUE(out.contains("ENTRADA 1 SEM CENTRO DE MENSAGENS (SMSC): INFORME-O EM CONFIGURAÇÃO MODEM"))
        << out.toStdString();
    EXPECT_EQ(value(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM").toInt(), 1);
    EXPECT_EQ(value(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO").toInt(), 0);
    EXPECT_TRUE(rig.sim->sent(0).empty());
    rig.exec("UPDATE dbPORTA SET SMSC = '+550110000000' WHERE ID = 1");
    out.clear();
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 0) << err.toStdString() << out.toStdString();
    EXPECT_NE(rig.sim->received(0).find("AT+CSCA=\"+550110000000\",145\r"), std::string::npos);
    EXPECT_EQ(value(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1").toInt(), 1);
}

// A modem that answers none of the identity commands sends as before, its fields empty; the history row of a
// send from a SIM that said its IMSI carries it.
TEST_P(ModemSetupSim, IdentityRefusedStillSendsAndHistoryCarriesTheImsi) {
    modemsim::PortConfig mute;
    mute.sim.refused = {"+CGSN", "+CIMI", "+CCID", "^ICCID?", "+QCCID", "+CGMI", "+CGMM"};
    modemsim::PortConfig plain;
    plain.sim.imsi = "724051111111111";
    ModemTestRig rig({mute, plain}, GetParam());
    rig.station.reset();
    rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000001', 'um', 1)");
    rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000002', 'dois', 2)");
    // Each row held by its slot of this station (on the server a row without a station is the pool's, for any slot).
    rig.exec(QStringLiteral("UPDATE dbMENSAGEM SET ESTACAO = '%1', FICHA = ID, FICHA_VALIDADE = '2999-01-01 00:00:00'")
                 .arg(Station::current()));
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 0) << err.toStdString() << out.toStdString();
    EXPECT_EQ(value(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1").toInt(), 2);
    EXPECT_EQ(value(rig.ado(), "SELECT coalesce(IMEI, '') || coalesce(IMSI, '') || coalesce(ICCID, '') || "
                               "coalesce(MODELO, '') FROM dbPORTA WHERE ID = 1")
                  .toString(),
              "");
    EXPECT_EQ(
        value(rig.ado(), "SELECT coalesce(IMSI, '-') FROM dbHISTORICO WHERE DESTINATARIO = '5511900000001'").toString(),
        "-");
    EXPECT_EQ(value(rig.ado(), "SELECT IMSI FROM dbHISTORICO WHERE DESTINATARIO = '5511900000002'").toString(),
              "724051111111111");
}

} // namespace

namespace {

// `--modems`: one line per active slot after the set-up, and an exit code for scripts.
TEST_P(ModemSetupSim, ModemsCommandPrintsEverySlotAndSaysHowManyAreReady) {
    modemsim::PortConfig asking, silent;
    asking.sim.pin = "1234";
    silent.silent = true;
    ModemTestRig rig({modemsim::PortConfig{}, asking, silent}, GetParam());
    rig.station.reset();
    rig.exec("UPDATE dbPORTA SET LIMITE_DIA = 200 WHERE ID = 1");
    const QDateTime now = QDateTime::currentDateTime();
    for (const QDateTime& when : {now, now, now.addDays(-1)})
        rig.exec(QStringLiteral("INSERT INTO dbHISTORICO (DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO, IMSI) VALUES "
                                "('%1', '5511', 'x', 'SMS', 1, '724051234567890')")
                     .arg(TimeText::stampStored(when)));
    rig.exec("INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO, IMSI) VALUES "
             "('5511', 'x', 'SMS', 0, '724051234567890')"); // a failure is no SMS sent
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(ProbeCommand::modems(rig.ado(), o, e), 1) << err.toStdString();
    const QStringList lines = out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << out.toStdString();
    EXPECT_EQ(lines[0].toStdString(),
              "ENTRADA 1 COM1 PRONTA  SINAL 21  REDE registrada  PIN ok  IMSI 724051234567890  ICCID "
              "8955051234567890123  MODELO SIMULADOR VESTRAL-SIM 1  HOJE 2/200");
    EXPECT_EQ(lines[1].toStdString(),
              "ENTRADA 2 COM2 NÃO PRONTA  SINAL -  REDE desconhecida  PIN pedido  IMSI -  ICCID -  "
              "MODELO -  HOJE 0/0");
    EXPECT_EQ(lines[2].toStdString(),
              "ENTRADA 3 COM3 NÃO PRONTA  SINAL -  REDE -  PIN -  IMSI -  ICCID -  MODELO -  HOJE 0/0");
    EXPECT_TRUE(err.contains("ENTRADA 2 SIM PEDE PIN: INFORME O PIN DA ENTRADA EM CONFIGURAÇÃO MODEM"))
        << err.toStdString();
    // Every active slot ready: 0; none: 2.
    rig.exec("UPDATE dbPORTA SET ATIVO = 0 WHERE ID > 1");
    EXPECT_EQ(ProbeCommand::modems(rig.ado(), o, e), 0);
    rig.exec("UPDATE dbPORTA SET ATIVO = 1 WHERE ID > 1");
    rig.exec("UPDATE dbPORTA SET ATIVO = 0 WHERE ID = 1");
    EXPECT_EQ(ProbeCommand::modems(rig.ado(), o, e), 2);
}

} // namespace

namespace {

// A SIM that already sent its slot's daily cap today takes no rows: they stay in the outbox for tomorrow.
TEST_P(ModemSetupSim, SlotAtItsDailyCapTakesNoRows) {
    ModemTestRig rig({modemsim::PortConfig{}}, GetParam());
    rig.station.reset();
    rig.exec("UPDATE dbPORTA SET LIMITE_DIA = 2 WHERE ID = 1");
    for (int i = 0; i < 2; ++i)
        rig.exec("INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO, IMSI) VALUES "
                 "('5511', 'x', 'SMS', 1, '724051234567890')");
    rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000001', 'oi', 1)");
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 2);
    EXPECT_TRUE(out.contains("ENTRADA 1 ATINGIU O LIMITE DIÁRIO DE 2 SMS")) << out.toStdString();
    EXPECT_EQ(value(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM").toInt(), 1);
    EXPECT_TRUE(rig.sim->sent(0).empty());
    // A higher cap lets it send again.
    rig.exec("UPDATE dbPORTA SET LIMITE_DIA = 3 WHERE ID = 1");
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 0) << out.toStdString();
    EXPECT_EQ(value(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM").toInt(), 0);
}

} // namespace

namespace {

// The cap is reached in the middle of a send: the SIM sends up to it, the rest stays in the outbox.
TEST_P(ModemSetupSim, SendStopsAtTheDailyCap) {
    ModemTestRig rig({modemsim::PortConfig{}}, GetParam());
    rig.station.reset();
    rig.exec("UPDATE dbPORTA SET LIMITE_DIA = 2 WHERE ID = 1");
    rig.exec("INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO, IMSI) VALUES "
             "('5511', 'x', 'SMS', 1, '724051234567890')");
    for (int i = 0; i < 3; ++i)
        rig.exec(
            QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('551190000000%1', 'oi', 1)").arg(i));
    QString out, err;
    QTextStream o(&out), e(&err);
    SmsCommands::sendOutbox(rig.ado(), o, e);
    EXPECT_TRUE(out.contains("ENTRADA 1 ATINGIU O LIMITE DIÁRIO DE 2 SMS")) << out.toStdString();
    EXPECT_EQ(rig.sim->sent(0).size(), 1u);
    EXPECT_EQ(value(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM").toInt(), 2);
    EXPECT_EQ(
        value(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO WHERE IMSI = '724051234567890' AND ENVIADO = 1").toInt(), 2);
}

INSTANTIATE_TEST_SUITE_P(Store, ModemSetupSim, kBothStores, storeName);

} // namespace
