#pragma once

#include "contacts/SpreadsheetWriter.h"

#include <QByteArray>

// Excel 97-2003 workbooks: one worksheet in BIFF8 records (fonts, cell formats, column widths,
// a shared string table, LABELSST cells) inside a Compound File Binary container.
class XlsWriter {
public:
    // Rows a BIFF8 worksheet can hold.
    static constexpr int MaxRows = 65536;

    // Writes path whole or not at all (a checked temporary file, renamed when complete).
    static SpreadsheetWriteResult write(const QString& path, const QList<QStringList>& rows,
                                        const SpreadsheetProgress& progress = {});

    // The "Workbook" stream: globals (fonts, formats, sheet entry, strings) then the worksheet.
    // Returns an empty array when progress asked to stop.
    static QByteArray workbookStream(const QList<QStringList>& rows, const SpreadsheetProgress& progress = {});
    // A compound file (version 3, 512-byte sectors) holding one stream named "Workbook".
    static QByteArray compoundFile(const QByteArray& workbookStream);
};
