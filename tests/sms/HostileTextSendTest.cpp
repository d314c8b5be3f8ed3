// Contact data that tries to run AT commands inside the modem's "> " prompt, from the outbox
// builder through the sender to a simulated modem: the modem takes exactly one SMS per outbox row,
// to the row's number, with the row's text.
#include "SmsBench.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"

#include <gtest/gtest.h>

using namespace modemsim;

namespace {

TEST(HostileText, OneSmsPerOutboxRowWhateverTheContactData) {
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    TADO* ado = bench.data.ado.get();
    bench.sql("UPDATE dbCFG SET BODY_SMS = 'Oi [NOME], [TEXTO]', TEMPO_SMS = 0");
    ado->dbCFG->refresh();
    const QChar nul(0);
    const QString payloads[] = {
        "Maria\x1A"
        "AT+CMGS=\"5511999990000\"\rCompre agora",
        "Ana\x1B"
        "AT+CMGS=\"5511999990001\"\r",
        "linha\r\nAT+CMGD=1,4\r\n",
        QString("nul") + nul + "AT",
        "apaga\x7F",
        "\x1A\x1B\r\n\x01",
    };
    int i = 0;
    for (const QString& nome : payloads)
        bench.sql("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO, TEXTO) VALUES (?, ?, 1, ?)",
                  {nome, QStringLiteral("1198765430%1").arg(i++), QStringLiteral("x\x1Ay")});
    TDM set(ado);
    ASSERT_TRUE(set.connectSource(TDM::CadastroLocal));
    set.markAll();
    OutboxBuilder builder(ado);
    builder.setVerificaPortas([&] {
        bench.sql("DELETE FROM dbPORTA_ATIVA");
        bench.sql("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 100)");
        return true;
    });
    ASSERT_EQ(builder.run(&set).outcome, OutboxBuilder::Outcome::Done);
    std::vector<std::pair<std::string, std::string>> rows;
    QSqlQuery q = bench.sql("SELECT FONE, MENSAGEM FROM dbMENSAGEM ORDER BY ID");
    while (q.next())
        rows.emplace_back(q.value(0).toString().toStdString(), q.value(1).toString().toStdString());
    ASSERT_EQ(rows.size(), std::size(payloads));
    for (const auto& row : rows)
        for (const char c : row.second)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << row.second;

    ASSERT_TRUE(bench.send()); // real clock: each wait ends the moment the modem answers
    std::vector<std::pair<std::string, std::string>> accepted;
    for (const SentSms& sms : bench.sim->sent(0))
        accepted.emplace_back(sms.number, sms.text);
    EXPECT_EQ(accepted, rows);
    EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
    EXPECT_EQ(bench.count("dbHISTORICO"), int(rows.size()));
}

} // namespace
