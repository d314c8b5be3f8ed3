// The window thread's coordinator: a whole send dialogue over a real channel and a simulated
// modem, carried to the history table, the logs and the slot's lights and bar.
#include "ModemTestRig.h"
#include "history/HistoryWriter.h"
#include "modem/ModemLog.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"

#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <optional>

namespace {

struct HistoryEntry {
    QString destinatario, mensagem, tipo;
    bool enviado;
};

QList<HistoryEntry> historyRows(TADO* ado) {
    QList<HistoryEntry> rows;
    QSqlQuery q(ado->database());
    q.exec("SELECT DESTINATARIO, MENSAGEM, TIPO, ENVIADO FROM dbHISTORICO ORDER BY ID_HISTORICO");
    while (q.next())
        rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toBool()});
    return rows;
}

bool sendOne(ModemTestRig& rig, int n, const OutboxRow& row) {
    SlotState& state = rig.station->coordinator()->state(n);
    rig.slot(n)->setActive(true);
    const quint64 sequence = state.beginSend(row);
    rig.slot(n)->channel()->WriteText(QStringLiteral("AT+CMGS=\"%1\"\r\n").arg(row.fone));
    const bool answered = ModemTestRig::waitUntil([&] { return !state.awaiting(); });
    state.finish(sequence);
    return answered;
}

} // namespace

TEST(Coordinator, SendDialogueReachesHistoryLogsAndLights) {
    modemsim::PortConfig failing;
    failing.failNumbers = {"5511000000000"};
    failing.cmsError = 330;
    failing.csq = 15;
    ModemTestRig rig({modemsim::PortConfig{}, failing});
    ASSERT_TRUE(rig.configurator()->openAll());
    EXPECT_EQ(rig.slot(2)->signalCaption(), "48%");

    const OutboxRow ok{QStringLiteral("5511987654321"), QStringLiteral("Olá [teste]"), 1};
    const OutboxRow bad{QStringLiteral("5511000000000"), QStringLiteral("falha"), 2};
    rig.slot(2)->channel()->WriteText("AT+CMGF=1\r\n");
    ASSERT_TRUE(sendOne(rig, 2, ok));
    EXPECT_FALSE(rig.slot(2)->active());
    ASSERT_TRUE(sendOne(rig, 2, bad));

    const QList<HistoryEntry> h = historyRows(rig.ado());
    ASSERT_EQ(h.size(), 2);
    EXPECT_EQ(h[0].destinatario, ok.fone);
    EXPECT_EQ(h[0].mensagem, ok.mensagem);
    EXPECT_EQ(h[0].tipo, "SMS");
    EXPECT_TRUE(h[0].enviado);
    EXPECT_EQ(h[1].mensagem, QStringLiteral(" ERRO :330 - Endereço desconhecido SMSC\rfalha"));
    EXPECT_FALSE(h[1].enviado);

    // The send log holds, in order, the prompt, the success, and the two failure lines.
    QStringList kinds;
    for (const QString& line : rig.station->sendLog()->lines()) {
        for (const char* key :
             {" ENTRADA 2 ENVIANDO CORPO DO SMS=", " ENTRADA 2 MENSAGEM ENVIADA PARA 5511987654321 ID ",
              " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511000000000 ID = 330",
              " ENTRADA 2 ERRO :330 - Endereço desconhecido SMSC"}) {
            if (line.contains(QString::fromUtf8(key)))
                kinds.append(QString::fromUtf8(key).trimmed());
        }
    }
    EXPECT_EQ(kinds.size(), 5) << kinds.join('\n').toStdString();
    EXPECT_TRUE(kinds.first().contains("ENVIANDO"));
    EXPECT_TRUE(kinds.last().contains("ERRO :330"));
    // Slot 2's lines never reach the console log.
    for (const QString& line : rig.station->consoleLog()->lines())
        EXPECT_FALSE(line.contains("5511")) << line.toStdString();
    EXPECT_EQ(rig.sim->sent(1).size(), 2u);
}

TEST(Coordinator, ResponseLineFollowsTheHandlerAndTheProbeEmptiesIt) {
    ModemTestRig rig({modemsim::PortConfig{}});
    ASSERT_TRUE(rig.configurator()->openAll());
    QStringList shown;
    QByteArray terminal;
    QObject::connect(rig.slot(1), &PortSlot::responseLineChanged, [&](const QString& l) { shown.append(l); });
    QObject::connect(rig.slot(1), &PortSlot::received, [&](const QByteArray& b) { terminal += b; });
    rig.sim->inject(0, "+CSQ: 3");
    ASSERT_TRUE(ModemTestRig::waitUntil([&] { return rig.slot(1)->responseLine() == "+CSQ: 3"; }));
    rig.slot(1)->clearResponseLine();
    EXPECT_TRUE(rig.station->coordinator()->handler(1).responseLine().isEmpty());
    rig.sim->inject(0, "1,99\r\n");
    ASSERT_TRUE(ModemTestRig::waitUntil([&] { return terminal.endsWith("1,99\r\n"); }));
    EXPECT_EQ(rig.slot(1)->signal(), 21); // "1,99" alone is no +CSQ line: the bar keeps 21
    EXPECT_EQ(terminal, "+CSQ: 31,99\r\n");
}

TEST(Coordinator, HistoryErrorIsWrittenToTheSendLog) {
    ModemTestRig rig({modemsim::PortConfig{}});
    rig.station->coordinator()->setHistorySink([](const HistoryRow&) { return QStringLiteral("disco cheio"); });
    ASSERT_TRUE(rig.configurator()->openAll());
    rig.slot(1)->channel()->WriteText("AT+CMGF=1\r\n");
    ASSERT_TRUE(sendOne(rig, 1, {QStringLiteral("5511987654321"), QStringLiteral("x"), 1}));
    // The history row comes first, so its error stands before the send's own line.
    const QStringList lines = rig.station->sendLog()->lines();
    const auto error = std::find_if(lines.begin(), lines.end(), [](const QString& l) {
        return l.endsWith(" ENTRADA 1 ERRO AO GRAVAR O HISTÓRICO: disco cheio");
    });
    ASSERT_NE(error, lines.end());
    ASSERT_NE(error + 1, lines.end());
    EXPECT_TRUE((error + 1)->contains(" MENSAGEM ENVIADA PARA 5511987654321 ID ")) << lines.join("\n").toStdString();
}

// Results of several slots in one pass: stored together, each with its outbox row; the flags stay
// up (answered) until the commit, and a row that fails costs only itself (its outbox row stays).
TEST(Coordinator, ResultsOfOnePassAreStoredTogetherBeforeTheFlagsDrop) {
    ModemTestRig rig({modemsim::PortConfig{}});
    ResponseCoordinator* c = rig.station->coordinator();
    c->setHistorySink([&](const HistoryRow& row) {
        return row.destinatario == "5511900000002"
                   ? QStringLiteral("disco cheio")
                   : HistoryWriter::append(rig.ado(), row.destinatario, row.mensagem, row.tipo, row.enviado);
    });
    struct Case {
        int slot;
        qint64 id;
        const char* fone;
        bool stored;
    };
    const Case cases[] = {
        {1, 11, "5511900000001", true}, {2, 12, "5511900000002", false}, {3, 13, "5511900000003", true}};
    for (const Case& k : cases) {
        rig.exec(QStringLiteral("INSERT INTO dbMENSAGEM (ID, FONE, MENSAGEM, PORTA) VALUES (%1, '%2', 'oi', %3)")
                     .arg(k.id)
                     .arg(k.fone)
                     .arg(k.slot));
        SlotState& s = c->state(k.slot);
        const quint64 sequence = s.beginSend({QString::fromLatin1(k.fone), QStringLiteral("oi"), k.id});
        ASSERT_TRUE(s.answer(sequence)); // as the handler does on the final result
        c->apply(
            k.slot,
            {HistoryRow{QString::fromLatin1(k.fone), QStringLiteral("oi"), QStringLiteral("SMS"), true, k.id, sequence},
             LogLine{LogTarget::SendLog, QStringLiteral("depois %1").arg(k.slot), true}, LowerAwaiting{sequence}});
    }
    ASSERT_TRUE(c->resultsPending());
    for (const Case& k : cases) {
        EXPECT_TRUE(c->state(k.slot).awaiting()) << k.slot; // the worker waits for the commit
        EXPECT_TRUE(c->state(k.slot).answered(c->state(k.slot).sequence())) << k.slot;
    }
    EXPECT_TRUE(historyRows(rig.ado()).isEmpty());
    EXPECT_FALSE(rig.station->sendLog()->lines().join('\n').contains("depois"));

    ASSERT_TRUE(ModemTestRig::waitUntil([&] { return !c->resultsPending(); })); // the next pass stores them
    const QList<HistoryEntry> h = historyRows(rig.ado());
    ASSERT_EQ(h.size(), 2);
    EXPECT_EQ(h[0].destinatario, "5511900000001");
    EXPECT_EQ(h[1].destinatario, "5511900000003");
    for (const Case& k : cases) {
        EXPECT_FALSE(c->state(k.slot).awaiting()) << k.slot;
        QSqlQuery q(rig.ado()->database());
        q.exec(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE ID = %1").arg(k.id));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), k.stored ? 0 : 1) << k.slot;
    }
    // Each slot's error line and later lines keep their places.
    QStringList kept;
    for (const QString& line : rig.station->sendLog()->lines())
        if (line.startsWith("depois"))
            kept << line;
        else if (line.contains("ERRO AO GRAVAR"))
            kept << line.section(' ', 2);
    EXPECT_EQ(kept,
              QStringList({"depois 1", "ENTRADA 2 ERRO AO GRAVAR O HISTÓRICO: disco cheio", "depois 2", "depois 3"}));
}

// The modem's result and the end of the worker's answer time meet: whichever reaches the slot's
// state first decides, once. A result taken first is stored as the send's result and is no
// time-out; a time-out taken first stands and the late result is dropped (the silent modem then
// fails its resync and the slot stops). Time is the worker's injected clock, held still until the
// test lets it run.
TEST(Coordinator, AResultAndATimeOutAreDecidedOnceByTheSlotState) {
    for (const bool resultFirst : {true, false}) {
        SCOPED_TRACE(resultFirst);
        modemsim::PortConfig silent;
        silent.silent = true;
        ModemTestRig rig({silent});
        SmsStation sms(rig.ado());
        rig.station->attach(&sms);
        rig.configurator()->openAll(); // sets the channel up; the probe closes the silent modem's port
        rig.slot(1)->channel()->open();
        rig.exec("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 10)");
        rig.exec("INSERT INTO dbMENSAGEM (ID, FONE, MENSAGEM, PORTA) VALUES (5, '5511900000005', 'oi', 1)");
        rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0");
        ResponseCoordinator* c = rig.station->coordinator();
        SlotState& state = c->state(1);
        std::atomic<bool> run{false};
        TMeuThread::Timing timing;
        timing.sleep = [&](int, int) {
            while (state.awaiting() && !run.load()) // the answer time stands still
                QThread::usleep(200);
            QThread::usleep(10);
        };
        sms.sender()->setTiming(timing);
        std::optional<TMeuThread::End> end;
        QObject::connect(sms.sender(), &SmsSender::workerEnded, [&](int slot, TMeuThread::End e) {
            if (slot == 1) // the other slots' workers end too, in any order
                end = e;
        });
        sms.sender()->startSend();
        ASSERT_TRUE(ModemTestRig::waitUntil([&] { return state.awaiting(); }));
        const quint64 sequence = state.sequence();
        if (!resultFirst) {
            run = true;
            ASSERT_TRUE(ModemTestRig::waitUntil([&] { return !state.awaiting(); }));
        }
        // What the handler does with a final result: take it for the send, or find it taken.
        if (state.answer(sequence))
            c->apply(1, {HistoryRow{"5511900000005", "oi", "SMS", true, 5, sequence}, LowerAwaiting{sequence}});
        run = true;
        ASSERT_TRUE(ModemTestRig::waitUntil([&] { return !sms.sender()->running(); }));
        const QList<HistoryEntry> h = historyRows(rig.ado());
        ASSERT_EQ(h.size(), 1);
        EXPECT_EQ(h[0].enviado, resultFirst);
        EXPECT_EQ(h[0].mensagem, resultFirst ? QStringLiteral("oi") : QStringLiteral(" FALHA :TIMEOUT\roi"));
        QSqlQuery q(rig.ado()->database());
        q.exec("SELECT COUNT(*) FROM dbMENSAGEM");
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 0);
        ASSERT_TRUE(end.has_value());
        EXPECT_EQ(*end, resultFirst ? TMeuThread::End::Finished : TMeuThread::End::Failed);
    }
}

// Results still waiting for their commit when the modem side closes (the window closing mid-send)
// are stored, not dropped, and nothing touches the slots and logs once they are gone.
TEST(Coordinator, PendingResultsAreStoredWhenTheStationCloses) {
    ModemTestRig rig({modemsim::PortConfig{}});
    rig.exec("INSERT INTO dbMENSAGEM (ID, FONE, MENSAGEM, PORTA) VALUES (7, '5511900000007', 'oi', 1)");
    ResponseCoordinator* c = rig.station->coordinator();
    SlotState& s = c->state(1);
    const quint64 sequence = s.beginSend({QStringLiteral("5511900000007"), QStringLiteral("oi"), 7});
    ASSERT_TRUE(s.answer(sequence));
    c->apply(1, {HistoryRow{"5511900000007", "oi", "SMS", true, 7, sequence}, LogLine{LogTarget::SendLog, "fim", true},
                 LowerAwaiting{sequence}});
    ASSERT_TRUE(c->resultsPending());
    rig.station.reset();
    EXPECT_EQ(historyRows(rig.ado()).size(), 1);
    QSqlQuery q(rig.ado()->database());
    q.exec("SELECT COUNT(*) FROM dbMENSAGEM");
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
}
