#pragma once

#include "contacts/SpreadsheetReader.h"

// Excel 97-2003 workbooks (BIFF8 in a compound file), read through FreeXL.
class XlsReader {
public:
    static SpreadsheetData read(const QString& path, const SpreadsheetProgress& progress = {});
};
