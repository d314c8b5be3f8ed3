// The simulated modem's echo variants and lines of its own, byte for byte as the published transcripts show
// real modems writing them.
#include "SimModem.h"

#include <gtest/gtest.h>

#include <functional>

using namespace modemsim;

namespace {

PortConfig chatty(const std::function<void(Chatter&)>& set, const std::vector<std::string>& lines = {"^RSSI:14"}) {
    PortConfig c;
    c.chatter.lines = lines;
    set(c.chatter);
    return c;
}

std::string all(SimModem& modem, const std::vector<std::string>& inputs) {
    std::string out;
    for (const std::string& input : inputs) {
        const SimModem::Output o = modem.receive(input);
        out += o.echo + o.reply;
    }
    return out;
}

} // namespace

TEST(SimChatter, EchoesAndLinesOfItsOwn) {
    struct Case {
        const char* name;
        PortConfig config;
        std::vector<std::string> inputs;
        std::string expected;
    };
    PortConfig text;
    text.modes = SmsModes::TextOnly;
    const Case cases[] = {
        {"LF echoed before the answer (default)", {}, {"AT+CMGF=1\r\n"}, "AT+CMGF=1\r\n\r\nOK\r\n"},
        {"LF echoed after the answer",
         chatty([](Chatter& c) { c.lfEchoAfterAnswer = true; }),
         {"AT+CMGF=1\r\n"},
         "AT+CMGF=1\r\r\nOK\r\n\n"},
        {"LF after the answer, in a later write",
         chatty([](Chatter& c) { c.lfEchoAfterAnswer = true; }),
         {"AT\r", "\n"},
         "AT\r\r\nOK\r\n\n"},
        {"double echo", chatty([](Chatter& c) { c.doubleEcho = true; }), {"ATE0\r"}, "ATE0\rATE0\r\r\nOK\r\n"},
        {"ATZ turns the echo back on", {}, {"ATE0\r", "ATZ\r", "AT\r"}, "ATE0\r\r\nOK\r\n\r\nOK\r\nAT\r\r\nOK\r\n"},
        {"line before the echo",
         chatty([](Chatter& c) { c.beforeEcho = true; }, {"^SRVST:0"}),
         {"AT\r"},
         "\r\n^SRVST:0\r\nAT\r\r\nOK\r\n"},
        {"line inside the echo",
         chatty([](Chatter& c) { c.insideEcho = true; }, {"*EMRDY: 1"}),
         {"AT*EMRDY?\r"},
         "AT*\r\n*EMRDY: 1\r\nEMRDY?\r\r\nERROR\r\n"},
        {"line between the answer and its OK",
         chatty([](Chatter& c) { c.beforeOk = true; }),
         {"AT+CSQ\r"},
         "AT+CSQ\r\r\n+CSQ: 21,99\r\n\r\n^RSSI:14\r\n\r\nOK\r\n"},
        {"line after the result",
         chatty([](Chatter& c) { c.afterResult = true; }, {"+ZUSIMR:2"}),
         {"AT\r"},
         "AT\r\r\nOK\r\n\r\n+ZUSIMR:2\r\n"},
        {"COMMAND NOT SUPPORT",
         chatty([](Chatter& c) { c.commandNotSupport = true; }),
         {"AT+XYZ\r"},
         "AT+XYZ\r\r\nCOMMAND NOT SUPPORT\r\n"},
        {"bare prompt", chatty([](Chatter& c) { c.barePrompt = true; }), {"AT+CMGS=26\r"}, "AT+CMGS=26\r\r\n>\r\n"},
        {"line right after the prompt",
         chatty([](Chatter& c) { c.afterPrompt = true; }),
         {"AT+CMGS=26\r"},
         "AT+CMGS=26\r\r\n> \r\n^RSSI:14\r\n"},
        {"PDU and Ctrl-Z echoed before the result",
         chatty([](Chatter& c) { c.echoCtrlZ = true; }),
         {"AT+CMGS=2\r", "0A1B\x1a"},
         "AT+CMGS=2\r\r\n> 0A1B\x1a\r\n+CMS ERROR: 304\r\n"},
    };
    for (const Case& c : cases) {
        SimModem modem(c.config);
        EXPECT_EQ(all(modem, c.inputs), c.expected) << c.name;
    }
}

// A real modem starts the text at the CR of AT+CMGS="<number>": the LF a host writes after it is the text's
// first character. The simulator drops it unless told to keep it.
TEST(SimChatter, LfAfterTheSendCommandIsTextWhenKept) {
    for (const bool keep : {false, true}) {
        PortConfig config;
        config.chatter.keepLfAfterCmgs = keep;
        SimModem modem(config);
        all(modem, {"AT+CMGF=1\r", "AT+CMGS=\"5511\"\r\n", "oi\x1a"});
        ASSERT_EQ(modem.sent().size(), 1u);
        EXPECT_EQ(modem.sent()[0].text, keep ? "\noi" : "oi");
    }
}

TEST(SimChatter, ListingsCarryLinesOfItsOwn) {
    PortConfig config = chatty([](Chatter& c) { c.inListing = true; });
    config.inbox = {{"5511988887777", "26/12/09,08:00:00-12", "Ola", false}};
    SimModem modem(config);
    EXPECT_EQ(all(modem, {"ATE0\r", "AT+CMGF=1\r", "AT+CMGL=\"ALL\"\r"}),
              "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n+CMGL: 1,\"REC UNREAD\",\"5511988887777\",,\"26/12/09,08:00:00-12\"\r\n"
              "Ola\r\n\r\n^RSSI:14\r\n\r\nOK\r\n");
}

TEST(SimChatter, MakersProfiles) {
    for (const char* name : {"plain", "huawei", "zte", "quectel", "cinterion", "mbm"}) {
        Chatter c;
        EXPECT_TRUE(chatterProfile(name, &c)) << name;
        EXPECT_EQ(c.lines.empty(), std::string(name) == "plain") << name;
    }
    Chatter c;
    EXPECT_FALSE(chatterProfile("nokia", &c));
}
