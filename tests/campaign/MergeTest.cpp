#include <gtest/gtest.h>

#include <QHash>

#include "campaign/Merge.h"
#include "campaign/SmsKeyFilter.h"

namespace {

Merge::FieldLookup lookupOf(const QHash<QString, QString>& values, const QString& missing = {}) {
    return [values, missing](const QString& field, QString* out) {
        if (field == missing)
            return false;
        *out = values.value(field);
        return true;
    };
}

struct MergeCase {
    const char* name;
    QString templ;
    QHash<QString, QString> fields;
    QString expected;
};

TEST(Merge, PlaceholderCases) {
    const MergeCase cases[] = {
        {"greeting",
         "Ola [NOME], seu codigo e [TEXTO0]",
         {{"NOME", "Ana"}, {"TEXTO0", "123"}},
         "Ola Ana, seu codigo e 123"},
        {"any case", "[nome][NOME][Nome]", {{"NOME", "X"}}, "XXX"},
        {"later pass sees earlier value", "[TEXTO]", {{"TEXTO", "[TEXTO1]"}, {"TEXTO1", "b"}}, "b"},
        {"value not searched again in its pass", "[NOME]", {{"NOME", "a[nome]b"}}, "a[nome]b"},
        {"name holding a later placeholder", "[NOME]", {{"NOME", "x[EMAIL]"}, {"EMAIL", "e@x"}}, "xe@x"},
        {"TEXTO10 is no placeholder", "[TEXTO10]", {{"TEXTO1", "b"}}, "[TEXTO10]"},
        {"no placeholder", "Promoção de hoje!", {}, "Promoção de hoje!"},
        {"phone kept as held", "[TELEFONE]", {{"TELEFONE", "(11) 9876-5432"}}, "(11) 9876-5432"},
        {"empty field", "a[EMAIL]b", {}, "ab"},
        {"unclosed bracket", "[NOME [NOME]", {{"NOME", "Z"}}, "[NOME Z"},
        {"all fields",
         "[NOME]|[TELEFONE]|[EMAIL]|[TEXTO]|[TEXTO0]|[TEXTO9]",
         {{"NOME", "n"}, {"TELEFONE", "t"}, {"EMAIL", "e"}, {"TEXTO", "x"}, {"TEXTO0", "0"}, {"TEXTO9", "9"}},
         "n|t|e|x|0|9"},
        {"accented letters do not fold", "[NÓME][ṄOME]", {{"NOME", "X"}}, "[NÓME][ṄOME]"},
        {"value unchanged", "<[nome]>", {{"NOME", " Ângela  "}}, "< Ângela  >"},
    };
    for (const MergeCase& c : cases) {
        QString out;
        QString error;
        ASSERT_TRUE(Merge::apply(c.templ, lookupOf(c.fields), &out, &error)) << c.name;
        EXPECT_EQ(out, c.expected) << c.name;
    }
}

TEST(Merge, MissingFieldFailsEvenWhenUnused) {
    QString out = "unchanged";
    QString error;
    EXPECT_FALSE(Merge::apply("Ola", lookupOf({}, "TEXTO5"), &out, &error));
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(error.contains("TEXTO5"));
}

// Each pass searches what the earlier passes inserted, so placeholders in the data multiply the
// text: the bound stops it growing, and below the bound nothing changes. The caller learns of every
// cut (its log says so), and of no text that merely reaches the bound.
TEST(Merge, TextStopsGrowingAtItsBound) {
    const QString emoji = QStringLiteral("😀");
    struct Case {
        const char* name;
        QString templ;
        QHash<QString, QString> fields;
        qsizetype bound;
        QString expected;
        bool cut;
    };
    const Case cases[] = {
        {"below the bound unchanged", "Oi [NOME]", {{"NOME", "Ana"}}, 10, "Oi Ana", false},
        {"exactly the bound", "[NOME]", {{"NOME", "abcdefghij"}}, 10, "abcdefghij", false},
        {"a template of exactly the bound", "0123456789", {}, 10, "0123456789", false},
        {"a value crossing the bound", "ab[NOME]cd", {{"NOME", "0123456789"}}, 10, "ab01234567", true},
        {"text after the bound dropped", "[NOME]xyz", {{"NOME", "0123456789"}}, 10, "0123456789", true},
        {"a template past the bound", "0123456789[NOME]", {{"NOME", "x"}}, 8, "01234567", true},
        {"a template past the bound, no placeholder", "0123456789", {}, 8, "01234567", true},
        {"a surrogate pair is not split", "[NOME]", {{"NOME", "abcde" + emoji}}, 6, "abcde", true},
        {"later passes work on the bounded text",
         "[NOME]",
         {{"NOME", "[EMAIL][EMAIL][EMAIL]"}, {"EMAIL", "ee"}},
         14,
         "eeee",
         true},
        {"the cut leaves half a placeholder as text",
         "[NOME]",
         {{"NOME", "[TEXTO]"}, {"TEXTO", "t"}},
         6,
         "[TEXTO",
         true},
        {"a later pass that shrinks a cut text", "[NOME]", {{"NOME", "[EMAIL][EMAIL]"}}, 10, "[EM", true},
    };
    for (const Case& c : cases) {
        QString out;
        bool cut = !c.cut; // set either way
        ASSERT_TRUE(Merge::apply(c.templ, lookupOf(c.fields), &out, nullptr, c.bound, &cut)) << c.name;
        EXPECT_EQ(out, c.expected) << c.name;
        EXPECT_LE(out.size(), c.bound) << c.name;
        EXPECT_EQ(cut, c.cut) << c.name;
    }
}

// One recipient of 34 KB whose fields hold placeholders: unbounded, the third pass alone would
// need tens of gigabytes.
TEST(Merge, HostileRecipientStaysWithinTheBounds) {
    const QHash<QString, QString> fields{{"NOME", QString("[TELEFONE]").repeated(2000)},
                                         {"TELEFONE", QString("[EMAIL]").repeated(2000)},
                                         {"EMAIL", QString("[TEXTO]").repeated(2000)},
                                         {"TEXTO", "abc"}};
    const std::pair<qsizetype, qsizetype> bounds[] = {{Merge::kSmsBound, 1600}, {Merge::kEmailBound, 1000000}};
    for (const auto& [bound, expected] : bounds) {
        QString out;
        ASSERT_TRUE(Merge::apply("[NOME]", lookupOf(fields), &out, nullptr, bound));
        EXPECT_LE(out.size(), expected);
        EXPECT_TRUE(out.startsWith("abcabc")) << out.left(20).toStdString();
    }
    QString out;
    ASSERT_TRUE(Merge::apply("[NOME]", lookupOf(fields), &out)); // an e-mail body by default
    EXPECT_LE(out.size(), Merge::kEmailBound);
}

TEST(SomenteNumeros, KeepsDigitsInOrder) {
    const std::pair<QString, QString> cases[] = {
        {"(11) 98765-4321", "11987654321"},   {"abc", ""}, {"", ""},
        {"+55 11 3333.4444", "551133334444"}, {"١٢٣", ""}, // Arabic-Indic digits are not ASCII digits
    };
    for (const auto& [in, expected] : cases)
        EXPECT_EQ(SomenteNumeros(in), expected) << in.toStdString();
}

TEST(SmsKeyFilter, AllowedAndRefusedCodes) {
    const QString allowed = QStringLiteral(" !#$%&()*+,-.0123456789:;?ABCXYZ[]abcxyz") + QChar(8) + QChar(9);
    for (QChar c : allowed)
        EXPECT_TRUE(SmsKeyFilter::accepts(c.unicode())) << int(c.unicode());
    const QString refused = QStringLiteral("\r\n\"'/<=>@\\^_`{|}~çéÁ") + QChar(127) + QChar(0) + QChar(27);
    for (QChar c : refused)
        EXPECT_FALSE(SmsKeyFilter::accepts(c.unicode())) << int(c.unicode());
}

TEST(SmsKeyFilter, LengthLimit) {
    EXPECT_TRUE(SmsKeyFilter::fits(159, 0));  // the 160th character
    EXPECT_FALSE(SmsKeyFilter::fits(160, 0)); // a 161st
    EXPECT_TRUE(SmsKeyFilter::fits(160, 1));  // replacing a selection
    EXPECT_EQ(SmsKeyFilter::counterText(0), "Total Caracteres: 0");
}

} // namespace
