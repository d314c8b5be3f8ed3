// `--send-outbox` and `--receive-sms` against simulated modems on COM1..N.
#include "sms/SmsCommands.h"
#include "ModemTestRig.h"

#include <gtest/gtest.h>

#include <QSqlQuery>

namespace {

int count(TADO* ado, const QString& table) {
    QSqlQuery q(ado->database());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace

TEST(SmsCommands, SendOutboxSendsEveryRowAndPrintsTheLog) {
    ModemTestRig rig({modemsim::PortConfig{}, modemsim::PortConfig{}});
    rig.station.reset(); // the command makes its own
    for (int i = 0; i < 3; ++i)
        rig.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('55119000000%1', 'oi %1', %2)")
                     .arg(i)
                     .arg(i % 2 + 1));
    rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000099', 'sem modem', 7)");
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 0) << err.toStdString();
    EXPECT_EQ(count(rig.ado(), "dbMENSAGEM"), 1); // slot 7 has no modem: its row stays
    EXPECT_EQ(count(rig.ado(), "dbHISTORICO"), 3);
    EXPECT_EQ(out.count(" MENSAGEM ENVIADA PARA 55119000000"), 3) << out.toStdString();
    EXPECT_EQ(out.count(" Preparando SMS para o Fone="), 3);
    EXPECT_EQ(rig.sim->sent(0).size() + rig.sim->sent(1).size(), 3u);
    // The slot that was not ready is named; the last line sums the send up.
    const QStringList printed = out.trimmed().split('\n');
    EXPECT_TRUE(printed.contains(QStringLiteral("ENTRADAS NÃO PRONTAS (MENSAGENS MANTIDAS NA CAIXA DE SAÍDA): 7")))
        << out.toStdString();
    EXPECT_EQ(printed.last(), QStringLiteral("ENVIADAS: 3  FALHAS: 0  NA CAIXA DE SAÍDA: 1"));
}

TEST(SmsCommands, SendOutboxWithoutAReadySlotExitsTwo) {
    modemsim::PortConfig silent;
    silent.silent = true;
    ModemTestRig rig({silent});
    rig.station.reset();
    rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000001', 'oi', 1)");
    QString out, err;
    QTextStream o(&out), e(&err);
    // No wait for a late modem: at once.
    rig.exec("UPDATE dbCFG SET ESPERA_REDE_S = 0");
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 2);
    EXPECT_TRUE(err.startsWith("Nenhuma porta foi aberta!\n")) << err.toStdString();
    EXPECT_EQ(count(rig.ado(), "dbMENSAGEM"), 1);
    // Waited for a second, the modem stays silent: the same end, said in the log too.
    rig.exec("UPDATE dbCFG SET ESPERA_REDE_S = 1");
    out.clear();
    err.clear();
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 2);
    EXPECT_TRUE(err.startsWith("Nenhuma porta foi aberta!\n")) << err.toStdString();
    EXPECT_TRUE(out.contains("ENTRADA 1 NÃO FICOU PRONTA EM 1 S: MENSAGENS MANTIDAS NA CAIXA DE SAÍDA"))
        << out.toStdString();
    EXPECT_EQ(count(rig.ado(), "dbMENSAGEM"), 1);
}

TEST(SmsCommands, ReceiveSmsMovesSlotOnesMessages) {
    modemsim::PortConfig withInbox;
    withInbox.inbox = {{"+5511911110001", "09/12/26,08:00:00-12", "Chegou", false}};
    ModemTestRig rig({withInbox});
    rig.station.reset();
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(SmsCommands::receiveSms(rig.ado(), o, e), 0) << err.toStdString();
    EXPECT_EQ(count(rig.ado(), "dbSMS"), 1);
    EXPECT_TRUE(rig.sim->inbox(0).empty() || rig.sim->inbox(0)[0].sender.empty());
}

// Through the program's own coordinator (results stored in batches): whatever the modems answer,
// every outbox row ends either still in the outbox or as exactly one history row.
TEST(SmsCommands, SendOutboxKeepsEveryRowWhateverTheModemsDo) {
    std::vector<modemsim::PortConfig> ports(4);
    ports[0].failRate = 0.5;
    ports[1].failRate = 0.5;
    ports[1].cmsError = 0; // plain "ERROR"
    ports[2].garbage = true;
    ports[3].unplugAfter = 3;
    ModemTestRig rig(ports);
    rig.station.reset();
    rig.exec("UPDATE dbCFG SET TEMPO_SMS = 300");   // the unplugged modem is gone before its next row
    rig.exec("UPDATE dbCFG SET ESPERA_REDE_S = 1"); // and does not come back
    for (int slot = 1; slot <= 4; ++slot)
        for (int i = 0; i < 6; ++i)
            rig.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('551190000%1%2', 'm', %1)")
                         .arg(slot)
                         .arg(i, 2, 10, QChar('0')));
    QString out, err;
    QTextStream o(&out), e(&err);
    // The unplugged modem's worker stopped on its lost port: exit 1.
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 1) << err.toStdString();
    const int left = count(rig.ado(), "dbMENSAGEM");
    EXPECT_EQ(left + count(rig.ado(), "dbHISTORICO"), 24) << out.toStdString();
    EXPECT_EQ(left, 3); // the unplugged modem's last rows wait for the next send
    QSqlQuery twice(rig.ado()->database());
    twice.exec("SELECT COUNT(*) FROM (SELECT DESTINATARIO FROM dbHISTORICO GROUP BY DESTINATARIO HAVING COUNT(*) > 1)");
    ASSERT_TRUE(twice.next());
    EXPECT_EQ(twice.value(0).toInt(), 0);
}

// A result whose history row cannot be stored is said in the send log; its row and the rows after
// it stay in the outbox and the slot stops, rather than the worker deleting an unrecorded row.
TEST(SmsCommands, SendOutboxKeepsARowWhoseResultCannotBeRecorded) {
    ModemTestRig rig({modemsim::PortConfig{}});
    rig.station.reset();
    rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0");
    for (int i = 1; i <= 3; ++i)
        rig.exec(
            QStringLiteral("INSERT INTO dbMENSAGEM (ID, FONE, MENSAGEM, PORTA) VALUES (%1, '551190000000%1', 'm', 1)")
                .arg(i));
    rig.exec("CREATE TRIGGER sem_historico BEFORE INSERT ON dbHISTORICO WHEN NEW.DESTINATARIO = '5511900000002' "
             "BEGIN SELECT RAISE(ABORT, 'disco cheio'); END");
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 1) << err.toStdString();
    EXPECT_EQ(count(rig.ado(), "dbHISTORICO"), 1);
    EXPECT_EQ(count(rig.ado(), "dbMENSAGEM"), 2);
    EXPECT_TRUE(out.trimmed().endsWith("ENVIADAS: 1  FALHAS: 0  NA CAIXA DE SAÍDA: 2")) << out.toStdString();
    EXPECT_TRUE(out.contains(" ENTRADA 1 ERRO AO GRAVAR O HISTÓRICO: ")) << out.toStdString();
}
