// libFuzzer target: any bytes as an Excel 97-2003 workbook. The reader must give rows or an
// error, never crash, hang or read out of bounds, and never keep a cell longer than a cell may be.
#include "contacts/XlsReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SpreadsheetData result = XlsReader::readBytes(bytes);
    for (const QStringList& row : result.rows) {
        if (row.size() != SpreadsheetReader::ColumnCount) {
            __builtin_trap();
        }
        for (const QString& cell : row) {
            if (cell.size() > SpreadsheetReader::MaxCellLength) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
