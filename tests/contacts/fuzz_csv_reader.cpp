// libFuzzer target: any bytes as a CSV file from an operator. The reader must give rows of the
// fixed width or an error, never crash, hang or read out of bounds.
#include "contacts/CsvReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SpreadsheetData result = CsvReader::parse(bytes);
    for (const QStringList& row : result.rows) {
        if (row.size() != SpreadsheetReader::ColumnCount)
            __builtin_trap();
    }
    return 0;
}
