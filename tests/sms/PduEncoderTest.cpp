// SMS-SUBMIT encoding: published PDUs, number types, and the part boundaries checked with the simulator's own
// decoder.
#include "sms/PduEncoder.h"

#include "SimPdu.h"

#include <gtest/gtest.h>

using namespace pdu;

namespace {

QString repeat(const QString& s, int n) {
    return s.repeated(n);
}

std::vector<modemsim::SubmitPdu> simDecode(const SubmitResult& r) {
    std::vector<modemsim::SubmitPdu> out;
    for (const SubmitPart& p : r.parts) {
        std::string error;
        auto decoded = modemsim::decodeSubmitPdu(p.hex.toStdString(), &error);
        EXPECT_TRUE(decoded) << error << " in " << p.hex.toStdString();
        if (decoded) {
            EXPECT_EQ(decoded->tpduLength, p.tpduLength);
            out.push_back(*decoded);
        }
    }
    return out;
}

} // namespace

struct KnownSubmit {
    const char* name;
    QString number;
    QString text;
    bool statusReport;
    int reference;
    QByteArray hex;
    int tpduLength;
};

TEST(PduEncoder, publishedAndHandCheckedPdus) {
    const KnownSubmit cases[] = {
        // The classic "hellohello" to +46708251358 (validity 1 week instead of the example's 4 days).
        {"hellohello", QStringLiteral("+46708251358"), QStringLiteral("hellohello"), false, 0,
         "0011000B916407281553F80000AD0AE8329BFD4697D9EC37", 23},
        {"ucs2", QStringLiteral("+5511987654321"), QStringLiteral("ação"), false, 0,
         "0011000D91551189674523F10008AD08006100E700E3006F", 23},
        {"extension table", QStringLiteral("5511987654321"), QStringLiteral("€[]{}"), false, 0,
         "0011000D91551189674523F10000AD0A9BF286B7F16D509B14", 24},
        {"status report asked", QStringLiteral("11987654321"), QStringLiteral("hellohello"), true, 0,
         "0031000BA11189674523F10000AD0AE8329BFD4697D9EC37", 23},
        {"empty text", QStringLiteral("+123"), QString(), false, 0, "001100039121F30000AD00", 10},
    };
    for (const KnownSubmit& c : cases) {
        SubmitOptions options;
        options.statusReport = c.statusReport;
        const SubmitResult r = encodeSubmit(c.number, c.text, options);
        ASSERT_TRUE(r.ok()) << c.name << ": " << r.error.toStdString();
        ASSERT_EQ(r.parts.size(), 1) << c.name;
        EXPECT_EQ(r.parts[0].hex, c.hex) << c.name;
        EXPECT_EQ(r.parts[0].tpduLength, c.tpduLength) << c.name;
    }
}

TEST(PduEncoder, concatenatedHeaders) {
    SubmitOptions options;
    options.reference = 0xCC;
    const SubmitResult r = encodeSubmit(QStringLiteral("+5511987654321"), repeat(QStringLiteral("a"), 161), options);
    ASSERT_EQ(r.parts.size(), 2);
    EXPECT_TRUE(r.parts[0].hex.startsWith("0051000D91551189674523F10000ADA0050003CC0201C2E170381C0E87C3E170"));
    EXPECT_EQ(r.parts[0].tpduLength, 155);
    EXPECT_EQ(r.parts[1].hex, "0051000D91551189674523F10000AD0F050003CC0202C2E170381C0E8701");
    // UCS-2 parts: the octet count includes the 6 header octets.
    const SubmitResult u = encodeSubmit(QStringLiteral("+5511987654321"), repeat(QStringLiteral("ç"), 71), options);
    ASSERT_EQ(u.parts.size(), 2);
    EXPECT_TRUE(u.parts[0].hex.startsWith("0051000D91551189674523F10008AD8C050003CC020100E7"));
    EXPECT_TRUE(u.parts[1].hex.startsWith("0051000D91551189674523F10008AD0E050003CC020200E7"));
}

TEST(PduEncoder, destinationNumbers) {
    struct Case {
        QString number;
        QByteArray addressHex; // empty: refused
    };
    const Case cases[] = {
        {QStringLiteral("+5511987654321"), "0D91551189674523F1"},
        {QStringLiteral("5511987654321"), "0D91551189674523F1"}, // 13 digits with the country code
        {QStringLiteral("551187654321"), "0C91551178563412"},    // 12 digits with the country code
        {QStringLiteral("11987654321"), "0BA11189674523F1"},     // national
        {QStringLiteral("(11) 98765-4321"), "0BA11189674523F1"},
        {QStringLiteral(" +55 11 98765.4321 "), "0D91551189674523F1"},
        {QStringLiteral("661187654321"), "0CA1661178563412"}, // 12 digits, another country code: national
        {QStringLiteral("+12345678901234567890"), "149121436587092143658709"},
        {QStringLiteral("+123456789012345678901"), ""}, // 21 digits do not fit the address
        {QStringLiteral(""), ""},
        {QStringLiteral("+"), ""},
        {QStringLiteral("55+11999"), ""},
        {QStringLiteral("1199x"), ""},
        {QStringLiteral("11\r99"), ""},
    };
    for (const Case& c : cases) {
        const SubmitResult r = encodeSubmit(c.number, QStringLiteral("x"));
        if (c.addressHex.isEmpty()) {
            EXPECT_FALSE(r.ok()) << c.number.toStdString();
            EXPECT_TRUE(r.parts.isEmpty());
            EXPECT_TRUE(r.error.startsWith(QStringLiteral("Número inválido"))) << r.error.toStdString();
            continue;
        }
        ASSERT_TRUE(r.ok()) << c.number.toStdString();
        EXPECT_EQ(r.parts[0].hex.mid(6, c.addressHex.size()), c.addressHex) << c.number.toStdString();
    }
}

struct Boundary {
    const char* name;
    QString text;
    int parts;
    Coding coding;
    std::vector<int> partUnits; // septets (header excluded) or UTF-16 units per part, as the simulator reads them
};

TEST(PduEncoder, partBoundaries) {
    const QString a = QStringLiteral("a");
    const QString c = QStringLiteral("ç");
    const QString euro = QStringLiteral("€");
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // U+1F600, a surrogate pair
    const Boundary cases[] = {
        {"160 septets", repeat(a, 160), 1, Coding::Gsm7, {160}},
        {"161 septets", repeat(a, 161), 2, Coding::Gsm7, {153, 8}},
        {"153x2", repeat(a, 306), 2, Coding::Gsm7, {153, 153}},
        {"153x2+1", repeat(a, 307), 3, Coding::Gsm7, {153, 153, 1}},
        {"153x6", repeat(a, 918), 6, Coding::Gsm7, {153, 153, 153, 153, 153, 153}},
        {"80 euros are 160 septets", repeat(euro, 80), 1, Coding::Gsm7, {160}},
        {"escape straddling", repeat(a, 152) + euro + repeat(a, 10), 2, Coding::Gsm7, {152, 12}},
        {"escape just fits", repeat(a, 151) + euro + repeat(a, 10), 2, Coding::Gsm7, {153, 10}},
        {"70 units", repeat(c, 70), 1, Coding::Ucs2, {70}},
        {"71 units", repeat(c, 71), 2, Coding::Ucs2, {67, 4}},
        {"67x2", repeat(c, 134), 2, Coding::Ucs2, {67, 67}},
        {"67x2+1", repeat(c, 135), 3, Coding::Ucs2, {67, 67, 1}},
        {"35 emoji are 70 units", repeat(smile, 35), 1, Coding::Ucs2, {70}},
        {"surrogate straddling", repeat(c, 66) + smile + repeat(c, 10), 2, Coding::Ucs2, {66, 12}},
        {"surrogate just fits", repeat(c, 65) + smile + repeat(c, 10), 2, Coding::Ucs2, {67, 10}},
        {"one ç makes it UCS-2", repeat(a, 100) + c, 2, Coding::Ucs2, {67, 34}},
        {"capital Ç stays GSM", repeat(a, 100) + QStringLiteral("Ç"), 1, Coding::Gsm7, {101}},
    };
    for (const Boundary& b : cases) {
        const SmsCount count = countSms(b.text);
        EXPECT_EQ(count.parts, b.parts) << b.name;
        EXPECT_EQ(count.coding, b.coding) << b.name;
        const SubmitResult r = encodeSubmit(QStringLiteral("+5511987654321"), b.text);
        ASSERT_EQ(r.parts.size(), b.parts) << b.name;
        const auto sim = simDecode(r);
        ASSERT_EQ(sim.size(), std::size_t(b.parts)) << b.name;
        for (std::size_t i = 0; i < sim.size(); ++i) {
            const int headerSeptets = b.parts > 1 ? 7 : 0;
            const int headerOctets = b.parts > 1 ? 6 : 0;
            const int units = sim[i].ucs2 ? (sim[i].septets - headerOctets) / 2 : sim[i].septets - headerSeptets;
            EXPECT_EQ(units, b.partUnits[i]) << b.name << " part " << i + 1;
            EXPECT_EQ(sim[i].ucs2, b.coding == Coding::Ucs2) << b.name;
        }
        EXPECT_EQ(modemsim::joinedText(sim), b.text.toStdString()) << b.name;
    }
}

TEST(PduEncoder, counterFollowsTheRealEncoding) {
    struct Case {
        QString text;
        int characters;
        int parts;
        int units;
    };
    const Case cases[] = {
        {QString(), 0, 1, 0},
        {QStringLiteral("Olá"), 3, 1, 3}, // "á" is not in the GSM alphabet: UCS-2
        {QStringLiteral("Olà"), 3, 1, 3},
        {QStringLiteral("{}"), 2, 1, 4},
        {QString::fromUtf8("\xF0\x9F\x98\x80"), 1, 1, 2},
        {QStringLiteral("a").repeated(1000), 1000, 7, 1000},
    };
    for (const Case& c : cases) {
        const SmsCount n = countSms(c.text);
        EXPECT_EQ(n.characters, c.characters) << c.text.toStdString();
        EXPECT_EQ(n.parts, c.parts) << c.text.toStdString();
        EXPECT_EQ(n.units, c.units) << c.text.toStdString();
    }
}

TEST(PduEncoder, fitToPartsCutsOnlyBeyondTheLimit) {
    const QString a = QStringLiteral("a");
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(fitToParts(a.repeated(918)), a.repeated(918));
    EXPECT_EQ(fitToParts(a.repeated(919)), a.repeated(918));
    EXPECT_EQ(fitToParts(QStringLiteral("ç") + a.repeated(1000)), QStringLiteral("ç") + a.repeated(401));
    // The character that forced UCS-2 is cut away, so the rest goes back to 7-bit and keeps 918 characters.
    EXPECT_EQ(fitToParts(a.repeated(918) + QStringLiteral("ç")), a.repeated(918));
    // An escape pair or a surrogate pair is never cut in half.
    EXPECT_EQ(fitToParts(a.repeated(917) + QStringLiteral("€")), a.repeated(917));
    const QString emojis = QStringLiteral("ç").repeated(401) + smile;
    EXPECT_EQ(fitToParts(emojis), QStringLiteral("ç").repeated(401));
    EXPECT_EQ(fitToParts(a.repeated(200), 1), a.repeated(160));
    EXPECT_EQ(fitToParts(a, 0), QString());
}

TEST(PduEncoder, refusesMoreThanOneHeaderCanNumber) {
    const SubmitResult r = encodeSubmit(QStringLiteral("+5511987654321"), QStringLiteral("a").repeated(153 * 255 + 1));
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.parts.isEmpty());
    EXPECT_EQ(encodeSubmit(QStringLiteral("+5511987654321"), QStringLiteral("a").repeated(153 * 255)).parts.size(),
              255);
}
