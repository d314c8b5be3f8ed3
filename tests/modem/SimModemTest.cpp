#include "SimModem.h"

#include <gtest/gtest.h>

using namespace modemsim;

namespace {

struct Case {
    const char* name;
    PortConfig config;
    std::vector<std::string> inputs;
    std::string expected; // echo and replies of all inputs, in order
};

PortConfig withFailNumber(int cmsError) {
    PortConfig c;
    c.failNumbers = {"5511000000000"};
    c.cmsError = cmsError;
    return c;
}

PortConfig withInbox() {
    PortConfig c;
    c.inbox = {{"5511988887777", "26/12/09,08:00:00-12", "Ola", false},
               {"5511955554444", "26/12/09,08:05:00-12", "Tchau", false}};
    return c;
}

PortConfig withListError() {
    PortConfig c = withInbox();
    c.listError = true;
    return c;
}

PortConfig silent() {
    PortConfig c;
    c.silent = true;
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

TEST(SimModem, Dialogues) {
    const Case cases[] = {
        {"AT with echo", {}, {"AT\r"}, "AT\r\r\nOK\r\n"},
        {"echo off", {}, {"ATE0\r", "AT\r"}, "ATE0\r\r\nOK\r\n\r\nOK\r\n"},
        {"ATZ restores echo", {}, {"ATE0\r", "ATZ\r", "at\r"}, "ATE0\r\r\nOK\r\n\r\nOK\r\nat\r\r\nOK\r\n"},
        {"signal", {}, {"AT+CSQ\r\n"}, "AT+CSQ\r\n\r\n+CSQ: 21,99\r\n\r\nOK\r\n"},
        {"send",
         {},
         {"ATE0\r", "AT+CMGF=1\r", "AT+CMGS=\"5511\"\r", "oi\x1a"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n"},
        {"LF after the CR of AT+CMGS is not text",
         {},
         {"AT+CMGF=1\r", "AT+CMGS=\"5511\"\r\n", "oi\x1a"},
         "AT+CMGF=1\r\r\nOK\r\nAT+CMGS=\"5511\"\r\r\n> oi\r\n+CMGS: 1\r\n\r\nOK\r\n"},
        {"send needs text mode", {}, {"ATE0\r", "AT+CMGS=\"5511\"\r"}, "ATE0\r\r\nOK\r\n\r\n+CMS ERROR: 304\r\n"},
        {"ESC cancels",
         {},
         {"ATE0\r", "AT+CMGF=1\r", "AT+CMGS=\"5511\"\r", "oi\x1b"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> \r\nOK\r\n"},
        {"failing number",
         withFailNumber(500),
         {"ATE0\r", "AT+CMGF=1\r", "AT+CMGS=\"5511000000000\"\r", "x\x1a"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> \r\n+CMS ERROR: 500\r\n"},
        {"failing number, plain ERROR",
         withFailNumber(0),
         {"ATE0\r", "AT+CMGF=1\r", "AT+CMGS=\"5511000000000\"\r", "x\x1a"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> \r\nERROR\r\n"},
        {"listing and deletion",
         withInbox(),
         {"ATE0\r", "AT+CMGF=1\r", "AT+CMGD=1\r", "AT+CMGL=\"ALL\"\r", "AT+CMGD=1\r"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n\r\n+CMGL: 2,\"REC "
         "UNREAD\",\"5511955554444\",,\"26/12/09,08:05:00-12\"\r\n"
         "Tchau\r\n\r\nOK\r\n\r\n+CMS ERROR: 321\r\n"},
        {"count and reading of one message",
         withInbox(),
         {"ATE0\r", "AT+CMGF=1\r", "AT+CPMS?\r", "AT+CMGR=2\r", "AT+CMGR=3\r", "AT+CMGD=1\r", "AT+CPMS?\r"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n+CPMS: \"SM\",2,50,\"SM\",2,50,\"SM\",2,50\r\n\r\nOK\r\n"
         "\r\n+CMGR: \"REC UNREAD\",\"5511955554444\",,\"26/12/09,08:05:00-12\"\r\nTchau\r\n\r\nOK\r\n"
         "\r\n+CMS ERROR: 321\r\n\r\nOK\r\n"
         "\r\n+CPMS: \"SM\",1,50,\"SM\",1,50,\"SM\",1,50\r\n\r\nOK\r\n"},
        {"listing refused",
         withListError(),
         {"ATE0\r", "AT+CMGF=1\r", "AT+CMGL=\"ALL\"\r"},
         "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nERROR\r\n"},
        {"empty listing", {}, {"ATE0\r", "AT+CMGF=1\r", "AT+CMGL=\"ALL\"\r"}, "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\n"},
        {"unknown command", {}, {"ATE0\r", "AT+XYZ\r", "hello\r"}, "ATE0\r\r\nOK\r\n\r\nERROR\r\n\r\nERROR\r\n"},
        {"silent", silent(), {"AT\r", "AT+CSQ\r"}, ""},
    };
    for (const Case& c : cases) {
        SimModem modem(c.config);
        EXPECT_EQ(all(modem, c.inputs), c.expected) << c.name;
    }
}

TEST(SimModem, RecordsSendsAndUnplugsAfterK) {
    PortConfig config = withFailNumber(500);
    config.unplugAfter = 2;
    SimModem modem(config);
    all(modem, {"AT+CMGF=1\r", "AT+CMGS=\"1\"\r", "a\x1a"});
    EXPECT_FALSE(modem.unplugRequested());
    all(modem, {"AT+CMGS=\"5511000000000\"\r", "b\x1a"});
    EXPECT_TRUE(modem.unplugRequested());
    ASSERT_EQ(modem.sent().size(), 2u);
    EXPECT_TRUE(modem.sent()[0].accepted);
    EXPECT_FALSE(modem.sent()[1].accepted);
    EXPECT_EQ(modem.sent()[1].text, "b");
    EXPECT_EQ(all(modem, {"AT\r"}), "");
}

TEST(SimModem, GarbageAndFailRateFaults) {
    PortConfig garbage;
    garbage.garbage = true;
    SimModem noisy(garbage);
    const SimModem::Output out = noisy.receive("ATE0\r");
    EXPECT_GT(out.reply.size(), std::string("\r\nOK\r\n").size());
    EXPECT_EQ(out.reply.substr(out.reply.size() - 6), "\r\nOK\r\n");

    PortConfig always;
    always.failRate = 1.0;
    always.cmsError = 0;
    SimModem failing(always);
    EXPECT_EQ(all(failing, {"ATE0\r", "AT+CMGF=1\r", "AT+CMGS=\"1\"\r", "a\x1a"}),
              "ATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> \r\nERROR\r\n");
    EXPECT_FALSE(failing.sent().at(0).accepted);
}
