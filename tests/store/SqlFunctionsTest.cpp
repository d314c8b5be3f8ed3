#include <QSqlQuery>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "store/SqlFunctions.h"

namespace {

struct LikeCase {
    const char* pattern;
    const char* text;
    bool match;
};

class Like : public ::testing::TestWithParam<LikeCase> {};

TEST_P(Like, MatchesAsTheOperatorExpects) {
    const LikeCase& c = GetParam();
    EXPECT_EQ(SqlFunctions::likeMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.text), QChar('\\')), c.match)
        << c.pattern << " ~ " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Like,
    ::testing::Values(LikeCase{"%ângela%", "Maria Ângela", true}, LikeCase{"ÇÃO%", "ação", false},
                      LikeCase{"%ÇÃO", "ação", true}, LikeCase{"a_c", "abc", true}, LikeCase{"a_c", "ac", false},
                      LikeCase{"%", "", true}, LikeCase{"", "x", false}, LikeCase{"%50\\%%", "desconto 50% hoje", true},
                      LikeCase{"%50\\%%", "desconto 500 hoje", false}, LikeCase{"a\\_b", "a_b", true},
                      LikeCase{"a\\_b", "axb", false}, LikeCase{"%a%b%c%", "xaxxbxxxc", true},
                      LikeCase{"%a%b%c%", "xaxxcxxxb", false}, LikeCase{"o'brien%", "O'Brien", true}),
    [](const auto& tp) { return "case" + std::to_string(tp.index); });

TEST(Like, InstalledOnEveryConnectionWithEscape) {
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlQuery q(d.ado->database());
    ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (NOME) VALUES ('Ângela'), ('50% off'), ('500 off')"));
    q.prepare("SELECT count(*) FROM dbCLIENTE WHERE NOME LIKE ? ESCAPE '\\'");
    for (auto [typed, count] : {std::pair{"ângela", 1}, {"50%", 1}, {"0", 2}, {"_", 0}}) {
        q.addBindValue(QString("%" + SqlFunctions::escapeLike(QString::fromUtf8(typed)) + "%"));
        ASSERT_TRUE(q.exec());
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), count) << typed;
    }
}

} // namespace
