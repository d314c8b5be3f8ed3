#include "contacts/XlsxReader.h"

#include "ContactsTestSupport.h"

#include <gtest/gtest.h>

namespace {

using ContactsTest::makeXlsx;
using ContactsTest::makeZip;

const QByteArray DateStyles = "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy\"/></numFmts>"
                              "<cellStyleXfs count=\"1\"><xf numFmtId=\"14\"/></cellStyleXfs>"
                              "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"14\"/>"
                              "<xf numFmtId=\"4\"/></cellXfs>";

// The first cells of each row, as texts.
QList<QStringList> firstColumns(const SpreadsheetData& data, int count) {
    QList<QStringList> rows;
    for (const QStringList& row : data.rows) {
        rows.append(row.mid(0, count));
    }
    return rows;
}

TEST(XlsxReaderTest, CellKindsBecomeTexts) {
    const struct {
        const char* name;
        QByteArray sheet;
        QByteArray strings;
        QByteArray styles;
        QByteArray workbookPr;
        QList<QStringList> rows; // first three columns
    } cases[] = {
        {"inline string with runs, phonetic hint left out",
         "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><t>Ân</t></r><r><rPr><b/></rPr><t "
         "xml:space=\"preserve\">gela "
         "</t></r><rPh sb=\"0\" eb=\"1\"><t>X</t></rPh></is></c></row>",
         {},
         {},
         {},
         {{"Ângela ", "", ""}}},
        {"shared strings, rich text included",
         "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" "
         "t=\"s\"><v>9</v></c></row>",
         "<si><t>um</t></si><si><r><t>do</t></r><r><t>is</t></r></si>",
         {},
         {},
         {{"um", "dois", ""}}},
        {"cells and rows without references follow the previous ones",
         "<row><c t=\"inlineStr\"><is><t>a</t></is></c><c t=\"inlineStr\"><is><t>b</t></is></c></row>"
         "<row><c><v>7</v></c><c r=\"C2\"><v>8</v></c></row>",
         {},
         {},
         {},
         {{"a", "b", ""}, {"7", "", "8"}}},
        {"date formats, custom and built in, against a number format",
         "<row r=\"1\"><c r=\"A1\" s=\"1\"><v>45356</v></c><c r=\"B1\" s=\"2\"><v>45356.5</v></c>"
         "<c r=\"C1\" s=\"3\"><v>45356</v></c></row>",
         {},
         DateStyles,
         {},
         {{"05/03/2024", "05/03/2024 12:00:00", "45356"}}},
        {"1904 date system",
         "<row r=\"1\"><c r=\"A1\" s=\"2\"><v>43893</v></c></row>",
         {},
         DateStyles,
         "<workbookPr date1904=\"1\"/>",
         {{"04/03/2024", "", ""}}},
        {"logical, error, formula text and ISO date cells",
         "<row r=\"1\"><c r=\"A1\" t=\"b\"><v>1</v></c><c r=\"B1\" t=\"e\"><v>#DIV/0!</v></c>"
         "<c r=\"C1\" t=\"str\"><f>A2&amp;\"x\"</f><v>ax</v></c></row>"
         "<row r=\"2\"><c r=\"A2\" t=\"b\"><v>0</v></c><c r=\"B2\" t=\"d\"><v>2024-03-05T00:00:00</v></c>"
         "<c r=\"C2\"><f>1/3</f><v>0.333333333333333</v></c></row>",
         {},
         {},
         {},
         {{"VERDADEIRO", "#DIV/0!", "ax"}, {"FALSO", "05/03/2024", "0,333333333333333"}}},
        {"escaped characters",
         "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a_x000D_b</t></is></c></row>",
         {},
         {},
         {},
         {{"a\rb", "", ""}}},
        {"data only in column O still makes its row",
         "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
         "<row r=\"3\"><c r=\"O3\" t=\"inlineStr\"><is><t>nunca</t></is></c></row>",
         {},
         {},
         {},
         {{"1", "", ""}, {"", "", ""}, {"", "", ""}}},
        {"empty sheet", "", {}, {}, {}, {}},
    };
    for (const auto& c : cases) {
        const SpreadsheetData data = XlsxReader::readBytes(makeXlsx(c.sheet, c.strings, c.styles, c.workbookPr));
        ASSERT_TRUE(data.ok()) << c.name << ": " << data.error.toStdString();
        QList<QStringList> expected;
        for (const QStringList& row : c.rows) {
            expected.append(row);
        }
        EXPECT_EQ(firstColumns(data, 3), expected) << c.name;
        for (const QStringList& row : data.rows) {
            EXPECT_EQ(row.size(), SpreadsheetReader::ColumnCount) << c.name;
        }
    }
}

TEST(XlsxReaderTest, FirstSheetIsFoundThroughTheRelationships) {
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray sheet =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>%1</t></is></c></row></sheetData></worksheet>";
    const QByteArray bytes = makeZip({
        {QStringLiteral("_rels/.rels"), "<Relationships><Relationship Id=\"r\" Type=\"" + rel +
                                            "/officeDocument\" Target=\"/book/main.xml\"/></Relationships>"},
        {QStringLiteral("book/main.xml"),
         "<x:workbook xmlns:x=\"s\" xmlns:r=\"" + rel +
             "\"><x:sheets>"
             "<x:sheet name=\"Primeira\" r:id=\"rId5\"/><x:sheet name=\"Segunda\" r:id=\"rId1\"/>"
             "</x:sheets></x:workbook>"},
        {QStringLiteral("book/_rels/main.xml.rels"), "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                                                         "/worksheet\" Target=\"sheets/s1.xml\"/>"
                                                         "<Relationship Id=\"rId5\" Type=\"" +
                                                         rel +
                                                         "/worksheet\" Target=\"../other/./S5.xml\"/></Relationships>"},
        {QStringLiteral("book/sheets/s1.xml"), QByteArray(sheet).replace("%1", "segunda")},
        {QStringLiteral("other/s5.xml"), QByteArray(sheet).replace("%1", "primeira")},
    });
    const SpreadsheetData data = XlsxReader::readBytes(bytes);
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    ASSERT_EQ(data.rows.size(), 1);
    EXPECT_EQ(data.rows[0][0], QStringLiteral("primeira"));
}

TEST(XlsxReaderTest, DamagedOrHostileFilesGiveAnErrorNotACrash) {
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"not a zip", "PK\x03\x04 garbage that is no archive"},
        {"empty", ""},
        {"zip without workbook", makeZip({{QStringLiteral("a.txt"), "x"}})},
        {"unclosed XML", makeXlsx("<row r=\"1\"><c r=\"A1\"><v>1</v>")},
        {"bad cell reference", makeXlsx("<row r=\"1\"><c r=\"1A\"><v>1</v></c></row>")},
        {"row past the last one a sheet can hold", makeXlsx("<row r=\"2000000\"><c r=\"A2000000\"><v>1</v></c></row>")},
        {"row number that is no number", makeXlsx("<row r=\"x\"><c><v>1</v></c></row>")},
        {"mismatched tags", makeXlsx("<row><c t=\"inlineStr\"><is><t>a</is></t></c></row>")},
        {"entity expansion",
         makeZip({{QStringLiteral("xl/workbook.xml"), "<workbook><sheets><sheet r:id=\"rId1\"/></sheets></workbook>"},
                  {QStringLiteral("xl/_rels/workbook.xml.rels"),
                   "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" Target=\"s.xml\"/></Relationships>"},
                  {QStringLiteral("xl/s.xml"),
                   "<?xml version=\"1.0\"?><!DOCTYPE w [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                   "<w><sheetData><row><c t=\"inlineStr\"><is><t>&b;</t></is></c></row></sheetData></w>"}})},
        {"undefined entity", makeXlsx("<row><c t=\"inlineStr\"><is><t>&nada;</t></is></c></row>")},
    };
    for (const auto& c : cases) {
        const SpreadsheetData data = XlsxReader::readBytes(c.bytes);
        EXPECT_FALSE(data.error.isEmpty()) << c.name;
    }
}

TEST(XlsxReaderTest, LastRowOfASheetIsAccepted) {
    const SpreadsheetData data =
        XlsxReader::readBytes(makeXlsx("<row r=\"1048576\"><c r=\"B1048576\"><v>1</v></c></row>"));
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    ASSERT_EQ(data.rows.size(), SpreadsheetReader::MaxRows);
    EXPECT_EQ(data.rows.constLast()[1], QStringLiteral("1"));
    EXPECT_EQ(data.rows.constFirst(), QStringList(SpreadsheetReader::ColumnCount));
}

} // namespace
