// The program's SMS-SUBMIT parts sent to the simulated modem as the worker sends them (AT+CMGS=<length>, the hex,
// Ctrl-Z): the modem's own decoder must accept every part, count the same length, and join the same text.
#include "sms/PduEncoder.h"

#include "SimModem.h"

#include <gtest/gtest.h>

namespace {

struct Sent {
    std::vector<modemsim::SentMessage> messages;
    std::vector<modemsim::SentSms> parts;
    std::string replies;
};

Sent sendThroughModem(const QString& number, const QString& text, bool report) {
    modemsim::SimModem modem{modemsim::PortConfig{}};
    Sent sent;
    for (const char* command : {"ATE0\r", "AT+CMGF=0\r"})
        modem.receive(command);
    pdu::SubmitOptions options;
    options.statusReport = report;
    options.reference = 77;
    const pdu::SubmitResult r = pdu::encodeSubmit(number, text, options);
    EXPECT_TRUE(r.ok()) << r.error.toStdString();
    for (const pdu::SubmitPart& part : r.parts) {
        sent.replies += modem.receive("AT+CMGS=" + std::to_string(part.tpduLength) + "\r").reply;
        sent.replies += modem.receive(part.hex.toStdString() + "\x1a").reply;
    }
    sent.parts = modem.sent();
    sent.messages = modemsim::joinedSends(sent.parts);
    return sent;
}

QString repeated(const QString& piece, int length) {
    QString s;
    while (s.size() < length)
        s += piece;
    return s.left(length);
}

} // namespace

TEST(SimModemPduSend, TheModemAcceptsAndJoinsWhatTheEncoderSends) {
    struct Case {
        const char* name;
        QString number;
        QString text;
        int parts;
        bool ucs2;
        std::string decodedNumber;
    };
    const Case cases[] = {
        {"300 GSM characters with extension ones", QStringLiteral("+5511987654321"),
         repeated(QStringLiteral("Oferta [valida] {hoje}: 10€ | fim à noite "), 300), 3, false, "+5511987654321"},
        {"300 Portuguese characters", QStringLiteral("5511987654321"),
         repeated(QStringLiteral("Atenção: a promoção de verão já começou, não perca! "), 300), 5, true,
         "+5511987654321"},
        {"one short message, national number", QStringLiteral("11987654321"), QStringLiteral("Olá, tudo bem?"), 1, true,
         "11987654321"},
        {"empty text", QStringLiteral("+5511987654321"), QString(), 1, false, "+5511987654321"},
        {"emoji across the part boundary", QStringLiteral("+5511987654321"),
         repeated(QStringLiteral("a"), 66) + QString::fromUtf8("😀😀") + repeated(QStringLiteral("b"), 10), 2, true,
         "+5511987654321"},
    };
    for (const Case& c : cases) {
        const Sent sent = sendThroughModem(c.number, c.text, true);
        EXPECT_EQ(sent.replies.find("ERROR"), std::string::npos) << c.name << ": " << sent.replies;
        ASSERT_EQ(sent.messages.size(), 1u) << c.name;
        EXPECT_EQ(sent.messages[0].text, c.text.toStdString()) << c.name;
        EXPECT_EQ(sent.messages[0].parts, c.parts) << c.name;
        EXPECT_TRUE(sent.messages[0].complete && sent.messages[0].accepted) << c.name;
        EXPECT_EQ(sent.messages[0].number, c.decodedNumber) << c.name;
        for (const modemsim::SentSms& part : sent.parts) {
            EXPECT_EQ(part.ucs2, c.ucs2) << c.name;
            EXPECT_TRUE(part.statusReport) << c.name;
            EXPECT_EQ(part.concatReference, c.parts > 1 ? 77 : -1) << c.name;
        }
    }
}
