#include "sms/ModemReplies.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Lines = ModemReplies::Lines;

Lines lines(std::initializer_list<const char*> list) {
    Lines out;
    for (const char* l : list)
        out << QByteArray(l);
    return out;
}

struct CregCase {
    const char* line;
    std::optional<int> stat;
};

// Every form of +CREG the modems use: solicited "<n>,<stat>[,<lac>,<ci>[,<act>]]", unsolicited
// "<stat>[,<lac>,<ci>[,<act>]]", with and without quotes, blanks and leading zeros.
TEST(ModemReplies, RegistrationInEveryForm) {
    const CregCase cases[] = {
        {"+CREG: 1, E006B, ABE0016", 1},                 // unsolicited, unquoted location
        {"+CREG: 2,0,00,0", 0},                          // Huawei E160G, solicited, not registered
        {"+CREG: 2,1,8BE3,2BAF", 1},                     // solicited with location
        {"+CREG: 001,\"0001\",\"0010\",000", 1},         // unsolicited, leading zeros
        {"+CREG: 1,0001,0010,0", 1},                     // unsolicited with access technology
        {"+CREG: 0,1", 1},                               // solicited, plain
        {"+CREG: 0,5", 5},                               // roaming
        {"+CREG: 0,2", 2},                               // searching
        {"+CREG: 0,3", 3},                               // denied
        {"+CREG: 5", 5},                                 // unsolicited: the one number is the status
        {"+CREG: 2", 2},                                 //
        {"+CREG: 2,1,\"1A2B\",\"00C3\",7", 1},           // five fields
        {"+CREG:0,1", 1},                                // no blank
        {"+creg: 0,1", 1},                               // lower case
        {"+CREG: ", std::nullopt},                       // nothing
        {"+CREG: x,y", std::nullopt},                    // words
        {"+CREG: 0,99999999999999999999", std::nullopt}, // a number that does not fit
        {"+CREG: 1,2,3,4,5,6", std::nullopt},            // too many fields
        {"+CGREG: 0,1", std::nullopt},                   // another command's line
        {"AT+CREG?", std::nullopt},                      // the echo
    };
    for (const CregCase& c : cases)
        EXPECT_EQ(ModemReplies::registration(QByteArray(c.line)), c.stat) << c.line;
    // Among the echo and an unsolicited line, the reply is found.
    EXPECT_EQ(ModemReplies::registration(lines({"AT+CREG?", "^RSSI:14", "+CREG: 0,5", "OK"})), 5);
}

TEST(ModemReplies, IdentityInTheFormsModemsWriteIt) {
    struct Case {
        Lines reply;
        QString imei, imsi, iccid;
    };
    const Case cases[] = {
        {lines({"356938035643809", "OK"}), "356938035643809", "356938035643809", ""},
        {lines({"AT+CGSN", "+CGSN: \"356938035643809\"", "OK"}), "356938035643809", "", ""},
        {lines({"+CIMI: 724051234567890"}), "", "724051234567890", ""},
        {lines({"+CCID: 8955051234567890123"}), "", "", "8955051234567890123"},
        {lines({"+CCID: \"89550512345678901234\""}), "", "", "89550512345678901234"},
        {lines({"^ICCID: 98555021436587092143"}), "", "", "98555021436587092143"}, // BCD-swapped: kept as written
        {lines({"+QCCID: 8955051234567890123F"}), "", "", "8955051234567890123F"},
        {lines({"89550512345678901234", "OK"}), "", "", "89550512345678901234"},
        {lines({"^RSSI:14", "ERROR"}), "", "", ""},
        {lines({"+CME ERROR: 10"}), "", "", ""},
        {lines({"3569380356438\x01"
                "09"}),
         "", "", ""}, // a control byte: no value
        {lines({"9999999999999999999999999999"}), "", "", ""},
    };
    for (const Case& c : cases) {
        const QByteArray shown = c.reply.join('|');
        EXPECT_EQ(ModemReplies::imei(c.reply), c.imei) << shown.constData();
        if (!c.imsi.isEmpty() || c.imei.isEmpty()) {
            EXPECT_EQ(ModemReplies::imsi(c.reply), c.imsi) << shown.constData();
        }
        EXPECT_EQ(ModemReplies::iccid(c.reply), c.iccid) << shown.constData();
    }
}

TEST(ModemReplies, MakerAndModelSkipEchoAndUnsolicitedLines) {
    EXPECT_EQ(ModemReplies::infoText(lines({"AT+CGMI", "^RSSI:14", "huawei", "OK"}), "AT+CGMI"), "huawei");
    EXPECT_EQ(ModemReplies::infoText(lines({"+CGMM: \"SIM800 R14.18\"", "OK"}), "AT+CGMM"), "SIM800 R14.18");
    EXPECT_EQ(ModemReplies::infoText(lines({"RDY", "OK"}), "AT+CGMI"), "RDY"); // a boot word is no worse
    EXPECT_EQ(ModemReplies::infoText(lines({"ERROR"}), "AT+CGMM"), "");
    EXPECT_EQ(ModemReplies::infoText(lines({"+CME ERROR: 4"}), "AT+CGMM"), "");
    EXPECT_EQ(ModemReplies::infoText(lines({"COMMAND NOT SUPPORT"}), "AT+CGMM"), "");
    EXPECT_EQ(ModemReplies::infoText(lines({"EC\x1b"
                                            "25\x07"}),
                                     "AT+CGMM"),
              "EC25");
    EXPECT_EQ(ModemReplies::infoText({QByteArray(300, 'M')}, "AT+CGMM").size(), 64);
}

TEST(ModemReplies, PinStatesAndErrors) {
    using P = ModemReplies::Pin;
    EXPECT_EQ(ModemReplies::pinState(lines({"AT+CPIN?", "+CPIN: READY", "OK"})), P::Ready);
    EXPECT_EQ(ModemReplies::pinState(lines({"+CPIN: READY"})), P::Ready); // without OK
    EXPECT_EQ(ModemReplies::pinState(lines({"+CPIN: SIM PIN", "OK"})), P::SimPin);
    EXPECT_EQ(ModemReplies::pinState(lines({"+CPIN: \"SIM PIN\""})), P::SimPin);
    EXPECT_EQ(ModemReplies::pinState(lines({"+CPIN: SIM PUK"})), P::SimPuk);
    EXPECT_EQ(ModemReplies::pinState(lines({"+CPIN: PH-SIM PIN"})), P::Other);
    EXPECT_EQ(ModemReplies::pinState(lines({"ERROR"})), P::Unknown);
    EXPECT_EQ(ModemReplies::cmeError(lines({"+CME ERROR: 16"})), 16);
    EXPECT_EQ(ModemReplies::cmeError(lines({"+CME ERROR: SIM not inserted"})), -1);
    EXPECT_EQ(ModemReplies::cmeError(lines({"OK"})), -1);
}

TEST(ModemReplies, SignalAndSmsCentre) {
    EXPECT_EQ(ModemReplies::signal(lines({"+CSQ: 21,99", "OK"})), 21);
    EXPECT_EQ(ModemReplies::signal(lines({"+CSQ: 99,99"})), 99);
    EXPECT_EQ(ModemReplies::signal(lines({"+CSQ: 45,0"})), -1);
    EXPECT_EQ(ModemReplies::smsc(lines({"+CSCA: \"+550110000000\",145", "OK"})), QString("+550110000000"));
    EXPECT_EQ(ModemReplies::smsc(lines({"+CSCA: \"\",129", "OK"})), QString(""));
    EXPECT_EQ(ModemReplies::smsc(lines({"+CSCA: \"\""})), QString(""));
    EXPECT_EQ(ModemReplies::smsc(lines({"+CSCA: \"5511\x01"
                                        "99\",129"})),
              QString("551199"));
    EXPECT_EQ(ModemReplies::smsc(lines({"ERROR"})), std::nullopt);
}

} // namespace
