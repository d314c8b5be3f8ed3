#pragma once

#include "contacts/SpreadsheetReader.h"

#include <QByteArray>

// Comma- or semicolon-separated text as operators save it from a spreadsheet: UTF-8 (with or
// without BOM) or Windows-1252, fields quoted with '"' (doubled inside), line breaks inside quotes.
class CsvReader {
public:
    // Files larger than this are refused rather than loaded.
    static constexpr qint64 MaxFileSize = 512LL * 1024 * 1024;

    static SpreadsheetData read(const QString& path, const SpreadsheetProgress& progress = {});
    static SpreadsheetData parse(const QByteArray& bytes, const SpreadsheetProgress& progress = {});

    // Text of the bytes: UTF-8 when they are valid UTF-8 (a BOM is dropped), else Windows-1252.
    static QString decode(const QByteArray& bytes);
    // ';' when the first record has more semicolons than commas outside quotes, else ','.
    static QChar detectSeparator(const QString& text);
};
