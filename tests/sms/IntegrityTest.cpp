// Every SMS goes to its own number, once, with its own text, whatever the modem does: final results
// that come after the wait ran out (one modem per kind of result, each queueing the commands written
// meanwhile), a modem without a SIM, contact data that tries to smuggle AT commands onto the wire,
// and the character set of text mode.
#include "SmsBench.h"

#include <gtest/gtest.h>

#include <QThread>

#include <set>

using namespace modemsim;

namespace {

using Pair = std::pair<std::string, std::string>; // number, text

std::multiset<Pair> accepted(SmsBench& bench, int port) {
    std::multiset<Pair> pairs;
    for (const SentSms& sms : bench.sim->sent(port))
        if (sms.accepted)
            pairs.insert({sms.number, sms.text});
    return pairs;
}

QString historyOf(SmsBench& bench, const QString& fone) {
    QSqlQuery q =
        bench.sql(QStringLiteral("SELECT MENSAGEM || '|' || ENVIADO FROM dbHISTORICO WHERE DESTINATARIO = ?"), {fone});
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString();
    return rows.join(QStringLiteral(" / "));
}

} // namespace

// Each modem holds back the final result of its first SMS and takes no command meanwhile (as real
// modems do). The worker's answer time runs out (its clock runs fast only while the modem holds a
// result back), it records " FALHA :TIMEOUT" and resynchronises: ESC and "AT" queue behind the held
// result. Then the modem lets go: a late failure is logged and dropped, a late "+CMGS:" makes the first row's
// history row a sent one (the modem did send it), the "OK" ends the resync, and the second row gets its own result.
TEST(Integrity, AResultAfterTheWaitBelongsToNoOtherRow) {
    struct Kind {
        const char* name;
        PortConfig config;
        const char* late; // the late line
    };
    PortConfig sent;
    PortConfig cms;
    cms.failNumbers = {"5511900000100"};
    PortConfig plain = cms;
    plain.cmsError = 0;
    PortConfig cme = cms;
    cme.cmeError = 30;
    std::vector<Kind> kinds{{"+CMGS", sent, "+CMGS: 1"},
                            {"+CMS ERROR", cms, "+CMS ERROR: 500"},
                            {"ERROR", plain, "ERROR"},
                            {"+CME ERROR", cme, "+CME ERROR: 30"}};
    std::vector<PortConfig> configs;
    for (Kind& k : kinds) {
        k.config.holdResults = true;
        configs.push_back(k.config);
    }
    SmsBench bench;
    ASSERT_TRUE(bench.start(configs));
    bench.activate({1, 2, 3, 4});
    bench.setTempoSms(0);
    for (int slot = 1; slot <= 4; ++slot) {
        bench.addRow(slot, "5511900000100", QStringLiteral("primeira %1").arg(slot));
        bench.addRow(slot, QStringLiteral("55119000002%1").arg(slot), QStringLiteral("segunda %1").arg(slot));
    }
    TMeuThread::Timing timing;
    timing.sleep = [&](int slot, int ms) {
        const bool held = bench.sim->holding(slot - 1) && bench.slots[std::size_t(slot - 1)].state->awaiting();
        if (held)
            QThread::usleep(static_cast<unsigned long>(ms)); // the answer time runs out at once
        else
            QThread::msleep(static_cast<unsigned long>(ms)); // 30 s of real time for anything else
    };
    // Each modem lets its result go once its worker is resynchronising.
    bench.sender->setTiming(timing);
    bench.sender->startSend();
    std::set<int> released;
    ASSERT_TRUE(SmsBench::waitUntil([&] {
        for (int slot = 1; slot <= 4; ++slot)
            if (!released.count(slot) &&
                bench.slots[std::size_t(slot - 1)].state->phase() == SlotState::Phase::Resyncing) {
                bench.sim->release(slot - 1, true);
                released.insert(slot);
            }
        return !bench.sender->running();
    }));
    for (int slot = 1; slot <= 4; ++slot) {
        const Kind& k = kinds[std::size_t(slot - 1)];
        SCOPED_TRACE(k.name);
        EXPECT_TRUE(released.count(slot));
        // What the modem took is exactly the outbox's pairs, each once.
        std::multiset<Pair> attempted;
        for (const SentSms& sms : bench.sim->sent(slot - 1))
            attempted.insert({sms.number, sms.text});
        const std::string second = QStringLiteral("55119000002%1").arg(slot).toStdString();
        EXPECT_EQ(attempted, (std::multiset<Pair>{{"5511900000100", "primeira " + std::to_string(slot)},
                                                  {second, "segunda " + std::to_string(slot)}}));
        // Each history row carries its own outcome.
        const bool sentLate = slot == 1;
        EXPECT_EQ(historyOf(bench, "5511900000100").split(" / ").filter(QStringLiteral("primeira %1").arg(slot)),
                  QStringList{sentLate ? QStringLiteral("primeira %1|1").arg(slot)
                                       : QStringLiteral(" FALHA :TIMEOUT\rprimeira %1|0").arg(slot)});
        EXPECT_EQ(historyOf(bench, QString::fromStdString(second)), QStringLiteral("segunda %1|1").arg(slot));
        const QString dropped = QStringLiteral(" ENTRADA %1 RESPOSTA DE ENVIO ANTERIOR DESCARTADA: ").arg(slot) +
                                QString::fromLatin1(k.late);
        EXPECT_EQ(bench.log.filter(dropped).size(), sentLate ? 0 : 1) << bench.log.join('\n').toStdString();
        const QString corrected =
            QStringLiteral(" ENTRADA %1 HISTÓRICO CORRIGIDO: MENSAGEM PARA 5511900000100 ENVIADA").arg(slot);
        EXPECT_EQ(bench.log.filter(corrected).size(), sentLate ? 1 : 0) << bench.log.join('\n').toStdString();
    }
    EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
}

// The late "+CMGS:" comes after the worker's wait ran out, either before it wrote the failure row (the row is written
// as sent) or after (the row is made a sent one, once): on either store one sent row, nothing sent twice, and the
// slot goes on with its next row after the resync.
class LateResultOnStore : public StoreParam {};

TEST_P(LateResultOnStore, ASentResultAfterTheWaitLeavesOneSentRow) {
    for (const bool beforeTheRow : {true, false}) {
        SCOPED_TRACE(beforeTheRow ? "before the failure row" : "after the failure row");
        PortConfig held;
        held.holdResults = true;
        SmsBench bench;
        bench.store = GetParam();
        ASSERT_TRUE(bench.start({held}));
        bench.activate({1});
        bench.setTempoSms(0);
        bench.addRow(1, "5511900000100", "primeira");
        bench.addRow(1, "5511900000200", "segunda");
        TMeuThread::Timing timing;
        timing.sleep = [&](int, int ms) {
            const bool heldNow = bench.sim->holding(0) && bench.slots[0].state->awaiting();
            if (heldNow)
                QThread::usleep(static_cast<unsigned long>(ms)); // the answer time runs out at once
            else
                QThread::msleep(static_cast<unsigned long>(ms));
        };
        // Before: the worker puts the activity light out between the time-out and the failure row, and waits for
        // the window thread meanwhile; the modem lets the result go then, and it is read before the worker goes on.
        // After: the modem lets go once the worker resynchronises (the row is written by then).
        bool released = false;
        QObject::connect(bench.screen.get(), &SendScreen::activityLightChanged, [&](int slot, bool lit) {
            if (!beforeTheRow || slot != 1 || lit || released ||
                bench.slots[0].state->phase() != SlotState::Phase::TimedOut)
                return;
            released = true;
            bench.sim->release(0, true);
            SmsBench::waitUntil([&] { return !bench.log.filter(" RESPOSTA ATRASADA: ").isEmpty(); });
        });
        bench.sender->setTiming(timing);
        bench.sender->startSend();
        ASSERT_TRUE(SmsBench::waitUntil([&] {
            if (!beforeTheRow && !released && bench.slots[0].state->phase() == SlotState::Phase::Resyncing) {
                released = true;
                bench.sim->release(0, true);
            }
            return !bench.sender->running();
        }));
        ASSERT_TRUE(released);
        EXPECT_EQ(historyOf(bench, "5511900000100"), "primeira|1");
        EXPECT_EQ(historyOf(bench, "5511900000200"), "segunda|1");
        EXPECT_EQ(bench.log.filter(" ENTRADA 1 RESPOSTA ATRASADA: MENSAGEM ENVIADA PARA 5511900000100 ID ").size(), 1);
        const QString writtenSent =
            QStringLiteral(" ENTRADA 1 MENSAGEM ENVIADA PARA 5511900000100 (RESPOSTA APÓS O TEMPO DE ESPERA)");
        const QString corrected = QStringLiteral(" ENTRADA 1 HISTÓRICO CORRIGIDO: MENSAGEM PARA 5511900000100 ENVIADA");
        EXPECT_EQ(bench.log.filter(writtenSent).size(), beforeTheRow ? 1 : 0) << bench.log.join('\n').toStdString();
        EXPECT_EQ(bench.log.filter(corrected).size(), beforeTheRow ? 0 : 1) << bench.log.join('\n').toStdString();
        EXPECT_EQ(bench.log.filter("TIMEOUT NA TENTATIVA").size(), beforeTheRow ? 0 : 1);
        EXPECT_TRUE(bench.log.filter("DESCARTADA").isEmpty());
        EXPECT_EQ(accepted(bench, 0),
                  (std::multiset<Pair>{{"5511900000100", "primeira"}, {"5511900000200", "segunda"}}));
        EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Store, LateResultOnStore, kBothStores, storeName);

// A modem without a SIM refuses AT+CMGS with "+CME ERROR: 10": each row fails at once with its own
// history row, no 30 s wait and no " FALHA :TIMEOUT" (the answer time here is far above any run).
TEST(Integrity, AModemWithoutASimFailsEachRowAtOnce) {
    PortConfig noSim;
    noSim.noSim = true;
    SmsBench bench;
    ASSERT_TRUE(bench.start({noSim}));
    bench.activate({1});
    bench.setTempoSms(0);
    for (int i = 1; i <= 3; ++i)
        bench.addRow(1, QStringLiteral("551190000000%1").arg(i), QStringLiteral("texto %1").arg(i));
    TMeuThread::Timing timing; // real time, 30 s answer wait
    ASSERT_TRUE(bench.send(timing));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(historyOf(bench, QStringLiteral("551190000000%1").arg(i)),
                  QStringLiteral(" ERRO :10 - SIM não está inserido\rtexto %1|0").arg(i));
    EXPECT_EQ(bench.log.filter(" ENTRADA 1 FALHA NO ENVIO DO SMS FONE 5511900000002 ID = 10").size(), 1);
    EXPECT_EQ(bench.log.filter(" ENTRADA 1 ERRO :10 - SIM não está inserido").size(), 3);
    EXPECT_TRUE(bench.log.filter("TIMEOUT").isEmpty());
    EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
    EXPECT_TRUE(bench.sim->sent(0).empty());
}

// Contact data that would end the text early and run as commands, or break the dialogue: the row
// is refused before anything is written for it, and leaves the outbox as a failure. The modem takes
// exactly the clean rows, to their own numbers, with their own texts; no SMS to a number in no row.
TEST(Integrity, ControlBytesInARowNeverReachTheModem) {
    struct Payload {
        const char* name;
        QString fone;
        QString text;
        bool valid;
    };
    const Payload payloads[] = {
        {"Ctrl-Z then AT+CMGS", "5511900000001",
         QStringLiteral("Maria\x1a"
                        "AT+CMGS=\"5511000000000\"\rtexto roubado"),
         false},
        {"ESC", "5511900000002", QStringLiteral("Jo\x1bse"), false},
        {"CR LF", "5511900000003", QStringLiteral("linha\r\nAT+CMGS=\"5511000000000\""), false},
        {"NUL", "5511900000004", QStringLiteral("a") + QChar(0) + QStringLiteral("b"), false},
        {"DEL", "5511900000005", QStringLiteral("x\x7fy"), false},
        {"only control characters", "5511900000006", QStringLiteral("\x01\x02\x1a\x1b\r\n"), false},
        {"quote and CR in the number", "5511\"\r\nAT+CMGS=\"5511000000000", QStringLiteral("numero"), false},
        {"clean", "5511900000007", QStringLiteral("Olá, tudo bem?"), true},
        {"clean after them", "5511900000008", QStringLiteral("> e < não confundem o modem"), true},
    };
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    bench.activate({1});
    bench.setTempoSms(0);
    for (const Payload& p : payloads)
        bench.addRow(1, p.fone, p.text);
    ASSERT_TRUE(bench.send(TMeuThread::Timing{}));

    std::multiset<Pair> expected;
    for (const Payload& p : payloads) {
        SCOPED_TRACE(p.name);
        if (p.valid) {
            expected.insert({p.fone.toStdString(), p.text.toStdString()}); // as the phone shows it
            EXPECT_EQ(historyOf(bench, p.fone), p.text + QStringLiteral("|1"));
        } else {
            const QString failure = p.fone.startsWith("5511\"") ? QStringLiteral(" FALHA :NÚMERO INVÁLIDO\r")
                                                                : QStringLiteral(" FALHA :TEXTO INVÁLIDO\r");
            EXPECT_EQ(historyOf(bench, p.fone), failure + p.text + QStringLiteral("|0"));
        }
    }
    EXPECT_EQ(accepted(bench, 0), expected);
    EXPECT_EQ(bench.sim->sent(0).size(), expected.size());
    EXPECT_EQ(bench.sim->received(0).find("5511000000000"), std::string::npos);
    EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
}

// Text mode's character set: a modem that takes "8859-1" gets Latin-1; one that refuses it gets
// "IRA" and plain ASCII, letters turned into their base letters.
TEST(Integrity, TheCharacterSetFollowsWhatTheModemTakes) {
    PortConfig latin1;
    PortConfig asciiOnly;
    asciiOnly.charsets = {"GSM", "IRA"};
    SmsBench bench;
    ASSERT_TRUE(bench.start({latin1, asciiOnly}));
    bench.activate({1, 2});
    bench.setTempoSms(0);
    const QString text = QStringLiteral("João Conceição “ok” – 5 €");
    bench.addRow(1, "5511900000001", text);
    bench.addRow(2, "5511900000002", text);
    std::map<int, QString> chosen;
    QObject::connect(bench.screen.get(), &SendScreen::charsetChosen,
                     [&](int slot, const QString& name) { chosen[slot] = name; });
    ASSERT_TRUE(bench.send(TMeuThread::Timing{}));
    EXPECT_EQ(chosen[1], "8859-1");
    EXPECT_EQ(chosen[2], "IRA");
    ASSERT_EQ(bench.sim->sent(0).size(), 1u);
    ASSERT_EQ(bench.sim->sent(1).size(), 1u);
    EXPECT_EQ(bench.sim->sent(0)[0].text, "João Conceição \"ok\" - 5 EUR"); // Latin-1 read as such
    EXPECT_EQ(bench.sim->sent(1)[0].text, "Joao Conceicao \"ok\" - 5 EUR");
    EXPECT_NE(bench.sim->received(1).find("AT+CSCS=\"8859-1\"\r\nAT+CSCS=\"IRA\"\r\n"), std::string::npos);
    // The history keeps the text as the operator wrote it.
    EXPECT_EQ(historyOf(bench, "5511900000002"), text + QStringLiteral("|1"));
}

// An outbox of an older file has no ENVIANDO column: the start-up upgrade adds it, and its rows
// are not in flight.
TEST(Integrity, TheUpgradeAddsTheInFlightMark) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    {
        QSqlQuery q(data.ado->database());
        ASSERT_TRUE(q.exec("ALTER TABLE dbMENSAGEM DROP COLUMN ENVIANDO"));
        ASSERT_TRUE(q.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000001', 'antiga', 1)"));
    }
    data.ado->releaseThreadConnection();
    data.ado.reset();
    const TADO::StartResult r = data.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.executed.contains(QStringLiteral("ALTER TABLE dbMENSAGEM ADD COLUMN ENVIANDO DATETIME")))
        << r.executed.join('|').toStdString();
    QSqlQuery q(data.ado->database());
    ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NULL"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
}
