#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The shown values of an Excel 97-2003 worksheet's formula, logical and error cells: the results
// that formulas showed when the file was saved, "VERDADEIRO"/"FALSO", "#DIV/0!". Read straight
// from the BIFF8 records of the first worksheet; every length and offset is checked, and a file
// that cannot be scanned just gives nothing.
class XlsRecordScanner {
public:
    static quint64 key(quint32 row, quint16 column) { return (quint64{row} << 16) | column; }

    // Shown texts of formula, logical and error cells of columns A to N, by key(row, column).
    static QHash<quint64, QString> shownValues(const QByteArray& file);
    // The same, from the workbook stream already taken out of its compound file.
    static QHash<quint64, QString> shownValuesOfStream(const QByteArray& stream);

    // The named stream of a compound file (case ignored); empty when absent or damaged.
    static QByteArray compoundStream(const QByteArray& file, const QString& name);
};
