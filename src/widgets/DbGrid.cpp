#include "widgets/DbGrid.h"

#include <QFontMetrics>
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
        fitColumn(i, columns[i].width > 0 ? columns[i].width : horizontalHeader()->defaultSectionSize(),
                  usualWidest(columns[i].field));
    connect(dataset, &Dataset::afterScroll, this, &DbGrid::followDataset);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DbGrid::followDataset);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& cur) {
        if (!m_syncing && cur.isValid())
            this->dataset()->moveTo(cur.row());
        viewport()->update(); // the current row is painted as selected: old and new rows change
    });
    followDataset();
}

QString DbGrid::usualWidest(const QString& field) {
    // Date stamps are shown as "dd/MM/yyyy HH:mm:ss"; phone numbers come with country and area code;
    // a usual business e-mail address.
    if (field == QLatin1String("DATA"))
        return QStringLiteral("00/00/0000 00:00:00");
    if (field == QLatin1String("FONE") || field == QLatin1String("TELEFONE"))
        return QStringLiteral("+55 (00) 00000-0000");
    if (field == QLatin1String("EMAIL"))
        return QStringLiteral("nome.sobrenome@empresa.com.br");
    return {};
}

int DbGrid::widthFor(const QHeaderView* header, const QFontMetrics& cellFont, int column, int minimum,
                     const QString& widestValue) {
    int width = qMax(minimum, header->sectionSizeHint(column));
    if (!widestValue.isEmpty())
        width = qMax(width, cellFont.horizontalAdvance(widestValue) + kCellPadding);
    return width;
}

void DbGrid::fitColumn(int column, int minimum, const QString& widestValue) {
    // Measured in bold: some grids draw rows in bold (unread messages).
    QFont bold = font();
    bold.setBold(true);
    setColumnWidth(column, widthFor(horizontalHeader(), QFontMetrics(bold), column, minimum, widestValue));
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
