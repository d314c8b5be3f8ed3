// SMS-DELIVER and SMS-STATUS-REPORT decoding: published PDUs, every coding, and hostile input.
#include "sms/PduDecoder.h"

#include "SimPdu.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace pdu;

namespace {

const char* const kHelloDeliver = "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37";
const char* const kStatusTpdu = "06D60B911326880736F4111011719551401110117195714000";

QDateTime at(int y, int mo, int d, int h, int mi, int s, int offsetMinutes) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone(offsetMinutes * 60));
}

} // namespace

TEST(PduDecoder, publishedDeliver) {
    const auto r = decodeDeliver(kHelloDeliver);
    ASSERT_TRUE(r.value) << r.error.toStdString();
    const Deliver& d = *r.value;
    EXPECT_EQ(d.smsc.number, QStringLiteral("+27381000015"));
    EXPECT_EQ(d.sender.number, QStringLiteral("27838890001"));
    EXPECT_EQ(d.sender.type, 0xC8);
    EXPECT_EQ(d.sent.time, at(1999, 3, 29, 15, 16, 59, 120));
    EXPECT_EQ(d.sent.zoneMinutes, 120);
    EXPECT_EQ(d.text, QStringLiteral("hellohello"));
    EXPECT_FALSE(d.concat);
    // With the modem's <length> the SMSC field is found exactly; without it, too.
    EXPECT_TRUE(decodeDeliver(kHelloDeliver, 28).value);
    EXPECT_EQ(decodeDeliver(QByteArray(kHelloDeliver).mid(16), 28).value->text, QStringLiteral("hellohello"));
}

TEST(PduDecoder, publishedStatusReportWithAndWithoutSmsc) {
    const QByteArray tpdu(kStatusTpdu);
    const struct {
        const char* name;
        QByteArray hex;
        int length;
    } cases[] = {
        {"bare TPDU, length given", tpdu, 25},
        {"bare TPDU, no length", tpdu, -1},
        {"empty SMSC field, length given", "00" + tpdu, 25},
        {"empty SMSC field, no length", "00" + tpdu, -1},
        {"SMSC field, length given", "07913126040000F0" + tpdu, 25},
        {"SMSC field, no length", "07913126040000F0" + tpdu, -1},
        {"lower-case hex with line end", "00" + tpdu.toLower() + "\r\n", -1},
    };
    for (const auto& c : cases) {
        const auto r = decodeStatusReport(c.hex, c.length);
        ASSERT_TRUE(r.value) << c.name << ": " << r.error.toStdString();
        const StatusReport& s = *r.value;
        EXPECT_EQ(s.reference, 0xD6) << c.name;
        EXPECT_EQ(s.recipient.number, QStringLiteral("+31628870634")) << c.name;
        EXPECT_EQ(s.centreTime.time, at(2011, 1, 11, 17, 59, 15, 60)) << c.name;
        EXPECT_EQ(s.dischargeTime.time, at(2011, 1, 11, 17, 59, 17, 60)) << c.name;
        EXPECT_EQ(s.status, 0);
        EXPECT_EQ(s.statusText, QStringLiteral("Entregue")) << c.name;
    }
    // A length that matches neither reading is refused rather than guessed.
    EXPECT_FALSE(decodeStatusReport(QByteArray("00" + tpdu), 24).value);
}

TEST(PduDecoder, deliveryStatusTexts) {
    const struct {
        int status;
        DeliveryState state;
        const char* text;
    } cases[] = {
        {0x00, DeliveryState::Delivered, "Entregue"},
        {0x01, DeliveryState::Delivered, "Entregue"},
        {0x1F, DeliveryState::Delivered, "Entregue"},
        {0x20, DeliveryState::Pending, "Pendente"},
        {0x25, DeliveryState::Pending, "Pendente"},
        {0x3F, DeliveryState::Pending, "Pendente"},
        {0x40, DeliveryState::Failed, "Falhou: erro de procedimento remoto"},
        {0x46, DeliveryState::Failed, "Falhou: validade da mensagem expirou"},
        {0x49, DeliveryState::Failed, "Falhou: mensagem inexistente na central"},
        {0x4A, DeliveryState::Failed, "Falhou: situação 0x4A"},
        {0x60, DeliveryState::Failed, "Falhou: congestionamento"},
        {0x65, DeliveryState::Failed, "Falhou: erro no destinatário"},
        {0x7F, DeliveryState::Failed, "Falhou: situação 0x7F"},
        {0xFF, DeliveryState::Failed, "Falhou: situação 0xFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(deliveryState(std::uint8_t(c.status)), c.state) << c.status;
        EXPECT_EQ(deliveryStatusText(std::uint8_t(c.status)), QString::fromUtf8(c.text)) << c.status;
    }
    modemsim::StatusReportSpec failed;
    failed.recipient = "+5511987654321";
    failed.messageReference = 200;
    failed.status = 0x46;
    int length = 0;
    const QByteArray hex = QByteArray::fromStdString(modemsim::encodeStatusReportPdu(failed, &length));
    const auto r = decodeStatusReport(hex, length);
    ASSERT_TRUE(r.value) << r.error.toStdString();
    EXPECT_EQ(r.value->reference, 200);
    EXPECT_EQ(r.value->state, DeliveryState::Failed);
    EXPECT_EQ(r.value->dischargeTime.zoneMinutes, -180);
}

TEST(PduDecoder, codingsSendersAndHeaders) {
    const struct {
        const char* name;
        QByteArray hex;
        QString sender;
        QString text;
        int reference; // -1: not concatenated
        bool wide;
        int total;
        int sequence;
    } cases[] = {
        // UCS-2 "ação" from +5511987654321, zone -3 h.
        {"ucs2", "0004 0D91551189674523F1 0008 62219001020329 08 006100E700E3006F", QStringLiteral("+5511987654321"),
         QStringLiteral("ação"), -1, false, 1, 1},
        // 8-bit data shown byte for byte.
        {"8-bit", "0004 0BA11189674523F1 0004 62219001020329 03 41FF00", QStringLiteral("11987654321"),
         QString::fromLatin1("A\xFF\0", 3), -1, false, 1, 1},
        // Extension table characters.
        {"extension", "0004 0BA11189674523F1 0000 62219001020329 0A 9BF286B7F16D509B14", QStringLiteral("11987654321"),
         QStringLiteral("€[]{}"), -1, false, 1, 1},
        // Alphanumeric sender "Vestral" (7 septets = 13 semi-octets).
        {"alphanumeric", "0004 0DD0D6F29C2E0FB301 0000 62219001020329 01 31", QStringLiteral("Vestral"),
         QStringLiteral("1"), -1, false, 1, 1},
        // 8-bit reference, part 2 of 3, 7-bit with its fill bit.
        {"concat 8-bit", "0044 0BA11189674523F1 0000 62219001020329 0F 050003CC0302C2E170381C0E8701",
         QStringLiteral("11987654321"), QStringLiteral("aaaaaaaa"), 0xCC, false, 3, 2},
        // 16-bit reference 0x1234, part 1 of 2, UCS-2.
        {"concat 16-bit", "0044 0BA11189674523F1 0008 62219001020329 09 0608041234020100E7",
         QStringLiteral("11987654321"), QStringLiteral("ç"), 0x1234, true, 2, 1},
        // A header element with impossible numbers (part 3 of 2) is ignored; the text still reads.
        {"bad concat numbers", "0044 0BA11189674523F1 0008 62219001020329 08 050003CC020300E7",
         QStringLiteral("11987654321"), QStringLiteral("ç"), -1, false, 1, 1},
        // Unknown header elements are skipped.
        {"other element", "0044 0BA11189674523F1 0008 62219001020329 0B 08 0A0100 0003010202 00E7",
         QStringLiteral("11987654321"), QStringLiteral("ç"), 1, false, 2, 2},
    };
    for (const auto& c : cases) {
        QByteArray hex = c.hex;
        hex.replace(' ', "");
        const auto r = decodeDeliver(hex);
        ASSERT_TRUE(r.value) << c.name << ": " << r.error.toStdString();
        EXPECT_EQ(r.value->sender.number, c.sender) << c.name;
        EXPECT_EQ(r.value->text, c.text) << c.name;
        EXPECT_EQ(r.value->sent.time, at(2026, 12, 9, 10, 20, 30, -180)) << c.name;
        EXPECT_EQ(r.value->concat.has_value(), c.reference >= 0) << c.name;
        if (c.reference >= 0 && r.value->concat) {
            EXPECT_EQ(r.value->concat->reference, c.reference) << c.name;
            EXPECT_EQ(r.value->concat->wideReference, c.wide) << c.name;
            EXPECT_EQ(r.value->concat->total, c.total) << c.name;
            EXPECT_EQ(r.value->concat->sequence, c.sequence) << c.name;
        }
    }
}

TEST(PduDecoder, hostilePdusGiveErrors) {
    const QByteArray good(kHelloDeliver);
    const struct {
        const char* name;
        QByteArray hex;
        int length;
    } cases[] = {
        {"empty", "", -1},
        {"blank", "  \r\n", -1},
        {"odd digit count", good.chopped(1), -1},
        {"not hex", "07917283010010F5040BC87238880900F1000099309251619580ZZ", -1},
        {"NUL inside",
         QByteArray("0791\0"
                    "7283",
                    9),
         -1},
        {"SMSC only", "00", -1},
        {"SMSC length beyond the data", "0C91", -1},
        {"SMSC length 255", "FF" + good.mid(2), -1},
        {"truncated in the text", good.chopped(2), -1},
        {"truncated in the time stamp", good.left(40), -1},
        {"truncated in the address", good.left(22), -1},
        {"text length beyond the data", good.left(52) + "0B" + good.mid(54), -1},
        {"text length 255", good.left(52) + "FF" + good.mid(54), -1},
        {"address of 255 digits", good.left(18) + "FF" + good.mid(20), -1},
        {"length given does not match", good, 27},
        {"length given larger than the data", good, 200},
        {"length given negative past zero", good, 0},
        {"SMS-SUBMIT is not a received message", "0011000B916407281553F80000AD0AE8329BFD4697D9EC37", -1},
        {"status report is not a DELIVER", QByteArray("00") + kStatusTpdu, -1},
        {"header longer than the data", "0044 0BA11189674523F1 0008 62219001020329 02 0500", -1},
        {"header element past the header", "0044 0BA11189674523F1 0008 62219001020329 06 050005010101", -1},
        {"7-bit header longer than UDL", "0044 0BA11189674523F1 0000 62219001020329 01 050003CC0302", -1},
        {"too long", QByteArray(402, '0'), -1},
    };
    for (const auto& c : cases) {
        QByteArray hex = c.hex;
        hex.replace(' ', "");
        const auto r = decodeDeliver(hex, c.length);
        EXPECT_FALSE(r.value) << c.name;
        EXPECT_FALSE(r.error.isEmpty()) << c.name;
    }
    const QByteArray status = QByteArray("00") + kStatusTpdu;
    for (const QByteArray& bad : {status.chopped(2), status.left(20), QByteArray("0006D6"), QByteArray(good)}) {
        const auto r = decodeStatusReport(bad);
        EXPECT_FALSE(r.value) << bad.toStdString();
        EXPECT_FALSE(r.error.isEmpty());
    }
}

TEST(PduDecoder, impossibleTimeStampKeepsTheMessage) {
    // Month 13 and a zone beyond a day: the text is still read, the time is left invalid.
    const auto r = decodeDeliver("00040BA11189674523F10000"
                                 "62319001020399"
                                 "02"
                                 "3119");
    ASSERT_TRUE(r.value) << r.error.toStdString();
    EXPECT_FALSE(r.value->sent.time.isValid());
    EXPECT_EQ(r.value->text, QStringLiteral("12"));
}
