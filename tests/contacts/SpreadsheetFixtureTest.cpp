// Real workbooks saved by LibreOffice Calc from tests/data/contatos.csv (see make_fixtures.sh).
#include "contacts/SpreadsheetReader.h"

#include "ContactsTestSupport.h"

#include <gtest/gtest.h>

namespace {

QStringList cells(std::initializer_list<const char*> texts) {
    QStringList row;
    for (const char* text : texts) {
        row.append(QString::fromUtf8(text));
    }
    while (row.size() < SpreadsheetReader::ColumnCount) {
        row.append(QString());
    }
    return row;
}

class SpreadsheetFixtureTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SpreadsheetFixtureTest, ReadsTheFirstSheetAsTheOperatorSeesIt) {
    const SpreadsheetData data = SpreadsheetReader::read(ContactsTest::dataFile(QString::fromUtf8(GetParam())));
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    // The last used cell is in row 250: 250 rows, the blank ones in between included.
    ASSERT_EQ(data.rows.size(), 250);
    // No title row: a title typed in row 1 is a contact like any other.
    EXPECT_EQ(data.rows[0], cells({"NOME", "TELEFONE", "EMAIL", "TEXTO", "TEXTO0", "TEXTO1", "TEXTO2", "TEXTO3",
                                   "TEXTO4", "TEXTO5", "TEXTO6", "TEXTO7", "TEXTO8", "TEXTO9"}));
    // Accents; a phone typed as a number arrives as its digits; a date, decimals with a comma,
    // logical values and formulas as shown.
    QStringList second =
        cells({"Ângela Çé€", "11987654321", "angela@exemplo.com.br", "05/03/2024", "1234,5", "VERDADEIRO", "5",
               "Ângela Çé€!", "31/12/1999 13:45:10", "FALSO", "0,25", "t8", "t9", "t10"});
    if (QString::fromUtf8(GetParam()).endsWith(QStringLiteral(".xls"))) {
        second[7] = QStringLiteral("0"); // LibreOffice saved this text formula's result as 0 in BIFF8
    }
    if (QString::fromUtf8(GetParam()).endsWith(QStringLiteral(".csv"))) {
        second[6] = QStringLiteral("=2+3"); // a text file has no formulas: the text as typed
        second[7] = QStringLiteral("=A2&\"!\"");
    }
    EXPECT_EQ(data.rows[1], second);
    EXPECT_EQ(data.rows[2], cells({}));
    // Data in A to C only: the other fields empty.
    EXPECT_EQ(data.rows[3], cells({"Bruno Só A-C", "1133334444", "bruno@exemplo.com"}));
    // Column O and after are never read.
    EXPECT_EQ(data.rows[4], cells({"Carla", "21912345678", "carla@exemplo.com", "a", "b", "c", "d", "e", "f", "g", "h",
                                   "i", "j", "k"}));
    for (int row = 5; row < 249; ++row) {
        EXPECT_EQ(data.rows[row], cells({})) << row + 1;
    }
    EXPECT_EQ(data.rows[249], cells({"Último", "+55 (11) 5555-0000", "ultimo@exemplo.com"}));
}

INSTANTIATE_TEST_SUITE_P(LibreOfficeFiles, SpreadsheetFixtureTest,
                         ::testing::Values("contatos_num.xlsx", "contatos_texto.xlsx", "contatos_num.xls",
                                           "contatos_texto.xls", "contatos.csv"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             QString name = QString::fromUtf8(param.param);
                             return name.replace(u'.', u'_').toStdString();
                         });

TEST(SpreadsheetReaderTest, UnknownExtensionsAndMissingFilesAreErrors) {
    for (const char* name : {"contatos.ods", "faltando.xls", "faltando.xlsx", "faltando.csv"}) {
        const SpreadsheetData data = SpreadsheetReader::read(ContactsTest::dataFile(QString::fromUtf8(name)));
        EXPECT_FALSE(data.error.isEmpty()) << name;
        EXPECT_TRUE(data.rows.isEmpty()) << name;
    }
}

TEST(SpreadsheetReaderTest, StopEndsTheReadingWithTheRowsSoFar) {
    for (const char* name : {"contatos_num.xls", "contatos_num.xlsx", "contatos.csv"}) {
        const SpreadsheetData data = SpreadsheetReader::read(ContactsTest::dataFile(QString::fromUtf8(name)),
                                                             [](int done, int) { return done < 3; });
        EXPECT_TRUE(data.stopped) << name;
        EXPECT_GE(data.rows.size(), 3) << name; // .xlsx has no rows for blank ones: it stops at the next
        EXPECT_LE(data.rows.size(), 4) << name;
    }
}

} // namespace
