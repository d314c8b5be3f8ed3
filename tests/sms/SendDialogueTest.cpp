// The send dialogue over a real serial channel against the simulated modem: the worker's
// writes, the handler's answer at the prompt, and the final results.
#include "ModemSimulator.h"
#include "WaitUntil.h"
#include "modem/ComMapping.h"
#include "modem/SerialChannel.h"
#include "sms/ResponseHandler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace modemsim;

namespace {

// The part of the window-thread coordinator these tests need: feed the handler from the
// channel, write what it asks, lower the flag, keep history rows.
struct MiniCoordinator {
    MiniCoordinator(SerialChannel& channel, ResponseHandler& handler, SlotState& state) {
        QObject::connect(&channel, &SerialChannel::TriggerAvail, [&, this](SerialChannel* ch, quint16 count) {
            for (const HandlerAction& action : handler.feed(ch->takeBytes(count))) {
                if (const auto* write = std::get_if<WriteToChannel>(&action))
                    ch->WriteText(write->bytes);
                else if (const auto* row = std::get_if<HistoryRow>(&action))
                    history.push_back(*row);
                else if (const auto* lower = std::get_if<LowerAwaiting>(&action))
                    state.store(lower->sequence);
                else if (std::holds_alternative<ReadyLightOn>(action))
                    ++oks;
            }
        });
    }
    std::vector<HistoryRow> history;
    int oks = 0;
};

} // namespace

TEST(SendDialogue, AgainstTheSimulatedModem) {
    QTemporaryDir dir;
    ComMapping::setDataDir(dir.path());
    PortConfig config;
    config.failNumbers = {"5511000000000"};
    config.cmsError = 330;
    config.latencyMs = 5;
    SimulatorOptions options;
    options.dir = QString(dir.path() + QStringLiteral("/portas")).toStdString();
    options.ports = {config};
    ModemSimulator sim(options);
    sim.start();

    SerialChannel channel(1);
    channel.setComNumber(1);
    SlotState state;
    ResponseHandler handler(1, state);
    MiniCoordinator coordinator(channel, handler, state);
    channel.open();
    channel.WriteText("AT+CMGF=1\r\n");
    ASSERT_TRUE(waitUntil([&] { return coordinator.oks == 1; }));

    const OutboxRow rows[] = {{QStringLiteral("5511987654321"), QStringLiteral("Olá, \"teste\" > 1"), 1},
                              {QStringLiteral("5511000000000"), QStringLiteral("falha"), 2}};
    for (const OutboxRow& row : rows) {
        const quint64 sequence = state.beginSend(row);
        channel.WriteText(QStringLiteral("AT+CMGS=\"%1\"\r\n").arg(row.fone));
        ASSERT_TRUE(waitUntil([&] { return !state.awaiting(); })) << row.fone.toStdString();
        EXPECT_TRUE(state.finish(sequence));
    }
    ASSERT_EQ(coordinator.history.size(), 2u);
    EXPECT_TRUE(coordinator.history[0].enviado);
    EXPECT_EQ(coordinator.history[0].mensagem, rows[0].mensagem);
    EXPECT_FALSE(coordinator.history[1].enviado);
    EXPECT_EQ(coordinator.history[1].mensagem, QStringLiteral(" ERRO :330 - Endereço desconhecido SMSC\rfalha"));
    const std::vector<SentSms> sent = sim.sent(0);
    ASSERT_EQ(sent.size(), 2u);
    // No AT+CSCS in this dialogue: the modem, in its default "IRA", reads no Latin-1 letter.
    EXPECT_EQ(sent[0].text, "Ol?, \"teste\" > 1");
    EXPECT_EQ(sent[1].number, "5511000000000");
    sim.stop();
    ComMapping::setDataDir(QString());
}
