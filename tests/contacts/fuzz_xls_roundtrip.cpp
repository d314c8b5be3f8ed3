// libFuzzer target: the bytes become rows of texts (0x1F splits cells, 0x1E rows), are written
// as .xls by our BIFF8 writer and read back by our reader; what comes back must be what went in.
#include "contacts/SpreadsheetWriter.h"
#include "contacts/XlsReader.h"
#include "contacts/XlsWriter.h"

#include <cstddef>
#include <cstdint>

namespace {

QList<QStringList> rowsOf(const QByteArray& bytes) {
    QList<QStringList> rows;
    for (const QByteArray& line : bytes.split('\x1E')) {
        QStringList row;
        for (const QByteArray& cell : line.split('\x1F')) {
            row.append(QString::fromUtf8(cell));
        }
        row.resize(SpreadsheetWriter::ColumnCount);
        for (int column = 0; column < SpreadsheetWriter::ColumnCount; ++column) {
            row[column] = SpreadsheetWriter::cellText(row, column); // as the writer keeps it
        }
        rows.append(row);
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QStringList> rows = rowsOf(bytes);
    if (rows.size() > 2000) {
        return 0;
    }
    const QByteArray file = XlsWriter::compoundFile(XlsWriter::workbookStream(rows));
    const SpreadsheetData back = XlsReader::readBytes(file);
    if (!back.ok() || back.rows != rows) {
        __builtin_trap();
    }
    return 0;
}
