#pragma once

#include "contacts/SpreadsheetReader.h"

#include <QByteArray>

// Office Open XML workbooks (.xlsx): a zip archive read with libzip, its parts with
// QXmlStreamReader. Finds the first worksheet through the workbook's relationships, and reads
// shared strings (rich text runs included), inline strings, and the number formats of the styles
// to tell dates from numbers. Every part is streamed; nothing in the file is trusted.
class XlsxReader {
public:
    // Largest uncompressed part read; a bigger one (a zip bomb, or no spreadsheet) is refused.
    static constexpr qint64 MaxPartSize = 1024LL * 1024 * 1024;

    static SpreadsheetData read(const QString& path, const SpreadsheetProgress& progress = {});
    // The same for a workbook already in memory.
    static SpreadsheetData readBytes(const QByteArray& bytes, const SpreadsheetProgress& progress = {});
};
