#pragma once

#include <QTableView>

class QFontMetrics;
class QHeaderView;

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

    // Sets a column as wide as its header text and `widestValue` need in the grid's fonts, and at
    // least `minimum` pixels.
    void fitColumn(int column, int minimum, const QString& widestValue = {});
    static int widthFor(const QHeaderView* header, const QFontMetrics& cellFont, int column, int minimum,
                        const QString& widestValue);
    // The widest usual value of a field the grids show, or an empty text when the header decides.
    static QString usualWidest(const QString& field);
    static constexpr int kCellPadding = 12; // the row painter's margins and the grid lines

private:
    void followDataset();

    DatasetModel* m_model;
    bool m_syncing = false;
};
