#pragma once

#include "contacts/SpreadsheetReader.h"

#include <QIODevice>
#include <QList>
#include <QStringList>

class QXmlStreamReader;

// Streams the shared strings and the first worksheet of an .xlsx workbook into rows of text.
class XlsxSheetParser {
public:
    XlsxSheetParser(bool date1904, const SpreadsheetProgress& progress);

    // Per cell format index: whether its number format shows a date or a time.
    void setDateStyles(const QList<bool>& dateStyles) { m_dateStyles = dateStyles; }
    bool readSharedStrings(QIODevice& device);
    // Fills data.rows (or data.error / data.stopped).
    void readSheet(QIODevice& device, SpreadsheetData& data);
    QString error() const { return m_error; }

private:
    struct Cell {
        int column = -1;
        qint64 row = 0;
        QString text;
    };

    bool readCell(QXmlStreamReader& reader, Cell& cell);
    QString valueText(const QString& type, const QString& value, int style) const;
    bool storeCell(const Cell& cell, SpreadsheetData& data);
    QString streamError(const QXmlStreamReader& reader, const QIODevice& device) const;

    bool m_date1904;
    const SpreadsheetProgress& m_progress;
    QList<bool> m_dateStyles;
    QStringList m_sharedStrings;
    QStringList m_blankRow;
    QString m_error;
};
