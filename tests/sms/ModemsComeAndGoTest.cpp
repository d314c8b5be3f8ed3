// `--send-outbox` with modems that are not there when the send needs them: a modem still booting when the send
// begins, a modem pulled out in the middle of the send and plugged in again (with the same SIM or another), a
// modem that never comes back. Every row ends sent exactly once or still in the outbox; a row whose text may
// have reached the modem is not sent again.
#include "ModemTestRig.h"
#include "sms/SmsCommands.h"
#include "store/SmsModeSettings.h"

#include <gtest/gtest.h>

#include <QSqlQuery>

#include <map>

namespace {

QVariant value(TADO* ado, const QString& sql) {
    QSqlQuery q(ado->database());
    q.exec(sql);
    return q.next() ? q.value(0) : QVariant();
}

int count(TADO* ado, const QString& sql) {
    return value(ado, sql).toInt();
}

void addRows(ModemTestRig& rig, int slot, int rows, const QString& text = QStringLiteral("oi")) {
    for (int i = 0; i < rows; ++i) {
        QSqlQuery q(rig.ado()->database());
        q.prepare("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)");
        q.addBindValue(QStringLiteral("55119%1%2").arg(slot, 2, 10, QChar('0')).arg(i, 6, 10, QChar('0')));
        q.addBindValue(text);
        q.addBindValue(slot);
        ASSERT_TRUE(q.exec());
    }
}

struct SendRun {
    int code = -1;
    QString out, err;
};

SendRun sendOutbox(ModemTestRig& rig) {
    SendRun run;
    QTextStream o(&run.out), e(&run.err);
    run.code = SmsCommands::sendOutbox(rig.ado(), o, e);
    return run;
}

// No recipient got the same message twice, by the simulator's own record of what left each modem.
int sentTwice(ModemTestRig& rig) {
    std::map<std::string, int> times;
    for (int port = 0; port < rig.sim->portCount(); ++port)
        for (const modemsim::SentSms& sms : rig.sim->sent(port))
            if (sms.accepted && sms.parts <= 1)
                ++times[sms.number];
    int twice = 0;
    for (const auto& [number, n] : times)
        twice += n > 1 ? 1 : 0;
    return twice;
}

int accepted(ModemTestRig& rig, int port) {
    int n = 0;
    for (const modemsim::SentSms& sms : rig.sim->sent(port))
        n += sms.accepted ? 1 : 0;
    return n;
}

} // namespace

// A modem still booting when the send begins (it answers nothing for seconds, then says RDY and the rest) is
// asked again every 5 s and joins the send; with no other modem ready the send still waits for it.
TEST(ModemsComeAndGo, ModemStillBootingJoinsTheSend) {
    for (const bool alone : {false, true}) {
        SCOPED_TRACE(alone ? "only the booting modem" : "beside a ready modem");
        modemsim::PortConfig booting;
        booting.sim.bootSilentMs = 2500;
        std::vector<modemsim::PortConfig> ports{booting};
        if (!alone)
            ports.insert(ports.begin(), modemsim::PortConfig{});
        ModemTestRig rig(ports);
        rig.station.reset();
        rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0, ESPERA_REDE_S = 60");
        const int late = alone ? 1 : 2;
        if (!alone)
            addRows(rig, 1, 3);
        addRows(rig, late, 3);
        const SendRun run = sendOutbox(rig);
        EXPECT_EQ(run.code, 0) << run.err.toStdString() << run.out.toStdString();
        EXPECT_TRUE(
            run.out.contains(QStringLiteral("ENTRADA %1 NÃO PRONTA: NOVA TENTATIVA A CADA 5 S POR ATÉ 60 S").arg(late)))
            << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("ENTRADA %1 PRONTA: ENTRA NO ENVIO").arg(late)))
            << run.out.toStdString();
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM"), 0) << run.out.toStdString();
        EXPECT_EQ(accepted(rig, late - 1), 3);
        EXPECT_EQ(sentTwice(rig), 0);
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1"), alone ? 3 : 6);
    }
}

// A modem pulled out in the middle of the send: its slot says "desconectado", its worker ends, the port is
// opened again every 2 s, and the modem that comes back (a fresh one: echo on, network search) with the same
// SIM goes on with the rows. The row whose AT+CMGS was written as the modem went (no prompt came) is sent then.
TEST(ModemsComeAndGo, ModemPulledOutAndBackWithTheSameSimGoesOn) {
    for (const SmsMode mode : {SmsMode::Text, SmsMode::Pdu}) {
        SCOPED_TRACE(mode == SmsMode::Pdu ? "PDU" : "text");
        modemsim::PortConfig flaky;
        flaky.unplugAfter = 2;
        flaky.replugAfterMs = 1500;
        flaky.sim.registerAfterMs = 1000; // back, it looks for the network a while
        ModemTestRig rig({flaky, modemsim::PortConfig{}});
        rig.station.reset();
        QString error;
        ASSERT_TRUE(writeSmsMode(rig.ado()->database(), {mode, false}, &error));
        rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0, ESPERA_REDE_S = 60");
        addRows(rig, 1, 6);
        addRows(rig, 2, 4);
        const SendRun run = sendOutbox(rig);
        EXPECT_EQ(run.code, 0) << run.err.toStdString() << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("ENTRADA 1 DESCONECTADA: ")) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("ENTRADA 1 RECONECTADA: ENVIO CONTINUA")) << run.out.toStdString();
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM"), 0) << run.out.toStdString();
        EXPECT_EQ(accepted(rig, 0), 6);
        EXPECT_EQ(accepted(rig, 1), 4);
        EXPECT_EQ(sentTwice(rig), 0);
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1"), 10);
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 0"), 0) << run.out.toStdString();
    }
}

// Pulled out between the parts of a long PDU-mode message: the parts that left cannot be taken back, so the row
// stays in the outbox marked in flight and is not sent again; the other rows go once the modem is back.
TEST(ModemsComeAndGo, ModemPulledOutBetweenTheParts) {
    modemsim::PortConfig flaky;
    flaky.unplugAfter = 2; // the first two parts of the three
    flaky.replugAfterMs = 1000;
    ModemTestRig rig({flaky});
    rig.station.reset();
    QString error;
    ASSERT_TRUE(writeSmsMode(rig.ado()->database(), {SmsMode::Pdu, false}, &error));
    rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0, ESPERA_REDE_S = 60");
    addRows(rig, 1, 1, QString(400, QChar('a'))); // three parts
    addRows(rig, 1, 2);
    const SendRun run = sendOutbox(rig);
    EXPECT_EQ(run.code, 0) << run.err.toStdString() << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("PORTA DESCONECTADA DURANTE O ENVIO PARA 5511901000000: MENSAGEM MANTIDA NA CAIXA"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("ENVIO INTERROMPIDO PARA 5511901000000 (PODE TER SIDO ENTREGUE): NÃO REENVIADA"))
        << run.out.toStdString();
    EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL"), 1);
    EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM"), 1);
    const std::vector<modemsim::SentSms> sent = rig.sim->sent(0);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].parts, 3);
    EXPECT_EQ(sent[1].part, 2);
    EXPECT_EQ(sent[2].parts, 1);
    EXPECT_EQ(sentTwice(rig), 0);
}

// Back with another SIM: the slot stops (another SIM may belong to another account, another sender number);
// the rows stay. A modem that never comes back: the rows stay after ESPERA_REDE_S. Both end with 1.
TEST(ModemsComeAndGo, AnotherSimOrNoModemStopsTheSlotKeepingItsRows) {
    struct Case {
        const char* name;
        int replugAfterMs;
        const char* line;
    };
    const Case cases[] = {
        {"another SIM", 500, "ENTRADA 1 OUTRO CHIP NA PORTA (IMSI ANTES 724051234567890, AGORA 724059999999999)"},
        {"never back", -1, "ENTRADA 1 NÃO VOLTOU EM 3 S: MENSAGENS MANTIDAS NA CAIXA DE SAÍDA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        modemsim::PortConfig flaky;
        flaky.unplugAfter = 1;
        flaky.replugAfterMs = c.replugAfterMs;
        flaky.replugImsi = "724059999999999";
        ModemTestRig rig({flaky});
        rig.station.reset();
        rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0, ESPERA_REDE_S = 3");
        addRows(rig, 1, 3);
        const SendRun run = sendOutbox(rig);
        EXPECT_EQ(run.code, 1) << run.err.toStdString() << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(QString::fromUtf8(c.line))) << run.out.toStdString();
        EXPECT_EQ(accepted(rig, 0), 1);
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM"), 2);
        // Their texts never reached a modem: they go with the next send, no operator's word needed.
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL"), 0);
        EXPECT_TRUE(run.out.trimmed().endsWith("ENVIADAS: 1  FALHAS: 0  NA CAIXA DE SAÍDA: 2"))
            << run.out.toStdString();
    }
}
