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

// Text mode speaks the set AT+CSCS selected, as a modem does: listings and readings in it, what the
// host writes read in it. A fresh modem is in "IRA": a letter outside ASCII is "?" either way.
TEST(SimModem, TextModeSpeaksTheSelectedCharacterSet) {
    struct SetCase {
        const char* name;
        std::vector<std::string> select; // commands before the dialogue
        std::string listed;              // the text and the sender as the modem writes them
        std::string sender;
        std::string written; // what the host writes for "Olá €"
        std::string sent;    // ... as the recipient reads it (UTF-8)
        std::string current;
    };
    const SetCase cases[] = {
        {"fresh modem", {}, "Ol? ? ? ?", "Jo?o", "Ol\xe1 ?", "Ol? ?", "IRA"},
        {"8859-1", {"AT+CSCS=\"8859-1\"\r"}, "Ol\xe1 ? \xff ?", "Jo\xe3o", "Ol\xe1 ?", "Olá ?", "8859-1"},
        {"IRA after 8859-1",
         {"AT+CSCS=\"8859-1\"\r", "AT+CSCS=\"IRA\"\r"},
         "Ol? ? ? ?",
         "Jo?o",
         "Ola ?",
         "Ola ?",
         "IRA"},
        {"GSM", {"AT+CSCS=\"GSM\"\r"}, "Ol? ? ? ?", "Jo?o", "Ol\xe1", "Ol?", "GSM"},
        {"UCS2",
         {"AT+CSCS=\"UCS2\"\r"},
         "004F006C00E1002020AC002000FF0020D83DDE00",
         "004A006F00E3006F",
         "004F006C00E1002020AC",
         "Olá €",
         "UCS2"},
        {"refused set keeps the one before", {"AT+CSCS=\"UTF-8\"\r"}, "Ol? ? ? ?", "Jo?o", "Ol\xe1", "Ol?", "IRA"},
    };
    for (const SetCase& c : cases) {
        PortConfig config;
        config.inbox = {{"João", "26/12/09,08:00:00+00", "Olá € ÿ 😀", false}};
        SimModem modem(config);
        all(modem, {"ATE0\r", "AT+CMGF=1\r"});
        all(modem, c.select);
        EXPECT_EQ(modem.charset(), c.current) << c.name;
        const std::string header = "\"REC UNREAD\",\"" + c.sender + "\",,\"26/12/09,08:00:00+00\"\r\n" + c.listed;
        EXPECT_EQ(all(modem, {"AT+CMGR=1\r"}), "\r\n+CMGR: " + header + "\r\n\r\nOK\r\n") << c.name;
        EXPECT_EQ(all(modem, {"AT+CMGL=\"ALL\"\r"}),
                  "\r\n+CMGL: 1," + std::string(header).replace(1, 10, "REC READ") + "\r\n\r\nOK\r\n")
            << c.name;
        all(modem, {"AT+CMGS=\"5511\"\r", c.written + "\x1a"});
        ASSERT_EQ(modem.sent().size(), 1u) << c.name;
        EXPECT_EQ(modem.sent()[0].text, c.sent) << c.name;
    }
}
