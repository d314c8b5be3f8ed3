#include <gtest/gtest.h>

#include "optout/OptOutAddress.h"
#include "optout/SuppressionSet.h"

namespace {

using Kind = OptOutAddress::Kind;

struct AddressCase {
    const char* name;
    QString text;
    Kind kind;
    QString key;
};

class Addresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Addresses, NormaliseToOneKey) {
    const AddressCase& c = GetParam();
    const OptOutAddress a = OptOutAddress::from(c.text);
    EXPECT_EQ(a.kind, c.kind);
    EXPECT_EQ(a.key.toStdString(), c.key.toStdString());
}

const QString kNumber = QStringLiteral("+5511987654321");

INSTANTIATE_TEST_SUITE_P(
    Cases, Addresses,
    ::testing::Values(
        // One person, five spellings.
        AddressCase{"international", "+55 11 98765-4321", Kind::Phone, kNumber},
        AddressCase{"countryCodeWithoutPlus", "5511987654321", Kind::Phone, kNumber},
        AddressCase{"trunkPrefix", "011987654321", Kind::Phone, kNumber},
        AddressCase{"areaInParentheses", "(11) 98765-4321", Kind::Phone, kNumber},
        AddressCase{"nationalDigits", "11987654321", Kind::Phone, kNumber},
        AddressCase{"carrierCode", "0 15 11 98765-4321", Kind::Phone, kNumber},
        AddressCase{"blanksAround", "  +5511987654321 \t", Kind::Phone, kNumber},
        AddressCase{"landline", "(11) 3456-7890", Kind::Phone, "+551134567890"},
        AddressCase{"foreign", "+1 650 253 0000", Kind::Phone, "+16502530000"},
        // Not a number: kept as written.
        AddressCase{"tooShort", "98765-4321", Kind::AsWritten, "98765-4321"},
        AddressCase{"letters", "LOJA", Kind::AsWritten, "LOJA"},
        AddressCase{"controlBytes",
                    QString::fromUtf8("1198765\x1a"
                                      "4321\x1b"),
                    Kind::AsWritten, "1198765?4321?"},
        AddressCase{"nulInside", QString("11987654321") + QChar(0) + "9", Kind::AsWritten, "11987654321?9"},
        AddressCase{"hugeDigits", QString(100000, '9'), Kind::AsWritten, QString(OptOutAddress::kMaxChars, '9')},
        AddressCase{"empty", "   ", Kind::Empty, ""}, AddressCase{"punctuationOnly", " -.() ", Kind::Empty, ""},
        // E-mail: lower case, trimmed.
        AddressCase{"email", " Ana.Souza@Exemplo.COM.br ", Kind::Email, "ana.souza@exemplo.com.br"},
        AddressCase{"emailWithControl", "ana@ex\r\nBcc: x@y", Kind::AsWritten, "ana@ex??Bcc: x@y"}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(OptOutAddress, TellsMobileFromLandline) {
    EXPECT_TRUE(OptOutAddress::fromPhone("11987654321").mobile);
    EXPECT_FALSE(OptOutAddress::fromPhone("1134567890").mobile);
    EXPECT_EQ(OptOutAddress::fromPhone("(11) 98765-4321").national, "11987654321");
}

// The set answers for every spelling of a listed number, and for none of its neighbours.
TEST(SuppressionSet, FindsEverySpellingAndNothingElse) {
    SuppressionSet set;
    const OptOutAddress listed = OptOutAddress::from("11987654321");
    set.insert(listed.key, listed.national);
    set.insert("ana@exemplo.com.br", {});
    set.insert("LOJA 1", {});
    for (const char* same : {"+55 11 98765-4321", "5511987654321", "011987654321", "(11) 98765-4321", "11987654321",
                             "+55 (11) 9 8765 4321"})
        EXPECT_TRUE(set.containsPhone(same)) << same;
    for (const char* other : {"21987654321", "11987654320", "1198765432", "", "  ", "987654321", "+1 11987654321"})
        EXPECT_FALSE(set.containsPhone(other)) << other;
    EXPECT_TRUE(set.containsEmail(" ANA@exemplo.com.br"));
    EXPECT_FALSE(set.containsEmail("ana@exemplo.com"));
    EXPECT_TRUE(set.containsPhone("LOJA 1 "));
    EXPECT_TRUE(set.contains("", "Ana@Exemplo.com.br"));
    EXPECT_FALSE(set.contains("", ""));
    EXPECT_FALSE(set.containsPhone(QString(100000, '1')));
}

// National numbers of other lengths and with a leading zero (Italy keeps it) are found as well.
TEST(SuppressionSet, OtherCountriesAndLeadingZeros) {
    SuppressionSet set;
    for (const char* listed : {"+39 06 1234 5678", "+1 650 253 0000", "(11) 3456-7890"}) {
        const OptOutAddress a = OptOutAddress::from(listed);
        ASSERT_TRUE(a.isPhone()) << listed;
        set.insert(a.key, a.national);
    }
    EXPECT_EQ(OptOutAddress::from("+39 06 1234 5678").national, "0612345678");
    for (const char* same : {"+390612345678", "+39 06 12345678", "+16502530000", "11 3456 7890", "01134567890"})
        EXPECT_TRUE(set.containsPhone(same)) << same;
    for (const char* other : {"+39 6 1234 5678", "0612345678", "6502530000", "1134567891"})
        EXPECT_FALSE(set.containsPhone(other)) << other;
}

} // namespace
