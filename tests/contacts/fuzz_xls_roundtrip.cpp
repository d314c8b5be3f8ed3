// libFuzzer target: the bytes become rows of texts (0x1F splits cells, 0x1E rows), are written
// as .xls by our BIFF8 writer and read back through FreeXL; what comes back must be what went in.
// Also feeds the same bytes to the compound file / record scanner as a hostile file.
#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetWriter.h"
#include "contacts/XlsRecordScanner.h"

#include <QDir>
#include <QTemporaryDir>

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
    XlsRecordScanner::shownValues(bytes);
    static QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("fuzz.xls"));
    const QList<QStringList> rows = rowsOf(bytes);
    if (rows.size() > 2000) {
        return 0;
    }
    if (!SpreadsheetWriter::write(path, rows).ok()) {
        __builtin_trap();
    }
    const SpreadsheetData back = SpreadsheetReader::read(path);
    if (!back.ok() || back.rows != rows) {
        __builtin_trap();
    }
    return 0;
}
