// Random texts through the program's encoder and the simulator's decoder, and through the simulator's encoder
// and the program's decoder and joiner: the same text and part count must come back.
#include "sms/ConcatJoiner.h"
#include "sms/PduDecoder.h"
#include "sms/PduEncoder.h"

#include "SimPdu.h"

#include <QTimeZone>
#include <gtest/gtest.h>

#include <random>

using namespace pdu;

namespace {

const char32_t kGsmOnly[] = {U'a',  U'Z', U'0', U' ', U'.', U'@', U'é', U'à', U'Ç', U'ñ',  U'Ø', U'Δ',
                             U'\n', U'€', U'[', U']', U'{', U'}', U'|', U'^', U'~', U'\\', U'\f'};
const char32_t kPortuguese[] = {U'ã', U'õ', U'ç', U'á', U'ê', U'ô', U'í', U'ú', U'Ã', U'Õ', U'É', U'Ê'};
const char32_t kEmoji[] = {0x1F600, 0x1F44D, 0x1F1E7, 0x1F1F7, 0x2764, 0x1F389};

QString randomText(std::mt19937& rng, int mode) {
    const int length = std::uniform_int_distribution<int>(0, 1000)(rng);
    std::uniform_int_distribution<int> pick(0, 99);
    QString s;
    for (int i = 0; i < length; ++i) {
        const int p = pick(rng);
        char32_t c = 0;
        if (mode == 0 || p < 60)
            c = kGsmOnly[std::size_t(p) % std::size(kGsmOnly)];
        else if (mode == 1 || p < 85)
            c = kPortuguese[std::size_t(p) % std::size(kPortuguese)];
        else
            c = kEmoji[std::size_t(p) % std::size(kEmoji)];
        s += QString::fromUcs4(&c, 1);
    }
    // Short texts are the common case: keep some near the one-message limits.
    if (pick(rng) < 20)
        s.truncate(std::uniform_int_distribution<int>(150, 170)(rng));
    if (!s.isEmpty() && s.back().isHighSurrogate())
        s.chop(1);
    return s;
}

} // namespace

TEST(PduRoundTrip, encoderAgainstTheSimulatorsDecoder) {
    std::mt19937 rng(20261209);
    for (int n = 0; n < 600; ++n) {
        const QString text = randomText(rng, n % 3);
        SubmitOptions options;
        options.reference = std::uint8_t(n);
        options.statusReport = n % 2;
        const SmsCount count = countSms(text);
        const SubmitResult r = encodeSubmit(QStringLiteral("+5511987654321"), text, options);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        ASSERT_EQ(r.parts.size(), count.parts) << n;
        EXPECT_EQ(count.characters, text.toUcs4().size()) << n;
        std::vector<modemsim::SubmitPdu> sim;
        for (const SubmitPart& p : r.parts) {
            std::string error;
            const auto d = modemsim::decodeSubmitPdu(p.hex.toStdString(), &error);
            ASSERT_TRUE(d) << error;
            EXPECT_EQ(d->tpduLength, p.tpduLength);
            sim.push_back(*d);
        }
        const bool multi = sim.size() > 1;
        for (std::size_t i = 0; i < sim.size(); ++i) {
            const modemsim::SubmitPdu& p = sim[i];
            EXPECT_EQ(p.number, "+5511987654321");
            EXPECT_EQ(p.statusReport, options.statusReport);
            EXPECT_EQ(p.validity, 0xAD);
            EXPECT_EQ(p.ucs2, count.coding == Coding::Ucs2);
            EXPECT_EQ(p.concatenated, multi);
            if (multi) {
                EXPECT_EQ(p.reference, options.reference);
                EXPECT_EQ(p.total, int(sim.size()));
                EXPECT_EQ(p.sequence, int(i + 1));
            }
            const int limit = p.ucs2 ? (multi ? 6 + 2 * 67 : 140) : (multi ? 7 + 153 : 160);
            EXPECT_LE(p.septets, limit) << n;
            if (!p.units.empty()) {
                EXPECT_FALSE(QChar::isHighSurrogate(p.units.back())) << "pair split in text " << n;
            }
        }
        ASSERT_EQ(modemsim::joinedText(sim), text.toStdString()) << "text " << n;
    }
}

TEST(PduRoundTrip, simulatorsDeliveriesThroughTheDecoderAndJoiner) {
    std::mt19937 rng(7);
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0), QTimeZone(0));
    for (int n = 0; n < 300; ++n) {
        const int mode = n % 3;
        const QString text = randomText(rng, mode);
        modemsim::DeliverSpec message;
        message.sender = n % 5 == 0 ? "Banco" : "+5511987654321";
        message.smsc = n % 2 ? "+5511999000000" : "";
        message.text = text.toStdString();
        message.ucs2 = mode != 0;
        message.reference = n % 3 == 0 ? 0x1200 + n : n % 256;
        message.wideReference = n % 3 == 0;
        const std::vector<modemsim::DeliverSpec> specs = modemsim::splitForDelivery(message);
        QList<InboxPart> parts;
        for (std::size_t i = 0; i < specs.size(); ++i) {
            int length = 0;
            const std::string hex = modemsim::encodeDeliverPdu(specs[i], &length);
            const auto d = decodeDeliver(QByteArray::fromStdString(hex), n % 4 == 0 ? -1 : length);
            ASSERT_TRUE(d.value) << d.error.toStdString() << " " << hex;
            InboxPart p;
            p.index = int(specs.size() - i); // listed in reverse
            p.sender = d.value->sender.number;
            p.text = d.value->text;
            p.firstSeen = now;
            if (d.value->concat) {
                p.concatenated = true;
                p.reference = d.value->concat->reference;
                p.wideReference = d.value->concat->wideReference;
                p.total = d.value->concat->total;
                p.sequence = d.value->concat->sequence;
            }
            parts.append(p);
        }
        const JoinResult joined = joinParts(parts, now);
        ASSERT_EQ(joined.ready.size(), 1) << n;
        EXPECT_TRUE(joined.waiting.isEmpty());
        EXPECT_EQ(joined.ready[0].text, text) << n;
        EXPECT_EQ(joined.ready[0].indices.size(), qsizetype(specs.size()));
        EXPECT_EQ(joined.ready[0].sender, QString::fromStdString(message.sender));
    }
}
