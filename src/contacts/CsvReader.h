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
    // The rows; warning names the rows that held invalid UTF-8 bytes; a cell longer than
    // SpreadsheetReader::MaxCellLength is refused, naming its row and column.
    static SpreadsheetData parse(const QByteArray& bytes, const SpreadsheetProgress& progress = {});

    // Text of the bytes: UTF-16 after its BOM; UTF-8 (a BOM dropped) unless the bytes hold more
    // invalid UTF-8 bytes than UTF-8 characters beyond ASCII, then Windows-1252. In a UTF-8 file,
    // each invalid byte is taken as the Windows-1252 character it would be, and its place noted.
    struct Decoded {
        QString text;
        QList<qsizetype> invalidAt; // positions in text of the characters from invalid bytes
    };
    static Decoded decodeText(const QByteArray& bytes);
    static QString decode(const QByteArray& bytes);
    // Tab or ';' when the first record has more of them than commas outside quotes, else ','.
    static QChar detectSeparator(const QString& text);
};
