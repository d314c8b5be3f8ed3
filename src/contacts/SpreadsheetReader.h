#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Rows of a contacts spreadsheet: the first worksheet, no title row, rows 1 to the last used row
// (blank rows in between kept), columns A to N (NOME, TELEFONE, EMAIL, TEXTO, TEXTO0 … TEXTO9),
// each cell as the text the operator sees with the program's regional formats.
struct SpreadsheetData {
    QList<QStringList> rows; // every row holds exactly SpreadsheetReader::ColumnCount texts
    QString error;           // empty when the file was read to its end
    QString warning;         // what the operator should know about a file read anyway
    bool stopped = false;    // the progress callback asked to stop; rows holds what was read so far

    bool ok() const { return error.isEmpty() && !stopped; }
};

// Called now and then while a file is parsed: rows parsed so far and, when known, the last row
// (0 while unknown). Returning false stops the reading.
using SpreadsheetProgress = std::function<bool(int rowsDone, int lastRow)>;

class SpreadsheetReader {
public:
    static constexpr int ColumnCount = 14;
    // Highest row number a workbook can hold (Excel 2007 and later); rows past it are refused.
    static constexpr int MaxRows = 1048576;
    // Longest text a cell holds (the workbook formats' own limit); a longer one is refused.
    static constexpr int MaxCellLength = 32767;

    // Reads .xls or .xlsx by the file's content (whatever its extension says), or .csv/.txt text;
    // errors name the file, with the reason and the library's own text after it.
    static SpreadsheetData read(const QString& path, const SpreadsheetProgress& progress = {});

    // The dbCLIENTE columns that the sheet's columns A to N hold, in order: NOME, FONE, EMAIL,
    // TEXTO, TEXTO0 … TEXTO9 (the same order for import and export).
    static const QStringList& columnFields();

    // File dialog filter for the import: the Excel types first, then the CSV files operators keep.
    static QString fileFilter();
};
