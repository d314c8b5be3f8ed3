#pragma once

#include "contacts/SpreadsheetWriter.h"

// Office Open XML workbooks through libxlsxwriter (rows streamed, strings inline).
class XlsxWriter {
public:
    // Writes path itself; SpreadsheetWriter::write wraps this with the temporary-file rename.
    static SpreadsheetWriteResult write(const QString& path, const QList<QStringList>& rows,
                                        const SpreadsheetProgress& progress = {});
};
