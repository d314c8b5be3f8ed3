// Opening, probing and re-probing the port slots against simulated modems.
#include "ModemTestRig.h"

#include <gtest/gtest.h>

using modemsim::PortConfig;
using State = PortConfigurator::ProbeState;

namespace {

PortConfig ready(int csq = 21) {
    PortConfig c;
    c.csq = csq;
    return c;
}
PortConfig silent() {
    PortConfig c;
    c.silent = true;
    return c;
}
PortConfig late() {
    PortConfig c;
    c.latencyMs = 60000; // the "OK" comes long after the probe's wait
    return c;
}

// Port 2 is silent: whenever the probe waits, it "answers" ERROR to AT+CSQ.
void answerErrorOnPort2(ModemTestRig& rig) {
    rig.configurator()->setWait([&rig](quint32 ms) {
        if (rig.slot(2)->channel()->isOpen())
            rig.sim->inject(1, "AT+CSQ\r\r\nERROR\r\n");
        rig.configurator()->waitForAnswers(ms);
    });
}

} // namespace

TEST(PortProbe, OpenAllSortsReadySilentErrorLateAndUnpluggedModems) {
    ModemTestRig rig({ready(21), silent(), late(), ready(), silent()});
    answerErrorOnPort2(rig);
    rig.sim->unplug(3); // COM4 vanished before the ports are opened
    rig.exec("UPDATE dbPORTA SET ATIVO = 0 WHERE ID = 5");

    ASSERT_TRUE(rig.configurator()->openAll());

    const QList<PortConfigurator::ProbeResult>& r = rig.configurator()->lastProbe();
    ASSERT_EQ(r.size(), 4); // the inactive slot 5 is not probed
    const struct {
        int entrada;
        State state;
        bool open;
        const char* condition; // what the slot's cell tells the operator
    } expected[] = {{1, State::Ready, true, ""},
                    {2, State::NoAnswer, false, "modem não responde"},
                    {3, State::NoAnswer, false, "modem não responde"},
                    {4, State::Closed, false, "porta não abriu"}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r[i].entrada, expected[i].entrada);
        EXPECT_EQ(r[i].com, expected[i].entrada);
        EXPECT_EQ(r[i].state, expected[i].state);
        EXPECT_EQ(rig.slot(expected[i].entrada)->channel()->isOpen(), expected[i].open);
        EXPECT_EQ(rig.slot(expected[i].entrada)->ready(), expected[i].state == State::Ready);
        EXPECT_EQ(rig.slot(expected[i].entrada)->condition(), QString::fromUtf8(expected[i].condition));
    }
    EXPECT_TRUE(r[3].error.contains("COM4")) << r[3].error.toStdString();
    EXPECT_EQ(rig.slot(1)->signal(), 21);
    EXPECT_EQ(rig.slot(1)->signalCaption(), "67%");
    EXPECT_FALSE(rig.slot(5)->channel()->isOpen());
    // The probe's reply lines of slot 1 reached the console log (echo, +CSQ line; not "OK").
    EXPECT_TRUE(rig.station->consoleLog()->lines().contains("AT+CSQ"));
    EXPECT_TRUE(rig.station->consoleLog()->lines().contains("+CSQ: 21,99"));
    EXPECT_FALSE(rig.station->consoleLog()->lines().contains("OK"));
}

TEST(PortProbe, LateModemIsProbedAnewByTheNextOpenAll) {
    ModemTestRig rig({late()});
    EXPECT_FALSE(rig.configurator()->openAll());
    EXPECT_EQ(rig.configurator()->lastProbe().at(0).state, State::NoAnswer);
    rig.sim->stop();
    rig.sim = std::make_unique<modemsim::ModemSimulator>(
        modemsim::SimulatorOptions{QString(rig.data.path() + "/portas").toStdString(), 1, {ready()}, {}, 1});
    rig.sim->start();
    EXPECT_TRUE(rig.configurator()->openAll());
    EXPECT_TRUE(rig.slot(1)->ready());
}

TEST(PortProbe, NoActiveSlotLeavesEveryChannelClosed) {
    ModemTestRig rig({ready()});
    rig.exec("UPDATE dbPORTA SET ATIVO = 0");
    rig.slot(1)->channel()->setComNumber(1);
    rig.slot(1)->channel()->open(); // open from before: openAll closes inactive slots
    EXPECT_FALSE(rig.configurator()->openAll());
    EXPECT_TRUE(rig.configurator()->lastProbe().isEmpty());
    EXPECT_FALSE(rig.slot(1)->channel()->isOpen());
    EXPECT_FALSE(rig.slot(1)->ready());
}

TEST(PortProbe, ConfigureAllLeavesInactiveSlotsAloneAndRefusesBadSettings) {
    ModemTestRig rig({ready(), ready()});
    rig.slot(2)->channel()->setComNumber(2);
    rig.slot(2)->channel()->open();
    rig.exec("UPDATE dbPORTA SET ATIVO = 0 WHERE ID = 2");
    rig.exec("UPDATE dbPORTA SET VELOCIDADE = 9600, PARIDADE = 'pEven', DATABITS = 7, STOPBITS = 2 WHERE ID = 1");
    rig.exec("UPDATE dbPORTA SET ATIVO = 1, COM = 7, STOPBITS = 1.5 WHERE ID = 3");
    rig.configurator()->configureAll();
    EXPECT_TRUE(rig.slot(2)->channel()->isOpen()); // inactive: neither closed nor changed
    const SerialChannel* c1 = rig.slot(1)->channel();
    EXPECT_EQ(c1->baud(), 9600);
    EXPECT_EQ(c1->parity(), SerialChannel::Parity::pEven); // the stored parity is applied
    EXPECT_EQ(c1->dataBits(), 7);
    EXPECT_EQ(c1->stopBits(), 2);
    EXPECT_EQ(rig.slot(3)->channel()->comNumber(), 7); // set before the refused stop bits

    rig.exec("UPDATE dbPORTA SET ATIVO = 0 WHERE ID = 1");
    EXPECT_FALSE(rig.configurator()->openAll());
    ASSERT_EQ(rig.configurator()->lastProbe().size(), 1);
    EXPECT_EQ(rig.configurator()->lastProbe().at(0).state, State::Closed);
    EXPECT_TRUE(rig.configurator()->lastProbe().at(0).error.contains("1.5"));
    EXPECT_FALSE(rig.slot(2)->channel()->isOpen());
}

TEST(PortProbe, VerificaPortasListsOnlySlotsThatAnswerAgain) {
    // Slot 4's modem is scripted: it answers "OK" while the ports are opened, "ERROR" later.
    ModemTestRig rig({ready(), ready(), ready(), silent()});
    QByteArray slot4Answer = "\r\n+CSQ: 9,99\r\n\r\nOK\r\n";
    rig.configurator()->setWait([&](quint32 ms) {
        if (rig.slot(4)->channel()->isOpen() && !slot4Answer.isEmpty())
            rig.sim->inject(3, slot4Answer.toStdString());
        rig.configurator()->waitForAnswers(ms);
    });
    rig.exec("UPDATE dbCFG SET CASCATA = 3");
    rig.exec("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (9, 9)"); // stale row
    ASSERT_TRUE(rig.configurator()->openAll());
    for (int n = 1; n <= 4; ++n)
        ASSERT_TRUE(rig.slot(n)->ready()) << n;
    EXPECT_EQ(rig.slot(4)->signalCaption(), "29%");

    rig.sim->unplug(2); // slot 3's modem vanishes: its channel closes
    ASSERT_TRUE(ModemTestRig::waitUntil([&] { return !rig.slot(3)->channel()->isOpen(); }));
    slot4Answer = "\r\nERROR\r\n";

    EXPECT_TRUE(rig.configurator()->VerificaPortas());
    EXPECT_EQ(rig.activeList(), (QList<QList<int>>{{1, 3}, {2, 3}}));
    EXPECT_TRUE(rig.slot(4)->channel()->isOpen()); // failed re-probe: open, not ready, not listed
    EXPECT_FALSE(rig.slot(4)->ready());
    EXPECT_FALSE(rig.slot(3)->ready());

    // Not ready any more, slot 4 is not probed again.
    slot4Answer.clear();
    const std::string before = rig.sim->received(3);
    EXPECT_TRUE(rig.configurator()->VerificaPortas());
    EXPECT_EQ(rig.activeList(), (QList<QList<int>>{{1, 3}, {2, 3}}));
    EXPECT_EQ(rig.sim->received(3), before);
}

TEST(PortProbe, VerificaPortasWithCascataZeroListsReadySlotsWithQuotaZero) {
    ModemTestRig rig({ready(), ready()});
    rig.exec("UPDATE dbCFG SET CASCATA = 0");
    ASSERT_TRUE(rig.configurator()->openAll());
    EXPECT_TRUE(rig.configurator()->VerificaPortas());
    EXPECT_EQ(rig.activeList(), (QList<QList<int>>{{1, 0}, {2, 0}}));
}

TEST(PortProbe, VerificaPortasWithNoReadySlotIsFalseAndEmptiesTheList) {
    ModemTestRig rig({silent()});
    rig.exec("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 5)");
    EXPECT_FALSE(rig.configurator()->openAll());
    EXPECT_FALSE(rig.configurator()->VerificaPortas());
    EXPECT_TRUE(rig.activeList().isEmpty());
}

TEST(PortProbe, ProbeBoundFromTheEnvironmentTakesOnlyAPlainPositiveNumber) {
    using Timing = PortConfigurator::ProbeTiming;
    const struct {
        QByteArray text;
        quint32 probe, reprobe;
    } cases[] = {
        {"", 100, 50},
        {"5000", 5000, 5000},
        {" 250\n", 250, 250},
        {"1", 1, 1},
        {"600000", 600000, 600000},
        {"600001", 100, 50},
        {"0", 100, 50},
        {"-5", 100, 50},
        {"abc", 100, 50},
        {"1e3", 100, 50},
        {"99999999999999999999", 100, 50},
        {"12\x01", 100, 50},
        {"4294967396", 100, 50},
    };
    for (const auto& c : cases) {
        const Timing t = Timing::fromText(c.text);
        EXPECT_EQ(t.probe, c.probe) << c.text.toStdString();
        EXPECT_EQ(t.reprobe, c.reprobe) << c.text.toStdString();
    }
}

// With a bound of ten minutes, the probe still ends once every modem has said "OK": the slots are
// judged exactly as after a full wait.
TEST(PortProbe, TheWaitEndsWhenEveryProbedModemHasAnswered) {
    ModemTestRig rig({ready(11), ready(12), ready(13)});
    rig.configurator()->setTiming({600000, 600000});
    QList<qint64> took;
    rig.configurator()->setWait([&](quint32 ms) {
        QElapsedTimer clock;
        clock.start();
        rig.configurator()->waitForAnswers(ms);
        took << clock.elapsed();
    });
    ASSERT_TRUE(rig.configurator()->openAll());
    ASSERT_TRUE(rig.configurator()->VerificaPortas());
    ASSERT_EQ(took.size(), 2);
    for (qint64 ms : std::as_const(took))
        EXPECT_LT(ms, 120000); // far above a reply, far below the bound
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(rig.configurator()->lastProbe().at(n - 1).state, State::Ready) << n;
        EXPECT_EQ(rig.slot(n)->signal(), 10 + n);
    }
    EXPECT_EQ(rig.activeList().size(), 3);
}
