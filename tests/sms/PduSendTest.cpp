// The send through the program's own modem station (slots, response coordinator, workers) against
// simulated modems: in-flight marks committed with the results, and PDU mode end to end.
#include "ModemTestRig.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"
#include "sms/TMeuThread.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QThread>

#include <atomic>
#include <map>
#include <set>

namespace {

// Slots 1..N of the rig sending their outbox through the real coordinator.
struct Station {
    ModemTestRig rig;
    SmsStation sms;
    std::map<int, TMeuThread::End> ends;

    Station(StoreLocation::Kind store, std::vector<modemsim::PortConfig> ports) : Station(std::move(ports), store) {}
    explicit Station(std::vector<modemsim::PortConfig> ports, StoreLocation::Kind store = StoreLocation::Kind::Sqlite)
        : rig(std::move(ports), store), sms(rig.ado()) {
        rig.station->attach(&sms);
        rig.configurator()->openAll();
        for (int n = 1; n <= rig.sim->portCount(); ++n) {
            if (!rig.slot(n)->channel()->isOpen())
                rig.slot(n)->channel()->open();
            rig.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (%1, 10)").arg(n));
        }
        rig.exec(QStringLiteral("UPDATE dbCFG SET TEMPO_SMS = 0"));
        QObject::connect(sms.sender(), &SmsSender::workerEnded,
                         [this](int slot, TMeuThread::End e) { ends[slot] = e; });
        QObject::connect(sms.sender()->screen(), &SendScreen::sendLogLine,
                         [this](const QString& line) { workerLines << line; });
    }
    void addRow(int porta, const QString& fone, const QString& text) {
        QSqlQuery q(rig.ado()->database());
        q.prepare(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)"));
        q.addBindValue(fone);
        q.addBindValue(text);
        q.addBindValue(porta);
        ASSERT_TRUE(q.exec());
    }
    void pduMode(bool confirm = false) {
        rig.exec(QStringLiteral("UPDATE dbCFG SET MODO_SMS = 'PDU', CONFIRMA_ENTREGA = %1").arg(confirm ? 1 : 0));
    }
    // Time in the workers' waits runs 100 times faster than on the wall; no modem that answers is
    // late by it, however busy the machine.
    bool send(int timeoutMs = 100000000) {
        TMeuThread::Timing t;
        t.answerTimeoutMs = t.commandTimeoutMs = t.resyncTimeoutMs = timeoutMs;
        t.sleep = [](int, int ms) { QThread::usleep(static_cast<unsigned long>(ms) * 10); };
        sms.sender()->setTiming(t);
        sms.sender()->startSend();
        QElapsedTimer guard; // only keeps a broken build from hanging
        guard.start();
        while (sms.sender()->running() && guard.elapsed() < 300000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return !sms.sender()->running();
    }
    int scalar(const QString& sql) {
        QSqlQuery q(rig.ado()->database());
        return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
    }
    QStringList column(const QString& sql) {
        QSqlQuery q(rig.ado()->database());
        QStringList values;
        if (q.exec(sql))
            while (q.next())
                values << q.value(0).toString();
        return values;
    }
    // The send log: the handler's lines and the workers'.
    QStringList log() const { return rig.station->sendLog()->lines() + workerLines; }
    QStringList workerLines;
};

} // namespace

class PduSendOnStore : public StoreParam {};

// Without a pause the next row is marked in flight in the commit of the previous row's result, so
// it is marked before its AT+CMGS goes out; a stop before that AT+CMGS gives the row back unmarked.
TEST_P(PduSendOnStore, TheNextRowIsMarkedWithTheResultAndAStopUnmarksIt) {
    Station s(GetParam(), {modemsim::PortConfig{}});
    for (int i = 0; i < 5; ++i)
        s.addRow(1, QStringLiteral("551190000000%1").arg(i), QStringLiteral("x"));
    QStringList markedAtCommand;
    QObject::connect(s.sms.sender()->screen(), &SendScreen::sendLogLine, [&](const QString& line) {
        if (!line.contains(QStringLiteral("Preparando SMS para o Fone=")))
            return;
        markedAtCommand << s.column(
                                QStringLiteral("SELECT FONE FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL ORDER BY ID"))
                               .join(QLatin1Char(','));
        if (line.contains(QStringLiteral("Fone=5511900000001")))
            s.sms.sender()->stop();
    });
    ASSERT_TRUE(s.send());
    // The first row is marked at its prompt, the second with the first one's result. On the server each row is
    // marked under its claim before its AT+CMGS, and the rows claimed but never started go back to the pool.
    if (GetParam() == StoreLocation::Kind::Sqlite) {
        EXPECT_EQ(markedAtCommand, (QStringList{QString(), QStringLiteral("5511900000001")}));
    } else {
        EXPECT_EQ(markedAtCommand, (QStringList{QStringLiteral("5511900000000"), QStringLiteral("5511900000001")}));
    }
    if (GetParam() == StoreLocation::Kind::Postgres) {
        EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE PORTA IS NULL AND ESTACAO IS NULL AND "
                                          "FICHA IS NULL")),
                  3);
    }
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbHISTORICO")), 2);
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")), 3);
    // The third row, marked with the second one's result, never went: its mark is gone.
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL")), 0);
    EXPECT_EQ(s.ends[1], TMeuThread::End::Stopped);
}

namespace {

// 300 characters of the GSM alphabet with ten from its extension table (two septets each): 310
// septets, three parts of 153.
QString gsmText() {
    QString text;
    const QString ext = QStringLiteral("€[]{}|^~\\€");
    for (int i = 0; text.size() < 290; ++i)
        text += QStringLiteral("Parcela %1 paga. ").arg(i);
    text = text.left(290);
    for (int i = 0; i < ext.size(); ++i)
        text.insert(29 * i, ext.at(i));
    return text;
}

// 300 characters with "ã", "õ" and "ç" (GSM has "Ç" only): UCS-2, five parts of 67.
QString portugueseText() {
    QString text;
    while (text.size() < 300)
        text += QStringLiteral("Atenção: a promoção não acabou, peça já sua condição especial! ");
    return text.left(300);
}

} // namespace

// PDU mode end to end: a long GSM text in 3 parts and a Portuguese one in 5 UCS-2 parts reach the
// phone whole (the simulator joins the parts it decoded); one concatenation reference per message;
// one history row per message; with delivery reports asked for, each part asks for one and its
// reference is remembered with the message's history row.
TEST_P(PduSendOnStore, LongTextsArriveWholeInTheirParts) {
    Station s(GetParam(), {modemsim::PortConfig{}});
    s.pduMode(true);
    const QString gsm = gsmText();
    const QString pt = portugueseText();
    ASSERT_EQ(pt.size(), 300);
    s.addRow(1, QStringLiteral("5511900000001"), gsm);
    s.addRow(1, QStringLiteral("5511900000002"), pt);
    ASSERT_TRUE(s.send());

    const std::vector<modemsim::SentMessage> messages = s.rig.sim->sentMessages(0);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(QString::fromStdString(messages[0].text), gsm);
    EXPECT_EQ(messages[0].parts, 3);
    EXPECT_EQ(QString::fromStdString(messages[1].text), pt);
    EXPECT_EQ(messages[1].parts, 5);
    for (const modemsim::SentMessage& m : messages)
        EXPECT_TRUE(m.complete && m.accepted) << m.number;
    std::map<std::string, std::set<int>> references;
    for (const modemsim::SentSms& part : s.rig.sim->sent(0)) {
        references[part.number].insert(part.concatReference);
        EXPECT_EQ(part.ucs2, part.number == "+5511900000002"); // 13 digits with the country code: international
        EXPECT_TRUE(part.statusReport);
    }
    ASSERT_EQ(references["+5511900000001"].size(), 1u);
    ASSERT_EQ(references["+5511900000002"].size(), 1u);
    EXPECT_NE(*references["+5511900000001"].begin(), *references["+5511900000002"].begin());

    EXPECT_EQ(s.column(QStringLiteral("SELECT MENSAGEM FROM dbHISTORICO WHERE ENVIADO = 1 ORDER BY ID_HISTORICO")),
              (QStringList{gsm, pt}));
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbHISTORICO")), 2);
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")), 0);
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbENTREGA_PENDENTE")), 8);
    EXPECT_EQ(s.ends[1], TMeuThread::End::Finished);
}

// A modem that knows only text mode answers ERROR to AT+CMGF=0: the slot stops at once with a
// clear line, no row is attempted, every row stays in the outbox unmarked; the other slot sends.
TEST(PduSend, ATextOnlyModemStopsItsSlotAtOnce) {
    modemsim::PortConfig textOnly;
    textOnly.modes = modemsim::SmsModes::TextOnly;
    Station s({textOnly, modemsim::PortConfig{}});
    s.pduMode();
    for (int i = 0; i < 3; ++i) {
        s.addRow(1, QStringLiteral("551190000001%1").arg(i), QStringLiteral("Olá %1").arg(i));
        s.addRow(2, QStringLiteral("551190000002%1").arg(i), QStringLiteral("Olá %1").arg(i));
    }
    // A set-up reply that never came would hold the worker here: the refusal is an answer.
    ASSERT_TRUE(s.send());
    EXPECT_EQ(s.ends[1], TMeuThread::End::Failed);
    EXPECT_EQ(s.ends[2], TMeuThread::End::Finished);
    EXPECT_EQ(
        s.log().filter(QStringLiteral(" ENTRADA 1 MODEM NÃO ACEITA O MODO PDU: ENVIO DA ENTRADA 1 PARADO")).size(), 1);
    EXPECT_TRUE(s.log().filter(QStringLiteral(" ENTRADA 1 Preparando SMS")).isEmpty());
    EXPECT_TRUE(s.rig.sim->sent(0).empty());
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE PORTA = 1 AND ENVIANDO IS NULL")), 3);
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1")), 3);
}

// A part refused by the network ends the message: the parts after it are not sent, and its one
// history row is the failure row of text mode with the modem's error.
TEST_P(PduSendOnStore, ARefusedPartEndsItsMessageWithOneFailureRow) {
    modemsim::PortConfig port;
    port.failNumbers = {"+5511900000001"};
    Station s(GetParam(), {port});
    s.pduMode();
    const QString gsm = gsmText();
    s.addRow(1, QStringLiteral("5511900000001"), gsm);
    s.addRow(1, QStringLiteral("5511900000002"), gsm);
    ASSERT_TRUE(s.send());
    int partsToFailing = 0;
    for (const modemsim::SentSms& part : s.rig.sim->sent(0))
        partsToFailing += part.number == "+5511900000001" ? 1 : 0;
    EXPECT_EQ(partsToFailing, 1);
    EXPECT_EQ(s.column(QStringLiteral("SELECT MENSAGEM FROM dbHISTORICO WHERE ENVIADO = 0")),
              QStringList{QStringLiteral(" ERRO :500 - Erro desconhecido\r") + gsm});
    EXPECT_EQ(s.column(QStringLiteral("SELECT MENSAGEM FROM dbHISTORICO WHERE ENVIADO = 1")), QStringList{gsm});
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")), 0);
}

// The modem keeps the last part's result past the worker's wait: the message gets one failure row
// " FALHA :TIMEOUT" and the slot is resynchronised; then the late "+CMGS:" of the last part says the whole message
// went out, and that one row becomes a sent one (no second row, nothing sent again).
TEST(PduSend, ALastPartAnsweredAfterTheWaitMakesItsOneRowSent) {
    modemsim::PortConfig port;
    port.holdResults = true;
    Station s({port});
    s.pduMode();
    const QString gsm = gsmText();
    s.addRow(1, QStringLiteral("5511900000001"), gsm);
    std::atomic<bool> run{false};
    struct Release { // however the test ends, the worker's time runs again before the station goes
        std::atomic<bool>& run;
        ~Release() { run = true; }
    } release{run};
    SlotState& state = s.rig.station->coordinator()->state(1);
    TMeuThread::Timing t;
    t.answerTimeoutMs = 3000;
    t.commandTimeoutMs = t.resyncTimeoutMs = 100000000;
    t.sleep = [&](int, int) {
        // The wait for a part's result stands still until the last part is taken.
        while (!run.load() &&
               (state.phase() == SlotState::Phase::Prompted || state.phase() == SlotState::Phase::Submitted))
            QThread::usleep(200);
        QThread::usleep(10);
    };
    s.sms.sender()->setTiming(t);
    s.sms.sender()->startSend();
    for (int part = 1; part <= 3; ++part) {
        ASSERT_TRUE(ModemTestRig::waitUntil([&] { return s.rig.sim->holding(0); })) << part;
        if (part < 3)
            s.rig.sim->release(0);
    }
    run = true;
    ASSERT_TRUE(ModemTestRig::waitUntil(
        [&] { return !s.log().filter(QStringLiteral(" TIMEOUT NA TENTATIVA DE ENVIO!")).isEmpty(); }));
    s.rig.sim->release(0, true); // the late result, then the resync queued behind it
    ASSERT_TRUE(ModemTestRig::waitUntil([&] { return !s.sms.sender()->running(); }));
    EXPECT_TRUE(ModemTestRig::waitUntil([&] { return !s.log().filter(QStringLiteral("CORRIGIDO")).isEmpty(); }));
    EXPECT_EQ(s.column(QStringLiteral("SELECT MENSAGEM || '|' || ENVIADO FROM dbHISTORICO")),
              QStringList{gsm + QStringLiteral("|1")});
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")), 0);
    EXPECT_EQ(s.log().filter(QStringLiteral(" TIMEOUT NA TENTATIVA DE ENVIO!")).size(), 1);
    EXPECT_EQ(s.log().filter(QStringLiteral(" RESPOSTA ATRASADA: MENSAGEM ENVIADA PARA 5511900000001")).size(), 1);
    EXPECT_EQ(s.log().filter(QStringLiteral(" HISTÓRICO CORRIGIDO: MENSAGEM PARA 5511900000001 ENVIADA")).size(), 1);
    EXPECT_TRUE(s.log().filter(QStringLiteral("DESCARTADA")).isEmpty());
    EXPECT_EQ(s.rig.sim->sent(0).size(), 3u);
    EXPECT_EQ(s.ends[1], TMeuThread::End::Finished);
}

// The port closes after the first row and the sending mode is changed before the worker opens it again: the
// rows after it go in the new mode, each encoded for it (no hex PDU sent as a text, no text as a PDU).
TEST(PduSend, AfterAReopeningTheRowsGoInTheModeTheSettingNowSays) {
    for (const bool toPdu : {false, true}) {
        Station s({modemsim::PortConfig{}});
        if (!toPdu)
            s.pduMode();
        const QStringList fones{"5511900000001", "5511900000002", "5511900000003"};
        for (const QString& fone : fones)
            s.addRow(1, fone, QStringLiteral("Mensagem para ") + fone);
        bool switched = false;
        QObject::connect(s.rig.station->sendLog(), &ModemLog::lineAppended, [&](const QString& line) {
            if (switched || !line.contains(QStringLiteral("MENSAGEM ENVIADA PARA 5511900000001")))
                return;
            switched = true;
            s.rig.slot(1)->channel()->close();
            s.rig.exec(QStringLiteral("UPDATE dbCFG SET MODO_SMS = '%1'").arg(toPdu ? "PDU" : "TEXTO"));
        });
        ASSERT_TRUE(s.send());
        ASSERT_TRUE(switched) << toPdu;
        const std::vector<modemsim::SentSms> sent = s.rig.sim->sent(0);
        ASSERT_EQ(sent.size(), 3u) << toPdu << "\n" << s.log().join(u'\n').toStdString();
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].pdu, i == 0 ? !toPdu : toPdu) << toPdu << " #" << i;
            const std::string number = (sent[i].pdu ? "+" : "") + fones[int(i)].toStdString();
            EXPECT_EQ(sent[i].number, number) << toPdu << " #" << i;
            EXPECT_EQ(sent[i].text, "Mensagem para " + fones[int(i)].toStdString()) << toPdu << " #" << i;
            EXPECT_TRUE(sent[i].accepted) << toPdu << " #" << i;
        }
        EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1")), 3) << toPdu;
        EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")), 0) << toPdu;
        EXPECT_EQ(s.ends[1], TMeuThread::End::Finished) << toPdu;
    }
}

INSTANTIATE_TEST_SUITE_P(Store, PduSendOnStore, kBothStores, storeName);
