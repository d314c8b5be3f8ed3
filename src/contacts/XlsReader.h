#pragma once

#include "contacts/SpreadsheetReader.h"

#include <QByteArray>

// Excel 97-2003 workbooks (BIFF8, and Excel 5/95's BIFF5) in a compound file, read by our own
// parser: the first worksheet's cells, shared strings across CONTINUE records, dates by their
// number formats, formula results as saved. Nothing in the file is trusted: every offset and
// length is checked, and a damaged file gives an error, never a crash.
class XlsReader {
public:
    // Larger files are refused rather than loaded (a BIFF8 sheet holds 65,536 rows).
    static constexpr qint64 MaxFileSize = 512LL * 1024 * 1024;

    static SpreadsheetData read(const QString& path, const SpreadsheetProgress& progress = {});
    static SpreadsheetData readBytes(const QByteArray& file, const SpreadsheetProgress& progress = {});
};
