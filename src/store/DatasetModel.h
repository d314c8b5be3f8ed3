#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <functional>

#include "store/Dataset.h"

// Table model over a Dataset for the grids: one column per configured field, rows as the dataset
// holds them. Yes/no columns answer Qt::CheckStateRole (the shared row painter draws them as
// check boxes); Qt::UserRole gives the raw value.
class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString field;
        QString title;
        int width = 0;
        bool yesNo = false;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    };
    static constexpr int YesNoRole = Qt::UserRole + 1;

    explicit DatasetModel(Dataset* dataset, QObject* parent = nullptr);

    // Without columns every field of the dataset is shown with its own name as title.
    void setColumns(const QList<Column>& columns);
    const QList<Column>& columns() const { return m_columns; }
    Dataset* dataset() const { return m_dataset; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    int fieldColumn(int column) const;
    void rebuildFieldMap();
    void change(const std::function<void()>& begin);
    void endChange(const std::function<void()>& end);

    QPointer<Dataset> m_dataset;
    QList<Column> m_columns;
    QList<int> m_fieldOf; // model column -> dataset column
    int m_changing = 0;   // begin… announced, end… not yet
};
