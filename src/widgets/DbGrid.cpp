#include "widgets/DbGrid.h"

#include <QHeaderView>
#include <algorithm>

#include "widgets/RowPainter.h"

DbGrid::DbGrid(Dataset* dataset, const QList<DatasetModel::Column>& columns, QWidget* parent)
    : QTableView(parent), m_model(new DatasetModel(dataset, this)) {
    m_model->setColumns(columns);
    setModel(m_model);
    setItemDelegate(new RowPainter(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setDefaultSectionSize(20);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].width > 0)
            setColumnWidth(i, columns[i].width);
    connect(dataset, &Dataset::afterScroll, this, &DbGrid::followDataset);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DbGrid::followDataset);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& cur) {
        if (!m_syncing && cur.isValid())
            this->dataset()->moveTo(cur.row());
        viewport()->update(); // the current row is painted as selected: old and new rows change
    });
    followDataset();
}

void DbGrid::followDataset() {
    const int row = dataset()->recNo();
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_syncing = true;
    if (currentIndex().row() != row) {
        const QModelIndex idx = m_model->index(row, qMax(0, currentIndex().column()));
        if (selectionMode() == QAbstractItemView::SingleSelection)
            setCurrentIndex(idx);
        else
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        scrollTo(idx);
    }
    m_syncing = false;
}

QList<int> DbGrid::selectedRowNumbers() const {
    QList<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}
