// The slots are probed side by side: every modem has its "AT+CSQ" before the one shared wait, and
// each slot gets the outcome and the log lines it would get if they were probed one after another.
#include "ModemTestRig.h"

#include <gtest/gtest.h>

using modemsim::PortConfig;
using State = PortConfigurator::ProbeState;

namespace {

constexpr int kModems = 8;

// Modems that answer only what the test injects, so the replies can come in any order.
std::vector<PortConfig> scripted() {
    PortConfig c;
    c.silent = true;
    return std::vector<PortConfig>(kModems, c);
}

struct ProbeScript {
    ModemTestRig& rig;
    QList<int> answering; // slots that answer, in the order their replies arrive
    QList<quint32> waits;

    // Stands in for the wait: checks that every probe was written before it, then lets the
    // modems answer in the scripted order, each reply handled before the next one comes.
    void operator()(quint32 ms) {
        waits << ms;
        for (int n = 1; n <= kModems; ++n) {
            const bool written = ModemTestRig::waitUntil([&] {
                return !rig.slot(n)->channel()->isOpen() ||
                       rig.sim->received(n - 1).find("AT+CSQ\r\n") != std::string::npos;
            });
            EXPECT_TRUE(written) << "slot " << n << " was not probed before the wait";
        }
        for (int n : std::as_const(answering)) {
            rig.sim->inject(n - 1, "AT+CSQ\r\r\n+CSQ: " + std::to_string(10 + n) + ",99\r\n\r\nOK\r\n");
            EXPECT_TRUE(ModemTestRig::waitUntil([&] { return rig.slot(n)->ready(); })) << n;
        }
    }
};

QStringList acks(const ModemLog* log) {
    QStringList slots;
    for (const QString& line : log->lines())
        if (line.endsWith(" ACK RECEBIDO OK<CR> ."))
            slots << line.section(' ', 2, 3);
    return slots;
}

TEST(ParallelProbe, OneWaitForAllSlotsAndLinesInSlotOrder) {
    ModemTestRig rig(scripted());
    rig.exec("UPDATE dbCFG SET CASCATA = 7");
    auto script = std::make_shared<ProbeScript>(ProbeScript{rig, {8, 6, 5, 3, 2, 1, 7}, {}}); // slot 4 is silent
    rig.configurator()->setTiming({}); // the operator's waits: 100 ms, 50 ms
    rig.configurator()->setWait([script](quint32 ms) { (*script)(ms); });

    ASSERT_TRUE(rig.configurator()->openAll());
    EXPECT_EQ(script->waits, QList<quint32>({100}));
    const QList<PortConfigurator::ProbeResult>& r = rig.configurator()->lastProbe();
    ASSERT_EQ(r.size(), kModems);
    for (int n = 1; n <= kModems; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(r[n - 1].entrada, n);
        EXPECT_EQ(r[n - 1].state, n == 4 ? State::NoAnswer : State::Ready);
        EXPECT_EQ(rig.slot(n)->channel()->isOpen(), n != 4);
        EXPECT_EQ(rig.slot(n)->signal(), n == 4 ? 0 : 10 + n);
    }
    const QStringList inOrder{"ENTRADA 1", "ENTRADA 2", "ENTRADA 3", "ENTRADA 5",
                              "ENTRADA 6", "ENTRADA 7", "ENTRADA 8"};
    EXPECT_EQ(acks(rig.station->sendLog()), inOrder);
    // Slot 1's own reply lines, as the console log shows them.
    EXPECT_TRUE(rig.station->consoleLog()->lines().contains("+CSQ: 11,99"));

    // The re-probe: one wait of 50 ms; slots 6 and 2 do not answer this time.
    script->waits.clear();
    script->answering = {7, 5, 3, 1, 8};
    const qsizetype before = rig.station->sendLog()->lines().size();
    ASSERT_TRUE(rig.configurator()->VerificaPortas());
    EXPECT_EQ(script->waits, QList<quint32>({50}));
    EXPECT_EQ(rig.activeList(), (QList<QList<int>>{{1, 7}, {3, 7}, {5, 7}, {7, 7}, {8, 7}}));
    ModemLog fresh;
    for (const QString& line : rig.station->sendLog()->lines().mid(before))
        fresh.append(line);
    EXPECT_EQ(acks(&fresh), QStringList({"ENTRADA 1", "ENTRADA 3", "ENTRADA 5", "ENTRADA 7", "ENTRADA 8"}));
    EXPECT_TRUE(rig.slot(2)->channel()->isOpen()); // failed re-probe: open, not ready, not listed
    EXPECT_FALSE(rig.slot(2)->ready());
}

} // namespace
