// Spreadsheets from the unlucky side: cells past the limit, parts that claim to be huge, files
// named for the other format, bytes that are not UTF-8, and exports onto a full disk.
#include "contacts/CsvReader.h"
#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetWriter.h"
#include "contacts/XlsxReader.h"

#include "ContactsTestSupport.h"
#include "FileLimits.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using ContactsTest::makeXlsx;

QStringList row14(const QStringList& cells) {
    QStringList row = cells;
    row.resize(SpreadsheetReader::ColumnCount);
    return row;
}

QByteArray sharedStrings(const QList<QByteArray>& texts) {
    QByteArray xml; // makeXlsx wraps it in <sst>
    for (const QByteArray& text : texts)
        xml += "<si><t>" + text + "</t></si>";
    return xml;
}

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Rewrites the uncompressed size that a zip's local and central headers give for `part`.
QByteArray withDeclaredSize(QByteArray zip, const QByteArray& part, quint32 size) {
    QByteArray value;
    for (int i = 0; i < 4; ++i)
        value.append(static_cast<char>((size >> (8 * i)) & 0xFF));
    for (qsizetype at = zip.indexOf(part); at >= 0; at = zip.indexOf(part, at + 1)) {
        if (at >= 30 && zip.mid(at - 30, 4) == "PK\x03\x04")
            zip.replace(at - 30 + 22, 4, value);
        else if (at >= 46 && zip.mid(at - 46, 4) == "PK\x01\x02")
            zip.replace(at - 46 + 24, 4, value);
    }
    return zip;
}

TEST(SpreadsheetLimitTest, ACellPastTheLimitIsRefusedByRowAndColumnInEveryFormat) {
    const QByteArray longest(SpreadsheetReader::MaxCellLength, 'x');
    const QByteArray tooLong(SpreadsheetReader::MaxCellLength + 1, 'x');
    const QByteArray huge(3 * 1024 * 1024, 'y'); // a text that must never be kept whole
    const struct {
        const char* what;
        SpreadsheetData data;
        const char* where; // empty: read fine, the longest cell whole
    } cases[] = {
        {"shared string",
         XlsxReader::readBytes(
             makeXlsx("<row r=\"5\"><c r=\"C5\" t=\"s\"><v>1</v></c></row>", sharedStrings({"curto", tooLong}))),
         "linha 5, coluna C"},
        {"huge shared string",
         XlsxReader::readBytes(makeXlsx("<row r=\"2\"><c r=\"N2\" t=\"s\"><v>0</v></c></row>", sharedStrings({huge}))),
         "linha 2, coluna N"},
        {"inline string",
         XlsxReader::readBytes(
             makeXlsx("<row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>" + tooLong + "</t></is></c></row>")),
         "linha 2, coluna B"},
        {"number text", XlsxReader::readBytes(makeXlsx("<row r=\"7\"><c r=\"A7\"><v>" + huge + "</v></c></row>")),
         "linha 7, coluna A"},
        {"csv field", CsvReader::parse("a;b\nc;d\ne;" + tooLong + "\n"), "linha 3, coluna B"},
        {"longest shared string",
         XlsxReader::readBytes(
             makeXlsx("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>", sharedStrings({longest}))),
         ""},
        {"longest csv field", CsvReader::parse("a;" + longest + "\n"), ""},
        // A string no cell of A to N uses is not kept, however long.
        {"unused huge string",
         XlsxReader::readBytes(
             makeXlsx("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>", sharedStrings({huge, longest}))),
         ""},
    };
    for (const auto& c : cases) {
        if (*c.where) {
            EXPECT_TRUE(c.data.error.contains(QString::fromUtf8(c.where)))
                << c.what << ": " << c.data.error.toStdString();
            EXPECT_TRUE(c.data.rows.isEmpty()) << c.what;
        } else {
            ASSERT_TRUE(c.data.ok()) << c.what << ": " << c.data.error.toStdString();
            qsizetype longestCell = 0;
            for (const QStringList& row : c.data.rows)
                for (const QString& cell : row)
                    longestCell = std::max(longestCell, cell.size());
            EXPECT_EQ(longestCell, SpreadsheetReader::MaxCellLength) << c.what;
        }
    }
}

TEST(SpreadsheetLimitTest, APartThatSaysItIsHugeIsRefusedBeforeItIsRead) {
    QTemporaryDir dir;
    const QByteArray zip = makeXlsx("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>", sharedStrings({"Ana"}));
    ASSERT_TRUE(XlsxReader::readBytes(zip).ok());
    const QString path = QDir(dir.path()).filePath(QStringLiteral("grande.xlsx"));
    put(path, withDeclaredSize(zip, "xl/sharedStrings.xml", 0x60000000)); // 1.5 GB
    const SpreadsheetData data = SpreadsheetReader::read(path);
    EXPECT_TRUE(data.error.contains(path)) << data.error.toStdString();
    EXPECT_TRUE(data.error.contains(QStringLiteral("grande demais"))) << data.error.toStdString();
    EXPECT_TRUE(data.error.contains(QStringLiteral("1536 MB"))) << data.error.toStdString();
}

TEST(SpreadsheetContentTest, AWorkbookIsReadByItsContentWhateverItsName) {
    QTemporaryDir dir;
    const struct {
        const char* fixture;
        const char* namedAs;
    } cases[] = {{"contatos_num.xls", "trocado.xlsx"}, {"contatos_num.xlsx", "trocado.xls"}};
    for (const auto& c : cases) {
        const QString path = QDir(dir.path()).filePath(QString::fromUtf8(c.namedAs));
        put(path, contents(ContactsTest::dataFile(QString::fromUtf8(c.fixture))));
        const SpreadsheetData data = SpreadsheetReader::read(path);
        ASSERT_TRUE(data.ok()) << c.namedAs << ": " << data.error.toStdString();
        EXPECT_EQ(data.rows.size(), 250) << c.namedAs;
        EXPECT_EQ(data.rows.value(1).value(1), QStringLiteral("11987654321")) << c.namedAs;
    }
}

TEST(SpreadsheetContentTest, ErrorsNameTheFileInPortugueseWithTheLibraryTextAfter) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        QByteArray bytes;
        const char* says;
        const char* library; // the library's own text, kept after ours
    } cases[] = {
        {"zip_cortado.xlsx", QByteArray("PK\x03\x04 cut short"), "não é uma planilha .xlsx", "Not a zip archive"},
        {"texto.xls", "NOME;FONE\n", "não é uma planilha do Excel", ""},
        {"vazio.xlsx", "", "não é uma planilha do Excel", ""},
        {"cortado.xls", contents(ContactsTest::dataFile(QStringLiteral("contatos_num.xls"))).left(700),
         "não é uma planilha do Excel 97-2003 válida", ""},
    };
    for (const auto& c : cases) {
        const QString path = QDir(dir.path()).filePath(QString::fromUtf8(c.name));
        put(path, c.bytes);
        const SpreadsheetData data = SpreadsheetReader::read(path);
        EXPECT_TRUE(data.error.contains(path)) << data.error.toStdString();
        EXPECT_TRUE(data.error.contains(QString::fromUtf8(c.says))) << data.error.toStdString();
        EXPECT_TRUE(data.error.contains(QString::fromUtf8(c.library))) << data.error.toStdString();
        EXPECT_FALSE(data.error.contains(QStringLiteral("erro -"))) << data.error.toStdString();
    }
}

TEST(CsvEncodingTest, AFewBadBytesInAUtf8FileStayThereAndAreNamedByRow) {
    QByteArray utf8;
    for (int row = 1; row <= 40; ++row) {
        if (row == 34)
            utf8 += "Jos\xE9;1199\n"; // one Windows-1252 byte in a UTF-8 file
        else if (row == 12)
            utf8 += "\"Linha\nquebrada \xC3\x82\";1\n"; // one record over two lines
        else if (row == 37)
            utf8 += "Ren\xE9\x80;1\n";
        else
            utf8 += "\xC3\x82ngela " + QByteArray::number(row) + ";1198\n";
    }
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("contatos.csv"));
    put(path, utf8);
    const SpreadsheetData data = SpreadsheetReader::read(path);
    ASSERT_TRUE(data.ok()) << data.error.toStdString();
    ASSERT_EQ(data.rows.size(), 40);
    EXPECT_EQ(data.rows[0][0], QStringLiteral("Ângela 1"));
    EXPECT_EQ(data.rows[11][0], QStringLiteral("Linha\nquebrada Â"));
    EXPECT_EQ(data.rows[33][0], QStringLiteral("José"));
    EXPECT_EQ(data.rows[36][0], QStringLiteral("René€"));
    EXPECT_EQ(data.rows[39][0], QStringLiteral("Ângela 40"));
    EXPECT_TRUE(data.warning.contains(QStringLiteral("as linhas 34 e 37"))) << data.warning.toStdString();
    EXPECT_TRUE(data.warning.contains(path)) << data.warning.toStdString();

    // A Windows-1252 file stays one, with nothing to warn about; so does plain UTF-8.
    const SpreadsheetData cp1252 = CsvReader::parse("\xC2ngela;1\nJos\xE9;2\n");
    EXPECT_EQ(cp1252.rows.value(0).value(0), QStringLiteral("Ângela"));
    EXPECT_TRUE(cp1252.warning.isEmpty());
    EXPECT_TRUE(CsvReader::parse("\xC3\x82ngela;1\n").warning.isEmpty());
    // ASCII and one stray byte read the same either way: Windows-1252.
    EXPECT_EQ(CsvReader::parse("x\n\xE9\n").rows.value(1).value(0), QStringLiteral("é"));
}

class SpreadsheetExportFailureTest : public ::testing::TestWithParam<const char*> {
protected:
    QString name() const { return QStringLiteral("contatos.") + QString::fromUtf8(GetParam()); }
    static QList<QStringList> rows() {
        QList<QStringList> out;
        for (int i = 0; i < 2000; ++i)
            out.append(row14({QStringLiteral("Contato %1 com nome longo ç").arg(i), QString::number(11900000000LL + i),
                              QString(200, QChar(u'a' + i % 26))}));
        return out;
    }
};

TEST_P(SpreadsheetExportFailureTest, ExportsAreForTheirOwnerOnly) {
    QTemporaryDir dir;
    const mode_t old = ::umask(022);
    const QString path = QDir(dir.path()).filePath(name());
    const SpreadsheetWriteResult result = SpreadsheetWriter::write(path, rows().mid(0, 3));
    ::umask(old);
    ASSERT_TRUE(result.ok()) << result.error.toStdString();
    EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

TEST_P(SpreadsheetExportFailureTest, AWriteThatFailsIsSaidAndTheOldFileKept) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(name());
    put(path, "planilha anterior");
    SpreadsheetWriteResult result;
    {
        const TestFiles::FileSizeLimit limit(4096);
        result = SpreadsheetWriter::write(path, rows());
    }
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.error.contains(path)) << result.error.toStdString();
    EXPECT_EQ(contents(path), "planilha anterior");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_P(SpreadsheetExportFailureTest, AFullDiskIsSaidAndTheOldFileKept) {
    TestFiles::SmallDisk disk(512);
    if (!disk.mounted())
        GTEST_SKIP() << "no permission to mount a tmpfs here";
    const QString path = disk.filePath(name());
    put(path, "planilha anterior");
    disk.fill(16 * 1024);
    const SpreadsheetWriteResult result = SpreadsheetWriter::write(path, rows());
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.error.contains(path)) << result.error.toStdString();
    EXPECT_EQ(contents(path), "planilha anterior");
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // the old file, the filler
}

INSTANTIATE_TEST_SUITE_P(Formats, SpreadsheetExportFailureTest, ::testing::Values("xls", "xlsx"));

} // namespace
