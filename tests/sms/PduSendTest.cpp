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

#include <map>

namespace {

// Slots 1..N of the rig sending their outbox through the real coordinator.
struct Station {
    ModemTestRig rig;
    SmsStation sms;
    std::map<int, TMeuThread::End> ends;

    explicit Station(std::vector<modemsim::PortConfig> ports) : rig(std::move(ports)), sms(rig.ado()) {
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
    const QStringList& log() const { return rig.station->sendLog()->lines(); }
};

} // namespace

// Without a pause the next row is marked in flight in the commit of the previous row's result, so
// it is marked before its AT+CMGS goes out; a stop before that AT+CMGS gives the row back unmarked.
TEST(PduSend, TheNextRowIsMarkedWithTheResultAndAStopUnmarksIt) {
    Station s({modemsim::PortConfig{}});
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
    // The first row is marked at its prompt, the second with the first one's result.
    EXPECT_EQ(markedAtCommand, (QStringList{QString(), QStringLiteral("5511900000001")}));
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbHISTORICO")), 2);
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM")), 3);
    // The third row, marked with the second one's result, never went: its mark is gone.
    EXPECT_EQ(s.scalar(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL")), 0);
    EXPECT_EQ(s.ends[1], TMeuThread::End::Stopped);
}
