#pragma once

#include "contacts/SpreadsheetReader.h"

#include <QHash>
#include <QIODevice>
#include <QList>
#include <QStringList>

#include <string>

// Streams the first worksheet and the shared strings of an .xlsx workbook into rows of text.
// These two parts hold nearly all of a workbook's bytes, so they go through expat (a SAX parser,
// several times faster than a pull parser here); a document type declaration, and with it any
// entity expansion, is refused.
//
// Memory follows the rows kept, not what the file declares: the sheet is read first and notes
// which shared strings its cells A to N use; the shared strings are then streamed and only those
// are kept. No text grows past the longest a cell may hold: a longer cell is refused, naming its
// row and column.
class XlsxSheetParser {
public:
    XlsxSheetParser(bool date1904, const SpreadsheetProgress& progress);

    // Per cell format index: whether its number format shows a date or a time.
    void setDateStyles(const QList<bool>& dateStyles) { m_dateStyles = dateStyles; }
    // Fills data.rows (or data.error / data.stopped); the cells holding shared strings stay empty
    // until readSharedStrings.
    void readSheet(QIODevice& device, SpreadsheetData& data);
    // Puts the shared strings that the sheet's cells use into data.rows.
    bool readSharedStrings(QIODevice& device, SpreadsheetData& data);
    QString error() const { return m_error; }

    // What the element handlers see; public for the expat callbacks only.
    enum class Part { SharedStrings, Sheet };
    enum class CellType { Number, SharedString, InlineString, Boolean, Date, Text };
    void startElement(const char* name, const char** attributes);
    void endElement(const char* name);
    void characters(const char* text, int length);
    void fail(const QString& error);

private:
    bool parse(QIODevice& device, Part part);
    void startCell(const char** attributes);
    void startRow(const char** attributes);
    void endCell();
    QString valueText(const QString& value) const;
    bool storeCell(int column, qint64 row, const QString& text);
    void endSharedString();
    void resetText();
    QString collectedText(bool escaped, qint64* tooLong) const;
    bool fillSharedStrings(SpreadsheetData& data);

    bool m_date1904;
    const SpreadsheetProgress& m_progress;
    QList<bool> m_dateStyles;
    // Shared strings: the cells that use each one, then the texts of the used ones.
    struct StringCell {
        qint32 row; // 0-based
        qint32 column;
        quint32 index;
    };
    QList<StringCell> m_stringCells;
    QHash<quint32, QString> m_usedStrings;
    QHash<quint32, qint64> m_tooLongStrings; // index → length in characters
    quint32 m_stringIndex = 0;
    QStringList m_blankRow;
    QString m_error;

    // Parser state.
    void* m_parser = nullptr;
    Part m_part = Part::Sheet;
    SpreadsheetData* m_data = nullptr;
    std::string m_text;
    qint64 m_textChars = 0;    // characters of the text being collected, kept or not
    bool m_textCut = false;    // the text outgrew what a cell may hold and was not kept
    qint64 m_quietBytes = 0;   // bytes parsed since the last element or text: expat's buffer
    bool m_collecting = false; // inside <v>, or a <t> of <si>/<is> outside phonetic hints
    bool m_inString = false;   // inside <si> or <is>
    bool m_inCell = false;
    int m_phoneticDepth = 0;
    qint64 m_row = 0;
    int m_column = -1;
    CellType m_cellType = CellType::Number;
    int m_cellStyle = -1;
    int m_lastRowHint = 0;
};
