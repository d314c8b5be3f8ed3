#include <gtest/gtest.h>

#include "store/SqlText.h"

namespace {

struct ShapeCase {
    const char* sql;
    bool pageable;
    const char* count; // the rows counted, inside "SELECT COUNT(*) FROM (…)"
};

class SqlTextShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(SqlTextShape, PagesAndCountsOnlyAtTheTopLevel) {
    const ShapeCase& c = GetParam();
    const SqlText::Shape shape = SqlText::shapeOf(QString::fromUtf8(c.sql));
    EXPECT_EQ(SqlText::pageable(shape), c.pageable) << c.sql;
    EXPECT_EQ(SqlText::countStatement(shape),
              QStringLiteral("SELECT COUNT(*) FROM (\n%1\n) AS contagem").arg(QString::fromUtf8(c.count)))
        << c.sql;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SqlTextShape,
    ::testing::Values(
        ShapeCase{"SELECT *\nFROM dbCLIENTE\nORDER BY NOME ASC", true, "SELECT *\nFROM dbCLIENTE\n"},
        ShapeCase{"  select * from dbGRUPO ;  \n", true, "select * from dbGRUPO"},
        // the recipient query ends with "; " and orders by two columns
        ShapeCase{" SELECT a FROM t ORDER BY t.NOME, t.FONE; ", true, "SELECT a FROM t "},
        // an ORDER BY inside parentheses belongs to the subquery or the window
        ShapeCase{"SELECT * FROM (SELECT * FROM t ORDER BY x)", true, "SELECT * FROM (SELECT * FROM t ORDER BY x)"},
        ShapeCase{"SELECT row_number() OVER (ORDER BY x) FROM t", true, "SELECT row_number() OVER (ORDER BY x) FROM t"},
        // words inside quotes, names and comments are text
        ShapeCase{"SELECT 'ORDER BY' AS [LIMIT] FROM t -- ORDER BY x\n", true,
                  "SELECT 'ORDER BY' AS [LIMIT] FROM t -- ORDER BY x"},
        ShapeCase{"SELECT \"order by\" FROM t /* LIMIT 1 */ WHERE a = 'it''s ORDER BY'", true,
                  "SELECT \"order by\" FROM t /* LIMIT 1 */ WHERE a = 'it''s ORDER BY'"},
        ShapeCase{"SELECT ORDER_ID FROM t ORDER   BY\nORDER_ID", true, "SELECT ORDER_ID FROM t "},
        // a LIMIT of its own is read whole, and counted with its ORDER BY (the limit depends on it)
        ShapeCase{"SELECT * FROM t ORDER BY x LIMIT 5", false, "SELECT * FROM t ORDER BY x LIMIT 5"},
        ShapeCase{"WITH c AS (SELECT 1) SELECT * FROM c", true, "WITH c AS (SELECT 1) SELECT * FROM c"},
        ShapeCase{"PRAGMA table_info(dbCFG)", false, "PRAGMA table_info(dbCFG)"},
        ShapeCase{"DELETE FROM t", false, "DELETE FROM t"}, ShapeCase{"", false, ""},
        // unbalanced text does not run away
        ShapeCase{"SELECT 'open FROM t ORDER BY x", true, "SELECT 'open FROM t ORDER BY x"},
        ShapeCase{"SELECT ((( FROM t ORDER BY x", true, "SELECT ((( FROM t ORDER BY x"}));

// The ORDER BY a page follows: plain, quoted or table-qualified column names with their direction; anything
// else (an expression, a number, a collation, NULLS FIRST, a LIMIT of its own) is not followed.
TEST(SqlTextOrder, TermsNameResultColumnsOrNothing) {
    struct Case {
        const char* sql;
        bool ok;
        QStringList columns;
        QList<bool> descending;
    };
    const Case cases[] = {
        {"SELECT * FROM t", true, {}, {}},
        {"SELECT * FROM t ORDER BY NOME ASC", true, {"NOME"}, {false}},
        {"SELECT *\nFROM t\nORDER BY dbCLIENTE.NOME,\n t.FONE desc;", true, {"NOME", "FONE"}, {false, true}},
        {"SELECT * FROM t ORDER BY \"A \"\"B\"\" C\" DESC, [x y], `z`",
         true,
         {"A \"B\" C", "x y", "z"},
         {true, false, false}},
        {"SELECT * FROM (SELECT * FROM u ORDER BY lower(a)) ORDER BY b", true, {"b"}, {false}},
        {"SELECT * FROM t ORDER BY lower(NOME)", false, {}, {}},
        {"SELECT * FROM t ORDER BY 2", false, {}, {}},
        {"SELECT * FROM t ORDER BY NOME COLLATE NOCASE", false, {}, {}},
        {"SELECT * FROM t ORDER BY NOME NULLS LAST", false, {}, {}},
        {"SELECT * FROM t ORDER BY NOME, ", false, {}, {}},
        {"SELECT * FROM t ORDER BY a + b", false, {}, {}},
        {"SELECT * FROM t ORDER BY NOME LIMIT 3", false, {}, {}},
        {"SELECT * FROM t ORDER BY 'NOME'", false, {}, {}},
    };
    for (const Case& c : cases) {
        QList<SqlText::OrderTerm> terms;
        EXPECT_EQ(SqlText::orderTerms(SqlText::shapeOf(c.sql), &terms), c.ok) << c.sql;
        if (!c.ok)
            continue;
        QStringList columns;
        QList<bool> descending;
        for (const SqlText::OrderTerm& t : terms) {
            columns << t.column;
            descending << t.descending;
        }
        EXPECT_EQ(columns, c.columns) << c.sql;
        EXPECT_EQ(descending, c.descending) << c.sql;
    }
}

} // namespace
