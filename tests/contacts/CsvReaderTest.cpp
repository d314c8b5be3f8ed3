#include "contacts/CsvReader.h"

#include "ContactsTestSupport.h"

#include <gtest/gtest.h>

namespace {

QStringList row14(const QStringList& cells) {
    QStringList row = cells;
    while (row.size() < SpreadsheetReader::ColumnCount) {
        row.append(QString());
    }
    return row;
}

TEST(CsvReaderTest, DecodesUtf8WithOrWithoutBomElseWindows1252) {
    const struct {
        QByteArray bytes;
        const char* text;
    } cases[] = {
        {QByteArray("\xC3\x82ngela \xE2\x82\xAC"), "Ângela €"},
        {QByteArray("\xEF\xBB\xBF\xC3\x82ngela"), "Ângela"},
        {QByteArray("\xC2ngela \x80 \xE7\x93"), "Ângela € ç“"}, // invalid as UTF-8: Windows-1252
        {QByteArray("plain"), "plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvReader::decode(c.bytes), QString::fromUtf8(c.text)) << c.bytes.toHex().constData();
    }
}

TEST(CsvReaderTest, SeparatorIsTakenFromTheFirstRecord) {
    EXPECT_EQ(CsvReader::detectSeparator(QStringLiteral("a;b;c\nx,y,z,w,v")), u';');
    EXPECT_EQ(CsvReader::detectSeparator(QStringLiteral("a,b;c,d")), u',');
    EXPECT_EQ(CsvReader::detectSeparator(QStringLiteral("\"x;y;z\",b")), u','); // inside quotes: no separator
    EXPECT_EQ(CsvReader::detectSeparator(QStringLiteral("one column")), u',');
}

TEST(CsvReaderTest, RecordsBecomeFourteenColumnRows) {
    const struct {
        const char* name;
        QByteArray bytes;
        QList<QStringList> rows;
    } cases[] = {
        {"quoted fields",
         "\"a,1\",\"say \"\"hi\"\"\",c\r\n",
         {row14({QStringLiteral("a,1"), QStringLiteral("say \"hi\""), QStringLiteral("c")})}},
        {"line break inside quotes",
         "\"line1\nline2\",x\n",
         {row14({QStringLiteral("line1\nline2"), QStringLiteral("x")})}},
        {"blank line kept between rows",
         "a\n\nb\n",
         {row14({QStringLiteral("a")}), row14({}), row14({QStringLiteral("b")})}},
        {"trailing blank lines dropped", "a\n\n\n", {row14({QStringLiteral("a")})}},
        {"no final line break", "a;b", {row14({QStringLiteral("a"), QStringLiteral("b")})}},
        {"mac line ends", "a\rb\r", {row14({QStringLiteral("a")}), row14({QStringLiteral("b")})}},
        {"column O never read but keeps its row", "a\n,,,,,,,,,,,,,,O\n", {row14({QStringLiteral("a")}), row14({})}},
        {"empty file", "", {}},
        {"separator named on the first line",
         "sep=;\r\na,b;c\r\n",
         {row14({QStringLiteral("a,b"), QStringLiteral("c")})}},
        {"tab separated", "a\tb,c\tx\n", {row14({QStringLiteral("a"), QStringLiteral("b,c"), QStringLiteral("x")})}},
        {"UTF-16 with BOM",
         QByteArray("\xFF\xFE\xC2\x00;\x00\xAC\x20\n\x00", 10),
         {row14({QStringLiteral("Â"), QStringLiteral("€")})}},
    };
    for (const auto& c : cases) {
        const SpreadsheetData data = CsvReader::parse(c.bytes);
        EXPECT_TRUE(data.ok()) << c.name;
        EXPECT_EQ(data.rows, c.rows) << c.name;
    }
}

TEST(CsvReaderTest, ReadsASemicolonWindows1252File) {
    const SpreadsheetData data = CsvReader::read(ContactsTest::dataFile(QStringLiteral("contatos_ptbr.csv")));
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    ASSERT_EQ(data.rows.size(), 4);
    EXPECT_EQ(data.rows[0].mid(0, 6),
              (QStringList{QStringLiteral("Ângela Çé"), QStringLiteral("11987654321"),
                           QStringLiteral("angela@exemplo.com.br"), QStringLiteral("texto; com ponto e vírgula"),
                           QStringLiteral("linha1\nlinha2"), QStringLiteral("aspas \"duplas\"")}));
    EXPECT_EQ(data.rows[1], row14({}));
    EXPECT_EQ(data.rows[2].mid(0, 5),
              (QStringList{QStringLiteral("José"), QStringLiteral("+55 11 98765-4321"),
                           QStringLiteral("jose@exemplo.com"), QStringLiteral("1234,5"), QStringLiteral("€ e ç")}));
    EXPECT_EQ(data.rows[3], row14({}));
}

TEST(CsvReaderTest, StopKeepsTheRowsReadSoFar) {
    const SpreadsheetData data = CsvReader::parse("a\nb\nc\nd\n", [](int done, int) { return done < 2; });
    EXPECT_TRUE(data.stopped);
    EXPECT_EQ(data.rows.size(), 2);
}

TEST(CsvReaderTest, MissingFileIsAnError) {
    const SpreadsheetData data = CsvReader::read(QStringLiteral("/nonexistent/contatos.csv"));
    EXPECT_FALSE(data.ok());
    EXPECT_TRUE(data.error.contains(QStringLiteral("/nonexistent/contatos.csv")));
}

} // namespace
