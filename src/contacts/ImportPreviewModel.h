#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

// The import's preview list: one row per spreadsheet row read, in sheet order, each with its
// "Indice" (numbered from 1 as rows are added, continuing after rows kept from a stopped read)
// and the fourteen cell texts of columns A to N.
class ImportPreviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Row {
        int indice = 0;
        QStringList cells; // SpreadsheetReader::ColumnCount texts
    };

    using QAbstractTableModel::QAbstractTableModel;

    // "Indice" and the fourteen column headers, in order.
    static const QStringList& headers();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const QList<Row>& rows() const { return m_rows; }
    // Adds a row after the last one; returns its "Indice".
    int addRow(const QStringList& cells);
    // Drops the first `count` rows (those a failed save had already stored).
    void removeFirst(int count);
    void clear();

private:
    QList<Row> m_rows;
};
