#include "contacts/SpreadsheetWriter.h"

#include "contacts/CsvReader.h"
#include "contacts/XlsWriter.h"

#include "ContactsTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "MissingPeer.h"
#include <gtest/gtest.h>

namespace {

QList<QStringList> sampleRows() {
    QStringList full;
    full << QStringLiteral("ÂngelaçÇ€") << QStringLiteral("11987654321") << QStringLiteral("angela@exemplo.com.br");
    for (int i = 0; i < 11; ++i) {
        full << QStringLiteral("%1 texto de trinta caracteres").arg(i, 2, 10, QChar(u'0')).left(30);
    }
    QStringList partial(SpreadsheetWriter::ColumnCount);
    partial[1] = QStringLiteral("+55 (11) 5555-0000");
    partial[13] = QStringLiteral("último, N");
    QStringList shortRow{QStringLiteral("Só nome")};
    QStringList longRow(SpreadsheetWriter::ColumnCount);
    longRow[0] = QStringLiteral("Nome com 漢字 e 😀");
    longRow[2] = QStringLiteral("0012"); // a leading zero stays: every cell is text
    return {full,     partial, QStringList(SpreadsheetWriter::ColumnCount),
            shortRow, longRow, QStringList(SpreadsheetWriter::ColumnCount)};
}

QList<QStringList> padded(const QList<QStringList>& rows) {
    QList<QStringList> out;
    for (QStringList row : rows) {
        while (row.size() < SpreadsheetWriter::ColumnCount) {
            row.append(QString());
        }
        out.append(row);
    }
    return out;
}

class SpreadsheetWriterTest : public ::testing::TestWithParam<const char*> {
protected:
    QString target() const { return m_dir.filePath(QStringLiteral("CONTATOS.") + QString::fromUtf8(GetParam())); }
    QStringList leftovers() const {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QTemporaryDir m_dir;
};

TEST_P(SpreadsheetWriterTest, WhatWasWrittenReadsBackTheSame) {
    const QList<QStringList> rows = sampleRows();
    const SpreadsheetWriteResult result = SpreadsheetWriter::write(target(), rows);
    ASSERT_TRUE(result.ok()) << result.error.toStdString();
    const SpreadsheetData data = SpreadsheetReader::read(target());
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    EXPECT_EQ(data.rows, padded(rows)); // blank rows kept, the last one too (its styled name cell)
    EXPECT_EQ(leftovers(), QStringList{QFileInfo(target()).fileName()});
}

TEST_P(SpreadsheetWriterTest, ManyRowsAndLongTextsReadBackTheSame) {
    QList<QStringList> rows;
    for (int i = 0; i < 3000; ++i) {
        QStringList row(SpreadsheetWriter::ColumnCount);
        row[0] = QStringLiteral("Contato %1 ç").arg(i);
        row[1] = QString::number(11900000000LL + i);
        row[3] = QString(i % 700, i % 2 ? QChar(u'€') : QChar(u'a')); // strings cut across records
        rows.append(row);
    }
    ASSERT_TRUE(SpreadsheetWriter::write(target(), rows).ok());
    const SpreadsheetData data = SpreadsheetReader::read(target());
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    EXPECT_EQ(data.rows, rows);
}

TEST_P(SpreadsheetWriterTest, NoContactsGiveAnEmptySheet) {
    ASSERT_TRUE(SpreadsheetWriter::write(target(), {}).ok());
    const SpreadsheetData data = SpreadsheetReader::read(target());
    EXPECT_TRUE(data.ok()) << data.error.toStdString();
    EXPECT_TRUE(data.rows.isEmpty());
}

TEST_P(SpreadsheetWriterTest, StopLeavesNoFileAndAnEarlierOneUntouched) {
    const SpreadsheetWriteResult stopped =
        SpreadsheetWriter::write(target(), sampleRows(), [](int done, int) { return done < 2; });
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(leftovers().isEmpty());

    QFile earlier(target());
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    EXPECT_TRUE(SpreadsheetWriter::write(target(), sampleRows(), [](int, int) { return false; }).stopped);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("earlier"));
    EXPECT_EQ(leftovers().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, SpreadsheetWriterTest, ::testing::Values("xls", "xlsx"));

TEST(SpreadsheetWriterFailureTest, RefusedTargetsAreErrors) {
    QTemporaryDir dir;
    EXPECT_FALSE(SpreadsheetWriter::write(dir.filePath(QStringLiteral("a.ods")), sampleRows()).error.isEmpty());
    EXPECT_FALSE(SpreadsheetWriter::write(QStringLiteral("/nonexistent/dir/a.xls"), sampleRows()).error.isEmpty());
    EXPECT_FALSE(SpreadsheetWriter::write(QStringLiteral("/nonexistent/dir/a.xlsx"), sampleRows()).error.isEmpty());
    const QList<QStringList> tooMany(XlsWriter::MaxRows + 1, QStringList{QStringLiteral("x")});
    EXPECT_FALSE(SpreadsheetWriter::write(dir.filePath(QStringLiteral("a.xls")), tooMany).error.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

// openpyxl, a reader of its own, sees the texts, the bold red Tahoma names and the widths.
TEST(SpreadsheetWriterCheckTest, OpenpyxlReadsTheXlsx) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CONTATOS.xlsx"));
    ASSERT_TRUE(SpreadsheetWriter::write(path, sampleRows()).ok());
    const QString script = QStringLiteral(R"(
import json, sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
a1 = ws['A1']
print(json.dumps({
    'rows': [[c.value or '' for c in row] for row in ws.iter_rows(min_row=1, max_row=ws.max_row, max_col=14)],
    'font': a1.font.name, 'bold': bool(a1.font.b), 'color': a1.font.color.rgb,
    'widths': {k: ws.column_dimensions[k].width for k in 'ABCDM'}}))
)");
    QString skip;
    const QByteArray output = ContactsTest::runPython(script, {path}, &skip);
    if (output.isNull()) {
        VESTRAL_SKIP_MISSING_PEER(skip.toStdString());
    }
    const QJsonObject result = QJsonDocument::fromJson(output).object();
    ASSERT_FALSE(result.isEmpty()) << output.constData();
    QList<QStringList> rows;
    for (const QJsonValue& row : result.value(QStringLiteral("rows")).toArray()) {
        rows.append(row.toVariant().toStringList());
    }
    EXPECT_EQ(rows, padded(sampleRows()));
    EXPECT_EQ(result.value(QStringLiteral("font")).toString(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(result.value(QStringLiteral("bold")).toBool());
    EXPECT_TRUE(result.value(QStringLiteral("color")).toString().endsWith(QStringLiteral("FF0000")));
    const QJsonObject widths = result.value(QStringLiteral("widths")).toObject();
    EXPECT_NEAR(widths.value(QStringLiteral("A")).toDouble(), 40, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("B")).toDouble(), 15, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("C")).toDouble(), 60, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("D")).toDouble(), 30, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("M")).toDouble(), 30, 1);
}

// xlrd, a reader of its own, sees the texts, the bold red Tahoma names and the widths.
TEST(SpreadsheetWriterCheckTest, XlrdReadsTheXls) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CONTATOS.xls"));
    ASSERT_TRUE(SpreadsheetWriter::write(path, sampleRows()).ok());
    const QString script = QStringLiteral(R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
ws = book.sheet_by_index(0)
font = book.font_list[book.xf_list[ws.cell_xf_index(0, 0)].font_index]
print(json.dumps({
    'rows': [[ws.cell_value(r, c) if c < ws.ncols else '' for c in range(14)] for r in range(ws.nrows)],
    'font': font.name, 'bold': bool(font.bold), 'color': book.colour_map.get(font.colour_index),
    'widths': {str(c): ws.computed_column_width(c) / 256 for c in (0, 1, 2, 3, 12)}}))
)");
    QString skip;
    const QByteArray output = ContactsTest::runPython(script, {path}, &skip);
    if (output.isNull()) {
        VESTRAL_SKIP_MISSING_PEER(skip.toStdString());
    }
    const QJsonObject result = QJsonDocument::fromJson(output).object();
    ASSERT_FALSE(result.isEmpty()) << output.constData();
    QList<QStringList> rows;
    for (const QJsonValue& row : result.value(QStringLiteral("rows")).toArray()) {
        rows.append(row.toVariant().toStringList());
    }
    EXPECT_EQ(rows, padded(sampleRows()));
    EXPECT_EQ(result.value(QStringLiteral("font")).toString(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(result.value(QStringLiteral("bold")).toBool());
    EXPECT_EQ(result.value(QStringLiteral("color")).toArray(), (QJsonArray{255, 0, 0}));
    const QJsonObject widths = result.value(QStringLiteral("widths")).toObject();
    EXPECT_NEAR(widths.value(QStringLiteral("0")).toDouble(), 40, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("1")).toDouble(), 15, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("2")).toDouble(), 60, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("3")).toDouble(), 30, 1);
    EXPECT_NEAR(widths.value(QStringLiteral("12")).toDouble(), 30, 1);
}

} // namespace

namespace {

// LibreOffice Calc, where installed (it is not among the test packages: too large), opens both
// exported formats and saves them as CSV with the same texts.
TEST(SpreadsheetWriterCheckTest, LibreOfficeOpensBothFormats) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        VESTRAL_SKIP_MISSING_PEER("soffice not installed");
    }
    QTemporaryDir dir;
    for (const QString& suffix : {QStringLiteral("xls"), QStringLiteral("xlsx")}) {
        const QString path = dir.filePath(QStringLiteral("CONTATOS_%1.%1").arg(suffix));
        ASSERT_TRUE(SpreadsheetWriter::write(path, sampleRows()).ok());
        QProcess process;
        process.start(soffice,
                      {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                       QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                       QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"), QStringLiteral("--outdir"),
                       dir.path(), path});
        ASSERT_TRUE(process.waitForFinished(180000));
        const SpreadsheetData data = CsvReader::read(dir.filePath(QStringLiteral("CONTATOS_%1.csv").arg(suffix)));
        ASSERT_TRUE(data.ok()) << data.error.toStdString();
        EXPECT_EQ(data.rows, padded(sampleRows()).mid(0, 5)) << suffix.toStdString(); // the blank last row ends no CSV
    }
}

} // namespace

namespace {

// A full Excel 97-2003 sheet: its compound file needs more allocation table sectors than the
// header can list (a DIFAT chain), and the reader still finds every row.
TEST(SpreadsheetWriterLimitTest, FullXlsSheetReadsBack) {
    QList<QStringList> rows;
    rows.reserve(XlsWriter::MaxRows);
    for (int i = 0; i < XlsWriter::MaxRows; ++i) {
        QStringList row;
        for (int column = 0; column < SpreadsheetWriter::ColumnCount; ++column) {
            row << QStringLiteral("c%1r%2").arg(column).arg(i);
        }
        rows.append(row);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CONTATOS.xls"));
    ASSERT_TRUE(SpreadsheetWriter::write(path, rows).ok());
    EXPECT_GT(QFileInfo(path).size(), 109LL * 128 * 512); // past what the header's table list covers
    const SpreadsheetData data = SpreadsheetReader::read(path);
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    EXPECT_TRUE(data.rows == rows);
}

} // namespace
