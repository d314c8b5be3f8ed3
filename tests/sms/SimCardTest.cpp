// The simulated modem's SIM, network and identity, byte for byte: the peer the set-up tests rely on.
#include "SimModem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using modemsim::PortConfig;
using modemsim::SimModem;

std::string talk(SimModem& modem, const std::vector<std::string>& commands) {
    std::string out;
    for (const std::string& command : commands) {
        const SimModem::Output o = modem.receive(command + "\r");
        out += o.echo + o.reply;
    }
    return out;
}

TEST(SimCard, PinPukCentreAndNetwork) {
    struct Case {
        const char* name;
        PortConfig config;
        std::vector<std::string> commands;
        std::string reply;
    };
    PortConfig pin;
    pin.sim.pin = "1234";
    PortConfig noCentre;
    noCentre.sim.smsc.clear();
    PortConfig denied;
    denied.sim.denied = true;
    PortConfig searching;
    searching.sim.registerAfterMs = -1;
    const Case cases[] = {
        {"ready", {}, {"ATE0", "AT+CPIN?"}, "ATE0\r\r\nOK\r\n\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"pin asked, sms refused",
         pin,
         {"ATE0", "AT+CPIN?", "AT+CMGS=\"5511\""},
         "ATE0\r\r\nOK\r\n\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n\r\nERROR\r\n"},
        {"numbered errors", pin, {"ATE0", "AT+CMEE=1", "AT+CIMI"}, "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n+CME ERROR: 11\r\n"},
        {"right pin",
         pin,
         {"ATE0", "AT+CPIN=\"1234\"", "AT+CPIN?"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"three wrong pins block",
         pin,
         {"ATE0", "AT+CMEE=1", "AT+CPIN=\"1\"", "AT+CPIN=\"2\"", "AT+CPIN=\"3\"", "AT+CPIN?", "AT+CPIN=\"1234\""},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n+CME ERROR: 16\r\n\r\n+CME ERROR: 16\r\n\r\n+CME ERROR: 12\r\n"
         "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n\r\n+CME ERROR: 12\r\n"},
        {"no centre until set",
         noCentre,
         {"ATE0", "AT+CSCA?", "AT+CMGF=1", "AT+CMGS=\"5511\"", "AT+CSCA=\"+5511\",145", "AT+CSCA?"},
         "ATE0\r\r\nOK\r\n\r\n+CSCA: \"\",129\r\n\r\nOK\r\n\r\nOK\r\n\r\n+CMS ERROR: 330\r\n\r\nOK\r\n"
         "\r\n+CSCA: \"+5511\",145\r\n\r\nOK\r\n"},
        {"denied", denied, {"ATE0", "AT+CREG?"}, "ATE0\r\r\nOK\r\n\r\n+CREG: 0,3\r\n\r\nOK\r\n"},
        {"searching", searching, {"ATE0", "AT+CREG?"}, "ATE0\r\r\nOK\r\n\r\n+CREG: 0,2\r\n\r\nOK\r\n"},
        {"identity",
         {},
         {"ATE0", "AT+CGSN", "AT^ICCID?"},
         "ATE0\r\r\nOK\r\n\r\n356938035643809\r\n\r\nOK\r\n\r\nERROR\r\n"},
    };
    for (const Case& c : cases) {
        SimModem modem(c.config);
        EXPECT_EQ(talk(modem, c.commands), c.reply) << c.name;
    }
}

// Busy after the PIN and a slow boot, on the clock (short spans, bounds far above them).
TEST(SimCard, BusyAfterPinAndSlowBoot) {
    PortConfig busy;
    busy.sim.pin = "1234";
    busy.sim.busyAfterPinMs = 300;
    SimModem modem(busy);
    EXPECT_EQ(talk(modem, {"ATE0", "AT+CMEE=1", "AT+CPIN=\"1234\"", "AT+CPIN?"}),
              "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n\r\n+CME ERROR: 14\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(talk(modem, {"AT+CPIN?"}), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    PortConfig slow;
    slow.sim.bootSilentMs = 300;
    SimModem booting(slow);
    EXPECT_EQ(talk(booting, {"AT+CSQ"}), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    // The boot lines come between the echo and the answer of the first command, as on a real modem.
    EXPECT_EQ(talk(booting, {"ATE0"}), "ATE0\r\r\nRDY\r\n\r\n+CPIN: READY\r\n\r\n+QIND: SMS DONE\r\n\r\nOK\r\n");
}

} // namespace
