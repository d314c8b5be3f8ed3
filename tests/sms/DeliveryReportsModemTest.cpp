// Delivery reports as they come from a (simulated) modem: unsolicited "+CDS:" lines read by the response
// coordinator and applied to the history row of the send they report on; "+CDSI:" read with AT+CMGR.
#include "ModemTestRig.h"
#include "SimPdu.h"
#include "modem/ModemLog.h"
#include "sms/DeliveryReportSetup.h"
#include "sms/DeliveryReports.h"
#include "sms/SmsCommands.h"
#include "store/TimeText.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSqlQuery>

namespace {

// "yy/MM/dd,hh:mm:ss-12": the time as a centre three hours west of UTC writes it.
std::string centreStamp(const QDateTime& t) {
    return t.toUTC().addSecs(-3 * 3600).toString("yy/MM/dd,hh:mm:ss").toStdString() + "-12";
}

// "+CDS: <length>" and its PDU line, with or without the centre's address in front.
modemsim::StatusReportSpec reportSpec(int ref, int status, const QDateTime& centre, bool withSmsc) {
    modemsim::StatusReportSpec report;
    report.withSmsc = withSmsc;
    report.messageReference = ref;
    report.recipient = "+5511987654321";
    report.centreTime = centreStamp(centre);
    report.dischargeTime = centreStamp(centre.addSecs(4));
    report.status = status;
    return report;
}

std::string cdsLines(int ref, int status, const QDateTime& centre, bool withSmsc) {
    int length = 0;
    const std::string hex = modemsim::encodeStatusReportPdu(reportSpec(ref, status, centre, withSmsc), &length);
    return "\r\n+CDS: " + std::to_string(length) + "\r\n" + hex + "\r\n";
}

struct Rig : ModemTestRig {
    explicit Rig(modemsim::PortConfig config = {}, StoreLocation::Kind store = StoreLocation::Kind::Sqlite)
        : ModemTestRig({std::move(config)}, store) {}
    qint64 sentRow(int ref) {
        exec(
            "INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO) VALUES ('5511987654321', 'oi', 'SMS', 1)");
        QSqlQuery q(ado()->database());
        q.exec("SELECT MAX(ID_HISTORICO) FROM dbHISTORICO");
        q.next();
        const qint64 id = q.value(0).toLongLong();
        QSqlDatabase db = ado()->database();
        QString error;
        if (!DeliveryReports::remember(db, 1, {ref}, id, &error, QDateTime::currentDateTime()))
            throw std::runtime_error(error.toStdString());
        return id;
    }
    QString status(qint64 id) {
        QSqlQuery q(ado()->database());
        q.exec(QStringLiteral("SELECT coalesce(STATUS_ENTREGA, '') || '|' || coalesce(ENTREGUE, '') FROM dbHISTORICO "
                              "WHERE ID_HISTORICO = %1")
                   .arg(id));
        return q.next() ? q.value(0).toString() : QStringLiteral("?");
    }
    int held() {
        QSqlQuery q(ado()->database());
        q.exec("SELECT COUNT(*) FROM dbENTREGA_PENDENTE WHERE ID_HISTORICO IS NULL");
        return q.next() ? q.value(0).toInt() : -1;
    }
    bool logged(const QString& part) {
        const QStringList lines = station->sendLog()->lines();
        return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(part); });
    }
};

class DeliveryReportsModemOnStore : public StoreParam {};

TEST_P(DeliveryReportsModemOnStore, ReportMarksItsRowOnDiskAndOnScreenUnknownOneChangesNothing) {
    Rig rig({}, GetParam());
    ASSERT_TRUE(rig.configurator()->openAll());
    const qint64 first = rig.sentRow(17);
    const qint64 second = rig.sentRow(18);
    // The history page shows both rows; the report changes the one shown without a new search.
    Dataset* h = rig.ado()->dbHISTORICO;
    h->setSql("SELECT * FROM dbHISTORICO ORDER BY ID_HISTORICO");
    ASSERT_TRUE(h->open());
    const QDateTime now = QDateTime::currentDateTime();
    for (const bool withSmsc : {true, false}) {
        rig.sim->inject(0, cdsLines(withSmsc ? 17 : 18, 0x00, now, withSmsc));
        const qint64 id = withSmsc ? first : second;
        ASSERT_TRUE(rig.waitUntil([&] { return rig.status(id).startsWith("Entregue|"); })) << withSmsc;
    }
    EXPECT_EQ(rig.status(first), "Entregue|" + DeliveryReports::stored(now.addSecs(4)));
    EXPECT_TRUE(rig.logged("ENTRADA 1 RELATÓRIO DE ENTREGA PARA 5511987654321 ID 17: Entregue"));
    ASSERT_TRUE(h->locate("ID_HISTORICO", first));
    EXPECT_EQ(h->text("STATUS_ENTREGA"), "Entregue");
    EXPECT_FALSE(h->text("ENTREGUE").isEmpty());

    rig.sim->inject(0, cdsLines(99, 0x41, now, true));
    ASSERT_TRUE(rig.waitUntil([&] { return rig.held() == 1; }));
    EXPECT_EQ(rig.status(first), "Entregue|" + DeliveryReports::stored(now.addSecs(4)));
    // A PDU that is no report is said, and changes nothing.
    rig.sim->inject(0, "\r\n+CDS: 3\r\n00AB12\r\n");
    ASSERT_TRUE(rig.waitUntil([&] { return rig.logged("ENTRADA 1 RELATÓRIO DE ENTREGA ILEGÍVEL: "); }));
    EXPECT_EQ(rig.held(), 1);
}

// "+CDSI:" asks for a read; a modem that cannot give the report keeps it (no AT+CMGD) and says so.
TEST(DeliveryReportsModem, StoredReportIsReadAndKeptWhenTheReadFails) {
    Rig rig;
    ASSERT_TRUE(rig.configurator()->openAll());
    rig.sim->inject(0, "\r\n+CDSI: \"SR\",3\r\n");
    ASSERT_TRUE(rig.waitUntil([&] { return rig.logged("ENTRADA 1 RELATÓRIO DE ENTREGA 3 NÃO LIDO"); }));
    const std::string sent = rig.sim->received(0);
    EXPECT_NE(sent.find("AT+CMGR=3\r"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("AT+CMGD=3"), std::string::npos) << sent;
}

// A modem that announces a stored report and never answers its AT+CMGR: the wait ends after the bound on the
// coordinator's clock (no real time-out), is said, and the next announced report is read; the first stays on
// the modem (no AT+CMGD), for a later reading.
TEST(DeliveryReportsModem, UnansweredStoredReadEndsAndLaterReportsAreRead) {
    modemsim::PortConfig config;
    config.silentRead = true;
    Rig rig(config);
    QDateTime now = QDateTime::currentDateTime();
    rig.station->coordinator()->setClock([&now] { return now; });
    ASSERT_TRUE(rig.configurator()->openAll());
    rig.sim->inject(0, "\r\n+CDSI: \"SR\",3\r\n");
    ASSERT_TRUE(rig.waitUntil([&] { return rig.sim->received(0).find("AT+CMGR=3\r") != std::string::npos; }));
    rig.sim->inject(0, "\r\n+CDSI: \"SR\",4\r\n");
    // Short of the bound the slot still waits for the reply.
    now = now.addMSecs(ResponseCoordinator::kStoredReplyTimeoutMs - 1000);
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(rig.sim->received(0).find("AT+CMGR=4\r"), std::string::npos);
    now = now.addMSecs(2000);
    ASSERT_TRUE(rig.waitUntil([&] { return rig.sim->received(0).find("AT+CMGR=4\r") != std::string::npos; }))
        << rig.sim->received(0);
    EXPECT_TRUE(rig.logged("ENTRADA 1 RELATÓRIO DE ENTREGA 3 SEM RESPOSTA DO MODEM: MANTIDO NO MODEM"));
    EXPECT_EQ(rig.sim->received(0).find("AT+CMGD=3"), std::string::npos);
    // The reply that comes now may be the late one of report 3: it is applied, and nothing is deleted on its word.
    const qint64 id = rig.sentRow(17);
    int length = 0;
    const std::string hex =
        modemsim::encodeStatusReportPdu(reportSpec(17, 0x00, QDateTime::currentDateTime(), true), &length);
    rig.sim->inject(0, "\r\n+CMGR: 0,," + std::to_string(length) + "\r\n" + hex + "\r\n\r\nOK\r\n");
    ASSERT_TRUE(rig.waitUntil([&] { return rig.status(id).startsWith("Entregue|"); }));
    rig.slot(1)->channel()->WriteText(QByteArrayLiteral("AT+CSQ\r")); // what was written before it has arrived
    ASSERT_TRUE(rig.waitUntil([&] { return rig.sim->received(0).find("AT+CSQ\r") != std::string::npos; }));
    EXPECT_EQ(rig.sim->received(0).find("AT+CMGD="), std::string::npos) << rig.sim->received(0);
    now = now.addMSecs(ResponseCoordinator::kStoredReplyTimeoutMs + 1000);
    ASSERT_TRUE(rig.waitUntil([&] { return !rig.station->coordinator()->storedReportsPending(); }));
}

// A modem that refuses a way of passing reports on is asked the next one, in order; the slot is free after.
TEST(DeliveryReportsModem, SetUpTriesEachReportModeInOrder) {
    const QList<QByteArray>& commands = DeliveryReportSetup::reportCommands();
    for (int refused = 0; refused <= int(commands.size()); ++refused) {
        modemsim::PortConfig config;
        for (int i = 0; i < refused; ++i)
            config.refusedCnmi.insert(commands[i].mid(8).toStdString()); // "AT+CNMI=" left out
        Rig rig(config);
        ASSERT_TRUE(rig.configurator()->openAll());
        const QList<int> enabled = DeliveryReportSetup::enable(rig.station->portSlots(), rig.station->coordinator(),
                                                               int(ModemTestRig::kProbeBound));
        EXPECT_EQ(enabled, refused < commands.size() ? QList<int>{1} : QList<int>{}) << refused;
        const std::string sent = rig.sim->received(0);
        std::size_t at = sent.find("AT+CMGF=0\r");
        ASSERT_NE(at, std::string::npos) << sent;
        for (int i = 0; i < int(commands.size()); ++i) {
            const std::size_t next = sent.find(commands[i].toStdString() + "\r", at);
            EXPECT_EQ(next != std::string::npos, i <= refused) << i << "\n" << sent;
            at = next == std::string::npos ? at : next;
        }
        EXPECT_EQ(rig.station->coordinator()->state(1).phase(), SlotState::Phase::Idle);
    }
}

// "+CDSI:" for a report the modem stored: read with AT+CMGR once the slot is free, applied, then deleted.
TEST_P(DeliveryReportsModemOnStore, StoredReportIsReadAppliedAndDeleted) {
    modemsim::PortConfig config;
    modemsim::StoredSms stored;
    stored.sender = "+5511987654321";
    stored.statusReport = true;
    stored.pdu = modemsim::encodeStatusReportPdu(reportSpec(17, 0x00, QDateTime::currentDateTime(), true));
    config.inbox = {stored};
    Rig rig(config, GetParam());
    ASSERT_TRUE(rig.configurator()->openAll());
    ASSERT_EQ(DeliveryReportSetup::enable(rig.station->portSlots(), rig.station->coordinator(),
                                          int(ModemTestRig::kProbeBound)),
              QList<int>{1});
    const qint64 id = rig.sentRow(17);
    rig.sim->inject(0, "\r\n+CDSI: \"SM\",1\r\n");
    ASSERT_TRUE(rig.waitUntil([&] { return rig.status(id).startsWith("Entregue|"); }));
    ASSERT_TRUE(rig.waitUntil([&] { return rig.sim->received(0).find("AT+CMGD=1\r") != std::string::npos; }));
    EXPECT_TRUE(rig.logged("ENTRADA 1 RELATÓRIO DE ENTREGA PARA 5511987654321 ID 17: Entregue"));
}

// The report of an earlier run's send, kept by the modem among its messages, is applied by the next reading
// (--receive-sms here) and then deleted; the messages beside it are read as usual.
TEST(DeliveryReportsModem, ReportKeptByTheModemIsAppliedByALaterRun) {
    modemsim::PortConfig config;
    modemsim::StoredSms report;
    report.sender = "+5511987654321";
    report.statusReport = true;
    report.pdu = modemsim::encodeStatusReportPdu(reportSpec(23, 0x41, QDateTime::currentDateTime(), true));
    modemsim::StoredSms message;
    message.sender = "+5511911112222";
    message.timestamp = "26/12/09,10:00:00-12";
    message.text = "Recebido";
    config.inbox = {report, message};
    Rig rig(config);
    rig.exec("UPDATE dbCFG SET MODO_SMS = 'PDU', CONFIRMA_ENTREGA = 1");
    const qint64 id = rig.sentRow(23);
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    ASSERT_EQ(SmsCommands::receiveSms(rig.ado(), out, err), 0) << errText.toStdString();
    EXPECT_TRUE(outText.contains("SMS RECEBIDOS: 1")) << outText.toStdString();
    EXPECT_EQ(rig.status(id), "Falhou: destino incompatível|");
    EXPECT_NE(rig.sim->received(0).find("AT+CMGD=1\r"), std::string::npos) << rig.sim->received(0);
}

// A report the network delivers while slot 1 lists its messages (AT+CMGL=4) is applied like any other, and the
// messages around it are read as usual.
TEST(DeliveryReportsModem, ReportArrivingDuringTheInboxListingIsApplied) {
    modemsim::PortConfig config;
    for (const char* text : {"Primeira", "Segunda"}) {
        modemsim::StoredSms message;
        message.sender = "+5511911112222";
        message.timestamp = "26/12/09,10:00:00-12";
        message.text = text;
        config.inbox.push_back(message);
    }
    const QDateTime now = QDateTime::currentDateTime();
    config.listingUnsolicited = cdsLines(41, 0x00, now, true).substr(2);
    Rig rig(config);
    rig.exec("UPDATE dbCFG SET MODO_SMS = 'PDU', CONFIRMA_ENTREGA = 1");
    const qint64 id = rig.sentRow(41);
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    ASSERT_EQ(SmsCommands::receiveSms(rig.ado(), out, err), 0) << errText.toStdString();
    EXPECT_TRUE(outText.contains("SMS RECEBIDOS: 2")) << outText.toStdString();
    EXPECT_EQ(rig.status(id), "Entregue|" + DeliveryReports::stored(now.addSecs(4))) << outText.toStdString();
    EXPECT_EQ(rig.held(), 0);
    EXPECT_FALSE(outText.contains("NÃO PÔDE SER LIDO")) << outText.toStdString();
}

// End to end: an SMS sent through the simulated modem (`--send-outbox` in PDU mode with delivery reports asked
// for), the report the simulator sends back, and the history row of that send marked "Entregue" with its time.
// Both ways a modem passes a report on: "+CDS:" straight to the port, and "+CDSI:" for one it stored.
TEST(DeliveryReportsEndToEnd, SentMessageIsMarkedDeliveredByItsReport) {
    for (const bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "+CDSI" : "+CDS");
        modemsim::PortConfig config;
        config.reportStored = stored;
        config.reportDelayMs = 200;
        Rig rig(config);
        rig.exec("UPDATE dbCFG SET MODO_SMS = 'PDU', CONFIRMA_ENTREGA = 1");
        rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511987654321', 'Olá', 1)");
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        ASSERT_EQ(SmsCommands::sendOutbox(rig.ado(), out, err), 0) << errText.toStdString() << outText.toStdString();
        EXPECT_TRUE(outText.contains("ENVIADAS: 1")) << outText.toStdString();
        EXPECT_FALSE(outText.contains("NÃO RECEBIDOS")) << outText.toStdString();
        QSqlQuery q(rig.ado()->database());
        ASSERT_TRUE(q.exec("SELECT ID_HISTORICO FROM dbHISTORICO WHERE DESTINATARIO = '5511987654321'"));
        ASSERT_TRUE(q.next());
        const qint64 id = q.value(0).toLongLong();
        const QStringList status = rig.status(id).split('|');
        ASSERT_EQ(status.size(), 2);
        EXPECT_EQ(status[0], "Entregue") << outText.toStdString();
        EXPECT_TRUE(TimeText::isStoredStamp(status[1])) << status[1].toStdString();
        EXPECT_EQ(rig.held(), 0);
    }
}

// A report that comes after `--send-outbox` has stopped waiting: the modem keeps it, and the next program
// that opens the port (`--receive-sms` here) applies it to the send's history row.
TEST(DeliveryReportsEndToEnd, ReportAfterTheSendEndedIsAppliedByTheNextRun) {
    modemsim::PortConfig config;
    config.reportStored = true;
    config.reportDelayMs = 4000; // well after the send has ended
    Rig rig(config);
    rig.exec("UPDATE dbCFG SET MODO_SMS = 'PDU', CONFIRMA_ENTREGA = 1");
    rig.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511987654321', 'Olá', 1)");
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    // On this clock every reading is 11 s after the one before: the wait for reports ends at its first look.
    const QDateTime start = QDateTime::currentDateTime();
    int readings = 0;
    const SmsCommands::Clock late = [&] { return start.addSecs(11 * readings++); };
    ASSERT_EQ(SmsCommands::sendOutbox(rig.ado(), out, err, false, late), 0) << errText.toStdString();
    EXPECT_TRUE(outText.contains("RELATÓRIOS DE ENTREGA NÃO RECEBIDOS: 1")) << outText.toStdString();
    QSqlQuery q(rig.ado()->database());
    ASSERT_TRUE(q.exec("SELECT ID_HISTORICO FROM dbHISTORICO WHERE DESTINATARIO = '5511987654321'"));
    ASSERT_TRUE(q.next());
    const qint64 id = q.value(0).toLongLong();
    EXPECT_EQ(rig.status(id).toStdString(), "Pendente|"); // sent, its report still to come
    // The report reaches the modem with no program on the port, and waits among its messages.
    ASSERT_TRUE(rig.waitUntil([&] {
        const std::vector<modemsim::StoredSms> inbox = rig.sim->inbox(0);
        return std::any_of(inbox.begin(), inbox.end(), [](const modemsim::StoredSms& m) { return m.statusReport; });
    }));
    QString outText2, errText2;
    QTextStream out2(&outText2), err2(&errText2);
    ASSERT_EQ(SmsCommands::receiveSms(rig.ado(), out2, err2), 0) << errText2.toStdString();
    EXPECT_TRUE(rig.status(id).startsWith("Entregue|")) << outText2.toStdString();
    EXPECT_EQ(rig.held(), 0);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, DeliveryReportsModemOnStore, kBothStores, storeName);
