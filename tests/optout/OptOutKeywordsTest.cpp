#include <gtest/gtest.h>

#include "optout/OptOutKeywords.h"

namespace {

using Verdict = OptOutKeywords::Verdict;

struct KeywordCase {
    const char* name;
    QString text;
    Verdict verdict;
};

class Keywords : public ::testing::TestWithParam<KeywordCase> {};

TEST_P(Keywords, JudgeTheWholeText) {
    const KeywordCase& c = GetParam();
    EXPECT_EQ(OptOutKeywords().judge(c.text), c.verdict) << c.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Keywords,
    ::testing::Values(
        KeywordCase{"capitalised", "Sair", Verdict::OptOut}, KeywordCase{"exclaimed", "SAIR!!!", Verdict::OptOut},
        KeywordCase{"accentAndDot", QString::fromUtf8(" sáir. "), Verdict::OptOut},
        KeywordCase{"pare", "Pare", Verdict::OptOut}, KeywordCase{"stopCrLf", "STOP\r\n", Verdict::OptOut},
        KeywordCase{"listingTail", "Sair\r\n+", Verdict::OptOut},
        KeywordCase{"allCaps", "DESCADASTRAR", Verdict::OptOut},
        KeywordCase{"cancelarQuestion", "cancelar?", Verdict::OptOut},
        KeywordCase{"nbspAndTab", QString::fromUtf8("\tremover\u00a0"), Verdict::OptOut},
        KeywordCase{"decomposedAccent", QString::fromUtf8("sa\u0301ir"), Verdict::OptOut},
        KeywordCase{"fullWidth", QString::fromUtf8("ＳＡＩＲ"), Verdict::OptOut},
        // Sentences: shown to the operator, no opt-out.
        KeywordCase{"sentence", QString::fromUtf8("não quero sair"), Verdict::Mention},
        KeywordCase{"question", QString::fromUtf8("pare de ligar às 8h?"), Verdict::Mention},
        KeywordCase{"twoKeywords", "sair sair", Verdict::Mention},
        KeywordCase{"keywordThenText", "SAIR\r\nobrigado", Verdict::Mention},
        // Not about leaving.
        KeywordCase{"insideWord", "saira amanha", Verdict::None}, KeywordCase{"paredes", "paredes", Verdict::None},
        KeywordCase{"empty", "", Verdict::None}, KeywordCase{"punctuationOnly", "!!!", Verdict::None},
        KeywordCase{"controlOnly", QString::fromUtf8("\x1a\x1b\r\n"), Verdict::None},
        KeywordCase{"hugeText", QString(1000000, 'a'), Verdict::None},
        KeywordCase{"hugeKeywordRun", QString("SAIR") + QString(1000000, ' '), Verdict::Mention}),
    [](const auto& tp) { return std::string(tp.param.name); });

// The operator's own words: another list, any case and blanks, empty items dropped.
TEST(OptOutKeywords, ReadsTheSetting) {
    const OptOutKeywords k(QString::fromUtf8(" Basta ,, não quero mais,STOP "));
    EXPECT_EQ(k.words(), (QStringList{"basta", "nao quero mais", "stop"}));
    EXPECT_EQ(k.judge("BASTA!"), Verdict::OptOut);
    EXPECT_EQ(k.judge(QString::fromUtf8("Não quero  mais.")), Verdict::OptOut);
    EXPECT_EQ(k.judge("Sair"), Verdict::None);
    EXPECT_TRUE(OptOutKeywords(",, ,").words().isEmpty());
}

} // namespace
