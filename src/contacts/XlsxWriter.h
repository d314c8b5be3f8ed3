#pragma once

#include "contacts/SpreadsheetWriter.h"

// Office Open XML workbooks through libxlsxwriter (rows streamed, strings inline).
class XlsxWriter {
public:
    // Writes path itself; SpreadsheetWriter::write hands it a checked temporary file to rename.
    static SpreadsheetWriteResult write(const QString& path, const QList<QStringList>& rows,
                                        const SpreadsheetProgress& progress = {});
};
