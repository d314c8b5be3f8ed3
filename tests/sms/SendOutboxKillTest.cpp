// `vestral-sms --send-outbox` killed (SIGKILL) at the worst moment, with every modem holding the
// result of an SMS whose text and Ctrl-Z it has already taken; then a second `--send-outbox`. No
// number gets its text twice, the interrupted rows stay in the outbox (said in the log), every
// other row is in the history.
#include "MissingPeer.h"
#include "ModemSimulator.h"
#include "TempDataDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>

#include <functional>
#include <map>

#include <signal.h>

namespace {

QString binary() {
    QString buildDir = qEnvironmentVariable("VESTRAL_BINARY_DIR");
    if (buildDir.isEmpty())
        buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../..");
    return buildDir + QStringLiteral("/src/app/vestral-sms");
}

// Serves events until `condition` holds; the bound only keeps a broken build from hanging.
bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer guard;
    guard.start();
    while (!condition()) {
        if (guard.elapsed() > 120000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Starts `child` and waits until `sending` holds (false when the child ends first). The probe
// before a send gives each modem seconds (VESTRAL_PROBE_MS of the test environment), so a child
// that finds no modem ready (exit 2) is a fault, not a slow machine.
bool startSending(QProcess& child, const QStringList& args, const std::function<bool()>& sending) {
    child.start(binary(), args);
    if (!child.waitForStarted())
        return false;
    return waitFor([&] { return sending() || child.state() == QProcess::NotRunning; }) && sending();
}

int scalar(TADO* ado, const QString& sql) {
    QSqlQuery q(ado->database());
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

TEST(SendOutboxKill, ASecondRunSendsNothingTwice) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    constexpr int kModems = 3;
    constexpr int kRows = 4;
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    TADO* ado = data.ado.get();
    modemsim::SimulatorOptions options;
    options.dir = QString(data.path() + QStringLiteral("/portas")).toStdString();
    for (int i = 0; i < kModems; ++i) {
        modemsim::PortConfig c;
        c.holdResults = true; // the first SMS's result stays with the modem: the kill comes then
        options.ports.push_back(c);
    }
    modemsim::ModemSimulator sim(options);
    sim.start();
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET TEMPO_SMS = 0"));
    for (int n = 1; n <= kModems; ++n) {
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = %1 WHERE ID = %1").arg(n)));
        for (int i = 0; i < kRows; ++i)
            ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) "
                                              "VALUES ('55119%1%2', 'texto %1 %2', %1)")
                                   .arg(n, 2, 10, QChar('0'))
                                   .arg(i, 4, 10, QChar('0'))));
    }
    const QStringList args{QStringLiteral("--data-dir"), data.path(), QStringLiteral("--send-outbox")};

    QProcess first;
    // Every modem has taken the text and Ctrl-Z of its slot's first row and holds its result.
    const bool allHeld = startSending(first, args, [&] {
        for (int p = 0; p < kModems; ++p)
            if (!sim.holding(p))
                return false;
        return true;
    });
    if (first.state() != QProcess::NotRunning && first.processId() > 0)
        ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(30000));
    ASSERT_TRUE(allHeld) << first.readAllStandardOutput().toStdString();
    for (int p = 0; p < kModems; ++p)
        sim.release(p, true); // the results go to a port nobody reads any more

    QProcess second;
    second.start(binary(), args);
    ASSERT_TRUE(second.waitForFinished(120000));
    const QString out = QString::fromUtf8(second.readAllStandardOutput());
    EXPECT_EQ(second.exitCode(), 0) << out.toStdString() << second.readAllStandardError().toStdString();

    // No number got its text twice.
    std::map<std::string, int> times;
    for (int p = 0; p < kModems; ++p)
        for (const modemsim::SentSms& sms : sim.sent(p))
            ++times[sms.number];
    EXPECT_EQ(int(times.size()), kModems * kRows);
    for (const auto& [number, count] : times)
        EXPECT_EQ(count, 1) << number;
    // The interrupted rows (each slot's first) stay, marked, and are named in the log.
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbMENSAGEM"), kModems);
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL"), kModems);
    for (int n = 1; n <= kModems; ++n) {
        const QString fone = QStringLiteral("55119%1%2").arg(n, 2, 10, QChar('0')).arg(0, 4, 10, QChar('0'));
        EXPECT_TRUE(out.contains(QStringLiteral(" ENTRADA %1 ENVIO INTERROMPIDO PARA %2 (PODE TER SIDO ENTREGUE): "
                                                "NÃO REENVIADA")
                                     .arg(n)
                                     .arg(fone)))
            << out.toStdString();
    }
    // Every other row is in the history, and the summary says so.
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbHISTORICO"), kModems * (kRows - 1));
    EXPECT_TRUE(out.trimmed().endsWith(
        QStringLiteral("ENVIADAS: %1  FALHAS: 0  NA CAIXA DE SAÍDA: %2").arg(kModems * (kRows - 1)).arg(kModems)))
        << out.toStdString();

    // With the operator's word the interrupted rows go again.
    QProcess third;
    third.start(binary(), args + QStringList{QStringLiteral("--resend-interrupted")});
    ASSERT_TRUE(third.waitForFinished(120000));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbMENSAGEM"), 0);
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbHISTORICO"), kModems * kRows);
    sim.stop();
}

// Ctrl+C lets the slot finish the SMS it is sending; with the modem holding its result, a second
// Ctrl+C ends that wait at once: exit 130, the row stays in the outbox marked in flight, the rows
// not attempted stay as they were.
TEST(SendOutboxKill, ASecondCtrlCEndsTheWaitForASilentModem) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    TADO* ado = data.ado.get();
    modemsim::SimulatorOptions options;
    options.dir = QString(data.path() + QStringLiteral("/portas")).toStdString();
    modemsim::PortConfig holding;
    holding.holdResults = true;
    options.ports = {holding};
    modemsim::ModemSimulator sim(options);
    sim.start();
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET TEMPO_SMS = 0"));
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET ATIVO = 1, COM = 1 WHERE ID = 1"));
    ASSERT_TRUE(q.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000001', 'um', 1)"));
    ASSERT_TRUE(q.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000002', 'dois', 1)"));
    QProcess child;
    ASSERT_TRUE(startSending(child, {QStringLiteral("--data-dir"), data.path(), QStringLiteral("--send-outbox")}, [&] {
        return sim.holding(0);
    })) << child.readAllStandardOutput().toStdString();
    ASSERT_GT(child.processId(), 0);
    ::kill(pid_t(child.processId()), SIGINT);
    // The first Ctrl+C only asks the slot to end after this SMS: the child keeps waiting.
    EXPECT_FALSE(child.waitForFinished(1000));
    ASSERT_GT(child.processId(), 0);
    ::kill(pid_t(child.processId()), SIGINT);
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 130) << out.toStdString();
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbMENSAGEM"), 2);
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL AND FONE = '5511900000001'"), 1);
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbHISTORICO"), 0);
    EXPECT_TRUE(out.trimmed().endsWith(QStringLiteral("ENVIADAS: 0  FALHAS: 0  NA CAIXA DE SAÍDA: 2")))
        << out.toStdString();
    sim.stop();
}

// PDU mode: a kill after the first part was accepted and while the modem holds the second part's
// result. The message's row was marked before its first part went, so the next run leaves it in
// the outbox (said in the log) and sends none of its parts again; the row after it goes.
TEST(SendOutboxKill, AMessageCutBetweenItsPartsIsNotSentAgain) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    TADO* ado = data.ado.get();
    modemsim::SimulatorOptions options;
    options.dir = QString(data.path() + QStringLiteral("/portas")).toStdString();
    modemsim::PortConfig c;
    c.holdResults = true;
    options.ports.push_back(c);
    modemsim::ModemSimulator sim(options);
    sim.start();
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET TEMPO_SMS = 0, MODO_SMS = 'PDU'"));
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET ATIVO = 1, COM = 1 WHERE ID = 1"));
    const QString longText(400, QLatin1Char('a')); // three parts
    q.prepare("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, 1)");
    q.addBindValue(QStringLiteral("5511900000001"));
    q.addBindValue(longText);
    ASSERT_TRUE(q.exec());
    ASSERT_TRUE(q.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000002', 'curto', 1)"));
    const QStringList args{QStringLiteral("--data-dir"), data.path(), QStringLiteral("--send-outbox")};

    QProcess first;
    bool released = false;
    const bool cut = startSending(first, args, [&] {
        if (!sim.holding(0))
            return false;
        if (!released) { // the first part's result goes; the kill comes at the second's
            sim.release(0);
            released = true;
            return false;
        }
        return true;
    });
    if (first.state() != QProcess::NotRunning && first.processId() > 0)
        ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(30000));
    ASSERT_TRUE(cut) << first.readAllStandardOutput().toStdString();
    sim.release(0, true);

    QProcess second;
    second.start(binary(), args);
    ASSERT_TRUE(second.waitForFinished(120000));
    const QString out = QString::fromUtf8(second.readAllStandardOutput());
    EXPECT_EQ(second.exitCode(), 0) << out.toStdString();
    int partsOfTheCutMessage = 0;
    for (const modemsim::SentSms& sms : sim.sent(0))
        partsOfTheCutMessage += sms.number == "+5511900000001" ? 1 : 0; // international: 13 digits
    EXPECT_EQ(partsOfTheCutMessage, 2);
    EXPECT_TRUE(
        out.contains(QStringLiteral(" ENTRADA 1 ENVIO INTERROMPIDO PARA 5511900000001 (PODE TER SIDO ENTREGUE): "
                                    "NÃO REENVIADA")))
        << out.toStdString();
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL AND FONE = '5511900000001'"), 1);
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1 AND DESTINATARIO = '5511900000002'"), 1);
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbHISTORICO"), 1);
    sim.stop();
}

// Ctrl+C while the send waits for a modem that is not ready (it waits up to ESPERA_REDE_S, ten minutes here):
// the wait ends at once, the ready slot's row was sent, the late slot's rows stay, exit 130.
TEST(SendOutboxKill, CtrlCEndsTheWaitForALateModem) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    TADO* ado = data.ado.get();
    modemsim::SimulatorOptions options;
    options.dir = QString(data.path() + QStringLiteral("/portas")).toStdString();
    modemsim::PortConfig silent;
    silent.silent = true;
    options.ports = {modemsim::PortConfig{}, silent};
    modemsim::ModemSimulator sim(options);
    sim.start();
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET TEMPO_SMS = 0, ESPERA_REDE_S = 600"));
    for (int n = 1; n <= 2; ++n) {
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = %1 WHERE ID = %1").arg(n)));
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) "
                                          "VALUES ('551190000000%1', 'texto', %1)")
                               .arg(n)));
    }
    QProcess child;
    QString out;
    const bool waiting =
        startSending(child, {QStringLiteral("--data-dir"), data.path(), QStringLiteral("--send-outbox")}, [&] {
            out += QString::fromUtf8(child.readAllStandardOutput());
            return out.contains(QStringLiteral("ENTRADA 2 NÃO PRONTA: NOVA TENTATIVA")) &&
                   out.contains(QStringLiteral("MENSAGEM ENVIADA PARA 5511900000001"));
        });
    if (child.state() != QProcess::NotRunning && child.processId() > 0)
        ::kill(pid_t(child.processId()), SIGINT);
    ASSERT_TRUE(child.waitForFinished(60000)) << out.toStdString();
    out += QString::fromUtf8(child.readAllStandardOutput());
    ASSERT_TRUE(waiting) << out.toStdString();
    EXPECT_EQ(child.exitCode(), 130) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("ENVIADAS: 1  FALHAS: 0  NA CAIXA DE SAÍDA: 1"))) << out.toStdString();
    EXPECT_EQ(scalar(ado, "SELECT COUNT(*) FROM dbMENSAGEM WHERE PORTA = 2 AND ENVIANDO IS NULL"), 1);
}
