// The opt-out loop against the simulated modem: a campaign goes out to a group, one recipient answers "Sair",
// `--receive-sms` reads it and the next build leaves that number out. In PDU mode a concatenated message is
// judged by its joined text.
#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTextStream>

#include "ModemTestRig.h"
#include "SimPdu.h"
#include "campaign/BuildOutboxCommand.h"
#include "sms/SmsCommands.h"

namespace {

using modemsim::DeliverSpec;
using modemsim::PortConfig;
using modemsim::StoredSms;

QVariant scalar(TADO* ado, const QString& sql) {
    QSqlQuery q(ado->database());
    if (!q.exec(sql) || !q.next())
        return {};
    return q.value(0);
}

QString buildOutbox(TADO* ado, const QString& group) {
    ModemStation station(ado);
    PortConfigurator* ports = station.configurator();
    ports->setTiming({ModemTestRig::kProbeBound, ModemTestRig::kProbeBound});
    QString out, err;
    QTextStream o(&out), e(&err);
    BuildOutboxCommand::Request r;
    r.group = group;
    const int code =
        BuildOutboxCommand::run(ado, {[ports] { return ports->openAll(); }, ports->verificaPortasFunction()}, r, o, e);
    EXPECT_EQ(code, 0) << err.toStdString();
    return out;
}

TEST(OptOutLoop, ReplySairStopsTheNextCampaign) {
    PortConfig modem;
    // The reply waits on the SIM as a stored message, as it would after the campaign went out.
    modem.inbox = {StoredSms{"+5511987654321", "26/12/10,10:20:30-12", "Sair", false}};
    ModemTestRig rig({modem});
    rig.station.reset(); // each command makes its own, as the command line does
    TADO* ado = rig.ado();
    rig.exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (2, 'CLIENTES')");
    rig.exec("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, DESATIVADO) VALUES "
             "('Ana', '(11) 98765-4321', 'ana@x.com', 2, 0), ('Bia', '11 98765-4322', 'bia@x.com', 2, 0)");
    rig.exec("UPDATE dbCFG SET BODY_SMS = 'Oferta para [NOME]', CASCATA = 10, TEMPO_SMS = 0");
    ado->dbCFG->refresh();

    const QString first = buildOutbox(ado, "CLIENTES");
    EXPECT_TRUE(first.contains("Descadastrados, não enviados: 0\nSMS para envio: 2\n")) << first.toStdString();
    QString out, err;
    QTextStream o(&out), e(&err);
    ASSERT_EQ(SmsCommands::sendOutbox(ado, o, e), 0) << err.toStdString();
    ASSERT_EQ(rig.sim->sent(0).size(), 2u);

    out.clear();
    ASSERT_EQ(SmsCommands::receiveSms(ado, o, e), 0) << err.toStdString();
    std::printf("--receive-sms:\n%s", qPrintable(out));
    EXPECT_TRUE(out.contains("SMS RECEBIDOS: 1\nRemetentes descadastrados: 1\n")) << out.toStdString();
    EXPECT_EQ(
        scalar(ado, "SELECT ENDERECO || '|' || ORIGEM || '|' || TEXTO || '|' || ENTRADA FROM dbDESCADASTRO").toString(),
        "+5511987654321|SMS|Sair|entrada 1");
    EXPECT_EQ(scalar(ado, "SELECT DESATIVADO FROM dbCLIENTE WHERE NOME = 'Ana'").toInt(), 1);

    const QString second = buildOutbox(ado, "CLIENTES");
    std::printf("--build-outbox:\n%s", qPrintable(second));
    EXPECT_TRUE(second.contains(" Descadastrado, não enviado: 11987654321\n")) << second.toStdString();
    EXPECT_TRUE(second.contains("Descadastrados, não enviados: 1\nSMS para envio: 1\n")) << second.toStdString();
    EXPECT_EQ(scalar(ado, "SELECT group_concat(FONE) FROM dbMENSAGEM").toString(), "11987654322");
}

// With the confirmation on, the "Sair" read by --receive-sms puts one SMS in the outbox for slot 1, the
// slot it came in on; --send-outbox sends it like any SMS and keeps it in the history. A second opt-out of
// the same number in another spelling, and a later reading, queue nothing more. Text and PDU mode.
TEST(OptOutLoop, ConfirmationGoesOutOnceThroughTheSlot) {
    for (const char* mode : {"TEXTO", "PDU"}) {
        SCOPED_TRACE(mode);
        PortConfig modem;
        modem.inbox = {StoredSms{"+5511987654321", "26/12/10,10:20:30-12", "Sair", false},
                       StoredSms{"011987654321", "26/12/10,10:25:30-12", "PARE", false}};
        ModemTestRig rig({modem});
        rig.station.reset();
        TADO* ado = rig.ado();
        rig.exec(QStringLiteral("UPDATE dbCFG SET MODO_SMS = '%1', CONFIRMA_SAIR = 1, EMPRESA = 'Loja Azul', "
                                "TEMPO_SMS = 0")
                     .arg(mode));
        ado->dbCFG->refresh();
        QString out, err;
        QTextStream o(&out), e(&err);
        ASSERT_EQ(SmsCommands::receiveSms(ado, o, e), 0) << err.toStdString();
        EXPECT_TRUE(out.contains("SMS RECEBIDOS: 2\nRemetentes descadastrados: 1\n")) << out.toStdString();
        EXPECT_EQ(out.count(" Confirmações de descadastro para envio: 1\n"), 1) << out.toStdString();
        EXPECT_EQ(scalar(ado, "SELECT FONE || '|' || PORTA FROM dbMENSAGEM").toString(), "+5511987654321|1");
        ASSERT_EQ(SmsCommands::sendOutbox(ado, o, e), 0) << err.toStdString();

        const std::string text = "Você não receberá mais mensagens de Loja Azul.";
        const std::vector<modemsim::SentMessage> sent = modemsim::joinedSends(rig.sim->sent(0));
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].number, "+5511987654321");
        EXPECT_EQ(sent[0].text, text);
        EXPECT_TRUE(sent[0].accepted);
        EXPECT_EQ(scalar(ado, "SELECT count(*) FROM dbMENSAGEM").toInt(), 0);
        EXPECT_EQ(scalar(ado, "SELECT DESTINATARIO || '|' || MENSAGEM || '|' || ENVIADO FROM dbHISTORICO").toString(),
                  QString::fromStdString("+5511987654321|" + text + "|1"));

        out.clear();
        ASSERT_EQ(SmsCommands::receiveSms(ado, o, e), 0) << err.toStdString();
        EXPECT_TRUE(out.contains("SMS RECEBIDOS: 0\nRemetentes descadastrados: 0\n")) << out.toStdString();
        EXPECT_FALSE(out.contains("Confirmações")) << out.toStdString();
        EXPECT_EQ(scalar(ado, "SELECT count(*) FROM dbMENSAGEM").toInt(), 0);
        EXPECT_EQ(scalar(ado, "SELECT CONFIRMADO FROM dbDESCADASTRO").toInt(), 1);
    }
}

StoredSms part(const std::string& sender, int reference, int sequence, const std::string& text) {
    DeliverSpec deliver;
    deliver.sender = sender;
    deliver.text = text;
    deliver.concatenated = true;
    deliver.reference = reference;
    deliver.total = 2;
    deliver.sequence = sequence;
    StoredSms sms{sender, deliver.timestamp, text, false};
    sms.pdu = modemsim::encodeDeliverPdu(deliver);
    return sms;
}

// PDU mode: "SA" + "IR." is "SAIR." and opts out; "SAIR" + " amanhã não" is a sentence and does not.
TEST(OptOutLoop, ConcatenatedMessageIsJudgedJoined) {
    PortConfig modem;
    modem.inbox = {part("+5511911110001", 5, 1, "SA"), part("+5511922220002", 6, 1, "SAIR"),
                   part("+5511911110001", 5, 2, "IR."), part("+5511922220002", 6, 2, " amanha nao")};
    ModemTestRig rig({modem});
    rig.station.reset();
    rig.exec("UPDATE dbCFG SET MODO_SMS = 'PDU'");
    rig.ado()->dbCFG->refresh();
    QString out, err;
    QTextStream o(&out), e(&err);
    ASSERT_EQ(SmsCommands::receiveSms(rig.ado(), o, e), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("SMS RECEBIDOS: 2\nRemetentes descadastrados: 1\n")) << out.toStdString();
    EXPECT_EQ(scalar(rig.ado(), "SELECT group_concat(ENDERECO) FROM dbDESCADASTRO").toString(), "+5511911110001");
    EXPECT_EQ(scalar(rig.ado(), "SELECT DESCADASTRO FROM dbSMS WHERE FONE = '+5511922220002'").toInt(), 2);
}

} // namespace
