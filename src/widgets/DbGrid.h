#pragma once

#include <QTableView>

#include "store/DatasetModel.h"

// A read-only grid over a dataset: its model, the shared row painter, column widths, and the
// grid's current row kept in step with the dataset's current row in both directions.
class DbGrid : public QTableView {
    Q_OBJECT
public:
    explicit DbGrid(Dataset* dataset, const QList<DatasetModel::Column>& columns = {}, QWidget* parent = nullptr);

    DatasetModel* datasetModel() const { return m_model; }
    Dataset* dataset() const { return m_model->dataset(); }
    // Rows selected by the operator (multi-select grids), ascending.
    QList<int> selectedRowNumbers() const;

private:
    void followDataset();

    DatasetModel* m_model;
    bool m_syncing = false;
};
