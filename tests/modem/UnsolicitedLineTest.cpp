// The table of lines modems send on their own, against lines real modems write (and lines that only look
// like them).
#include "modem/UnsolicitedLine.h"

#include <gtest/gtest.h>

using UnsolicitedLine::Kind;

TEST(UnsolicitedLine, RealModemsLines) {
    struct Case {
        QByteArray line;
        Kind kind;
    };
    const Case cases[] = {
        {"RING", Kind::Call},
        {"NO CARRIER", Kind::Call},
        {"+CLIP: \"+5511987654321\",145,,,,0", Kind::Call},
        {"+CMTI: \"SM\",3", Kind::NewMessage},
        {"+CMTI: \"ME\",1", Kind::NewMessage},
        {"+CDSI: \"SM\",2", Kind::Report},
        {"+CDS: 25", Kind::Report},
        {"+CREG: 1, E006B, ABE0016", Kind::Registration},
        {"+CREG: 2,0,00,0", Kind::Registration},
        {"+CREG: 001,\"0001\",\"0010\",000", Kind::Registration},
        {"+CGREG: 1", Kind::Registration},
        {"+CEREG: 5", Kind::Registration},
        {"^SRVST:0", Kind::Registration},
        {"^MODE:5,4", Kind::Registration},
        {"^RSSI:14", Kind::Signal},
        {"^HCSQ:\"LTE\",59,50,161,24", Kind::Signal},
        {"+QIND: \"csq\",27,99", Kind::Signal},
        {"+CPIN: READY", Kind::Sim},
        {"^SIMST:1", Kind::Sim},
        {"+ZUSIMR:2", Kind::Sim},
        {"+ZPASR: \"UMTS\"", Kind::Sim},
        {"+QUSIM: 1", Kind::Sim},
        {"RDY", Kind::Start},
        {"+CFUN: 1", Kind::Start},
        {"^BOOT:35323129,0,0,0,26", Kind::Start},
        {"^SYSSTART", Kind::Start},
        {"*EMRDY: 1", Kind::Start},
        {"SMS DONE", Kind::Start},
        {"PB DONE", Kind::Start},
        {"+QIND: SMS DONE", Kind::Start},
        {"+QIND: PB DONE", Kind::Start},
        {"+CUSD: 0,\"Saldo R$ 5,00\",15", Kind::Network},
        {"^DSFLOWRPT:00000124,00000000,00000000,0000000000000000,0000000000000000,0003E800,0003E800", Kind::Network},
        {"^STIN: 7, 0, 0", Kind::Network},
        {"RING ", Kind::Call}, // a blank left by the framing
        // Answers, results, echoes and texts are no lines of the modem's own.
        {"OK", Kind::None},
        {"ERROR", Kind::None},
        {"COMMAND NOT SUPPORT", Kind::None},
        {"+CMGS: 17", Kind::None},
        {"+CMS ERROR: 38", Kind::None},
        {"+CSQ: 21,99", Kind::None},
        {"+CMGL: 1,\"REC READ\",\"+5511\",,\"26/12/09,08:00:00+00\"", Kind::None},
        {"+CPMS: \"SM\",3,50", Kind::None},
        {"> ", Kind::None},
        {">", Kind::None},
        {"AT+CREG?", Kind::None},
        {"RINGING", Kind::None},
        {"Ring", Kind::None},
        {"NO CARRIER AGAIN", Kind::None},
        {"RDY2", Kind::None},
        {"", Kind::None},
        {"\x01\x02", Kind::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnsolicitedLine::classify(c.line), c.kind) << c.line.toStdString();
}

// "+CREG: 0,1" after AT+CREG? is the answer the command waits for; after any other command it is the
// modem's own. The caller names the command whose answer it awaits.
TEST(UnsolicitedLine, TheAwaitedAnswerIsNoLineOfItsOwn) {
    struct Case {
        QByteArray line;
        QByteArray pending;
        bool unsolicited;
    };
    const Case cases[] = {
        {"+CREG: 0,1", "AT+CREG?", false},
        {"+CREG: 0,1", "at+creg?", false},
        {"+CREG: 0,1", "AT+CSQ", true},
        {"+CREG: 0,1", "", true},
        {"+CGREG: 0,1", "AT+CGREG?", false},
        {"+CEREG: 0,1", "AT+CEREG?", false},
        {"+CPIN: READY", "AT+CPIN?", false},
        {"+CPIN: SIM PIN", "AT+CPIN?", false},
        {"+CPIN: READY", "AT+CMGF=1", true},
        {"+CFUN: 1", "AT+CFUN?", false},
        {"^HCSQ:\"LTE\",59,50,161,24", "AT^HCSQ?", false},
        {"+CUSD: 0,\"Saldo\",15", "AT+CUSD?", false},
        {"RING", "AT+CREG?", true},
        {"^RSSI:14", "AT+CREG?", true},
        {"+CMTI: \"SM\",1", "AT+CMTI", true}, // no command asks for it
        {"+CREG: 0,1", "AT", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnsolicitedLine::isUnsolicited(c.line, c.pending), c.unsolicited)
            << c.line.toStdString() << " after " << c.pending.toStdString();
}

TEST(UnsolicitedLine, OtherRefusalsAndKindNames) {
    EXPECT_TRUE(UnsolicitedLine::isOtherRefusal("COMMAND NOT SUPPORT"));
    EXPECT_FALSE(UnsolicitedLine::isOtherRefusal("COMMAND NOT SUPPORTED BY ME"));
    EXPECT_FALSE(UnsolicitedLine::isOtherRefusal("ERROR"));
    for (const Kind k : {Kind::Call, Kind::NewMessage, Kind::Report, Kind::Registration, Kind::Signal, Kind::Sim,
                         Kind::Start, Kind::Network})
        EXPECT_FALSE(UnsolicitedLine::kindName(k).isEmpty());
    EXPECT_TRUE(UnsolicitedLine::kindName(Kind::None).isEmpty());
}
