#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringList>

// Turning spreadsheet cell values into the texts the operator sees, with the program's regional
// formats (short date dd/mm/yyyy, decimal comma, no thousands separator in a bare number).
namespace SpreadsheetText {

// A number as text: whole numbers as their digits ("11987654321"), others with up to 15
// significant digits and a decimal comma ("1,5"), very large or small ones as "1,5E20".
QString number(double value);

// A date serial number of the workbook (days since 30/12/1899, or since 01/01/1904 when
// date1904): "dd/mm/yyyy", "hh:mm:ss" for a time of day alone, or both separated by a space.
QString dateTime(double serial, bool date1904 = false);

// The shown values of a logical cell.
QString boolean(bool value);

// Whether an Excel number format code shows a date or time ("dd/mm/yyyy", "[$-416]d-mmm",
// "hh:mm"), as opposed to a number ("0.00", "#,##0", "[Red]0", "\"d\"0").
bool isDateFormat(const QString& formatCode);

// Whether a built-in number format id is one of the date or time formats.
bool isBuiltInDateFormat(int numFmtId);

// Bytes in Windows-1252, the code page of Excel files and CSV saved on Brazilian Windows.
QString fromWindows1252(QByteArrayView bytes);

// Column letters of a 0-based column ("A", "N", "AA").
QString columnName(int column);

// The refusal of a cell longer than a cell may be (row 1-based, column 0-based).
QString cellTooLong(qint64 row, int column, qint64 length);

// A row cut or padded to the fourteen columns A to N.
QStringList fitRow(QStringList cells, int columnCount);

} // namespace SpreadsheetText
