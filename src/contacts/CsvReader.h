#pragma once

#include "contacts/SpreadsheetReader.h"

#include <QByteArray>

// Comma-, semicolon- or tab-separated text as operators save it from a spreadsheet: UTF-8 (with or
// without BOM), UTF-16 with BOM or Windows-1252, fields quoted with '"' (doubled inside), line
// breaks inside quotes, an optional first line "sep=X" naming the separator.
class CsvReader {
public:
    // Files larger than this are refused rather than loaded.
    static constexpr qint64 MaxFileSize = 512LL * 1024 * 1024;

    static SpreadsheetData read(const QString& path, const SpreadsheetProgress& progress = {});
    static SpreadsheetData parse(const QByteArray& bytes, const SpreadsheetProgress& progress = {});

    // Text of the bytes: UTF-16 after its BOM; UTF-8 when they are valid UTF-8 (a BOM is dropped);
    // else Windows-1252.
    static QString decode(const QByteArray& bytes);
    // Tab or ';' when the first record has more of them than commas outside quotes, else ','.
    static QChar detectSeparator(const QString& text);
};
