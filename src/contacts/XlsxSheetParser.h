#pragma once

#include "contacts/SpreadsheetReader.h"

#include <QIODevice>
#include <QList>
#include <QStringList>

#include <string>

// Streams the shared strings and the first worksheet of an .xlsx workbook into rows of text.
// These two parts hold nearly all of a workbook's bytes, so they go through expat (a SAX parser,
// several times faster than a pull parser here); a document type declaration, and with it any
// entity expansion, is refused.
class XlsxSheetParser {
public:
    XlsxSheetParser(bool date1904, const SpreadsheetProgress& progress);

    // Per cell format index: whether its number format shows a date or a time.
    void setDateStyles(const QList<bool>& dateStyles) { m_dateStyles = dateStyles; }
    bool readSharedStrings(QIODevice& device);
    // Fills data.rows (or data.error / data.stopped).
    void readSheet(QIODevice& device, SpreadsheetData& data);
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

    bool m_date1904;
    const SpreadsheetProgress& m_progress;
    QList<bool> m_dateStyles;
    QStringList m_sharedStrings;
    QStringList m_blankRow;
    QString m_error;

    // Parser state.
    void* m_parser = nullptr;
    Part m_part = Part::Sheet;
    SpreadsheetData* m_data = nullptr;
    std::string m_text;
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
