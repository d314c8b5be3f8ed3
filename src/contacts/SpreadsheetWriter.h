#pragma once

#include "contacts/SpreadsheetReader.h"

#include <array>

struct SpreadsheetWriteResult {
    QString error;        // empty on success
    bool stopped = false; // the progress callback asked to stop; no file was written

    bool ok() const { return error.isEmpty() && !stopped; }
};

// Writes contacts as a worksheet the import reads back: no title row, one row per contact,
// fourteen text cells A to N, the NOME cells (column A) in bold red Tahoma, columns as wide as
// the operator expects them. The file appears whole or not at all (AtomicFile): written under a
// temporary name beside the target, every write checked, renamed when complete, so a failure or a
// stop leaves any earlier file of that name untouched. It is created for its owner only (0600).
class SpreadsheetWriter {
public:
    static constexpr int ColumnCount = SpreadsheetReader::ColumnCount;
    // Width of each column in characters; 0 keeps the application's default (column N).
    static constexpr std::array<double, ColumnCount> ColumnWidths = {40, 15, 60, 30, 30, 30, 30,
                                                                     30, 30, 30, 30, 30, 30, 0};
    static constexpr const char* NameFont = "Tahoma";
    // Longest text a cell holds; longer texts are cut there.
    static constexpr int MaxCellLength = SpreadsheetReader::MaxCellLength;

    // .xls (Excel 97-2003) or .xlsx, chosen by the file name's extension. progress is called
    // after each row with (rows written, row count); returning false stops without a file.
    static SpreadsheetWriteResult write(const QString& path, const QList<QStringList>& rows,
                                        const SpreadsheetProgress& progress = {});

    // Whether the file name's extension is one the export writes (.xls, .xlsx), and the refusal.
    static bool isSupported(const QString& path);
    static QString unsupportedText(const QString& path);

    // The text of a row's cell as it is written: cut to MaxCellLength, without NUL characters
    // (which no cell holds); empty past the row's end.
    static QString cellText(const QStringList& row, int column);

    // File dialog filter for the export: the Excel 97-2003 type first, as the operator knows it.
    static QString fileFilter();
};
