#include "contacts/XlsRecordScanner.h"

#include "contacts/XlsWriter.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>

namespace {

void put16(QByteArray& out, quint16 value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

QByteArray record(quint16 type, const QByteArray& body) {
    QByteArray out;
    put16(out, type);
    put16(out, static_cast<quint16>(body.size()));
    return out + body;
}

QByteArray cellHead(quint16 row, quint16 column) {
    QByteArray body;
    put16(body, row);
    put16(body, column);
    put16(body, 15);
    return body;
}

// A FORMULA record whose cached result is the 8 bytes given.
QByteArray formula(quint16 row, quint16 column, const QByteArray& result) {
    return record(0x0006, cellHead(row, column) + result + QByteArray(6, '\0') + QByteArray::fromHex("0300") +
                              QByteArray::fromHex("1e0200"));
}

QByteArray numberResult(double value) {
    QByteArray bytes(8, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

QByteArray specialResult(quint8 kind, quint8 value) {
    QByteArray bytes(8, '\0');
    bytes[0] = static_cast<char>(kind);
    bytes[2] = static_cast<char>(value);
    bytes[6] = '\xFF';
    bytes[7] = '\xFF';
    return bytes;
}

QByteArray stringRecord(const QString& text) {
    QByteArray body;
    put16(body, static_cast<quint16>(text.size()));
    body.append('\x01');
    for (const QChar c : text) {
        put16(body, c.unicode());
    }
    return record(0x0207, body);
}

QByteArray boolErr(quint16 row, quint16 column, quint8 value, bool error) {
    return record(0x0205,
                  cellHead(row, column) + QByteArray(1, static_cast<char>(value)) + QByteArray(1, error ? '\1' : '\0'));
}

QByteArray boundSheet(quint32 offset, quint8 kind) {
    QByteArray body;
    put16(body, static_cast<quint16>(offset & 0xFFFF));
    put16(body, static_cast<quint16>(offset >> 16));
    body.append('\0');
    body.append(static_cast<char>(kind));
    body.append("\x01\x00X", 3);
    return record(0x0085, body);
}

QByteArray workbook(const QByteArray& sheetRecords) {
    const QByteArray bof = record(0x0809, QByteArray(16, '\0'));
    const QByteArray eof = record(0x000A, QByteArray());
    const qsizetype globals = bof.size() + 2 * boundSheet(0, 0).size() + eof.size();
    // A chart sheet first: the scanner takes the first worksheet.
    const QByteArray chart = bof + formula(0, 0, numberResult(99)) + eof;
    return bof + boundSheet(static_cast<quint32>(globals), 2) +
           boundSheet(static_cast<quint32>(globals + chart.size()), 0) + eof + chart + bof + sheetRecords + eof +
           formula(9, 0, numberResult(1)); // after the sheet's end: not read
}

TEST(XlsRecordScannerTest, FormulaResultsAndLogicalCellsAsShown) {
    const QByteArray sheet = formula(0, 0, numberResult(2.5)) + formula(0, 1, specialResult(0, 0)) +
                             stringRecord(QStringLiteral("Olá €")) + formula(0, 2, specialResult(1, 1)) +
                             formula(0, 3, specialResult(2, 0x07)) + formula(0, 4, specialResult(3, 0)) +
                             formula(0, 14, numberResult(7)) + boolErr(1, 0, 0, false) + boolErr(1, 1, 0x2A, true) +
                             boolErr(1, 20, 1, false) + formula(2, 0, numberResult(11987654321.0));
    const QHash<quint64, QString> values = XlsRecordScanner::shownValues(XlsWriter::compoundFile(workbook(sheet)));
    const QHash<quint64, QString> expected = {
        {XlsRecordScanner::key(0, 0), QStringLiteral("2,5")},
        {XlsRecordScanner::key(0, 1), QStringLiteral("Olá €")},
        {XlsRecordScanner::key(0, 2), QStringLiteral("VERDADEIRO")},
        {XlsRecordScanner::key(0, 3), QStringLiteral("#DIV/0!")},
        {XlsRecordScanner::key(0, 4), QString()},
        {XlsRecordScanner::key(1, 0), QStringLiteral("FALSO")},
        {XlsRecordScanner::key(1, 1), QStringLiteral("#N/A")},
        {XlsRecordScanner::key(2, 0), QStringLiteral("11987654321")},
    };
    EXPECT_EQ(values, expected);
}

TEST(XlsRecordScannerTest, DamagedFilesGiveNothing) {
    const QByteArray good = XlsWriter::compoundFile(workbook(formula(0, 0, numberResult(1))));
    QByteArray loop = good;
    // Point the workbook stream's first FAT entry at itself: a chain that never ends.
    const qsizetype fatSector = (qFromLittleEndian<quint32>(good.constData() + 76) + 1) * 512;
    qToLittleEndian<quint32>(0, loop.data() + fatSector);
    QByteArray cutRecord = workbook(QByteArray());
    cutRecord.append(QByteArray::fromHex("06001000"));
    const QByteArray cases[] = {
        QByteArray(),
        QByteArray("not a compound file"),
        good.left(600),
        loop,
        XlsWriter::compoundFile(QByteArray::fromHex("0908ffff")),
        XlsWriter::compoundFile(cutRecord),
    };
    for (const QByteArray& file : cases) {
        const QHash<quint64, QString> values = XlsRecordScanner::shownValues(file);
        EXPECT_LE(values.size(), 1);
    }
    EXPECT_EQ(XlsRecordScanner::shownValues(good).value(XlsRecordScanner::key(0, 0)), QStringLiteral("1"));
}

} // namespace
