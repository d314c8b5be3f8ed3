#include "sms/SlotSetup.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

using Lines = ModemReplies::Lines;
using Pin = SlotSetupReport::Pin;
using Network = SlotSetupReport::Network;

// A scripted modem: each command gets the reply its function gives at that time (empty: silence).
// Every reply takes 100 ms; a wait moves the clock to its end. The run is bounded.
struct SetupRun {
    QList<QByteArray> commands;
    SlotSetupReport report;
    qint64 endMs = 0;
};

using Modem = std::function<Lines(const QByteArray& command, qint64 nowMs)>;

SetupRun run(SlotSetupSettings settings, const Modem& modem) {
    SlotSetup setup(std::move(settings));
    SetupRun r;
    qint64 now = 0;
    for (int i = 0; i < 500 && !setup.done(); ++i) {
        const SlotSetup::Step step = setup.next(now);
        if (step.kind == SlotSetup::Step::Kind::Wait) {
            EXPECT_GT(step.until, now);
            now = step.until;
            continue;
        }
        if (step.kind == SlotSetup::Step::Kind::Done)
            break;
        r.commands << step.command;
        const Lines reply = modem(step.command, now);
        now += 100;
        const bool answered = !reply.isEmpty() && (reply.last() == "OK" || reply.last().contains("ERROR"));
        setup.reply(answered, reply, now);
    }
    EXPECT_TRUE(setup.done());
    r.report = setup.report();
    r.endMs = now;
    return r;
}

// A healthy modem with echo on (it echoes every command before its answer) and a SIM without PIN.
struct Healthy {
    std::map<QByteArray, Lines> replies{
        {"AT+CPIN?", {"+CPIN: READY", "OK"}},
        {"AT+CGSN", {"356938035643809", "OK"}},
        {"AT+CIMI", {"724051234567890", "OK"}},
        {"AT+CCID", {"+CCID: 8955051234567890123", "OK"}},
        {"AT+CGMI", {"SIMCOM_Ltd", "OK"}},
        {"AT+CGMM", {"SIMCOM_SIM800L", "OK"}},
        {"AT+CSCA?", {"+CSCA: \"+550110000000\",145", "OK"}},
        {"AT+CSQ", {"+CSQ: 18,99", "OK"}},
        {"AT+CREG?", {"+CREG: 0,1", "OK"}},
    };
    Lines operator()(const QByteArray& command, qint64) const {
        const auto it = replies.find(command);
        Lines out{command};
        out << (it == replies.end() ? Lines{"OK"} : it->second);
        return out;
    }
};

SlotSetupSettings slot(int n = 3) {
    SlotSetupSettings s;
    s.entrada = n;
    return s;
}

TEST(SlotSetup, HealthyModemGivesItsIdentityAndIsReady) {
    const SetupRun r = run(slot(), Healthy());
    const QList<QByteArray> expected{"ATE0",    "AT+CMEE=1", "AT+CPIN?", "AT+CGSN", "AT+CIMI", "AT+CCID",
                                     "AT+CGMI", "AT+CGMM",   "AT+CSCA?", "AT+CSQ",  "AT+CREG?"};
    EXPECT_EQ(r.commands, expected);
    EXPECT_TRUE(r.report.ready);
    EXPECT_EQ(r.report.pin, Pin::Ok);
    EXPECT_EQ(r.report.network, Network::Registered);
    EXPECT_EQ(r.report.imei, "356938035643809");
    EXPECT_EQ(r.report.imsi, "724051234567890");
    EXPECT_EQ(r.report.iccid, "8955051234567890123");
    EXPECT_EQ(r.report.modelo(), "SIMCOM_Ltd SIMCOM_SIM800L");
    EXPECT_EQ(r.report.signal, 18);
    EXPECT_TRUE(r.report.log.isEmpty());
}

// A modem that refuses everything it does not know (no echo off, no numeric errors, no identity) still sends.
TEST(SlotSetup, ModemRefusingSetUpAndIdentityKeepsWorkingWithEmptyFields) {
    for (const char* refusal : {"ERROR", "COMMAND NOT SUPPORT", "+CME ERROR: 4"}) {
        const SetupRun r = run(slot(), [&](const QByteArray& command, qint64) -> Lines {
            if (command == "AT+CPIN?")
                return {"+CPIN: READY", "OK"};
            return {refusal};
        });
        EXPECT_TRUE(r.report.ready) << refusal;
        EXPECT_EQ(r.report.imei + r.report.imsi + r.report.iccid + r.report.modelo(), "") << refusal;
        // The three ICCID commands were each tried.
        EXPECT_TRUE(r.commands.contains("AT^ICCID?") && r.commands.contains("AT+QCCID")) << refusal;
        EXPECT_EQ(r.report.network, Network::Unknown) << refusal;
    }
}

TEST(SlotSetup, IccidFromTheSecondOrThirdCommand) {
    Healthy huawei;
    huawei.replies["AT+CCID"] = {"ERROR"};
    huawei.replies["AT^ICCID?"] = {"^ICCID: 98555021436587092143", "OK"};
    EXPECT_EQ(run(slot(), huawei).report.iccid, "98555021436587092143"); // swapped digits stored as said
    Healthy quectel;
    quectel.replies["AT+CCID"] = {"ERROR"};
    quectel.replies["AT^ICCID?"] = {"ERROR"};
    quectel.replies["AT+QCCID"] = {"+QCCID: 8955051234567890123F", "OK"};
    EXPECT_EQ(run(slot(), quectel).report.iccid, "8955051234567890123F");
}

// The PIN cases. A PIN is sent at most once; a refused one is marked and never sent again.
TEST(SlotSetup, PinAskedEnteredRefusedOrBlocked) {
    struct Case {
        const char* name;
        QString pin;
        bool refusedBefore;
        Lines afterPin; // the reply to AT+CPIN="…"
        bool ready;
        Pin state;
        bool mark;
        int pinCommands;
        QString log;
    };
    const Case cases[] = {
        {"no pin given",
         "",
         false,
         {},
         false,
         Pin::Asked,
         false,
         0,
         "ENTRADA 3 SIM PEDE PIN: INFORME O PIN DA ENTRADA EM CONFIGURAÇÃO MODEM"},
        {"pin taken", "1234", false, {"OK"}, true, Pin::Ok, false, 1, ""},
        {"pin refused",
         "1111",
         false,
         {"+CME ERROR: 16"},
         false,
         Pin::Wrong,
         true,
         1,
         "ENTRADA 3 PIN INCORRETO: NÃO SERÁ TENTADO DE NOVO"},
        {"refused before",
         "1111",
         true,
         {},
         false,
         Pin::Wrong,
         false,
         0,
         "ENTRADA 3 PIN INCORRETO: NÃO SERÁ TENTADO DE NOVO"},
        {"last try blocks",
         "1111",
         false,
         {"+CME ERROR: 12"},
         false,
         Pin::Puk,
         false,
         1,
         "ENTRADA 3 SIM BLOQUEADO (PUK)"},
        {"pin with a command in it",
         "12\"\r\nAT+CFUN=0",
         false,
         {},
         false,
         Pin::Asked,
         false,
         0,
         "ENTRADA 3 SIM PEDE PIN: INFORME O PIN DA ENTRADA EM CONFIGURAÇÃO MODEM"},
        {"pin too long",
         "123456789",
         false,
         {},
         false,
         Pin::Asked,
         false,
         0,
         "ENTRADA 3 SIM PEDE PIN: INFORME O PIN DA ENTRADA EM CONFIGURAÇÃO MODEM"},
    };
    for (const Case& c : cases) {
        SlotSetupSettings s = slot();
        s.pin = c.pin;
        s.pinRefused = c.refusedBefore;
        bool entered = false;
        const SetupRun r = run(s, [&](const QByteArray& command, qint64 now) -> Lines {
            if (command.startsWith("AT+CPIN=")) {
                entered = c.afterPin == Lines{"OK"};
                return c.afterPin;
            }
            if (command == "AT+CPIN?")
                return {entered ? "+CPIN: READY" : "+CPIN: SIM PIN", "OK"};
            return Healthy()(command, now);
        });
        int pinCommands = 0;
        for (const QByteArray& command : r.commands) {
            pinCommands += command.startsWith("AT+CPIN=") ? 1 : 0;
            EXPECT_FALSE(command.contains('\r') || command.contains('\n')) << c.name;
        }
        EXPECT_EQ(pinCommands, c.pinCommands) << c.name;
        if (c.pinCommands == 1) {
            EXPECT_TRUE(r.commands.contains("AT+CPIN=\"" + c.pin.toLatin1() + '"')) << c.name;
        }
        EXPECT_EQ(r.report.ready, c.ready) << c.name;
        EXPECT_EQ(r.report.pin, c.state) << c.name;
        EXPECT_EQ(r.report.markPinRefused, c.mark) << c.name;
        EXPECT_EQ(r.report.log.join('|'), c.log) << c.name;
        // A slot stopped by its SIM asks nothing more of it.
        if (!c.ready) {
            EXPECT_FALSE(r.commands.contains("AT+CGSN")) << c.name;
        }
    }
    SlotSetupSettings puk = slot();
    const SetupRun blocked = run(puk, [](const QByteArray& command, qint64 now) -> Lines {
        return command == "AT+CPIN?" ? Lines{"+CPIN: SIM PUK", "OK"} : Healthy()(command, now);
    });
    EXPECT_FALSE(blocked.report.ready);
    EXPECT_EQ(blocked.report.pin, Pin::Puk);
    EXPECT_EQ(blocked.report.log.join('|'), "ENTRADA 3 SIM BLOQUEADO (PUK)");
}

// After the PIN the SIM answers "+CME ERROR: 14" for a while: asked again until ready, for up to 20 s.
TEST(SlotSetup, SimBusyAfterPinIsWaitedForUpToTwentySeconds) {
    for (const qint64 busyMs : {qint64(5000), qint64(60000)}) {
        SlotSetupSettings s = slot();
        s.pin = "1234";
        qint64 pinAt = -1;
        const SetupRun r = run(s, [&](const QByteArray& command, qint64 now) -> Lines {
            if (command.startsWith("AT+CPIN=")) {
                pinAt = now;
                return {"OK"};
            }
            if (pinAt >= 0 && now - pinAt < busyMs && command != "ATE0")
                return {"+CME ERROR: 14"};
            if (command == "AT+CPIN?")
                return {pinAt >= 0 ? "+CPIN: READY" : "+CPIN: SIM PIN", "OK"};
            return Healthy()(command, now);
        });
        if (busyMs == 5000) {
            EXPECT_TRUE(r.report.ready);
            EXPECT_EQ(r.report.imsi, "724051234567890");
            EXPECT_LT(r.commands.count("AT+CPIN?"), 12); // about once a second, not in a tight loop
        } else {
            EXPECT_FALSE(r.report.ready);
            EXPECT_EQ(r.report.log.join('|').toStdString(), "ENTRADA 3 SIM OCUPADO: NÃO RESPONDEU EM 20 S");
            EXPECT_LE(r.endMs - pinAt, SlotSetup::kBusyMs + 2000);
        }
        EXPECT_EQ(r.commands.count("AT+CPIN=\"1234\""), 1);
    }
}

// Registration: found at once, after a search, never within ESPERA_REDE_S, denied; no signal at all.
TEST(SlotSetup, NetworkSearchDenialAndNoSignal) {
    struct Case {
        const char* name;
        qint64 registersAtMs; // -1: never
        QByteArray stat;      // the status while not registered
        QByteArray csq;
        bool ready;
        Network network;
        QString log;
    };
    const Case cases[] = {
        {"registered", 0, "2", "+CSQ: 18,99", true, Network::Registered, ""},
        {"after 15 s", 15000, "2", "+CSQ: 18,99", true, Network::Registered, "ENTRADA 3 AGUARDANDO REDE"},
        {"roaming after search", 15000, "0", "+CSQ: 18,99", true, Network::Registered, "ENTRADA 3 AGUARDANDO REDE"},
        {"never", -1, "2", "+CSQ: 18,99", false, Network::Searching,
         "ENTRADA 3 AGUARDANDO REDE|ENTRADA 3 SEM REDE APÓS 30 S"},
        {"denied", -1, "3", "+CSQ: 18,99", false, Network::Denied, "ENTRADA 3 REGISTRO NA REDE NEGADO"},
        {"no signal", 0, "2", "+CSQ: 99,99", false, Network::NoSignal, "ENTRADA 3 SEM SINAL"},
    };
    for (const Case& c : cases) {
        SlotSetupSettings s = slot();
        s.networkWaitS = 30;
        const SetupRun r = run(s, [&](const QByteArray& command, qint64 now) -> Lines {
            if (command == "AT+CSQ")
                return {c.csq, "OK"};
            if (command == "AT+CREG?") {
                const bool registered = c.registersAtMs >= 0 && now >= c.registersAtMs;
                return {"+CREG: 2," +
                            (registered ? QByteArray(c.name[0] == 'r' && c.name[1] == 'o' ? "5" : "1") : c.stat) +
                            ",\"1A2B\",\"00C3\"",
                        "OK"};
            }
            return Healthy()(command, now);
        });
        EXPECT_EQ(r.report.ready, c.ready) << c.name;
        EXPECT_EQ(r.report.network, c.network) << c.name;
        EXPECT_EQ(r.report.log.join('|'), c.log) << c.name;
        if (c.registersAtMs < 0 && c.stat == "2") {
            EXPECT_LE(r.endMs, 30000 + 3000) << c.name; // the wait ends at ESPERA_REDE_S
        }
        if (c.ready) {
            EXPECT_EQ(r.report.condition, "") << c.name;
        }
    }
}

// The SMS centre: written when the slot has one; a SIM without one and none given stops the slot.
TEST(SlotSetup, SmsCentreWrittenOrMissing) {
    Healthy empty;
    empty.replies["AT+CSCA?"] = {"+CSCA: \"\",129", "OK"};
    const SetupRun missing = run(slot(), empty);
    EXPECT_FALSE(missing.report.ready);
    EXPECT_EQ(missing.report.log.join('|'),
              "ENTRADA 3 SEM CENTRO DE MENSAGENS (SMSC): INFORME-O EM CONFIGURAÇÃO MODEM");
    SlotSetupSettings given = slot();
    given.smsc = "+55 11 9999-0000";
    const SetupRun written = run(given, empty);
    EXPECT_TRUE(written.report.ready);
    EXPECT_TRUE(written.commands.contains("AT+CSCA=\"+551199990000\",145"));
    EXPECT_FALSE(written.commands.contains("AT+CSCA?"));
    // A number with anything else in it is never written: the SIM's own is read instead.
    given.smsc = "+5511\"\r\nAT+CFUN=0";
    const SetupRun hostile = run(given, Healthy());
    EXPECT_TRUE(hostile.commands.contains("AT+CSCA?"));
    for (const QByteArray& command : hostile.commands)
        EXPECT_FALSE(command.contains("CFUN"));
}

// A modem that goes silent mid-way is left as it is after two unanswered commands (no minute-long set-up).
TEST(SlotSetup, SilentModemEndsTheSetUpKeepingTheSlot) {
    const SetupRun r = run(slot(), [](const QByteArray& command, qint64 now) -> Lines {
        return command == "ATE0" || command == "AT+CMEE=1" ? Healthy()(command, now) : Lines{};
    });
    EXPECT_TRUE(r.report.ready);
    EXPECT_EQ(r.commands.size(), 4);
}

} // namespace
