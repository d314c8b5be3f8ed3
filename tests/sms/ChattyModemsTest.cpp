// `--send-outbox` and `--receive-sms` against simulated modems of four makers, with echo on and the lines each
// writes on its own (before echoes, inside them, after the prompt, between an answer and its OK, inside
// listings): every row sent once and read byte for byte, every received message stored once. Text and PDU mode.
#include "ModemTestRig.h"
#include "sms/SmsCommands.h"
#include "store/SmsModeSettings.h"

#include <gtest/gtest.h>

#include <QSqlQuery>

#include <map>

namespace {

const char* const kMakers[] = {"huawei", "zte", "quectel", "cinterion"};

modemsim::PortConfig maker(const char* name) {
    modemsim::PortConfig config;
    EXPECT_TRUE(modemsim::chatterProfile(name, &config.chatter)) << name;
    config.chatter.keepLfAfterCmgs = true; // as a real modem: an LF after AT+CMGS="<number>" CR would be text
    return config;
}

int count(TADO* ado, const QString& sql) {
    QSqlQuery q(ado->database());
    q.exec(sql);
    return q.next() ? q.value(0).toInt() : -1;
}

void setMode(TADO* ado, SmsMode mode) {
    QString error;
    ASSERT_TRUE(writeSmsMode(ado->database(), {mode, false}, &error)) << error.toStdString();
}

} // namespace

TEST(ChattyModems, SendOutboxSendsEveryRowOnceByteForByte) {
    for (const SmsMode mode : {SmsMode::Text, SmsMode::Pdu}) {
        std::vector<modemsim::PortConfig> ports;
        for (const char* name : kMakers)
            ports.push_back(maker(name));
        ModemTestRig rig(ports);
        rig.station.reset(); // the command makes its own
        setMode(rig.ado(), mode);
        rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0");
        // Texts that look like what modems write: each must reach its recipient as it is.
        const QStringList texts{QStringLiteral("Olá, tudo bem?"), QStringLiteral("RING"), QStringLiteral("OK"),
                                QStringLiteral("> ERROR"), QStringLiteral("+CMTI: \"SM\",1")};
        std::map<std::string, QString> expected;
        for (int slot = 1; slot <= 4; ++slot) {
            for (int i = 0; i < int(texts.size()); ++i) {
                const QString fone = QStringLiteral("55119000%1%2").arg(slot).arg(i, 3, 10, QChar('0'));
                expected[fone.toStdString()] = texts[i];
                QSqlQuery q(rig.ado()->database());
                q.prepare("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)");
                q.addBindValue(fone);
                q.addBindValue(texts[i]);
                q.addBindValue(slot);
                ASSERT_TRUE(q.exec());
            }
        }
        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(SmsCommands::sendOutbox(rig.ado(), o, e), 0) << err.toStdString() << out.toStdString();
        const bool pdu = mode == SmsMode::Pdu;
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbMENSAGEM"), 0) << pdu;
        EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1"), 20) << out.toStdString();
        EXPECT_FALSE(out.contains(QStringLiteral("FALHA NO ENVIO"))) << out.toStdString();
        EXPECT_FALSE(out.contains(QStringLiteral("SEM DESCRIÇÃO"))) << out.toStdString();
        EXPECT_FALSE(out.contains(QStringLiteral("DESCARTADA"))) << out.toStdString();
        std::map<std::string, int> received;
        for (int port = 0; port < 4; ++port) {
            for (const modemsim::SentMessage& m : rig.sim->sentMessages(port)) {
                const std::string number = m.number.substr(m.number.rfind('+') + 1); // PDU mode: international
                ++received[number];
                EXPECT_EQ(QString::fromStdString(m.text), expected[number]) << kMakers[port] << " pdu=" << pdu;
                EXPECT_TRUE(m.accepted && m.complete) << kMakers[port];
            }
        }
        EXPECT_EQ(received.size(), expected.size()) << pdu;
        for (const auto& [number, times] : received)
            EXPECT_EQ(times, 1) << number << " pdu=" << pdu;
    }
}

TEST(ChattyModems, ReceiveSmsStoresEveryMessageOnceFromEachMaker) {
    const std::vector<modemsim::StoredSms> inbox{
        {"+5511911110001", "26/12/09,08:00:00-12", "Primeira", false},
        {"+5511911110002", "26/12/09,08:01:00-12", "RING", false},
        {"+5511911110003", "26/12/09,08:02:00-12", "Alo\nNO CARRIER", false},
    };
    for (const char* name : {"huawei", "zte", "quectel", "cinterion", "mbm"}) {
        for (const SmsMode mode : {SmsMode::Text, SmsMode::Pdu}) {
            modemsim::PortConfig config = maker(name);
            config.inbox = inbox;
            ModemTestRig rig({config});
            rig.station.reset();
            setMode(rig.ado(), mode);
            QString out, err;
            QTextStream o(&out), e(&err);
            EXPECT_EQ(SmsCommands::receiveSms(rig.ado(), o, e), 0)
                << name << " " << err.toStdString() << out.toStdString();
            EXPECT_EQ(count(rig.ado(), "SELECT COUNT(*) FROM dbSMS"), 3) << name << out.toStdString();
            for (const modemsim::StoredSms& m : inbox) {
                QSqlQuery q(rig.ado()->database());
                q.prepare("SELECT COUNT(*) FROM dbSMS WHERE FONE = ? AND REPLACE(SMS, char(13), '') = ?");
                q.addBindValue(QString::fromStdString(m.sender));
                q.addBindValue(QString::fromStdString(m.text));
                q.exec();
                ASSERT_TRUE(q.next());
                EXPECT_EQ(q.value(0).toInt(), 1) << name << " " << m.text << " pdu=" << (mode == SmsMode::Pdu);
            }
            for (const modemsim::StoredSms& m : rig.sim->inbox(0))
                EXPECT_TRUE(m.sender.empty()) << name << ": left on the modem";
        }
    }
}
