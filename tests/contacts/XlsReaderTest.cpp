// Our own Excel 97-2003 reader: what our writer and LibreOffice write reads back cell for cell, and
// a damaged or hostile file gives rows or an error, never a crash and never a cell past the limit.
#include "contacts/XlsReader.h"

#include "contacts/SpreadsheetReader.h"
#include "contacts/XlsWriter.h"

#include "ContactsTestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

void put16(QByteArray& out, quint16 value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void put32(QByteArray& out, quint32 value) {
    put16(out, static_cast<quint16>(value & 0xFFFF));
    put16(out, static_cast<quint16>(value >> 16));
}

QByteArray record(quint16 type, const QByteArray& body) {
    QByteArray out;
    put16(out, type);
    put16(out, static_cast<quint16>(body.size()));
    return out + body;
}

QByteArray bof(quint16 kind) {
    QByteArray body;
    put16(body, 0x0600);
    put16(body, kind);
    put32(body, 0);
    put32(body, 0);
    put32(body, 6);
    return record(0x0809, body);
}

// A workbook stream: globals (extra records, one sheet entry), then one worksheet.
QByteArray workbook(const QByteArray& sheetRecords, const QByteArray& globals = {}, qint64 sheetOffset = -1) {
    const QByteArray head = bof(0x0005) + globals;
    QByteArray entry;
    put32(entry, static_cast<quint32>(sheetOffset >= 0 ? sheetOffset : head.size() + 4 + 9 + 4));
    entry.append(QByteArray::fromHex("00000100") + "A");
    return head + record(0x0085, entry) + record(0x000A, {}) + bof(0x0010) + sheetRecords + record(0x000A, {});
}

QByteArray cellHead(quint16 row, quint16 column) {
    QByteArray body;
    put16(body, row);
    put16(body, column);
    put16(body, 15);
    return body;
}

// A LABEL cell of one-byte characters, continued in CONTINUE records as a writer splits it.
QByteArray label(quint16 row, quint16 column, const QByteArray& latin1) {
    QByteArray body = cellHead(row, column);
    put16(body, static_cast<quint16>(latin1.size()));
    body.append('\0');
    constexpr qsizetype MaxBody = 8224;
    const qsizetype first = std::min<qsizetype>(latin1.size(), MaxBody - body.size());
    QByteArray out = record(0x0204, body + latin1.left(first));
    for (qsizetype at = first; at < latin1.size(); at += MaxBody - 1) {
        out += record(0x003C, '\0' + latin1.mid(at, MaxBody - 1));
    }
    return out;
}

QByteArray xlsFile(const QByteArray& stream) {
    return XlsWriter::compoundFile(stream);
}

QStringList row14(const QStringList& first) {
    QStringList row = first;
    row.resize(SpreadsheetReader::ColumnCount);
    return row;
}

void expectSane(const SpreadsheetData& data, const std::string& what) {
    EXPECT_TRUE(data.error.isEmpty() || data.rows.isEmpty()) << what;
    for (const QStringList& row : data.rows) {
        ASSERT_EQ(row.size(), SpreadsheetReader::ColumnCount) << what;
        for (const QString& cell : row)
            ASSERT_LE(cell.size(), SpreadsheetReader::MaxCellLength) << what;
    }
}

TEST(XlsReaderTest, EveryCellUpToTheLongestReadsBackFromOurWriter) {
    // Lengths around the record size (8,224 bytes) and the old ~16.4 KB failure, in one-byte and
    // two-byte characters, and a mix whose width changes where a CONTINUE begins.
    QList<QStringList> rows;
    for (const int length : {0, 1, 8214, 8215, 8216, 16383, 16384, 16500, 32766, 32767}) {
        rows.append(row14({QString(length, QChar(u'a')), QString(length, QChar(u'€')),
                           (QString(length / 2, QChar(u'ç')) + QString(length - length / 2, QChar(u'漢')))}));
    }
    const SpreadsheetData back = XlsReader::readBytes(XlsWriter::compoundFile(XlsWriter::workbookStream(rows)));
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    ASSERT_EQ(back.rows.size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        EXPECT_EQ(back.rows[i], rows[i]) << "row " << i + 1;
}

TEST(XlsReaderTest, ALibreOfficeSheetExportedByUsReadsBackTheSame) {
    for (const char* name : {"contatos_num.xls", "contatos_texto.xls", "contatos_num.xlsx"}) {
        const SpreadsheetData original = SpreadsheetReader::read(ContactsTest::dataFile(QString::fromUtf8(name)));
        ASSERT_TRUE(original.ok()) << original.error.toStdString();
        const SpreadsheetData again =
            XlsReader::readBytes(XlsWriter::compoundFile(XlsWriter::workbookStream(original.rows)));
        ASSERT_TRUE(again.ok()) << name << ": " << again.error.toStdString();
        EXPECT_EQ(again.rows, original.rows) << name;
    }
}

TEST(XlsReaderTest, ACellLongerThanACellMayBeIsRefusedByRowAndColumn) {
    const SpreadsheetData data =
        XlsReader::readBytes(xlsFile(workbook(label(0, 0, "ok") + label(4, 2, QByteArray(40000, 'x')))));
    EXPECT_TRUE(data.rows.isEmpty());
    EXPECT_TRUE(data.error.contains(QStringLiteral("linha 5, coluna C"))) << data.error.toStdString();
    EXPECT_TRUE(data.error.contains(QStringLiteral("40000"))) << data.error.toStdString();
    // 32,767 is still a cell.
    const SpreadsheetData longest = XlsReader::readBytes(xlsFile(workbook(label(0, 13, QByteArray(32767, 'y')))));
    ASSERT_TRUE(longest.ok()) << longest.error.toStdString();
    EXPECT_EQ(longest.rows.value(0).value(13).size(), 32767);
}

TEST(XlsReaderTest, HostileRecordsGiveRowsOrAnErrorNeverACrash) {
    QByteArray sst;
    put32(sst, 1);
    put32(sst, 0xFFFFFFFF); // far more strings declared than present
    sst += QByteArray::fromHex("0500 00") + "abcde";
    QByteArray labelSst = cellHead(0, 0);
    put32(labelSst, 0xFFFFFFFF);
    QByteArray mulRk = cellHead(1, 3).left(4); // row 1, first column 3, then no entries, last column 0
    put16(mulRk, 0);
    QByteArray lastRow = cellHead(0xFFFF, 0);
    QByteArray shortFormula = cellHead(0, 1);
    QByteArray hugeLabel = cellHead(0, 2);
    put16(hugeLabel, 0xFFFF); // says 65,535 characters, holds 3
    hugeLabel += QByteArray::fromHex("00") + "abc";
    const struct {
        const char* what;
        QByteArray file;
    } cases[] = {
        {"shared strings that end early, an index past them",
         xlsFile(workbook(record(0x00FD, labelSst), record(0x00FC, sst)))},
        {"a MULRK with no entries", xlsFile(workbook(record(0x00BD, mulRk)))},
        {"the last row a sheet can hold", xlsFile(workbook(record(0x0201, lastRow)))},
        {"a FORMULA record cut short", xlsFile(workbook(record(0x0006, shortFormula)))},
        {"a LABEL longer than its record", xlsFile(workbook(record(0x0204, hugeLabel)))},
        {"a sheet entry past the stream", xlsFile(workbook({}, {}, 0x7FFFFFFF))},
        {"a sheet entry inside the globals", xlsFile(workbook({}, {}, 4))},
        {"a record longer than the stream", xlsFile(bof(0x0005) + QByteArray::fromHex("0402ffff0000"))},
        {"charts nested without end", xlsFile(workbook(bof(0x0020) + bof(0x0020) + label(0, 0, "x")))},
        {"a compound file with nothing after its header", xlsFile({}).left(512)},
        {"no compound file at all", QByteArray("PK\x03\x04 not this either")},
        {"an empty file", QByteArray()},
    };
    for (const auto& c : cases)
        expectSane(XlsReader::readBytes(c.file), c.what);
}

TEST(XlsReaderTest, DamagedCompoundFilesGiveAnErrorNeverACrash) {
    const QByteArray good = XlsWriter::compoundFile(XlsWriter::workbookStream(
        {row14({QStringLiteral("Ângela"), QStringLiteral("119")}), row14({QString(9000, QChar(u'é'))})}));
    ASSERT_TRUE(XlsReader::readBytes(good).ok());
    // Every length it could have been cut to, on a stride.
    for (qsizetype size = 0; size < good.size(); size += 61)
        expectSane(XlsReader::readBytes(good.left(size)), "cut at " + std::to_string(size));
    // Allocation table entries, the directory start and sector sizes turned hostile.
    const struct {
        const char* what;
        qsizetype at;
        QByteArray bytes;
    } patches[] = {
        {"sector shift 30", 30, QByteArray::fromHex("1e00")},
        {"directory start past the file", 48, QByteArray::fromHex("ffffff7f")},
        {"first FAT sector past the file", 76, QByteArray::fromHex("00ffff00")},
        {"DIFAT chain into itself", 68, QByteArray::fromHex("00000000")},
        {"mini stream cutoff above every stream", 56, QByteArray::fromHex("ffffffff")},
    };
    for (const auto& p : patches) {
        QByteArray bad = good;
        bad.replace(p.at, p.bytes.size(), p.bytes);
        expectSane(XlsReader::readBytes(bad), p.what);
    }
    // Every FAT entry pointing at itself: every chain is a loop.
    QByteArray loops = good;
    const qsizetype fatAt = (qsizetype{static_cast<quint8>(good[76])} + 1) * 512;
    for (qsizetype i = 0; i < 128; ++i) {
        QByteArray self;
        put32(self, static_cast<quint32>(i));
        loops.replace(fatAt + 4 * i, 4, self);
    }
    expectSane(XlsReader::readBytes(loops), "FAT loops");
    // Bytes flipped all over, deterministically.
    quint32 seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        QByteArray bad = good;
        for (int flips = 0; flips < 4; ++flips) {
            seed = seed * 1103515245 + 12345;
            bad[(seed >> 8) % bad.size()] = static_cast<char>(seed >> 24);
        }
        expectSane(XlsReader::readBytes(bad), "round " + std::to_string(round));
    }
}

// The seed corpus of the .xls fuzz target, with inputs its runs found (any crash would be kept there).
TEST(XlsReaderTest, InputsFromFuzzingGiveRowsOrAnError) {
    const QString dir = ContactsTest::dataFile(QStringLiteral("../contacts/corpus/fuzz_xls_reader"));
    const QStringList names = QDir(dir).entryList(QDir::Files);
    ASSERT_FALSE(names.isEmpty()) << dir.toStdString();
    for (const QString& name : names) {
        QFile file(QDir(dir).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        expectSane(XlsReader::readBytes(file.readAll()), name.toStdString());
    }
}

} // namespace
