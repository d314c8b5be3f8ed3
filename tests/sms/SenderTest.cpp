// The sender workers against simulated modems: the bytes on the wire, the order of the rows, the
// queue counter, slots that end at once, the time-out of a silent modem and the outbox invariant.
#include "../common/DamagedDatabase.h"
#include "SmsBench.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <optional>

using namespace modemsim;

namespace {

// No modem that answers at all takes this long, however busy the machine.
constexpr int kNever = 100000000;

// The worker's time runs 100 times faster than the clock on the wall; every wait (answer, set-up
// reply, resync) lasts `timeoutMs` of that time. Tests whose modems answer leave it at kNever, so
// no reply can be late; tests of silent modems give a short one.
TMeuThread::Timing fastTiming(int timeoutMs = kNever, std::atomic<qint64>* virtualMs = nullptr) {
    TMeuThread::Timing t;
    t.answerTimeoutMs = t.commandTimeoutMs = t.resyncTimeoutMs = timeoutMs;
    t.pollMs = 100;
    t.sleep = [virtualMs](int, int ms) {
        if (virtualMs)
            virtualMs->fetch_add(ms);
        QThread::usleep(static_cast<unsigned long>(ms) * 10); // 100 times faster
    };
    return t;
}

QStringList linesWith(const QStringList& log, const QString& part) {
    return log.filter(part);
}

} // namespace

class SendOnStore : public StoreParam {};

TEST_P(SendOnStore, WritesTextModeThenEachRowAndTheTextAtThePrompt) {
    SmsBench bench;
    bench.store = GetParam();
    ASSERT_TRUE(bench.start({PortConfig{}}));
    bench.activate({1});
    bench.addRow(1, QStringLiteral("5511987654321"), QStringLiteral("Olá mundo"));
    ASSERT_TRUE(bench.send(fastTiming()));

    EXPECT_EQ(bench.sim->received(0), "AT+CMGF=1\r\nAT+CSCS=\"8859-1\"\r\nAT+CMGS=\"5511987654321\"\rOl\xe1 mundo\x1a");
    EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
    QSqlQuery h = bench.sql("SELECT DESTINATARIO, MENSAGEM, TIPO, ENVIADO FROM dbHISTORICO");
    ASSERT_TRUE(h.next());
    EXPECT_EQ(h.value(0).toString(), "5511987654321");
    EXPECT_EQ(h.value(1).toString(), QStringLiteral("Olá mundo"));
    EXPECT_EQ(h.value(2).toString(), "SMS");
    EXPECT_EQ(h.value(3).toInt(), 1);
    EXPECT_EQ(linesWith(bench.log, " ENTRADA 1 AT+CMGF=1 CONFIGURANDO MENSAGEM!").size(), 1);
    EXPECT_EQ(linesWith(bench.log, " ENTRADA 1 Preparando SMS para o Fone=5511987654321").size(), 1);
    EXPECT_EQ(bench.slots[0].state->phase(), SlotState::Phase::Idle);
}

TEST_P(SendOnStore, SendsRowsInIdOrderCountingDown) {
    SmsBench bench;
    bench.store = GetParam();
    ASSERT_TRUE(bench.start({PortConfig{}}));
    bench.activate({1});
    bench.addRow(1, "5511900000007", "sete", 7);
    bench.addRow(1, "5511900000004", "quatro", 4);
    bench.addRow(1, "5511900000009", "nove", 9);
    ASSERT_TRUE(bench.send(fastTiming()));

    const std::vector<SentSms> sent = bench.sim->sent(0);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].text, "quatro");
    EXPECT_EQ(sent[1].text, "sete");
    EXPECT_EQ(sent[2].text, "nove");
    std::vector<int> shown;
    for (const auto& [slot, count] : bench.counters)
        if (slot == 1 && (shown.empty() || shown.back() != count))
            shown.push_back(count);
    EXPECT_EQ(shown, (std::vector<int>{3, 2, 1, 0}));
    ASSERT_FALSE(bench.bars.empty());
    EXPECT_EQ(bench.bars.front().second, SendScreen::BarState::Running);
    EXPECT_EQ(bench.bars.back().second, SendScreen::BarState::Finished);
    EXPECT_EQ(bench.count("dbHISTORICO"), 3);
}

// After each row the worker reads only the next few rows of its queue. Rows an interrupted send left in flight,
// more of them than that read holds, ahead of the queue and in its middle, are stepped over (and stay); rows the
// operator deletes or adds between two rows are left out or sent, in ID order; the counter counts what is left.
// (A shared store hands the slots claimed batches instead.)
TEST(Sender, ReadsOnlyTheHeadOfTheQueueYetSkipsNothing) {
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    bench.activate({1});
    for (qint64 id = 1; id <= 30; ++id)
        bench.addRow(1, QStringLiteral("55119000000%1").arg(id, 2, 10, QChar('0')), QStringLiteral("m%1").arg(id), id);
    // Left in flight by an earlier run: 1-5 ahead of everything, 9-14 between 8 and 15.
    bench.sql(
        QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = '2026-12-11 08:00:00' WHERE ID <= 5 OR ID BETWEEN 9 AND 14"));
    // When the counter first shows 17 rows to go (row 8 starting): 16-18 and 25 are deleted, 31 and 40 added, and 20
    // and 21 left in flight by another program's crash meanwhile.
    bool edited = false;
    QObject::connect(bench.screen.get(), &SendScreen::queueCounterChanged, [&](int, int count) {
        if (edited || count != 17)
            return;
        edited = true;
        bench.sql(QStringLiteral("DELETE FROM dbMENSAGEM WHERE ID IN (16, 17, 18, 25)"));
        bench.addRow(1, QStringLiteral("5511900000031"), QStringLiteral("m31"), 31);
        bench.addRow(1, QStringLiteral("5511900000040"), QStringLiteral("m40"), 40);
        bench.sql(QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = '2026-12-11 08:00:00' WHERE ID IN (20, 21)"));
    });
    ASSERT_TRUE(bench.send(fastTiming()));

    ASSERT_TRUE(edited);
    QStringList texts;
    for (const SentSms& sms : bench.sim->sent(0))
        texts << QString::fromStdString(sms.text);
    // The edits land as row 8 starts, when 15 is already the row to mark with 8's result.
    QStringList expected{"m6", "m7", "m8", "m15"};
    for (int id : {19, 22, 23, 24, 26, 27, 28, 29, 30, 31, 40})
        expected << QStringLiteral("m%1").arg(id);
    EXPECT_EQ(texts, expected);
    QList<qint64> left;
    QSqlQuery q = bench.sql(QStringLiteral("SELECT ID FROM dbMENSAGEM ORDER BY ID"));
    while (q.next())
        left << q.value(0).toLongLong();
    EXPECT_EQ(left, (QList<qint64>{1, 2, 3, 4, 5, 9, 10, 11, 12, 13, 14, 20, 21}));
    EXPECT_EQ(linesWith(bench.log, QStringLiteral(" ENVIO INTERROMPIDO PARA ")).size(), 11);
    ASSERT_FALSE(bench.counters.empty());
    EXPECT_EQ(bench.counters.front().second, 19); // 6-8 and 15-30
    EXPECT_EQ(bench.counters.back().second, 0);
    EXPECT_EQ(bench.count("dbHISTORICO"), int(expected.size()));
}

// Slots that are not active or have no rows end at once without a byte on the wire; a row of an
// inactive slot stays in the outbox.
TEST(Sender, SlotsWithNothingToDoEndAtOnce) {
    struct Case {
        const char* name;
        bool active;
        bool row;
    };
    for (const Case& c : {Case{"inactive with row", false, true}, Case{"active without row", true, false},
                          Case{"inactive without row", false, false}}) {
        SmsBench bench;
        ASSERT_TRUE(bench.start({PortConfig{}}));
        if (c.active)
            bench.activate({1});
        if (c.row)
            bench.addRow(1, "5511987654321", "fica");
        ASSERT_TRUE(bench.send(fastTiming())) << c.name;
        EXPECT_EQ(bench.sim->received(0), "") << c.name;
        EXPECT_EQ(bench.count("dbMENSAGEM"), c.row ? 1 : 0) << c.name;
        EXPECT_TRUE(bench.log.isEmpty()) << c.name;
        // Every one of the 64 bars went lime and back to grey.
        int running = 0;
        int finished = 0;
        for (const auto& [slot, state] : bench.bars)
            (state == SendScreen::BarState::Running ? running : finished)++;
        EXPECT_EQ(running, 64) << c.name;
        EXPECT_EQ(finished, 64) << c.name;
    }
}

TEST(Sender, PausesTempoSmsBeforeEverySms) {
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    bench.activate({1});
    bench.setTempoSms(5000);
    bench.addRow(1, "5511900000001", "um");
    bench.addRow(1, "5511900000002", "dois");
    std::atomic<qint64> virtualMs{0};
    qint64 configured = -1; // the pause starts once the port is set up
    std::vector<qint64> at;
    QObject::connect(bench.screen.get(), &SendScreen::sendLogLine, [&](const QString& line) {
        if (line.contains("CONJUNTO DE CARACTERES"))
            configured = virtualMs.load();
        if (line.contains("Preparando SMS"))
            at.push_back(virtualMs.load());
    });
    ASSERT_TRUE(bench.send(fastTiming(kNever, &virtualMs)));
    ASSERT_EQ(at.size(), 2u);
    ASSERT_GE(configured, 0);
    EXPECT_GE(at[0] - configured, 5000);
    EXPECT_LT(at[0] - configured, 5100);
    EXPECT_GE(at[1] - at[0], 5000);
}

// A silent modem: the row gets a failed history row " FALHA :TIMEOUT", the log line, and leaves
// the outbox; the worker then tries to bring the modem back in step (ESC, "AT"), gets no "OK",
// and stops: the next row stays in the outbox and the slot's end says why.
TEST(Sender, SilentModemTimesOutThenFailsItsResync) {
    PortConfig silent;
    silent.silent = true;
    SmsBench bench;
    ASSERT_TRUE(bench.start({silent}));
    bench.activate({1});
    bench.addRow(1, "5511900000001", "um");
    bench.addRow(1, "5511900000002", "dois");
    std::optional<TMeuThread::End> end;
    QObject::connect(bench.sender.get(), &SmsSender::workerEnded, [&](int slot, TMeuThread::End e) {
        if (slot == 1) // the other slots' workers end too, in any order
            end = e;
    });
    ASSERT_TRUE(bench.send(fastTiming(500)));

    EXPECT_EQ(bench.count("dbMENSAGEM"), 1);
    QSqlQuery h = bench.sql("SELECT DESTINATARIO, MENSAGEM, ENVIADO FROM dbHISTORICO ORDER BY ID_HISTORICO");
    ASSERT_TRUE(h.next());
    EXPECT_EQ(h.value(1).toString(), QStringLiteral(" FALHA :TIMEOUT\rum"));
    EXPECT_EQ(h.value(2).toInt(), 0);
    EXPECT_FALSE(h.next());
    EXPECT_EQ(
        linesWith(bench.log, " ENTRADA 1 MENSAGEM NÃO ENVIADA 5511900000001 TIMEOUT NA TENTATIVA DE ENVIO!").size(), 1);
    EXPECT_EQ(linesWith(bench.log, " ENTRADA 1 MODEM NÃO RESPONDEU AO AT: ENVIO DA ENTRADA 1 PARADO").size(), 1);
    // The simulator reads the resync's bytes on its own thread: wait for them, however busy.
    EXPECT_TRUE(SmsBench::waitUntil([&] {
        return bench.sim->received(0).find("AT+CMGS=\"5511900000001\"\r\x1b"
                                           "AT\r") != std::string::npos;
    }));
    EXPECT_EQ(bench.sim->received(0).find("5511900000002"), std::string::npos);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, TMeuThread::End::Failed);
    EXPECT_FALSE(bench.slots[0].state->awaiting());

    // A late "+CMGS:" now finds no send waiting for it: no history row, a log line.
    bench.sim->inject(0, "\r\n+CMGS: 9\r\n");
    ASSERT_TRUE(SmsBench::waitUntil([&] { return !linesWith(bench.log, "DESCARTADA: +CMGS: 9").isEmpty(); }));
    EXPECT_EQ(bench.count("dbHISTORICO"), 1);
}

// A time-out whose history row cannot be stored is said in the log, and its row (with the rows after
// it) stays in the outbox: the slot stops instead of losing the message.
TEST(Sender, TimeOutThatCannotBeRecordedKeepsTheRow) {
    PortConfig silent;
    silent.silent = true;
    SmsBench bench;
    ASSERT_TRUE(bench.start({silent}));
    bench.activate({1});
    bench.addRow(1, "5511900000001", "um");
    bench.addRow(1, "5511900000002", "dois");
    bench.sql(
        "CREATE TRIGGER sem_historico BEFORE INSERT ON dbHISTORICO BEGIN SELECT RAISE(ABORT, 'disco cheio'); END");
    std::optional<TMeuThread::End> end;
    QObject::connect(bench.sender.get(), &SmsSender::workerEnded, [&](int slot, TMeuThread::End e) {
        if (slot == 1)
            end = e;
    });
    ASSERT_TRUE(bench.send(fastTiming(500)));

    EXPECT_EQ(bench.count("dbMENSAGEM"), 2);
    EXPECT_EQ(bench.count("dbHISTORICO"), 0);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, TMeuThread::End::Failed);
    EXPECT_EQ(linesWith(bench.log, " ENTRADA 1 ERRO AO GRAVAR O HISTÓRICO: ").size(), 1)
        << bench.log.join('\n').toStdString();
    EXPECT_FALSE(bench.slots[0].state->awaiting());
}

// Whatever the modems answer, every row that leaves the outbox has its history row. The silent
// modem's clock runs fast (its waits run out at once); every other modem has 30 s of real time to
// answer, far above what a reply takes on a busy machine.
TEST_P(SendOnStore, OutboxRowsBecomeHistoryRowsWhateverTheModemsDo) {
    PortConfig ok;
    PortConfig failing;
    failing.failRate = 0.5;
    PortConfig plainError = failing;
    plainError.cmsError = 0;
    PortConfig silent;
    silent.silent = true;
    PortConfig garbage;
    garbage.garbage = true;
    garbage.latencyMs = 3;
    SmsBench bench;
    bench.store = GetParam();
    ASSERT_TRUE(bench.start({ok, failing, plainError, silent, garbage}));
    bench.activate({1, 2, 3, 4, 5});
    bench.setTempoSms(0);
    for (int slot = 1; slot <= 5; ++slot)
        for (int i = 0; i < 4; ++i)
            bench.addRow(slot, QStringLiteral("55119000%1%2").arg(slot).arg(i, 3, 10, QChar('0')),
                         QStringLiteral("texto %1").arg(i));
    const int before = bench.count("dbMENSAGEM");
    TMeuThread::Timing timing;
    timing.sleep = [](int slot, int ms) {
        if (slot == 4)
            QThread::usleep(static_cast<unsigned long>(ms)); // 1000 times faster
        else
            QThread::msleep(static_cast<unsigned long>(ms));
    };
    ASSERT_TRUE(bench.send(timing));
    EXPECT_EQ(before, bench.count("dbMENSAGEM") + bench.count("dbHISTORICO"));
    if (GetParam() == StoreLocation::Kind::Sqlite) {
        // The silent modem's first row timed out; its resync failed, so its other rows wait.
        QSqlQuery left = bench.sql("SELECT COUNT(*) FROM dbMENSAGEM WHERE PORTA <> 4");
        ASSERT_TRUE(left.next());
        EXPECT_EQ(left.value(0).toInt(), 0);
        EXPECT_EQ(bench.count("dbMENSAGEM"), 3);
    } else {
        // On the server the slots claim from one pool: what the silent modem's slot claimed and never started went
        // back to it (no slot, no claim, no mark), whichever slot's batch held it.
        QSqlQuery left = bench.sql("SELECT COUNT(*) FROM dbMENSAGEM WHERE PORTA IS NOT NULL OR FICHA IS NOT NULL OR "
                                   "ENVIANDO IS NOT NULL");
        ASSERT_TRUE(left.next());
        EXPECT_EQ(left.value(0).toInt(), 0);
    }
    QSqlQuery sentOk = bench.sql("SELECT COUNT(*) FROM dbHISTORICO WHERE ENVIADO = 1");
    ASSERT_TRUE(sentOk.next());
    EXPECT_GE(sentOk.value(0).toInt(), 4);
    // Each row that went out carries its own outcome: what the simulator accepted is what the
    // history says was sent.
    int accepted = 0;
    for (int port = 0; port < 5; ++port)
        for (const SentSms& sms : bench.sim->sent(port))
            accepted += sms.accepted ? 1 : 0;
    EXPECT_EQ(accepted, sentOk.value(0).toInt());
}

// The port closes while the worker pauses before its second row: the worker opens it again and
// goes on; when it cannot (the modem is gone) it stops and the row stays in the outbox.
TEST(Sender, PortClosedWhilePausing) {
    for (const bool unplug : {false, true}) {
        SmsBench bench;
        ASSERT_TRUE(bench.start({PortConfig{}}));
        bench.activate({1});
        bench.setTempoSms(1000);
        bench.addRow(1, "5511900000001", "um");
        bench.addRow(1, "5511900000002", "dois");
        bool closed = false;
        QObject::connect(bench.screen.get(), &SendScreen::queueCounterChanged, [&](int, int count) {
            if (count != 1 || closed)
                return;
            closed = true;
            if (unplug)
                bench.sim->unplug(0);
            bench.slots[0].channel->close();
        });
        std::optional<TMeuThread::End> end;
        QObject::connect(bench.sender.get(), &SmsSender::workerEnded, [&](int slot, TMeuThread::End e) {
            if (slot == 1)
                end = e;
        });
        ASSERT_TRUE(bench.send(fastTiming()));
        ASSERT_TRUE(closed);
        ASSERT_TRUE(end.has_value());
        if (unplug) {
            EXPECT_EQ(*end, TMeuThread::End::PortFailed);
            EXPECT_EQ(bench.count("dbMENSAGEM"), 1);
            EXPECT_EQ(bench.count("dbHISTORICO"), 1);
            SendScreen::BarState last = SendScreen::BarState::Finished;
            for (const auto& [slot, state] : bench.bars)
                if (slot == 1)
                    last = state;
            EXPECT_EQ(last, SendScreen::BarState::Running) << "the bar stays lime";
        } else {
            EXPECT_EQ(*end, TMeuThread::End::Finished);
            EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
            EXPECT_EQ(bench.count("dbHISTORICO"), 2);
            const std::string received = bench.sim->received(0);
            EXPECT_NE(received.find("AT+CMGF=1\r\nAT+CSCS=\"8859-1\"\r\nAT+CMGS=\"5511900000002\""), std::string::npos);
        }
    }
}

// A stop request ends the worker before its next row; the rows not attempted stay.
TEST(Sender, StopFinishesTheCurrentRowOnly) {
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    bench.activate({1});
    for (int i = 0; i < 5; ++i)
        bench.addRow(1, QStringLiteral("551190000000%1").arg(i), "x");
    QObject::connect(bench.screen.get(), &SendScreen::sendLogLine, [&](const QString& line) {
        if (line.contains("Preparando SMS para o Fone=5511900000001"))
            bench.sender->stop();
    });
    ASSERT_TRUE(bench.send(fastTiming()));
    EXPECT_EQ(bench.count("dbHISTORICO"), 2);
    EXPECT_EQ(bench.count("dbMENSAGEM"), 3);
}

// A page of the outbox that cannot be read ends the read like its last row would: the worker stops
// with the outbox failure instead of sending the rows before the damage, and every row stays.
TEST(Sender, OutboxReadFailingMidwaySendsNothing) {
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    bench.activate({1});
    constexpr int kRows = 240; // 160-character texts: a dozen leaf pages
    bench.sql("BEGIN");
    for (int i = 0; i < kRows; ++i)
        bench.addRow(1, QStringLiteral("55119%1").arg(i, 8, 10, QLatin1Char('0')), QString(160, QLatin1Char('m')));
    bench.sql("COMMIT");
    ASSERT_EQ(damageLeafPage(bench.data.path() + QStringLiteral("/BDSMS.db"), QStringLiteral("dbMENSAGEM"), 8, 4),
              QString());
    std::optional<TMeuThread::End> end;
    QObject::connect(bench.sender.get(), &SmsSender::workerEnded, [&](int slot, TMeuThread::End e) {
        if (slot == 1)
            end = e;
    });
    ASSERT_TRUE(bench.send(fastTiming()));

    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, TMeuThread::End::Failed);
    EXPECT_EQ(linesWith(bench.log, QStringLiteral(" ENTRADA 1 FALHA AO LER A CAIXA DE SAÍDA!")).size(), 1)
        << bench.log.join('\n').toStdString();
    EXPECT_TRUE(bench.sim->sent(0).empty());
    EXPECT_EQ(bench.count("dbMENSAGEM"), kRows);
    EXPECT_EQ(bench.count("dbHISTORICO"), 0);
}

// A pause setting that cannot be read is no pause of 0 ms (the operator's pace may be what keeps
// the SIM from being blocked): the worker stops with its own line, before the first row or after
// the row being sent, and the rows not yet sent stay in the outbox.
TEST(Sender, UnreadablePauseStopsTheWorkerKeepingItsRows) {
    struct Case {
        const char* name;
        QString breakAt; // the send-log line at which the settings table goes; empty: before the send
        int sent;
        const char* line; // the first settings read that fails says so: the sending mode, then the pause
    };
    for (const Case& c : {Case{"before the first row", QString(), 0, " ENTRADA 1 FALHA AO LER A CONFIGURAÇÃO!"},
                          Case{"between rows", QStringLiteral("Preparando SMS para o Fone=5511900000001"), 1,
                               " ENTRADA 1 FALHA AO LER O TEMPO DE ESPERA ENTRE SMS!"}}) {
        SCOPED_TRACE(c.name);
        SmsBench bench;
        ASSERT_TRUE(bench.start({PortConfig{}}));
        bench.activate({1});
        for (int i = 1; i <= 3; ++i)
            bench.addRow(1, QStringLiteral("551190000000%1").arg(i), QStringLiteral("texto %1").arg(i));
        const QString rename = QStringLiteral("ALTER TABLE dbCFG RENAME TO dbCFG_x");
        if (c.breakAt.isEmpty()) {
            ASSERT_FALSE(bench.sql(rename).lastError().isValid());
        }
        // The worker waits for the window thread while its line is shown: the table goes before
        // the row's result and the next pause are read.
        QObject::connect(bench.screen.get(), &SendScreen::sendLogLine, [&](const QString& line) {
            if (!c.breakAt.isEmpty() && line.contains(c.breakAt))
                bench.sql(rename);
        });
        std::optional<TMeuThread::End> end;
        QObject::connect(bench.sender.get(), &SmsSender::workerEnded, [&](int slot, TMeuThread::End e) {
            if (slot == 1)
                end = e;
        });
        ASSERT_TRUE(bench.send(fastTiming()));

        ASSERT_TRUE(end.has_value());
        EXPECT_EQ(*end, TMeuThread::End::Failed);
        EXPECT_EQ(linesWith(bench.log, QString::fromUtf8(c.line)).size(), 1) << bench.log.join('\n').toStdString();
        EXPECT_EQ(int(bench.sim->sent(0).size()), c.sent);
        EXPECT_EQ(bench.count("dbMENSAGEM"), 3 - c.sent);
        EXPECT_EQ(bench.count("dbHISTORICO"), c.sent);
    }
}

// A modem opens the text at the CR of AT+CMGS="<number>" and takes an LF after it as the text's first
// character: the recipient reads the row's text byte for byte, from a modem with echo on and lines of its own.
TEST(Sender, RecipientReadsTheRowsTextByteForByte) {
    PortConfig keepsLf;
    keepsLf.chatter.keepLfAfterCmgs = true;
    PortConfig huawei = keepsLf;
    ASSERT_TRUE(chatterProfile("huawei", &huawei.chatter));
    huawei.chatter.keepLfAfterCmgs = true;
    SmsBench bench;
    ASSERT_TRUE(bench.start({keepsLf, huawei}));
    bench.activate({1, 2});
    const QStringList texts{QStringLiteral("Olá mundo"), QStringLiteral("RING"), QStringLiteral("> ERROR OK")};
    for (int slot : {1, 2})
        for (const QString& text : texts)
            bench.addRow(slot, QStringLiteral("551198765432%1").arg(slot), text);
    ASSERT_TRUE(bench.send(fastTiming()));
    for (int port : {0, 1}) {
        const std::vector<SentSms> sent = bench.sim->sent(port);
        ASSERT_EQ(sent.size(), 3u) << port;
        for (std::size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(QString::fromStdString(sent[i].text), texts[qsizetype(i)]) << port;
    }
    EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
    EXPECT_EQ(linesWith(bench.log, " MENSAGEM ENVIADA PARA ").size(), 6) << bench.log.join('\n').toStdString();
}

// A modem that refuses AT+CSCS="8859-1" during the set-up has not failed a send: the log says what it
// refused and which set the slot uses, and no send-failure line appears before a send.
TEST(Sender, RefusedCharsetIsLoggedAsSuchNotAsAFailedSend) {
    for (const bool notSupport : {false, true}) {
        PortConfig noLatin1;
        noLatin1.charsets = {"GSM", "IRA", "UCS2"};
        noLatin1.chatter.commandNotSupport = notSupport;
        SmsBench bench;
        ASSERT_TRUE(bench.start({noLatin1, noLatin1}));
        bench.activate({2});
        bench.addRow(2, QStringLiteral("5511987654321"), QStringLiteral("Oi"));
        ASSERT_TRUE(bench.send(fastTiming()));
        const QString all = bench.log.join('\n');
        EXPECT_EQ(linesWith(bench.log, " ENTRADA 2 CONJUNTO DE CARACTERES 8859-1 RECUSADO, USANDO IRA").size(), 1)
            << all.toStdString();
        EXPECT_FALSE(all.contains(QStringLiteral("FALHA NO ENVIO"))) << all.toStdString();
        EXPECT_FALSE(all.contains(QStringLiteral("SEM DESCRIÇÃO"))) << all.toStdString();
        EXPECT_EQ(linesWith(bench.log, " ENTRADA 2 MENSAGEM ENVIADA PARA 5511987654321").size(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Store, SendOnStore, kBothStores, storeName);
